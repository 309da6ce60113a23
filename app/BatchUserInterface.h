#pragma once

#include "app/InterruptWatch.h"
#include "platform/UserInterface.h"

#include <QElapsedTimer>
#include <QTextStream>
#include <optional>

namespace zarn {

// How the batch mode shows progress on the error stream: a line per whole percent and a last
// line with the count (for files and pipes), or one bar redrawn in place with the count, the
// rate and the time left, whose last state stays on its line (for a terminal).
enum class ProgressStyle { Lines, Bar };

// The user interface of the batch mode. Each message goes to the output stream as a block: a
// line naming its kind ("[information]", "[exclamation]", "[stop]" or "[message]" when it has
// no icon), then its text as it stands. Progress goes to the error stream in the given style.
// There is no pointer to change and there are no window events to run. While the progress is
// shown, an interrupt or a termination signal asks the data import to stop.
class BatchUserInterface : public UserInterface
{
public:
    BatchUserInterface(QTextStream &out, QTextStream &err,
                       ProgressStyle style = ProgressStyle::Lines);

    void showMessage(const Message &message) override;

    void setProgressMax(int max) override;
    void setProgressValue(int value) override;
    void setProgressVisible(bool visible) override;
    void setProgressCount(std::int64_t done, std::int64_t total) override;

    MousePointer mousePointer() const override { return m_pointer; }
    void setMousePointer(MousePointer pointer) override { m_pointer = pointer; }

    void processEvents() override {}
    bool stopRequested() const override { return m_interrupts && m_interrupts->interrupted(); }
    void reportDetail(const QString &detail) override;

private:
    void reportProgress();
    void drawBar();
    // Moves past a drawn bar, so that what follows on the terminal starts on a line of its own.
    void endBarLine();

    QTextStream &m_out;
    QTextStream &m_err;
    ProgressStyle m_style;
    MousePointer m_pointer = MousePointer::Default;
    int m_max = 100;
    int m_value = 0;
    bool m_visible = false;
    int m_lastPercent = -1;
    std::int64_t m_done = 0;
    std::int64_t m_total = 0;
    QElapsedTimer m_shownFor;
    bool m_barDrawn = false;
    std::optional<InterruptWatch> m_interrupts; // while the progress is shown
    int m_barLength = 0;                        // of the line drawn last
};

// The progress bar's line: the bar and the percentage; then, when the total is known, the
// readings done out of the total, the rate in readings a second after the given seconds and
// the time left at that rate.
QString progressBarLine(int percent, std::int64_t done, std::int64_t total, double elapsedSeconds);

} // namespace zarn
