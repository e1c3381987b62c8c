#include "tests/support/window/scripted_message_boxes.h"

int ScriptedMessageBoxes::show(const char* text, BoxButtons buttons, BoxIcon icon, int defaultAnswer) {
    shown.push_back({text ? text : "", buttons, icon, defaultAnswer});
    if (onShow) onShow(shown.back());
    // A copy: the action may clear whileOpen while it runs.
    if (const auto action = whileOpen) action();
    if (answers.empty()) return defaultAnswer;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

std::vector<std::string> ScriptedMessageBoxes::texts() const {
    std::vector<std::string> all;
    for (const Box& box : shown) all.push_back(box.text);
    return all;
}

int ScriptedMessageBoxes::count(const std::string& text) const {
    int n = 0;
    for (const Box& box : shown) n += box.text == text;
    return n;
}

int ScriptedMessageBoxes::countStartingWith(const std::string& head) const {
    int n = 0;
    for (const Box& box : shown) n += box.text.rfind(head, 0) == 0;
    return n;
}
