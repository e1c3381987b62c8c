#include <cerrno>
#include <string>
#include <vector>

#include "app/message_box.h"
#include "app/process_priority.h"
#include "app/settings.h"
#include "tests/support/app/app_test_support.h"
#include "tests/support/window/scripted_message_boxes.h"

namespace {

class FakePriority final : public PrioritySystem {
public:
    int nice = 0;
    int readError = 0;
    // Nice values at or above this may be set; below it setNice fails with
    // setError (unless privileged).
    int lowestAllowed = 20;
    int setError = EPERM;
    bool unlimited = false;
    unsigned long long limit = 0;
    std::vector<int> requests;

    bool currentNice(int* value, int* error) override {
        if (readError != 0) {
            *error = readError;
            return false;
        }
        *value = nice;
        return true;
    }
    bool setNice(int value, int* error) override {
        requests.push_back(value);
        if (value < lowestAllowed) {
            *error = setError;
            return false;
        }
        nice = value;
        return true;
    }
    bool niceLimit(unsigned long long* value) override {
        if (unlimited) return false;
        *value = limit;
        return true;
    }
};

class ProcessPriorityTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        // Every box of the priority step is a plain OK box.
        m_boxes.onShow = [](const ScriptedMessageBoxes::Box& box) { EXPECT_EQ(box.buttons, BoxButtons::Ok); };
        setMessageBoxes(&m_boxes);
    }
    void TearDown() override {
        setMessageBoxes(nullptr);
        AppTest::TearDown();
    }
    FakePriority m_system;
    ScriptedMessageBoxes m_boxes;
};

TEST_F(ProcessPriorityTest, PrivilegedProcessGoesToMinusTen) {
    m_system.lowestAllowed = -20;
    g_settings.debug = 1;
    EXPECT_EQ(raiseProcessPriority(m_system), PriorityResult::Raised);
    EXPECT_EQ(m_system.nice, kHighPriorityNice);
    EXPECT_EQ(logLines(), std::vector<std::string>{"**DEB** SetPriorityClass(HIGH_PRIORITY_CLASS) completed"});
    EXPECT_TRUE(m_boxes.texts().empty());
}

TEST_F(ProcessPriorityTest, SuccessIsLoggedOnlyWithDebug) {
    m_system.lowestAllowed = -20;
    EXPECT_EQ(raiseProcessPriority(m_system), PriorityResult::Raised);
    EXPECT_TRUE(listFiles(".").empty());
}

TEST_F(ProcessPriorityTest, AlreadyHighIsLeftAlone) {
    m_system.nice = -15;
    EXPECT_EQ(raiseProcessPriority(m_system), PriorityResult::Raised);
    EXPECT_TRUE(m_system.requests.empty()) << "never lowers the priority";
    EXPECT_EQ(m_system.nice, -15);
}

TEST_F(ProcessPriorityTest, LimitedUserGoesAsFarAsTheLimitAllows) {
    m_system.limit = 25;  // lowest nice 20 - 25 = -5
    m_system.lowestAllowed = -5;
    g_settings.debug = 1;
    EXPECT_EQ(raiseProcessPriority(m_system), PriorityResult::RaisedPartly);
    EXPECT_EQ(m_system.requests, (std::vector<int>{-10, -5}));
    EXPECT_EQ(m_system.nice, -5);
    EXPECT_EQ(logLines(), std::vector<std::string>{"**DEB** SetPriorityClass(HIGH_PRIORITY_CLASS) completed"});

    FakePriority generous;
    generous.limit = 35;  // would allow -15: still only -10 is asked for
    generous.lowestAllowed = -10;
    generous.setError = EACCES;
    EXPECT_EQ(raiseProcessPriority(generous), PriorityResult::Raised);
    EXPECT_EQ(generous.nice, -10);
}

TEST_F(ProcessPriorityTest, NotPermittedWritesTheWarningWithoutABox) {
    m_system.limit = 0;  // the default for users: no raise at all
    EXPECT_EQ(raiseProcessPriority(m_system), PriorityResult::NotPermitted);
    EXPECT_EQ(m_system.nice, 0);
    EXPECT_EQ(logContent(), "2008-12-31 10:20:30 **WRN** SetPriorityClass(HIGH_PRIORITY_CLASS) error = [1, 1]\n\n")
        << "written whatever the debug switch";
    EXPECT_TRUE(m_boxes.texts().empty());

    FakePriority niced;
    niced.nice = 5;
    niced.limit = 15;  // lowest 5: nothing to gain
    EXPECT_EQ(raiseProcessPriority(niced), PriorityResult::NotPermitted);
    EXPECT_EQ(niced.requests, std::vector<int>{-10});
}

TEST_F(ProcessPriorityTest, OtherFailuresAreLoggedAndShown) {
    m_system.setError = ESRCH;
    m_system.unlimited = true;
    m_system.lowestAllowed = 0;
    m_system.nice = 0;
    m_system.setError = 13 + 1000;  // any code other than a permission refusal
    EXPECT_EQ(raiseProcessPriority(m_system), PriorityResult::Failed);
    const std::string text = "**WRN** SetPriorityClass(HIGH_PRIORITY_CLASS) error = [1013, 3F5]\n";
    EXPECT_EQ(m_boxes.texts(), std::vector<std::string>{text});
    EXPECT_EQ(logContent(), "2008-12-31 10:20:30 " + text + "\n");

    FakePriority unreadable;
    unreadable.readError = ESRCH;
    EXPECT_EQ(raiseProcessPriority(unreadable), PriorityResult::Failed);
    EXPECT_EQ(m_boxes.texts().back(), "**WRN** SetPriorityClass(HIGH_PRIORITY_CLASS) error = [3, 3]\n");
}

TEST_F(ProcessPriorityTest, FailedPartialRaiseIsShown) {
    m_system.unlimited = true;   // the limit claims -20 is allowed...
    m_system.lowestAllowed = 0;  // ...but the system refuses anything
    EXPECT_EQ(raiseProcessPriority(m_system), PriorityResult::Failed);
    EXPECT_EQ(m_system.requests, (std::vector<int>{-10, -10}));
    EXPECT_EQ(m_boxes.texts().size(), 1u);
}

TEST_F(ProcessPriorityTest, InstalledSystemIsTheDefault) {
    m_system.lowestAllowed = -20;
    setPrioritySystem(&m_system);
    EXPECT_EQ(&systemPriority(), &m_system);
    EXPECT_EQ(raiseProcessPriority(), PriorityResult::Raised);
    EXPECT_EQ(m_system.nice, -10);
    setPrioritySystem(nullptr);
    EXPECT_NE(&systemPriority(), &m_system);
}

TEST(MessageBoxDefaults, WithoutAnInstalledBoxTheDefaultButtonAnswers) {
    setMessageBoxes(nullptr);
    EXPECT_EQ(askYesNo("q"), IDNO_ANSWER);
    EXPECT_EQ(askYesNoCancel("q"), IDCANCEL_ANSWER);
    showMessage("shown to nobody");
}

}  // namespace
