// A field that must not be left empty: what is read, how far, and what the
// agent and the log see when it is empty.
#include <string>
#include <vector>

#include "app/mandatory_field.h"
#include "app/message_box.h"
#include "app/settings.h"
#include "tests/support/app/app_test_support.h"
#include "tests/support/window/fake_main_window.h"
#include "tests/support/window/scripted_message_boxes.h"

namespace {

constexpr int kField = 1001;
constexpr char kMissing[] = "**ERR** mandatory value not given!";

class MandatoryFieldTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        setMessageBoxes(&boxes);
    }
    void TearDown() override {
        setMessageBoxes(nullptr);
        AppTest::TearDown();
    }
    FakeMainWindow window;
    ScriptedMessageBoxes boxes;
};

TEST_F(MandatoryFieldTest, FilledFieldIsReadWithoutAMessage) {
    window.setControlText(kField, "pbx.local");
    char target[64] = "old";
    EXPECT_TRUE(readMandatoryField(window, kField, target, 62, kMissing));
    EXPECT_STREQ(target, "pbx.local");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MandatoryFieldTest, ReadsAtMostMaxCharsAndNeverPastTheTarget) {
    window.setControlText(kField, "0123456789abcdef");
    char target[16];
    EXPECT_TRUE(readMandatoryField(window, kField, target, 10, kMissing));
    EXPECT_STREQ(target, "0123456789");
    EXPECT_TRUE(readMandatoryField(window, kField, target, 62, kMissing));
    EXPECT_STREQ(target, "0123456789abcde") << "cut to the target's capacity";
}

TEST_F(MandatoryFieldTest, EmptyFieldIsShownAndLoggedWhenDebugIsOn) {
    g_settings.debug = 1;
    char target[32] = "old";
    EXPECT_FALSE(readMandatoryField(window, kField, target, 30, kMissing));
    EXPECT_STREQ(target, "");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kMissing);
    EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::Ok);
    EXPECT_EQ(boxes.shown[0].icon, BoxIcon::None);
    EXPECT_EQ(logLines(), std::vector<std::string>{kMissing});
}

TEST_F(MandatoryFieldTest, EmptyFieldIsOnlyShownWhenDebugIsOff) {
    g_settings.debug = 0;
    char target[32];
    EXPECT_FALSE(readMandatoryField(window, kField, target, 30, kMissing));
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{kMissing});
    EXPECT_FALSE(fileExists(logName()));
}

}  // namespace
