#include "app/message_box.h"

#include "app/debug_log.h"
#include "app/main_window.h"

MainWindow* g_mainDlg = nullptr;

namespace {

class DefaultAnswerBoxes final : public MessageBoxes {
public:
    int show(const char*, BoxButtons, BoxIcon, int defaultAnswer) override { return defaultAnswer; }
};

DefaultAnswerBoxes g_defaultBoxes;
MessageBoxes* g_boxes = &g_defaultBoxes;

}  // namespace

void setMessageBoxes(MessageBoxes* boxes) {
    g_boxes = boxes ? boxes : &g_defaultBoxes;
}

void showMessage(const char* text, BoxIcon icon) {
    g_boxes->show(text, BoxButtons::Ok, icon, IDOK_ANSWER);
}

int askYesNo(const char* text, BoxIcon icon) {
    return g_boxes->show(text, BoxButtons::YesNo, icon, IDNO_ANSWER);
}

int askYesNoCancel(const char* text, BoxIcon icon) {
    return g_boxes->show(text, BoxButtons::YesNoCancel, icon, IDCANCEL_ANSWER);
}

void logAndShow(const char* text) {
    logDebugf("%s", text);
    showMessage(text);
}
