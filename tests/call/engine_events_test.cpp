// The handling of the engine's events: registration replies, the ringing of
// an inbound call, connection, the end of a call, auto-answer, texts and
// unknown types, and the hand-over from the engine's thread.
#include <cstring>

#include "agent/socket_layer.h"
#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/settings.h"
#include "call/call_operations.h"
#include "call/engine_events.h"
#include "call/ringing.h"
#include "call/tone_tables.h"
#include "call_fixture.h"

namespace {

constexpr int kRinging = IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_RINGING;
constexpr int kConnected = IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_COMPLETE | IAXC_CALL_STATE_SELECTED;
constexpr int kOutgoing = IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_OUTGOING | IAXC_CALL_STATE_SELECTED;

class EventTest : public CallTest {
protected:
    void SetUp() override {
        CallTest::SetUp();
        startPhone();
        g_journal.clear();
        clearLog();
    }
};

TEST_F(EventTest, CallbackRelaysAndWindowThreadHandlesLater) {
    EXPECT_EQ(g_engine.deliver(registrationEvent(IAXC_REGISTRATION_REPLY_ACK)), 1);
    // Nothing happens on the engine's thread...
    EXPECT_EQ(window.buttonFace(IDC_BUT_START), IDB_START_GREYED);
    EXPECT_EQ(pendingEvents(), 1);
    // ...until the window's thread takes the event.
    deliverEvents();
    EXPECT_EQ(window.buttonFace(IDC_BUT_START), IDB_ONLINE);
}

TEST_F(EventTest, IgnoredTypesAreNotEvenRelayed) {
    for (int type : {IAXC_EVENT_LEVELS, IAXC_EVENT_NETSTAT, IAXC_EVENT_URL, IAXC_EVENT_VIDEO, IAXC_EVENT_DTMF,
                     IAXC_EVENT_AUDIO, IAXC_EVENT_VIDEOSTATS}) {
        iaxc_event e{};
        e.type = type;
        EXPECT_EQ(g_engine.deliver(e), 1);
    }
    EXPECT_EQ(pendingEvents(), 0);
}

TEST_F(EventTest, UnknownTypesAreLoggedEvenWithDebugOff) {
    g_settings.debug = 0;
    for (int type : {0, 7, 12, 255}) {
        iaxc_event e{};
        e.type = type;
        engineSends(e);
    }
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{"**ERR** unknown event code [0x0]", "**ERR** unknown event code [0x7]",
                                        "**ERR** unknown event code [0xC]", "**ERR** unknown event code [0xFF]"}));
}

TEST_F(EventTest, TextEventsAreLoggedCut) {
    const std::string longText(250, 'x');
    engineSends(textEvent(IAXC_TEXT_TYPE_NOTICE, 0, longText.c_str()));
    engineSends(textEvent(9, -1, "odd"));
    EXPECT_TRUE(logHas("IAXC_EVENT_TEXT: (type,callno,msg)=(Notice[2],0," + longText.substr(0, 200) + ")"));
    EXPECT_TRUE(logHas("IAXC_EVENT_TEXT: (type,callno,msg)=(Unknown[9],-1,odd)"));
}

TEST_F(EventTest, TextsWithoutTheirEndAreReadWithinTheirBuffers) {
    iaxc_event e = stateEvent(0, kRinging);
    std::memset(e.ev.call.remote, '7', sizeof e.ev.call.remote);
    std::memset(e.ev.call.remote_name, 'n', sizeof e.ev.call.remote_name);
    std::memset(e.ev.call.local, 'l', sizeof e.ev.call.local);
    std::memset(e.ev.call.local_context, 'c', sizeof e.ev.call.local_context);
    engineSends(e);
    EXPECT_EQ(window.text(IDC_EDIT_REMOTE_NUMBER), std::string(255, '7'));
    EXPECT_EQ(window.text(IDC_EDIT_REMOTE_CONTENT), std::string(255, 'n'));
}

