#include "fake_boxes.h"

#include "journal.h"

int FakeBoxes::show(const char* text, BoxButtons buttons, BoxIcon icon, int defaultAnswer) {
    shown.push_back({text ? text : "", buttons, icon, defaultAnswer});
    g_journal.add("box:" + shown.back().text);
    if (whileOpen) whileOpen();
    if (answers.empty()) return defaultAnswer;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

std::vector<std::string> FakeBoxes::texts() const {
    std::vector<std::string> all;
    for (const Box& box : shown) all.push_back(box.text);
    return all;
}
