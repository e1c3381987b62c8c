// [Start]: field checks, the engine's start-up calls in their order, device
// choice, codec, filters and levels, the abort paths.
#include <cstring>

#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/settings.h"
#include "call/engine_events.h"
#include "call/phone_start.h"
#include "call/tone_tables.h"
#include "call_fixture.h"

namespace {

class StartTest : public CallTest {
protected:
    void fillFields(const char* host, const char* user, const char* pass) {
        window.setControlText(IDC_EDIT_HOST, host);
        window.setControlText(IDC_EDIT_USER, user);
        window.setControlText(IDC_EDIT_PASS, pass);
        g_journal.clear();
    }
    void useDevices() {
        g_engine.devices = {{"Mic only", IAXC_AD_INPUT | IAXC_AD_INPUT_DEFAULT, 0},
                            {"Speaker", IAXC_AD_OUTPUT | IAXC_AD_RING, 1},
                            {"Headset", IAXC_AD_INPUT | IAXC_AD_OUTPUT, 2}};
        g_engine.input = 0;
        g_engine.output = 1;
        g_engine.ring = 1;
    }
};

TEST_F(StartTest, EachMissingFieldStopsStartWithItsMessage) {
    struct Case {
        const char* host;
        const char* user;
        const char* pass;
        const char* text;
    } cases[] = {
        {"", "7001", "pw", "**ERR** mandatory '-host' (IAX host server name/IP address) value not given!"},
        {"127.0.0.1", "", "pw", "**ERR** mandatory '-user' (IAX user / extension) value not given!"},
        {"127.0.0.1", "7001", "", "**ERR** mandatory '-pass' (IAX password of 'user') value not given!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        boxes.shown.clear();
        fillFields(c.host, c.user, c.pass);
        OnBnClickedButStart();
        ASSERT_EQ(boxes.texts(), std::vector<std::string>{c.text});
        EXPECT_TRUE(logHas(c.text));
        EXPECT_TRUE(g_journal.with("engine:").empty());
        EXPECT_EQ(window.m_notStarted, 1);
        EXPECT_EQ(window.buttonFace(IDC_BUT_START), IDB_START);
        EXPECT_TRUE(window.isControlEnabled(IDC_EDIT_HOST));
    }
}

TEST_F(StartTest, MissingPasswordHasAlreadyCopiedTheExtensionIntoTheAgentField) {
    g_settings.diffagid = 0;
    fillFields("127.0.0.1", "7002", "");
    OnBnClickedButStart();
    EXPECT_STREQ(g_settings.agid, "7002");
    EXPECT_EQ(window.text(IDC_EDIT_AGENT_ID), "7002");
    EXPECT_FALSE(window.isControlEnabled(IDC_EDIT_AGENT_ID));
    EXPECT_EQ(window.m_notStarted, 1);
}

TEST_F(StartTest, DifferentAgentIdIsLeftAlone) {
    g_settings.diffagid = 1;
    copyText(g_settings.agid, "880");
    fillFields("127.0.0.1", "7002", "pw");
    OnBnClickedButStart();
    EXPECT_STREQ(g_settings.agid, "880");
    EXPECT_FALSE(g_journal.has("window:enable(1018,0)"));
}

TEST_F(StartTest, FieldsAreCutToTheirLengths) {
    const std::string longHost(70, 'h');
    const std::string longUser(40, 'u');
    const std::string longPass(80, 'p');
    fillFields(longHost.c_str(), longUser.c_str(), longPass.c_str());
    OnBnClickedButStart();
    EXPECT_EQ(std::string(g_settings.host), longHost.substr(0, 62));
    EXPECT_EQ(std::string(g_settings.user), longUser.substr(0, 30));
    EXPECT_EQ(std::string(g_settings.pass), longPass.substr(0, 62));
    // The agent id takes what its own buffer holds of the extension.
    EXPECT_EQ(std::string(g_settings.agid), longUser.substr(0, sizeof g_settings.agid - 1));
}

TEST_F(StartTest, EngineCallsComeInTheirOrderWithTheirArguments) {
    g_settings.iax2UDPPort = 4570;
    g_settings.jitterbuffer = 0;
    g_settings.speakerVol = 50;
    g_settings.micVol = 80;
    fillFields("127.0.0.1", "7001", "secret7001");
    OnBnClickedButStart();
    const std::vector<std::string> expected = {
        "engine:iaxc_set_preferred_source_udp_port(4570)",
        "engine:iaxc_initialize(2)",
        "engine:iaxc_enable_jitterbuffer(0)",
        "engine:iaxc_set_jb_target_extra(0)",
        "engine:iaxc_set_silence_threshold(-99)",
        "engine:iaxc_set_audio_output(0)",
        // debug on: the default devices are named in the log
        "engine:iaxc_audio_devices_get()",
        "engine:iaxc_audio_devices_get()",
        "engine:iaxc_set_formats(2,14)",
        "engine:iaxc_set_filters(0)",
        "engine:iaxc_output_level_set(0.5)",
        "engine:iaxc_input_level_set(0.8)",
        "engine:iaxc_set_event_callback()",
        "engine:iaxc_start_processing_thread()",
        "engine:iaxc_register(7001,secret7001,127.0.0.1)",
        "engine:iaxc_set_callerid(7001,7001)",
    };
    EXPECT_EQ(g_journal.with("engine:"), expected);
    EXPECT_EQ(g_registrationId, 1);
    EXPECT_EQ(window.m_notStarted, 0);
    EXPECT_EQ(window.buttonFace(IDC_BUT_START), IDB_START_GREYED);
    for (int id : {IDC_EDIT_HOST, IDC_EDIT_USER, IDC_EDIT_PASS}) EXPECT_FALSE(window.isControlEnabled(id));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(logHas("**DEB** [Start]->iaxc_set_preferred_source_udp_port(4570) done"));
    EXPECT_TRUE(logHas("**DEB** [Start]->before calling iaxc_initialize()..."));
    EXPECT_TRUE(logHas("**DEB** [Start]->iaxc_set_filters(0) (hex)"));
}

TEST_F(StartTest, PortZeroJitterBufferOnAndDebugOffMakeNoOptionalCalls) {
    g_settings.iax2UDPPort = 0;
    g_settings.jitterbuffer = 1;
    g_settings.debug = 0;
    fillFields("127.0.0.1", "7001", "pw");
    OnBnClickedButStart();
    const auto calls = g_journal.with("engine:");
    EXPECT_EQ(calls.front(), "engine:iaxc_initialize(2)");
    EXPECT_TRUE(g_journal.has("engine:iaxc_enable_jitterbuffer(1)"));
    EXPECT_TRUE(g_journal.with("engine:iaxc_set_jb_target_extra").empty());
    EXPECT_TRUE(g_journal.with("engine:iaxc_audio_devices").empty());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(StartTest, SecondPressDoesNothingAtAll) {
    startPhone();
    g_journal.clear();
    const auto linesBefore = logLines();
    OnBnClickedButStart();
    EXPECT_TRUE(g_journal.entries.empty());
    EXPECT_EQ(logLines(), linesBefore);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(StartTest, CodecPreferenceAndAllowedSet) {
    struct Case {
        const char* name;
        int format;
    } cases[] = {{"gsm", IAXC_FORMAT_GSM},  {"ulaw", IAXC_FORMAT_ULAW}, {"alaw", IAXC_FORMAT_ALAW},
                 {"ULAW", IAXC_FORMAT_GSM}, {"ulawx", IAXC_FORMAT_GSM}, {"", IAXC_FORMAT_GSM}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window.m_notStarted = 1;
        copyText(g_settings.audioCodecPreferred, c.name);
        fillFields("127.0.0.1", "7001", "pw");
        OnBnClickedButStart();
        EXPECT_TRUE(g_journal.has("engine:iaxc_set_formats(" + std::to_string(c.format) + ",14)"));
    }
}

TEST_F(StartTest, FilterMaskFromTheFiveSwitches) {
    g_settings.filter_denoise = 1;
    g_settings.filter_echo = 1;
    g_settings.filter_cn = 1;
    fillFields("127.0.0.1", "7001", "pw");
    OnBnClickedButStart();
    EXPECT_TRUE(g_journal.has("engine:iaxc_set_filters(21)"));
    EXPECT_TRUE(logHas("**DEB** [Start]->iaxc_set_filters(15) (hex)"));

    window.m_notStarted = 1;
    g_settings.filter_agc = 1;
    g_settings.filter_aagc = 1;
    fillFields("127.0.0.1", "7001", "pw");
    OnBnClickedButStart();
    EXPECT_TRUE(g_journal.has("engine:iaxc_set_filters(31)"));
    EXPECT_TRUE(logHas("**DEB** [Start]->iaxc_set_filters(1F) (hex)"));
}

TEST_F(StartTest, DefaultDevicesAreOnlyNamedInTheLog) {
    useDevices();
    fillFields("127.0.0.1", "7001", "pw");
    OnBnClickedButStart();
    EXPECT_TRUE(g_journal.with("engine:iaxc_audio_devices_set").empty());
    EXPECT_TRUE(logHas("**DEB** iaxc_audio_devices_get(ndev,input,output,ring)=(3,0,1,1)"));
    EXPECT_TRUE(logHas("**DEB** getAudioDeviceStringByNum()->[0] INPUT devID=0 [Mic only]"));
    EXPECT_TRUE(logHas("**DEB** getAudioDeviceStringByNum()->[1] OUTPUT devID=1 [Speaker]"));
    EXPECT_TRUE(logHas("**DEB** getAudioDeviceStringByNum()->[2] INPUT devID=2 [Headset]"));
    EXPECT_TRUE(logHas("**DEB** [Start]-> default sound playback device name = [Speaker]"));
    EXPECT_TRUE(logHas("**DEB** [Start]-> default sound recording device name = [Mic only]"));
}

TEST_F(StartTest, ChosenDevicesAreSetAndBadChoicesWarned) {
    useDevices();
    g_settings.soundPlaybackDeviceNumber = 2;
    g_settings.soundRecordingDeviceNumber = 1;  // an output-only device
    fillFields("127.0.0.1", "7001", "pw");
    OnBnClickedButStart();
    EXPECT_TRUE(g_journal.has("engine:iaxc_audio_devices_set(0,2,1)"));
    EXPECT_TRUE(logHas("**DEB** [Start]->playing sound device changed: devNum=[2], devName=[Headset]"));
    const std::string warning =
        "**WRN** [Start]->failed to find recording sound device: devNum=[1], "
        "devName=[**ERR**DevNumHasNotInputCapacity]";
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{warning});
    EXPECT_TRUE(logHas(warning));
    // Start goes on with the engine's device.
    EXPECT_EQ(window.m_notStarted, 0);

    window.m_notStarted = 1;
    boxes.shown.clear();
    g_settings.soundPlaybackDeviceNumber = 3;  // the device count
    g_settings.soundRecordingDeviceNumber = -5;
    fillFields("127.0.0.1", "7001", "pw");
    OnBnClickedButStart();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"**WRN** [Start]->failed to find playing sound device: "
                                                      "devNum=[3], devName=[**ERR**DevNumOutOfRange]"});
    EXPECT_TRUE(g_journal.with("engine:iaxc_audio_devices_set").empty());
}

TEST_F(StartTest, DeviceNamesAndSelection) {
    useDevices();
    char name[256];
    EXPECT_EQ(getAudioDeviceStringByNum(name, -1, 1), 1);
    EXPECT_STREQ(name, "Mic only");
    EXPECT_EQ(getAudioDeviceStringByNum(name, -1, 0), 1);
    EXPECT_STREQ(name, "Speaker");
    EXPECT_EQ(getAudioDeviceStringByNum(name, 2, 1), 1);
    EXPECT_STREQ(name, "Headset");
    EXPECT_EQ(getAudioDeviceStringByNum(name, 0, 0), 0);
    EXPECT_STREQ(name, "**ERR**DevNumHasNotOutputCapacity");
    EXPECT_EQ(getAudioDeviceStringByNum(name, -2, 0), 0);
    EXPECT_STREQ(name, "**ERR**DevNumOutOfRange");

    // A selection outside the list names no device instead of reading past it.
    g_engine.output = 9;
    EXPECT_EQ(getAudioDeviceStringByNum(name, -1, 0), 1);
    EXPECT_STREQ(name, "");

    g_journal.clear();
    EXPECT_EQ(setAudioDeviceByNum(-1, 0), 1);
    EXPECT_TRUE(g_journal.entries.empty());
    EXPECT_EQ(setAudioDeviceByNum(3, 0), 0);
    EXPECT_TRUE(g_journal.with("engine:iaxc_audio_devices_set").empty());
    EXPECT_EQ(setAudioDeviceByNum(2, 1), 1);
    EXPECT_TRUE(g_journal.has("engine:iaxc_audio_devices_set(2,9,1)"));
    // A device without the capability keeps the selection as it was.
    EXPECT_EQ(setAudioDeviceByNum(0, 0), 1);
    EXPECT_TRUE(g_journal.has("engine:iaxc_audio_devices_set(0,9,1)"));
}

TEST_F(StartTest, EngineFailuresAbortTheProgram) {
    struct Case {
        int initialize;
        int thread;
        int reg;
        const char* text;
        bool threadsStopped;
    } cases[] = {
        {-1, 0, 1, "**ERR** [Start]->iaxc_initialize() failed; program will be aborted!", false},
        {0, -1, 1, "**ERR** [Start]->iaxc_start_processing_thread() failed; program will be aborted!", true},
        {0, 0, -1, "**ERR** [Start]->iaxc_register(7001,pw,127.0.0.1) failed; program will be aborted!", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        window.m_notStarted = 1;
        window.closed = false;
        boxes.shown.clear();
        g_settings.debug = 0;  // the abort line is written all the same
        g_engine.initializeResult = c.initialize;
        g_engine.startThreadResult = c.thread;
        g_engine.registerResult = c.reg;
        fillFields("127.0.0.1", "7001", "pw");
        OnBnClickedButStart();
        EXPECT_EQ(boxes.texts(), (std::vector<std::string>{c.text, "Program is being terminated..."}));
        EXPECT_TRUE(logHas(c.text));
        EXPECT_TRUE(window.closed);
        EXPECT_EQ(window.m_notStarted, 1);
        const auto calls = g_journal.with("engine:");
        EXPECT_EQ(calls.back(), "engine:iaxc_shutdown()");
        EXPECT_EQ(g_journal.has("engine:iaxc_stop_processing_thread()"), c.threadsStopped);
        EXPECT_TRUE(g_journal.with("engine:iaxc_set_callerid").empty());
        // The steps of Exit do not run.
        EXPECT_FALSE(g_journal.has("db:dbUnInitialize"));
        // Events still on their way are dropped: the engine is gone.
        g_journal.clear();
        iaxEventCallback(stateEvent(0, IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_RINGING));
        deliverEvents();
        EXPECT_TRUE(g_journal.entries.empty());
        EXPECT_EQ(g_activeCallNo, -1);
        reopenEventHandling();
    }
}

}  // namespace
