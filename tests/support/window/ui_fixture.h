// A temporary working folder (from the app tests), message boxes that tests
// answer, a priority that never touches the test process, and the main
// window made with a given command line.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/process_priority.h"
#include "tests/support/app/app_test_support.h"
#include "tests/support/window/scripted_message_boxes.h"
#include "ui/quendra_dlg.h"

class QTimer;
class QWidget;

class QuietPriority final : public PrioritySystem {
public:
    int nice = 0;
    int refusal = 0;  // errno of setNice; 0 succeeds
    unsigned long long limit = 0;
    bool currentNice(int* value, int*) override {
        *value = nice;
        return true;
    }
    bool setNice(int value, int* error) override {
        if (refusal != 0) {
            *error = refusal;
            return false;
        }
        nice = value;
        return true;
    }
    bool niceLimit(unsigned long long* value) override {
        *value = limit;
        return true;
    }
};

class UiTest : public AppTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the main window with these words after the program name.
    CQuendraDlg& makeDialog(const std::vector<std::string>& words = {});
    QWidget* control(int id) const { return m_dialog->control(id); }
    std::string text(int id) const;

    ScriptedMessageBoxes m_boxes;
    QuietPriority m_priority;
    std::unique_ptr<CQuendraDlg> m_dialog;
};

// While it lives, runs action on the next modal window that opens (a
// message box or the settings window), then closes that window if action
// left it open.
class ModalWatcher {
public:
    explicit ModalWatcher(std::function<void(QWidget*)> action = {});
    ~ModalWatcher();
    int opened() const { return m_opened; }

private:
    std::function<void(QWidget*)> m_action;
    std::unique_ptr<QTimer> m_timer;
    int m_opened = 0;
};