TEST_F(EventTest, RegistrationAcceptedEnablesLoginAndDialOnce) {
    engineSends(registrationEvent(IAXC_REGISTRATION_REPLY_ACK, 1, 0x0102));
    EXPECT_EQ(window.buttonFace(IDC_BUT_START), IDB_ONLINE);
    EXPECT_TRUE(window.isControlEnabled(IDC_BUT_LOGIN));
    EXPECT_TRUE(window.isControlEnabled(IDC_BUT_DIAL));
    EXPECT_EQ(g_registeredOnce, 1);
    EXPECT_TRUE(logHas("IAXC_EVENT_REGISTRATION: (id,reply,msgcount)=(1,Accepted[12],258)"));

    // Refused later: Offline, Dial off.
    engineSends(registrationEvent(IAXC_REGISTRATION_REPLY_REJ));
    EXPECT_EQ(window.buttonFace(IDC_BUT_START), IDB_OFFLINE);
    EXPECT_FALSE(window.isControlEnabled(IDC_BUT_DIAL));
    EXPECT_TRUE(logHas("IAXC_EVENT_REGISTRATION: (id,reply,msgcount)=(1,Rejected[1E],-1)"));

    // Accepted again with no call: Online, and Dial back as before the
    // outage; Login stays as the agent's login left it.
    window.enableControl(IDC_BUT_LOGIN, false);
    engineSends(registrationEvent(IAXC_REGISTRATION_REPLY_ACK));
    EXPECT_EQ(window.buttonFace(IDC_BUT_START), IDB_ONLINE);
    EXPECT_TRUE(window.isControlEnabled(IDC_BUT_DIAL));
    EXPECT_FALSE(window.isControlEnabled(IDC_BUT_LOGIN));
}

TEST_F(EventTest, OnlineAgainDuringACallLeavesDialToTheCallsEnd) {
    engineSends(registrationEvent(IAXC_REGISTRATION_REPLY_ACK));
    ringInbound(0);
    engineSends(registrationEvent(IAXC_REGISTRATION_REPLY_TIMEOUT));
    engineSends(registrationEvent(IAXC_REGISTRATION_REPLY_ACK));
    EXPECT_EQ(window.buttonFace(IDC_BUT_START), IDB_ONLINE);
    EXPECT_FALSE(window.isControlEnabled(IDC_BUT_DIAL)) << "the call still rings";
    engineSends(stateEvent(0, IAXC_CALL_STATE_FREE));
    EXPECT_TRUE(window.isControlEnabled(IDC_BUT_DIAL));
}

TEST_F(EventTest, RegistrationTimedOutOrUnknownShowsOffline) {
    for (int reply : {IAXC_REGISTRATION_REPLY_TIMEOUT, 99}) {
        engineSends(registrationEvent(reply));
        EXPECT_EQ(window.buttonFace(IDC_BUT_START), IDB_OFFLINE);
        EXPECT_FALSE(window.isControlEnabled(IDC_BUT_DIAL));
        EXPECT_FALSE(window.isControlEnabled(IDC_BUT_LOGIN));
    }
    EXPECT_TRUE(logHas("IAXC_EVENT_REGISTRATION: (id,reply,msgcount)=(1,Timeout[6],-1)"));
    EXPECT_TRUE(logHas("IAXC_EVENT_REGISTRATION: (id,reply,msgcount)=(1,Unknown[63],-1)"));
    EXPECT_EQ(g_registeredOnce, 0);
}

