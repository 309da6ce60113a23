#pragma once

#include <QString>
#include <cstdint>

namespace zarn {

enum class MessageIcon { None, Information, Exclamation, Stop };
enum class MessageButtons { Ok, OkHelp };
enum class MousePointer { Default, Hourglass };

// One modal message box. An empty title means the application's own title.
struct Message
{
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    QString title;
    int helpContext = 0;

    friend bool operator==(const Message &, const Message &) = default;
};

// What the engine needs of a user interface: modal messages, the progress bar, the mouse
// pointer and a chance for pending window events to run. The window implements it with Qt,
// the batch mode with standard output and standard error, the tests with a recorder.
class UserInterface
{
public:
    virtual ~UserInterface() = default;

    // Shows the message and returns when the operator has closed it.
    virtual void showMessage(const Message &message) = 0;

    virtual void setProgressMax(int max) = 0;
    virtual void setProgressValue(int value) = 0;
    virtual void setProgressVisible(bool visible) = 0;
    // How many of the items behind the bar are done, out of how many: given whenever the bar
    // may move and once at the end, with done equal to total. The batch mode shows them with a
    // rate and the time left; the window's bar shows its value only.
    virtual void setProgressCount(std::int64_t done, std::int64_t total) = 0;

    virtual MousePointer mousePointer() const = 0;
    virtual void setMousePointer(MousePointer pointer) = 0;

    // Lets pending window events run once.
    virtual void processEvents() = 0;

    // Whether the operator has asked a running data import to stop: asked after the progress
    // has been shown and events have run. The import then stores what it has written so far
    // and ends, so that what is stored is an unbroken prefix of the readings.
    virtual bool stopRequested() const = 0;

    // What a message box leaves out, for whoever has to find the cause: the server's own error
    // text, which reading stopped an import, which sensors were passed over and why. The batch
    // mode writes it to standard error; the window's message boxes stay as they are.
    virtual void reportDetail(const QString &detail) = 0;
};

// How the batch mode and the run report name a message's kind: by its icon, "message" without.
inline QString messageKindName(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QStringLiteral("information");
    case MessageIcon::Exclamation:
        return QStringLiteral("exclamation");
    case MessageIcon::Stop:
        return QStringLiteral("stop");
    case MessageIcon::None:
        break;
    }
    return QStringLiteral("message");
}

// The application's title, shown on every message box that names no title of its own.
inline QString applicationTitle()
{
    return QStringLiteral("ZARN Vantrel Importer");
}

} // namespace zarn
