// A main window without widgets: it keeps what the operations set so tests
// can read it back, and journals enable changes, faces, texts and timers.
// Untouched controls count as enabled, as a freshly made widget is.
#pragma once

#include <map>
#include <set>
#include <string>
#include <thread>

#include "app/main_window.h"

class FakeWindow final : public MainWindow {
public:
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
    void setReasonSelection(int index) override { reason_ = index; }
    int reasonSelection() const override { return reason_; }
    void focusControl(int) override {}
    bool startTimer(int timerId, int milliseconds) override;
    void stopTimer(int timerId) override;
    int windowTitle(char* buffer, int capacity) const override;
    void setWindowTitle(const char* title) override { title_ = title ? title : ""; }
    void bringToFront() override;
    void closeWindow() override;

    std::string text(int id) const;
    bool timerRunning(int timerId) const { return timers_.count(timerId) != 0; }
    int timerPeriod(int timerId) const;

    // The threads that changed the window.
    std::set<std::thread::id> threads;
    // Timers whose start fails.
    std::set<int> refusedTimers;
    int raised = 0;
    bool closed = false;

private:
    std::map<int, bool> enabled_;
    std::map<int, bool> visible_;
    std::map<int, std::string> texts_;
    std::map<int, int> faces_;
    std::map<int, int> sliders_;
    std::map<int, int> timers_;
    int reason_ = -1;
    std::string title_;
};
