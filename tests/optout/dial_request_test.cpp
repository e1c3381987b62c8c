// The Dial request with a fake window, scripted boxes and fake services:
// login rule, number field, screening outcomes, the three-way question,
// Not Ready, prefixes and the call.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/settings.h"
#include "optout/dial_request.h"
#include "optout/dnc_database.h"
#include "test_support.h"
#include "tests/support/window/fake_main_window.h"
#include "tests/support/window/scripted_message_boxes.h"

using optout_test::LogCapture;

namespace {

// What the fake services saw and answer.
struct Fakes {
    bool connectionOpen = true;
    int openResult = DB_SUCCESS;
    int searchResult = DB_NOT_FOUND;
    int notReadyResult = 1;
    int callResult = 0;
    std::vector<std::string> calls;  // in order, with their arguments
};
Fakes fakes;

bool fakeConnectionOpen() {
    fakes.calls.push_back("connectionOpen");
    return fakes.connectionOpen;
}
int fakeOpenConnection(const char* s) {
    fakes.calls.push_back(std::string("open ") + s);
    if (fakes.openResult == DB_SUCCESS) fakes.connectionOpen = true;
    return fakes.openResult;
}
int fakeSearchRecord(const char* statement, const char* parameter) {
    fakes.calls.push_back(std::string("search ") + statement + " | " + (parameter ? parameter : "-"));
    return fakes.searchResult;
}
int fakeSetNotReadyReason(const char* name, const char* value) {
    fakes.calls.push_back(std::string("notReady ") + name + " " + value);
    return fakes.notReadyResult;
}
int fakePlaceCall(const char* dialString) {
    fakes.calls.push_back(std::string("call ") + dialString);
    return fakes.callResult;
}

const char* const kThreeWayTail =
    "Yes - Disable DNC and dial this number\nNo - dial this number anyway\n"
    "Cancel - stop dialing transaction";

class DialRequest : public ::testing::Test {
protected:
    void SetUp() override {
        optout_test::resetGlobals();
        log.emplace();
        fakes = Fakes{};
        setMessageBoxes(&boxes);
        copyText(g_settings.user, "1001");
        copyText(g_settings.pass, "pw");
        copyText(g_settings.host, "pbx.local");
        // An agent is logged in: Logout enabled, Login disabled.
        window.enableControl(IDC_BUT_LOGOUT, true);
        window.enableControl(IDC_BUT_LOGIN, false);
        window.enableControl(IDC_BUT_DIAL, true);
        window.enableControl(IDC_BUT_RELEASE, false);
        window.title = "Quendra 1.0 (/etc/quendra/optout.cfg)";
    }
    void TearDown() override {
        setMessageBoxes(nullptr);
        log.reset();
    }

    void screeningOn() {
        g_dncEnabled = 1;
        copyText(g_settings.dbdnctable, "dnc_list");
        copyText(g_optOutConnString, "DRIVER={X};SERVER=db");
    }

    void dial(const std::string& number) {
        window.setControlText(IDC_EDIT_NUMBER, number.c_str());
        const DialServices services{fakeConnectionOpen,    fakeOpenConnection, fakeSearchRecord,
                                    fakeSetNotReadyReason, fakePlaceCall,      &activeCallNo};
        runDialRequest(window, services);
    }

    // The request placed no call and changed nothing the agent relies on.
    void expectStopped() {
        EXPECT_EQ(activeCallNo, -1);
        EXPECT_TRUE(window.isControlEnabled(IDC_BUT_DIAL));
        EXPECT_FALSE(window.isControlEnabled(IDC_BUT_RELEASE));
        EXPECT_EQ(window.reasonSelection(), -1);
        for (const auto& c : fakes.calls) {
            EXPECT_EQ(c.rfind("call ", 0), std::string::npos) << c;
            EXPECT_EQ(c.rfind("notReady", 0), std::string::npos) << c;
        }
    }

    FakeMainWindow window;
    ScriptedMessageBoxes boxes;
    int activeCallNo = -1;
    std::optional<LogCapture> log;
};

TEST_F(DialRequest, LoginRuleStopsWithAnErrorBox) {
    window.enableControl(IDC_BUT_LOGIN, true);
    window.enableControl(IDC_BUT_LOGOUT, false);
    dial("5551234");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "You must log-in to make outbound call.\nPlease login!");
    EXPECT_EQ(boxes.shown[0].icon, BoxIcon::Error);
    EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::Ok);
    expectStopped();
    EXPECT_TRUE(fakes.calls.empty());
}

