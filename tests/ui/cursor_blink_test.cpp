#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QStyleHints>
#include <QTest>

#include "ui/cursor_blink.h"

namespace {

bool restsWithin(const CursorBlinkLimit& limit, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs && limit.blinking(); waited += 10) QTest::qWait(10);
    return !limit.blinking();
}

TEST(CursorBlinkLimit, RestsWithoutInputAndBlinksAgainAtTheNextKey) {
    QStyleHints* hints = QGuiApplication::styleHints();
    const int flashTime = hints->cursorFlashTime();
    ASSERT_GT(flashTime, 0);
    {
        CursorBlinkLimit limit(50);
        qApp->installEventFilter(&limit);
        QLineEdit edit;
        edit.show();
        edit.setFocus();
        ASSERT_TRUE(restsWithin(limit, 3000));
        EXPECT_EQ(hints->cursorFlashTime(), 0) << "no blink timer while resting";

        QTest::keyClick(&edit, Qt::Key_5);
        EXPECT_EQ(edit.text(), "5") << "the key still reaches the field";
        EXPECT_TRUE(limit.blinking());
        EXPECT_EQ(hints->cursorFlashTime(), flashTime);
        EXPECT_TRUE(restsWithin(limit, 3000)) << "and rests again";
    }
    EXPECT_EQ(hints->cursorFlashTime(), flashTime) << "the desktop's value comes back with the limit gone";
}

}  // namespace
