// A main window without widgets: it keeps what the operations set (enable
// and show states, texts, faces, the reason selection, the focus, timers)
// so that tests can read it back. Controls not yet touched count as enabled
// and visible, as a freshly made widget is.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/main_window.h"

class FakeMainWindow final : public MainWindow {
public:
    struct TimerEvent {
        int timerId;
        int milliseconds;  // 0 for a stop
        bool operator==(const TimerEvent&) const = default;
    };

    void enableControl(int id, bool enable) override { enabled_[id] = enable; }
    bool isControlEnabled(int id) const override { return valueOr(enabled_, id, true); }
    void showControl(int id, bool show) override { visible_[id] = show; }
    bool isControlVisible(int id) const override { return valueOr(visible_, id, true); }

    void setControlText(int id, const char* text) override { texts_[id] = text ? text : ""; }
    int controlText(int id, char* buffer, int maxChars) const override {
        const std::string text = valueOr(texts_, id, std::string());
        const int n = std::min(static_cast<int>(text.size()), std::max(maxChars, 0));
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
        return n;
    }

    void setButtonFace(int id, int bitmapId) override { faces_[id] = bitmapId; }
    int buttonFace(int id) const override { return valueOr(faces_, id, 0); }
    void setSliderPosition(int id, int position) override { sliders_[id] = position; }
    int sliderPosition(int id) const override { return valueOr(sliders_, id, 0); }

    void setReasonSelection(int index) override {
        reasonSelection_ = index >= 0 && index < reasonCount ? index : -1;
    }
    int reasonSelection() const override { return reasonSelection_; }

    void focusControl(int id) override { focus = id; }

    bool startTimer(int timerId, int milliseconds) override {
        timerEvents.push_back({timerId, milliseconds});
        if (refuseTimers) return false;
        runningTimers[timerId] = milliseconds;
        return true;
    }
    void stopTimer(int timerId) override {
        timerEvents.push_back({timerId, 0});
        runningTimers.erase(timerId);
    }
    bool timerRunning(int timerId) const { return runningTimers.count(timerId) != 0; }
    int timerPeriod(int timerId) const { return valueOr(runningTimers, timerId, 0); }

    int windowTitle(char* buffer, int capacity) const override {
        if (capacity <= 0) return 0;
        const int n = std::min(static_cast<int>(title.size()), capacity - 1);
        std::memcpy(buffer, title.data(), n);
        buffer[n] = '\0';
        return n;
    }
    void setWindowTitle(const char* text) override { title = text ? text : ""; }
    void bringToFront() override {}
    void closeWindow() override {}

    // What an agent does in the list: picks an entry (the list shows it at
    // once, before the handler runs).
    void pickReason(int index) { setReasonSelection(index); }

    int reasonCount = 8;
    int focus = 0;
    bool refuseTimers = false;
    std::map<int, int> runningTimers;
    std::vector<TimerEvent> timerEvents;
    std::string title;

private:
    template <typename V>
    static V valueOr(const std::map<int, V>& map, int id, V fallback) {
        auto it = map.find(id);
        return it == map.end() ? fallback : it->second;
    }

    std::map<int, bool> enabled_;
    std::map<int, bool> visible_;
    std::map<int, std::string> texts_;
    std::map<int, int> faces_;
    std::map<int, int> sliders_;
    int reasonSelection_ = -1;
};