TEST_F(DialRequest, WithoutTheLoginRuleNoAgentIsNeededAndNoNotReady) {
    g_settings.loggedInToDial = 0;
    window.enableControl(IDC_BUT_LOGIN, true);
    window.enableControl(IDC_BUT_LOGOUT, false);
    fakes.callResult = 1;
    dial("5551234");
    EXPECT_EQ(fakes.calls, std::vector<std::string>{"call 1001:pw@pbx.local/5551234"});
    EXPECT_EQ(activeCallNo, 1);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(DialRequest, EmptyNumber) {
    g_settings.debug = 1;
    dial("");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "No digit to dial");
    EXPECT_EQ(boxes.shown[0].icon, BoxIcon::None);
    EXPECT_TRUE(log->has("No digit to dial"));
    expectStopped();
}

TEST_F(DialRequest, NumberFieldIsReadAndShownAsItsFirst30Characters) {
    const std::string typed(35, '7');
    dial(typed);
    EXPECT_EQ(window.text(IDC_EDIT_NUMBER), typed.substr(0, 30));
    ASSERT_EQ(fakes.calls.size(), 2u);
    EXPECT_EQ(fakes.calls[1], "call 1001:pw@pbx.local/" + typed.substr(0, 30));
}

TEST_F(DialRequest, SuccessfulCallSetsNotReadyAndButtons) {
    g_settings.debug = 1;
    fakes.callResult = 0;
    activeCallNo = -1;
    dial("5551234");
    const std::vector<std::string> expected = {"notReady Outbound NR aux4", "call 1001:pw@pbx.local/5551234"};
    EXPECT_EQ(fakes.calls, expected);
    EXPECT_EQ(activeCallNo, 0);
    EXPECT_EQ(window.reasonSelection(), 0);
    EXPECT_EQ(window.m_reasonIndex, 0);
    EXPECT_TRUE(window.isControlEnabled(IDC_BUT_RELEASE));
    EXPECT_FALSE(window.isControlEnabled(IDC_BUT_DIAL));
    EXPECT_TRUE(log->has("**DEB** [Dial] ready to dial number (1001:pw@pbx.local/5551234)..."));
    EXPECT_TRUE(log->has("**DEB** [Dial->iaxc_call(1001:pw@pbx.local/5551234) succeeded; callNo=[0]"));
}

TEST_F(DialRequest, NotReadyFailureDoesNotStopTheDial) {
    fakes.notReadyResult = 0;
    fakes.callResult = 1;
    window.m_reasonIndex = 3;
    dial("5551234");
    EXPECT_EQ(fakes.calls.back(), "call 1001:pw@pbx.local/5551234");
    EXPECT_EQ(window.reasonSelection(), -1);
    EXPECT_EQ(window.m_reasonIndex, 3);
}

TEST_F(DialRequest, NoNotReadyWhenSwitchedOff) {
    g_settings.outboundDialNotReady = 0;
    dial("5551234");
    EXPECT_EQ(fakes.calls, std::vector<std::string>{"call 1001:pw@pbx.local/5551234"});
}

TEST_F(DialRequest, FailedCallKeepsDialEnabled) {
    g_settings.debug = 1;
    fakes.callResult = -1;
    dial("5551234");
    EXPECT_EQ(activeCallNo, -1);
    EXPECT_TRUE(window.isControlEnabled(IDC_BUT_DIAL));
    EXPECT_FALSE(window.isControlEnabled(IDC_BUT_RELEASE));
    const std::string text = "**WRN** [Dial]->iaxc_call(1001:pw@pbx.local/5551234) failed";
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, text);
    EXPECT_TRUE(log->has(text));
}

TEST_F(DialRequest, ScreenedNumberNotFoundIsDialledWithTheDialPrefix) {
    screeningOn();
    g_settings.dncdebug = 1;
    copyText(g_settings.removeDNCprefix, "9");
    copyText(g_settings.dialprefix, "8");
    dial("91357123456");
    const std::vector<std::string> expected = {
        "connectionOpen",
        "search SELECT dnc_phone FROM dnc_list WHERE dnc_phone = ? | 123456",
        "notReady Outbound NR aux4",
        "call 1001:pw@pbx.local/891357123456",
    };
    EXPECT_EQ(fakes.calls, expected);
    EXPECT_TRUE(
        log->has("**DEB** [Dial]->optout statement [SELECT dnc_phone FROM dnc_list WHERE dnc_phone = '123456']"));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(DialRequest, FoundNumberIsRefusedWithTheSearchNumber) {
    screeningOn();
    g_settings.dncdebug = 1;
    g_settings.maxlength = 8;
    fakes.searchResult = DB_FOUND;
    dial("55512345678");
    const std::string text = "[55512345] is found in Opt-out / Do-Not-Call table; operation aborted";
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, text);
    EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::Ok);
    EXPECT_TRUE(log->has(text));
    expectStopped();
}

