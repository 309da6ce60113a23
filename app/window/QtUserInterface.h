#pragma once

#include "platform/UserInterface.h"

class QWidget;

namespace zarn {

// The window's user interface: modal message boxes over the window, the application's wait
// cursor and Qt's event loop. The window's progress area (ImportProgress) stands over it.
class QtUserInterface : public UserInterface
{
public:
    explicit QtUserInterface(QWidget &window);
    ~QtUserInterface() override;
    QtUserInterface(const QtUserInterface &) = delete;
    QtUserInterface &operator=(const QtUserInterface &) = delete;

    void showMessage(const Message &message) override;

    void setProgressMax(int) override {}
    void setProgressValue(int) override {}
    void setProgressVisible(bool) override {}
    void setProgressCount(std::int64_t, std::int64_t) override {}

    MousePointer mousePointer() const override { return m_pointer; }
    void setMousePointer(MousePointer pointer) override;

    void processEvents() override;
    bool stopRequested() const override { return false; }
    // The window shows the steps' own message boxes only.
    void reportDetail(const QString &) override {}

private:
    QWidget &m_window;
    MousePointer m_pointer = MousePointer::Default;
};

} // namespace zarn
