#pragma once

#include "platform/UserInterface.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace zarn::test {

// Records what a user interface would have shown, in order.
class RecordingUserInterface : public UserInterface
{
public:
    void showMessage(const Message &message) override { messages.push_back(message); }
    void setProgressMax(int max) override { progressMax = max; }
    void setProgressValue(int value) override
    {
        progressValue = value;
        progressValues.push_back(value);
    }
    void setProgressVisible(bool visible) override
    {
        progressVisible = visible;
        progressShown = progressShown || visible;
    }
    void setProgressCount(std::int64_t done, std::int64_t total) override
    {
        progressCounts.emplace_back(done, total);
    }
    MousePointer mousePointer() const override { return pointer; }
    void setMousePointer(MousePointer p) override { pointer = p; }
    void processEvents() override { ++eventRuns; }
    bool stopRequested() const override { return stopAsked; }
    void reportDetail(const QString &detail) override { details.push_back(detail); }

    std::vector<Message> messages;
    std::vector<QString> details;
    int progressMax = 0;
    int progressValue = 0;
    std::vector<int> progressValues;
    std::vector<std::pair<std::int64_t, std::int64_t>> progressCounts; // done, total
    bool progressVisible = false;
    bool progressShown = false;
    MousePointer pointer = MousePointer::Default;
    int eventRuns = 0;
    bool stopAsked = false;
};

} // namespace zarn::test
