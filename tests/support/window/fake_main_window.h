// A main window without widgets: it keeps what the operations set (enable
// and show states, texts, faces, sliders, the reason selection, the focus,
// timers, the title) so that tests can read it back. Controls not yet
// touched count as enabled and visible, as a freshly made widget is.
// Tests that keep one ordered record of everything around the operations
// set onChange.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"

class FakeMainWindow final : public MainWindow {
public:
    struct TimerEvent {
        int timerId;
        int milliseconds;  // 0 for a stop
        bool operator==(const TimerEvent&) const = default;
    };

    void enableControl(int id, bool enable) override;
    bool isControlEnabled(int id) const override;
    void showControl(int id, bool show) override { visible_[id] = show; }
    bool isControlVisible(int id) const override;

    void setControlText(int id, const char* text) override;
    int controlText(int id, char* buffer, int maxChars) const override;

    void setButtonFace(int id, int bitmapId) override;
    int buttonFace(int id) const override;
    void setSliderPosition(int id, int position) override { sliders_[id] = position; }
    int sliderPosition(int id) const override;

    // An index outside the list's reasonCount entries selects none.
    void setReasonSelection(int index) override;
    int reasonSelection() const override { return reasonSelection_; }

    void focusControl(int id) override { focus = id; }

    bool startTimer(int timerId, int milliseconds) override;
    void stopTimer(int timerId) override;

    int windowTitle(char* buffer, int capacity) const override;
    void setWindowTitle(const char* text) override { title = text ? text : ""; }
    void bringToFront() override;
    void closeWindow() override;

    // The control's text ("" for one never set).
    std::string text(int id) const;
    bool timerRunning(int timerId) const { return runningTimers.count(timerId) != 0; }
    // The running timer's period, 0 when it does not run.
    int timerPeriod(int timerId) const;
    // What an agent does in the list: picks an entry (the list shows it at
    // once, before the handler runs).
    void pickReason(int index) { setReasonSelection(index); }

    // Called with each change as "enable(<id>,<0|1>)", "text(<id>,<text>)",
    // "face(<id>,<bitmap>)", "startTimer(<id>,<ms>)", "stopTimer(<id>)",
    // "bringToFront" or "close".
    std::function<void(const std::string&)> onChange;

    int reasonCount = 8;
    int focus = 0;
    std::string title;
    // Every timer start fails while refuseTimers is set; the timers in
    // refusedTimers always fail.
    bool refuseTimers = false;
    std::set<int> refusedTimers;
    std::map<int, int> runningTimers;
    std::vector<TimerEvent> timerEvents;
    // The threads that enabled controls, set texts or faces.
    std::set<std::thread::id> threads;
    int raised = 0;
    bool closed = false;

private:
    void changed(const std::string& change);

    std::map<int, bool> enabled_;
    std::map<int, bool> visible_;
    std::map<int, std::string> texts_;
    std::map<int, int> faces_;
    std::map<int, int> sliders_;
    int reasonSelection_ = -1;
};
