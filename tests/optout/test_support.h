// Shared pieces of the Do-Not-Call tests: a fake main window, scripted
// message boxes, a captured debug log and a clean start for the globals.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/message_box.h"

namespace optout_test {

class FakeWindow : public MainWindow {
public:
    void enableControl(int id, bool enable) override { enabled[id] = enable; }
    bool isControlEnabled(int id) const override {
        auto it = enabled.find(id);
        return it != enabled.end() && it->second;
    }
    void showControl(int id, bool show) override { visible[id] = show; }
    bool isControlVisible(int id) const override {
        auto it = visible.find(id);
        return it == visible.end() || it->second;
    }
    void setControlText(int id, const char* text) override { texts[id] = text; }
    int controlText(int id, char* buffer, int maxChars) const override;
    void setButtonFace(int id, int bitmapId) override { faces[id] = bitmapId; }
    int buttonFace(int id) const override {
        auto it = faces.find(id);
        return it == faces.end() ? 0 : it->second;
    }
    void setSliderPosition(int id, int position) override { sliders[id] = position; }
    int sliderPosition(int id) const override {
        auto it = sliders.find(id);
        return it == sliders.end() ? 0 : it->second;
    }
    void setReasonSelection(int index) override { reasonSelection_ = index; }
    int reasonSelection() const override { return reasonSelection_; }
    void focusControl(int) override {}
    bool startTimer(int, int) override { return true; }
    void stopTimer(int) override {}
    int windowTitle(char* buffer, int capacity) const override;
    void setWindowTitle(const char* text) override { title = text; }
    void bringToFront() override {}
    void closeWindow() override {}

    std::map<int, bool> enabled;
    std::map<int, bool> visible;
    std::map<int, std::string> texts;
    std::map<int, int> faces;
    std::map<int, int> sliders;
    std::string title = "Quendra";
    int reasonSelection_ = -1;
};

// Answers each box with the next scripted answer (the box's default button
// when the script is used up) and records what was shown.
class ScriptedBoxes : public MessageBoxes {
public:
    struct Shown {
        std::string text;
        BoxButtons buttons;
        BoxIcon icon;
        int defaultAnswer;
    };
    int show(const char* text, BoxButtons buttons, BoxIcon icon, int defaultAnswer) override;

    std::vector<int> answers;
    std::vector<Shown> shown;
};

// Points the debug log at a fresh folder of its own and reads it back.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    // Every line written so far, without the time stamps.
    std::vector<std::string> lines() const;
    // Whether some line is exactly text.
    bool has(const std::string& text) const;
    // How many lines contain part.
    int countContaining(const std::string& part) const;
    void clear();

private:
    std::string folder_;
};

// Defaults in every setting and opt-out global, the database layer shut.
void resetGlobals();

}  // namespace optout_test