TEST_F(EventTest, InboundCallRingsFlashesAndRepeatsItsTone) {
    window.enableControl(IDC_BUT_DIAL, true);
    g_journal.clear();
    g_settings.debug = 0;
    ringInbound(1, "5551234", "Ada Caller");
    EXPECT_EQ(g_activeCallNo, 1);
    EXPECT_EQ(g_activeCallType, CALLTYPE_INBOUND);
    EXPECT_EQ(window.text(IDC_EDIT_REMOTE_NUMBER), "5551234");
    EXPECT_EQ(window.text(IDC_EDIT_REMOTE_CONTENT), "Ada Caller");
    EXPECT_FALSE(window.isControlEnabled(IDC_BUT_DIAL));
    EXPECT_FALSE(window.isControlEnabled(IDC_BUT_RELEASE));  // the agent cannot refuse the call
    EXPECT_EQ(window.m_ringing, 1);
    EXPECT_EQ(window.m_ringTicks, 0);
    EXPECT_EQ(window.buttonFace(IDC_BUT_ANSWER), IDB_ANSWER_RED);
    EXPECT_EQ(window.timerPeriod(TIMERID_RINGCOLOR), 500);
    EXPECT_EQ(window.timerPeriod(TIMERID_RINGING), 6000);
    EXPECT_EQ(window.raised, 1);
    ASSERT_EQ(g_engine.sounds.size(), 1u);
    EXPECT_EQ(g_engine.sounds[0].data, g_ringToneSamples);
    EXPECT_EQ(g_engine.sounds[0].len, 2000);
    EXPECT_EQ(g_engine.sounds[0].repeat, 8);
    EXPECT_EQ(g_engine.sounds[0].ring, 0);
    EXPECT_EQ(g_engine.sounds[0].malloced, 0);
    EXPECT_EQ(g_ringToneId, g_engine.sounds[0].id);
    // Written whatever the debug switch.
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{"**DEB** before play_ringingTone()", "**DEB** After play_ringingTone()"}));
    // A pending timed after-call work is abandoned first.
    EXPECT_EQ(g_journal.entries.front(), "agent:killTimedAcwTimers");

    // Flashing: green on odd ticks, red on even ones.
    const int faces[] = {IDB_ANSWER_GREEN, IDB_ANSWER_RED, IDB_ANSWER_GREEN, IDB_ANSWER_RED};
    for (int face : faces) {
        onRingingTimer(TIMERID_RINGCOLOR);
        EXPECT_EQ(window.buttonFace(IDC_BUT_ANSWER), face);
    }
    EXPECT_EQ(window.m_ringTicks, 4);

    // A new burst every 6 s replaces the tone id, and writes no line.
    onRingingTimer(TIMERID_RINGING);
    onRingingTimer(TIMERID_RINGING);
    ASSERT_EQ(g_engine.sounds.size(), 3u);
    EXPECT_EQ(g_ringToneId, g_engine.sounds[2].id);
    EXPECT_EQ(logLines().size(), 2u);
}

TEST_F(EventTest, StateLineNamesStateAndFormat) {
    ringInbound(0, "5551234", "Ada");
    EXPECT_TRUE(
        logHas("**DEB** IAXC_EVENT_STATE: (callNo,State,format,Rnum,Rname,Lnum,LCont)="
               "(0,ActiveRinging[A],GSM[2],5551234,Ada,7001,default)"));
}

TEST_F(EventTest, FailedTimersAreLoggedAndRingingGoesOnWithoutThem) {
    window.refusedTimers = {TIMERID_RINGCOLOR, TIMERID_RINGING};
    ringInbound();
    EXPECT_TRUE(logHas("**ERR** inboundringColor->SetTimer() failed"));
    EXPECT_TRUE(logHas("**ERR** inboundRinging->SetTimer() failed"));
    EXPECT_FALSE(logHas("**DEB** before play_ringingTone()"));
    EXPECT_TRUE(g_engine.sounds.empty());
    EXPECT_EQ(g_ringToneId, -1);
    EXPECT_EQ(window.m_ringing, 1);
}

TEST_F(EventTest, AnsweredInboundCallConnectsAndEndsWithItsReleaseAction) {
    g_acmSocket = 5;
    ringInbound(1);
    g_journal.clear();
    OnBnClickedButAnswer();
    EXPECT_EQ(g_journal.entries, (std::vector<std::string>{"engine:iaxc_stop_sound(1)", "window:stopTimer(47)",
                                                           "window:stopTimer(46)", "engine:iaxc_answer_call(1)"}));
    EXPECT_EQ(g_ringToneId, -1);
    EXPECT_TRUE(logHas("**DEB** [Answer] button was clicked to pick incoming call"));

    engineSends(stateEvent(1, kConnected));
    EXPECT_TRUE(window.isControlEnabled(IDC_BUT_TXFER));
    EXPECT_TRUE(window.isControlEnabled(IDC_BUT_HOLD));
    EXPECT_TRUE(window.isControlEnabled(IDC_BUT_RELEASE));
    EXPECT_EQ(window.buttonFace(IDC_BUT_ANSWER), IDB_ANSWER_IDLE);
    EXPECT_EQ(window.m_ringing, 0);
    EXPECT_TRUE(g_journal.has("agent:inboundAnswerNotReady(type=1)"));

    // The caller hangs up.
    g_journal.clear();
    window.setControlText(IDC_BUT_HOLD, "Unhold");
    engineSends(stateEvent(1, IAXC_CALL_STATE_FREE));
    EXPECT_EQ(g_activeCallNo, -1);
    EXPECT_EQ(g_activeCallType, CALLTYPE_NONE);
    EXPECT_FALSE(window.isControlEnabled(IDC_BUT_RELEASE));
    EXPECT_FALSE(window.isControlEnabled(IDC_BUT_TXFER));
    EXPECT_FALSE(window.isControlEnabled(IDC_BUT_HOLD));
    EXPECT_TRUE(window.isControlEnabled(IDC_BUT_DIAL));
    EXPECT_EQ(window.text(IDC_BUT_HOLD), "Hold");
    // The call is already gone when the release action runs.
    EXPECT_EQ(g_journal.entries.back(), "agent:release(1,callNo=-1)");
    // No tone was left to stop.
    EXPECT_TRUE(g_journal.with("engine:iaxc_stop_sound").empty());
    // The caller's details stay for the agent to read.
    EXPECT_EQ(window.text(IDC_EDIT_REMOTE_NUMBER), "5551234");
}

