#pragma once

#include "platform/UserInterface.h"

#include <QTextStream>

namespace zarn {

// The user interface of the batch mode. Each message goes to the output stream as a block: a
// line naming its kind ("[information]", "[exclamation]", "[stop]" or "[message]" when it has
// no icon), then its text as it stands. Progress goes to the error stream as percentage lines.
// There is no pointer to change and there are no window events to run.
class BatchUserInterface : public UserInterface
{
public:
    BatchUserInterface(QTextStream &out, QTextStream &err);

    void showMessage(const Message &message) override;

    void setProgressMax(int max) override;
    void setProgressValue(int value) override;
    void setProgressVisible(bool visible) override;

    MousePointer mousePointer() const override { return m_pointer; }
    void setMousePointer(MousePointer pointer) override { m_pointer = pointer; }

    void processEvents() override {}

private:
    void reportProgress();

    QTextStream &m_out;
    QTextStream &m_err;
    MousePointer m_pointer = MousePointer::Default;
    int m_max = 100;
    int m_value = 0;
    bool m_visible = false;
    int m_lastPercent = -1;
};

} // namespace zarn
