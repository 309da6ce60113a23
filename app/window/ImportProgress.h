#pragma once

#include "platform/UserInterface.h"

#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace zarn {

// The window's progress area over the user interface that shows its messages: the bar, the
// status line under it with the readings done of the total, the rate and the time left (as the
// batch mode shows them), and the "Stop" button, which is there while the data import writes.
// Everything is passed on to that user interface as well.
class ImportProgress : public UserInterface
{
public:
    ImportProgress(UserInterface &messages, QProgressBar &bar, QLabel &status,
                   QPushButton &stopButton);

    // A run begins: no stop is asked for. What runs decides what "Stop" says: an import stops after
    // the batch being written, a verification, which writes nothing, at once.
    enum class Run { Import, Verification };
    void beginRun(Run run);
    Run currentRun() const { return m_run; }
    // What a stop of the current run keeps, for the operator.
    QString stopEffect() const;
    // The run has ended: nothing is left to stop. The bar and the status line stay as the data
    // import left them (after a failure, in sight).
    void endRun();
    // Asks the run's data import to stop after the batch it is writing; one that has not
    // begun yet stops at its first chance.
    void requestStop();

    void showMessage(const Message &message) override { m_messages.showMessage(message); }
    void setProgressMax(int max) override;
    void setProgressValue(int value) override;
    void setProgressVisible(bool visible) override;
    void setProgressCount(std::int64_t done, std::int64_t total) override;
    MousePointer mousePointer() const override { return m_messages.mousePointer(); }
    void setMousePointer(MousePointer pointer) override { m_messages.setMousePointer(pointer); }
    void processEvents() override { m_messages.processEvents(); }
    bool stopRequested() const override { return m_stopRequested || m_messages.stopRequested(); }
    void reportDetail(const QString &detail) override { m_messages.reportDetail(detail); }

private:
    QString stoppingText() const;

    UserInterface &m_messages;
    QProgressBar &m_bar;
    QLabel &m_status;
    QPushButton &m_stopButton;
    QElapsedTimer m_shownFor;
    bool m_writing = false; // the data import writes: the bar shows
    bool m_stopRequested = false;
    Run m_run = Run::Import;
};

} // namespace zarn
