#include "fake_window.h"

#include <algorithm>
#include <cstring>

#include "journal.h"

Journal g_journal;

std::vector<std::string> Journal::with(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const auto& e : entries) {
        if (e.compare(0, prefix.size(), prefix) == 0) found.push_back(e);
    }
    return found;
}

bool Journal::has(const std::string& entry) const {
    return indexOf(entry) >= 0;
}

int Journal::indexOf(const std::string& entry) const {
    const auto it = std::find(entries.begin(), entries.end(), entry);
    return it == entries.end() ? -1 : static_cast<int>(it - entries.begin());
}

void FakeWindow::enableControl(int id, bool enable) {
    enabled_[id] = enable;
    threads.insert(std::this_thread::get_id());
    g_journal.add("window:enable(" + std::to_string(id) + "," + (enable ? "1" : "0") + ")");
}

bool FakeWindow::isControlEnabled(int id) const {
    const auto it = enabled_.find(id);
    return it == enabled_.end() || it->second;
}

bool FakeWindow::isControlVisible(int id) const {
    const auto it = visible_.find(id);
    return it == visible_.end() || it->second;
}

void FakeWindow::setControlText(int id, const char* text) {
    texts_[id] = text ? text : "";
    threads.insert(std::this_thread::get_id());
    g_journal.add("window:text(" + std::to_string(id) + "," + texts_[id] + ")");
}

int FakeWindow::controlText(int id, char* buffer, int maxChars) const {
    const std::string t = text(id);
    const int n = std::min(static_cast<int>(t.size()), std::max(maxChars, 0));
    std::memcpy(buffer, t.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

void FakeWindow::setButtonFace(int id, int bitmapId) {
    faces_[id] = bitmapId;
    threads.insert(std::this_thread::get_id());
    g_journal.add("window:face(" + std::to_string(id) + "," + std::to_string(bitmapId) + ")");
}

int FakeWindow::buttonFace(int id) const {
    const auto it = faces_.find(id);
    return it == faces_.end() ? 0 : it->second;
}

int FakeWindow::sliderPosition(int id) const {
    const auto it = sliders_.find(id);
    return it == sliders_.end() ? 0 : it->second;
}

bool FakeWindow::startTimer(int timerId, int milliseconds) {
    g_journal.add("window:startTimer(" + std::to_string(timerId) + "," + std::to_string(milliseconds) + ")");
    if (refusedTimers.count(timerId)) return false;
    timers_[timerId] = milliseconds;
    return true;
}

void FakeWindow::stopTimer(int timerId) {
    g_journal.add("window:stopTimer(" + std::to_string(timerId) + ")");
    timers_.erase(timerId);
}

int FakeWindow::timerPeriod(int timerId) const {
    const auto it = timers_.find(timerId);
    return it == timers_.end() ? 0 : it->second;
}

int FakeWindow::windowTitle(char* buffer, int capacity) const {
    if (capacity <= 0) return 0;
    const int n = std::min(static_cast<int>(title_.size()), capacity - 1);
    std::memcpy(buffer, title_.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

void FakeWindow::bringToFront() {
    ++raised;
    g_journal.add("window:bringToFront");
}

void FakeWindow::closeWindow() {
    closed = true;
    g_journal.add("window:close");
}

std::string FakeWindow::text(int id) const {
    const auto it = texts_.find(id);
    return it == texts_.end() ? std::string() : it->second;
}