TEST_F(DialRequest, ClosedConnectionIsReopenedThenLookedUp) {
    screeningOn();
    fakes.connectionOpen = false;
    dial("5551234");
    ASSERT_GE(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "DB connection not opened");
    EXPECT_EQ(boxes.shown.size(), 1u);
    const std::vector<std::string> expected = {
        "connectionOpen", "open DRIVER={X};SERVER=db",
        "search SELECT dnc_phone FROM dnc_list WHERE dnc_phone = ? | 5551234", "notReady Outbound NR aux4",
        "call 1001:pw@pbx.local/5551234"};
    EXPECT_EQ(fakes.calls, expected);
}

TEST_F(DialRequest, FailedReopenAsksAndCancelStops) {
    screeningOn();
    fakes.connectionOpen = false;
    fakes.openResult = DB_FAILURE;
    dial("5551234");  // no scripted answer: the default button, Cancel
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, std::string("dbOpenConnection() failed!\n") + kThreeWayTail);
    EXPECT_EQ(boxes.shown[1].buttons, BoxButtons::YesNoCancel);
    EXPECT_EQ(boxes.shown[1].icon, BoxIcon::Question);
    EXPECT_EQ(boxes.shown[1].defaultAnswer, IDCANCEL_ANSWER);
    expectStopped();
    EXPECT_EQ(g_dncEnabled, 1);
    EXPECT_EQ(window.title, "Quendra 1.0 (/etc/quendra/optout.cfg)");
}

TEST_F(DialRequest, LookupFailureYesDisablesScreeningAndCutsTheTitle) {
    screeningOn();
    copyText(g_settings.dialprefix, "8");
    fakes.searchResult = DB_LOOKUP_FAILED;
    boxes.answers = {IDYES_ANSWER};
    dial("5551234");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, std::string("Database/table retrieval failed!\n") + kThreeWayTail);
    EXPECT_EQ(g_dncEnabled, 0);
    EXPECT_EQ(window.title, "Quendra 1.0 ");
    // Screening off: no dial prefix either.
    EXPECT_EQ(fakes.calls.back(), "call 1001:pw@pbx.local/5551234");

    // The next request skips screening at once.
    fakes.calls.clear();
    dial("5551234");
    EXPECT_EQ(fakes.calls,
              (std::vector<std::string>{"notReady Outbound NR aux4", "call 1001:pw@pbx.local/5551234"}));
}

TEST_F(DialRequest, LookupFailureNoDialsAndKeepsScreening) {
    screeningOn();
    copyText(g_settings.dialprefix, "8");
    fakes.searchResult = DB_LOOKUP_FAILED;
    boxes.answers = {IDNO_ANSWER};
    dial("5551234");
    EXPECT_EQ(g_dncEnabled, 1);
    EXPECT_EQ(window.title, "Quendra 1.0 (/etc/quendra/optout.cfg)");
    EXPECT_EQ(fakes.calls.back(), "call 1001:pw@pbx.local/85551234");

    // The next request screens again, reopening a closed connection.
    fakes.calls.clear();
    fakes.connectionOpen = false;
    fakes.searchResult = DB_NOT_FOUND;
    dial("5551234");
    ASSERT_GE(fakes.calls.size(), 3u);
    EXPECT_EQ(fakes.calls[1], "open DRIVER={X};SERVER=db");
    EXPECT_EQ(fakes.calls[2].rfind("search ", 0), 0u);
}

TEST_F(DialRequest, YesWithATitleWithoutParenthesisLeavesItAlone) {
    screeningOn();
    window.title = "Quendra";
    fakes.searchResult = DB_LOOKUP_FAILED;
    boxes.answers = {IDYES_ANSWER};
    dial("5551234");
    EXPECT_EQ(window.title, "Quendra");
    EXPECT_EQ(g_dncEnabled, 0);
}

TEST_F(DialRequest, ClosedBoxCountsAsCancel) {
    screeningOn();
    fakes.searchResult = DB_LOOKUP_FAILED;
    boxes.answers = {0};
    dial("5551234");
    expectStopped();
}

TEST_F(DialRequest, AccessCodeAndDialPrefixWithScreening) {
    screeningOn();
    g_settings.maxInternalExtSz = 4;
    copyText(g_settings.pstnAccessCode, "9");
    copyText(g_settings.dialprefix, "1");
    dial("1234");
    EXPECT_EQ(fakes.calls.back(), "call 1001:pw@pbx.local/11234");
    dial("12345");
    EXPECT_EQ(fakes.calls.back(), "call 1001:pw@pbx.local/912345");
}

TEST_F(DialRequest, QuoteInTheNumberTravelsAsAParameter) {
    screeningOn();
    g_settings.dncdebug = 1;
    dial("555' OR '1'='1");
    EXPECT_EQ(fakes.calls[1], "search SELECT dnc_phone FROM dnc_list WHERE dnc_phone = ? | 555' OR '1'='1");
    EXPECT_TRUE(
        log->has("**DEB** [Dial]->optout statement [SELECT dnc_phone FROM dnc_list WHERE "
                 "dnc_phone = '555' OR '1'='1']"));
}

}  // namespace
