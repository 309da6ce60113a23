#pragma once

#include "platform/UserInterface.h"

#include <vector>

namespace zarn {

// Keeps every message shown and every detail reported through it, in order, and passes everything
// on to another user interface where there is one; without one it shows nothing, moves no bar and
// runs no events.
class MessageLog : public UserInterface
{
public:
    explicit MessageLog(UserInterface *forwardTo = nullptr) : m_target(forwardTo) {}

    void showMessage(const Message &message) override;
    void setProgressMax(int max) override;
    void setProgressValue(int value) override;
    void setProgressVisible(bool visible) override;
    void setProgressCount(std::int64_t done, std::int64_t total) override;
    MousePointer mousePointer() const override;
    void setMousePointer(MousePointer pointer) override;
    void processEvents() override;
    bool stopRequested() const override;
    void reportDetail(const QString &detail) override;

    const std::vector<Message> &messages() const { return m_messages; }
    const std::vector<QString> &details() const { return m_details; }

private:
    UserInterface *m_target;
    std::vector<Message> m_messages;
    std::vector<QString> m_details;
    MousePointer m_pointer = MousePointer::Default;
};

} // namespace zarn
