// Message boxes that are recorded instead of shown; each is answered with
// its default button. whileOpen plays the part of a real box's own event
// loop.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/message_box.h"

class FakeMessageBoxes final : public MessageBoxes {
public:
    struct Box {
        std::string text;
        BoxButtons buttons;
        BoxIcon icon;
    };

    int show(const char* text, BoxButtons buttons, BoxIcon icon, int defaultAnswer) override {
        boxes.push_back({text ? text : "", buttons, icon});
        if (whileOpen) whileOpen();
        return defaultAnswer;
    }

    int count(const std::string& text) const {
        int n = 0;
        for (const Box& box : boxes) n += box.text == text;
        return n;
    }
    // Boxes whose text starts with the given head.
    int countStartingWith(const std::string& head) const {
        int n = 0;
        for (const Box& box : boxes) n += box.text.rfind(head, 0) == 0;
        return n;
    }

    std::vector<Box> boxes;
    // Runs while each box is open.
    std::function<void()> whileOpen;
};