TEST_F(EventTest, CallerHangsUpWhileItRings) {
    g_acmSocket = 5;
    ringInbound(0);
    const int toneId = g_ringToneId;
    g_journal.clear();
    engineSends(stateEvent(0, IAXC_CALL_STATE_FREE));
    const std::vector<std::string> expected = {
        "window:enable(1001,0)",  "window:enable(1002,1)",
        "window:stopTimer(46)",   "window:face(1000,139)",
        "window:enable(1003,0)",  "window:enable(1004,0)",
        "window:text(1004,Hold)", "engine:iaxc_stop_sound(" + std::to_string(toneId) + ")",
        "window:stopTimer(47)",   "agent:release(1,callNo=-1)",
    };
    EXPECT_EQ(g_journal.entries, expected);
    EXPECT_EQ(window.m_ringing, 0);
    EXPECT_EQ(g_ringToneId, -1);
    EXPECT_FALSE(window.timerRunning(TIMERID_RINGCOLOR));
    EXPECT_FALSE(window.timerRunning(TIMERID_RINGING));
}

TEST_F(EventTest, NoReleaseActionWithoutTheManagerLinkOrADirection) {
    ringInbound(0);
    engineSends(stateEvent(0, IAXC_CALL_STATE_FREE));  // link closed
    EXPECT_TRUE(g_journal.with("agent:release").empty());
    g_acmSocket = 5;
    engineSends(stateEvent(1, IAXC_CALL_STATE_FREE));  // no direction any more
    EXPECT_TRUE(g_journal.with("agent:release").empty());
}

TEST_F(EventTest, FreeOfAnotherCallEndsTheActiveOneAllTheSame) {
    ringInbound(0);
    engineSends(stateEvent(1, IAXC_CALL_STATE_FREE));
    EXPECT_EQ(g_activeCallNo, -1);
    EXPECT_EQ(window.m_ringing, 0);
}

TEST_F(EventTest, AnswerWithoutToneIdLeavesTheFlashingRunning) {
    window.refusedTimers = {TIMERID_RINGING};
    ringInbound(0);
    g_journal.clear();
    OnBnClickedButAnswer();
    EXPECT_EQ(g_journal.with("engine:"), std::vector<std::string>{"engine:iaxc_answer_call(0)"});
    EXPECT_TRUE(window.timerRunning(TIMERID_RINGCOLOR));
}

