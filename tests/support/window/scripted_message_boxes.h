// Message boxes answered by the test: every box is recorded; each is
// answered with the next scripted answer, or with its default button once
// the script is used up. A real box runs an event loop of its own while it
// is open; whileOpen plays that part. Tests that keep one ordered record of
// everything around the operations set onShow.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/message_box.h"

class ScriptedMessageBoxes final : public MessageBoxes {
public:
    struct Box {
        std::string text;
        BoxButtons buttons;
        BoxIcon icon;
        int defaultAnswer;
    };

    int show(const char* text, BoxButtons buttons, BoxIcon icon, int defaultAnswer) override;

    // The texts of the boxes shown, in order.
    std::vector<std::string> texts() const;
    // How many boxes showed exactly this text.
    int count(const std::string& text) const;
    // How many boxes showed a text that starts with head.
    int countStartingWith(const std::string& head) const;

    std::vector<Box> shown;
    std::deque<int> answers;
    // Runs while each box is open (after it has been recorded).
    std::function<void()> whileOpen;
    // Called with each box as it is recorded.
    std::function<void(const Box&)> onShow;
};
