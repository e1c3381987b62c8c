#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include "tests/support/window/ui_fixture.h"
#include "ui/qt_message_boxes.h"

namespace {

struct SeenBox {
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Shows one box through the Qt implementation, records it and presses
// the given button (or none, to close it another way).
int showAndPress(BoxButtons buttons, BoxIcon icon, int defaultAnswer, QMessageBox::StandardButton press,
                 SeenBox* seen) {
    QtMessageBoxes boxes;
    ModalWatcher watcher([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        seen->text = box->text();
        seen->buttons = box->standardButtons();
        seen->defaultButton = box->standardButton(box->defaultButton());
        seen->icon = box->icon();
        if (press != QMessageBox::NoButton) box->button(press)->click();
    });
    const int answer = boxes.show("the text", buttons, icon, defaultAnswer);
    EXPECT_EQ(watcher.opened(), 1);
    return answer;
}

TEST(QtMessageBoxes, ButtonsDefaultsIconsAndAnswers) {
    SeenBox seen;
    EXPECT_EQ(showAndPress(BoxButtons::Ok, BoxIcon::None, IDOK_ANSWER, QMessageBox::Ok, &seen), IDOK_ANSWER);
    EXPECT_EQ(seen.text, "the text");
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);

    EXPECT_EQ(showAndPress(BoxButtons::YesNo, BoxIcon::None, IDNO_ANSWER, QMessageBox::Yes, &seen), IDYES_ANSWER);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.defaultButton, QMessageBox::No);

    EXPECT_EQ(showAndPress(BoxButtons::YesNoCancel, BoxIcon::Question, IDCANCEL_ANSWER, QMessageBox::No, &seen),
              IDNO_ANSWER);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(seen.defaultButton, QMessageBox::Cancel);
    EXPECT_EQ(seen.icon, QMessageBox::Question);

    EXPECT_EQ(showAndPress(BoxButtons::Ok, BoxIcon::Error, IDOK_ANSWER, QMessageBox::Ok, &seen), IDOK_ANSWER);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    showAndPress(BoxButtons::Ok, BoxIcon::Warning, IDOK_ANSWER, QMessageBox::Ok, &seen);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    showAndPress(BoxButtons::Ok, BoxIcon::Information, IDOK_ANSWER, QMessageBox::Ok, &seen);
    EXPECT_EQ(seen.icon, QMessageBox::Information);
}

TEST(QtMessageBoxes, ClosingWithoutAButtonAnswersNoOrCancel) {
    SeenBox seen;
    EXPECT_EQ(showAndPress(BoxButtons::YesNo, BoxIcon::None, IDNO_ANSWER, QMessageBox::NoButton, &seen),
              IDNO_ANSWER);
    EXPECT_EQ(showAndPress(BoxButtons::YesNoCancel, BoxIcon::None, IDCANCEL_ANSWER, QMessageBox::NoButton, &seen),
              IDCANCEL_ANSWER);
}

}  // namespace
