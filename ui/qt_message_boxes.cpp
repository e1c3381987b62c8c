#include "ui/qt_message_boxes.h"

#include <QMessageBox>
#include <QWidget>

#include "app/main_window.h"

namespace {

QMessageBox::Icon iconOf(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Error:
            return QMessageBox::Critical;
        case BoxIcon::Warning:
            return QMessageBox::Warning;
        case BoxIcon::Question:
            return QMessageBox::Question;
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons buttonsOf(BoxButtons buttons) {
    switch (buttons) {
        case BoxButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case BoxButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case BoxButtons::Ok:
            break;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton buttonOf(int answer) {
    switch (answer) {
        case IDYES_ANSWER:
            return QMessageBox::Yes;
        case IDNO_ANSWER:
            return QMessageBox::No;
        case IDCANCEL_ANSWER:
            return QMessageBox::Cancel;
        default:
            return QMessageBox::Ok;
    }
}

int answerOf(int button, int fallback) {
    switch (button) {
        case QMessageBox::Yes:
            return IDYES_ANSWER;
        case QMessageBox::No:
            return IDNO_ANSWER;
        case QMessageBox::Cancel:
            return IDCANCEL_ANSWER;
        case QMessageBox::Ok:
            return IDOK_ANSWER;
        default:
            return fallback;
    }
}

}  // namespace

int QtMessageBoxes::show(const char* text, BoxButtons buttons, BoxIcon icon, int defaultAnswer) {
    auto* owner = dynamic_cast<QWidget*>(g_mainDlg);
    QMessageBox box(iconOf(icon), QStringLiteral("Quendra"), QString::fromUtf8(text ? text : ""),
                    buttonsOf(buttons), owner && owner->isVisible() ? owner : nullptr);
    box.setDefaultButton(buttonOf(defaultAnswer));
    return answerOf(box.exec(), defaultAnswer);
}