TEST_F(EventTest, AnswerWhileNothingRingsDoesNothing) {
    OnBnClickedButAnswer();
    EXPECT_TRUE(g_journal.entries.empty());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(EventTest, OutboundCallStates) {
    g_acmSocket = 5;
    g_activeCallNo = 0;  // as Dial leaves it
    engineSends(stateEvent(0, kOutgoing));
    EXPECT_EQ(g_activeCallType, CALLTYPE_OUTBOUND);
    EXPECT_TRUE(logHas("**DEB** IAXC_EVENT_STATE: active call type = OUTBOUND"));
    EXPECT_TRUE(g_journal.has("agent:killTimedAcwTimers"));

    // The far end rings: nothing on the window.
    g_journal.clear();
    engineSends(stateEvent(0, kOutgoing | IAXC_CALL_STATE_RINGING));
    EXPECT_EQ(g_journal.entries, std::vector<std::string>{"agent:killTimedAcwTimers"});
    EXPECT_EQ(window.m_ringing, 0);

    // Answered: the buttons come on, no inbound Not Ready.
    engineSends(stateEvent(0, kOutgoing | IAXC_CALL_STATE_COMPLETE));
    EXPECT_TRUE(window.isControlEnabled(IDC_BUT_HOLD));
    EXPECT_TRUE(g_journal.with("agent:inboundAnswerNotReady").empty());

    engineSends(stateEvent(0, IAXC_CALL_STATE_FREE));
    EXPECT_TRUE(g_journal.has("agent:release(2,callNo=-1)"));
    EXPECT_EQ(g_activeCallType, CALLTYPE_NONE);
}

TEST_F(EventTest, AutoAnswerWithAlert) {
    g_settings.aa = 1;
    g_engine.emitCompleteOnAnswer = true;
    ringInbound(0);
    // The answer's connected state arrives after the ringing's handling.
    EXPECT_EQ(window.m_ringing, 0);
    EXPECT_FALSE(window.timerRunning(TIMERID_RINGCOLOR));
    EXPECT_FALSE(window.timerRunning(TIMERID_RINGING));
    ASSERT_EQ(g_engine.sounds.size(), 1u);
    EXPECT_EQ(g_engine.sounds[0].data, g_autoAnswerAlertSamples);
    EXPECT_EQ(g_engine.sounds[0].len, 600);
    EXPECT_EQ(g_engine.sounds[0].repeat, 1);
    EXPECT_EQ(g_ringToneId, -1);
    const int alert = g_journal.indexOf("engine:iaxc_play_sound(len=600,repeat=1,ring=0)=1");
    const int answer = g_journal.indexOf("engine:iaxc_answer_call(0)");
    const int raise = g_journal.indexOf("window:bringToFront");
    const int notReady = g_journal.indexOf("agent:inboundAnswerNotReady(type=1)");
    EXPECT_TRUE(alert >= 0 && alert < answer && answer < raise && raise < notReady);
    EXPECT_TRUE(window.isControlEnabled(IDC_BUT_RELEASE));
}

TEST_F(EventTest, AutoAnswerWithoutAlert) {
    g_settings.aa = 1;
    g_settings.noAutoAnsAlert = 1;
    ringInbound(0);
    EXPECT_TRUE(g_engine.sounds.empty());
    EXPECT_TRUE(g_journal.has("engine:iaxc_answer_call(0)"));
    EXPECT_EQ(window.raised, 1);
}

TEST_F(EventTest, EventsArrivingWhileABoxIsOpenWaitForTheEventThatOpenedIt) {
    g_acmSocket = 5;
    ringInbound(0);
    engineSends(stateEvent(0, kConnected));
    // The release action of call 0 shows a box; while it is open, the box's
    // own event loop takes the engine's report that call 1 rings.
    g_agent.releaseBox = "**WRN**: operation [ACWIB] cannot be completed";
    boxes.whileOpen = [this] {
        boxes.whileOpen = nullptr;
        ASSERT_EQ(g_engine.deliver(stateEvent(1, kRinging, "5559876", "Bea Second")), 1);
        deliverEvents();
        g_journal.add("box closed");
    };
    g_journal.clear();
    engineSends(stateEvent(0, IAXC_CALL_STATE_FREE));

    // The end of call 0 was handled whole, and call 1 rang after it: the
    // direction the end of call 0 reset is call 1's again.
    EXPECT_EQ(g_activeCallNo, 1);
    EXPECT_EQ(g_activeCallType, CALLTYPE_INBOUND);
    EXPECT_EQ(window.m_ringing, 1);
    EXPECT_EQ(window.text(IDC_EDIT_REMOTE_NUMBER), "5559876");
    EXPECT_FALSE(window.isControlEnabled(IDC_BUT_DIAL));
    const int release = g_journal.indexOf("agent:release(1,callNo=-1)");
    const int closed = g_journal.indexOf("box closed");
    const int ringing = g_journal.indexOf("agent:killTimedAcwTimers");
    EXPECT_TRUE(release >= 0 && release < closed && closed < ringing)
        << release << " " << closed << " " << ringing;

    // Answered and ended, call 1 has its inbound reactions.
    engineSends(stateEvent(1, kConnected));
    EXPECT_TRUE(g_journal.has("agent:inboundAnswerNotReady(type=1)"));
    g_agent.releaseBox.clear();
    engineSends(stateEvent(1, IAXC_CALL_STATE_FREE));
    EXPECT_EQ(g_journal.with("agent:release").size(), 2u);
}

TEST_F(EventTest, EventsAfterClosingAreDropped) {
    closeEventHandling();
    ringInbound(0);
    EXPECT_EQ(g_activeCallNo, -1);
    EXPECT_TRUE(g_journal.entries.empty());
}

}  // namespace
