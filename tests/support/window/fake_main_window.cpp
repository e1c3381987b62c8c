#include "tests/support/window/fake_main_window.h"

#include <algorithm>
#include <cstring>

namespace {

template <typename V>
V valueOr(const std::map<int, V>& map, int id, V fallback) {
    const auto it = map.find(id);
    return it == map.end() ? fallback : it->second;
}

}  // namespace

void FakeMainWindow::changed(const std::string& change) {
    if (onChange) onChange(change);
}

void FakeMainWindow::enableControl(int id, bool enable) {
    enabled_[id] = enable;
    threads.insert(std::this_thread::get_id());
    changed("enable(" + std::to_string(id) + "," + (enable ? "1" : "0") + ")");
}

bool FakeMainWindow::isControlEnabled(int id) const {
    return valueOr(enabled_, id, true);
}

bool FakeMainWindow::isControlVisible(int id) const {
    return valueOr(visible_, id, true);
}

void FakeMainWindow::setControlText(int id, const char* text) {
    texts_[id] = text ? text : "";
    threads.insert(std::this_thread::get_id());
    changed("text(" + std::to_string(id) + "," + texts_[id] + ")");
}

int FakeMainWindow::controlText(int id, char* buffer, int maxChars) const {
    const std::string t = text(id);
    const int n = std::min(static_cast<int>(t.size()), std::max(maxChars, 0));
    std::memcpy(buffer, t.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

void FakeMainWindow::setButtonFace(int id, int bitmapId) {
    faces_[id] = bitmapId;
    threads.insert(std::this_thread::get_id());
    changed("face(" + std::to_string(id) + "," + std::to_string(bitmapId) + ")");
}

int FakeMainWindow::buttonFace(int id) const {
    return valueOr(faces_, id, 0);
}

int FakeMainWindow::sliderPosition(int id) const {
    return valueOr(sliders_, id, 0);
}

void FakeMainWindow::setReasonSelection(int index) {
    reasonSelection_ = index >= 0 && index < reasonCount ? index : -1;
}

bool FakeMainWindow::startTimer(int timerId, int milliseconds) {
    timerEvents.push_back({timerId, milliseconds});
    changed("startTimer(" + std::to_string(timerId) + "," + std::to_string(milliseconds) + ")");
    if (refuseTimers || refusedTimers.count(timerId) != 0) return false;
    runningTimers[timerId] = milliseconds;
    return true;
}

void FakeMainWindow::stopTimer(int timerId) {
    timerEvents.push_back({timerId, 0});
    changed("stopTimer(" + std::to_string(timerId) + ")");
    runningTimers.erase(timerId);
}

int FakeMainWindow::timerPeriod(int timerId) const {
    return valueOr(runningTimers, timerId, 0);
}

int FakeMainWindow::windowTitle(char* buffer, int capacity) const {
    if (capacity <= 0) return 0;
    const int n = std::min(static_cast<int>(title.size()), capacity - 1);
    std::memcpy(buffer, title.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

void FakeMainWindow::bringToFront() {
    ++raised;
    changed("bringToFront");
}

void FakeMainWindow::closeWindow() {
    closed = true;
    changed("close");
}

std::string FakeMainWindow::text(int id) const {
    return valueOr(texts_, id, std::string());
}
