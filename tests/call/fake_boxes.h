// Message boxes answered by the test: every box is recorded; answers come
// from a script, or the box's default button when the script is empty. A
// real box runs an event loop of its own while it is open; whileOpen plays
// that part.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/message_box.h"

class FakeBoxes final : public MessageBoxes {
public:
    struct Box {
        std::string text;
        BoxButtons buttons;
        BoxIcon icon;
        int defaultAnswer;
    };

    int show(const char* text, BoxButtons buttons, BoxIcon icon, int defaultAnswer) override;

    std::vector<std::string> texts() const;

    std::vector<Box> shown;
    std::deque<int> answers;
    // Runs while each box is open (after it has been recorded).
    std::function<void()> whileOpen;
};
