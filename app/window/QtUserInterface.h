#pragma once

#include "platform/UserInterface.h"

class QProgressBar;
class QWidget;

namespace zarn {

// The window's user interface: modal message boxes over the window, the window's progress bar,
// the application's wait cursor and Qt's event loop.
class QtUserInterface : public UserInterface
{
public:
    QtUserInterface(QWidget &window, QProgressBar &progressBar);
    ~QtUserInterface() override;
    QtUserInterface(const QtUserInterface &) = delete;
    QtUserInterface &operator=(const QtUserInterface &) = delete;

    void showMessage(const Message &message) override;

    void setProgressMax(int max) override;
    void setProgressValue(int value) override;
    void setProgressVisible(bool visible) override;
    void setProgressCount(std::int64_t, std::int64_t) override {}

    MousePointer mousePointer() const override { return m_pointer; }
    void setMousePointer(MousePointer pointer) override;

    void processEvents() override;
    // The window shows the steps' own message boxes only.
    void reportDetail(const QString &) override {}

private:
    QWidget &m_window;
    QProgressBar &m_progressBar;
    MousePointer m_pointer = MousePointer::Default;
};

} // namespace zarn
