#include <sys/stat.h>

#include <QComboBox>
#include <QSlider>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "agent/socket_layer.h"
#include "app/control_ids.h"
#include "app/settings.h"
#include "tests/support/window/ui_fixture.h"

namespace {

using StartupTest = UiTest;

TEST_F(StartupTest, NoArgumentsNoOptionsFileGivesTheDefaults) {
    CQuendraDlg& dlg = makeDialog();
    const Settings defaults = defaultSettings();
    EXPECT_EQ(std::memcmp(&g_settings, &defaults, sizeof defaults), 0);
    EXPECT_FALSE(dlg.isControlEnabled(IDC_EDIT_AGENT_ID));
    EXPECT_EQ(text(IDC_EDIT_AGENT_ID), "");
    EXPECT_TRUE(listFiles(".").empty()) << "nothing is logged with debug off";
}

TEST_F(StartupTest, CommandLineFillsTheFields) {
    CQuendraDlg& dlg = makeDialog({"-hostpbx", "-user1001", "-passpw", "-agid77"});
    EXPECT_EQ(text(IDC_EDIT_HOST), "pbx");
    EXPECT_EQ(text(IDC_EDIT_USER), "1001");
    EXPECT_EQ(text(IDC_EDIT_PASS), "pw");
    // Without diffagid the agent ID follows the extension.
    EXPECT_EQ(text(IDC_EDIT_AGENT_ID), "1001");
    EXPECT_STREQ(g_settings.agid, "1001");
    EXPECT_FALSE(dlg.isControlEnabled(IDC_EDIT_AGENT_ID));
}

TEST_F(StartupTest, OptionsFileOverridesTheCommandLine) {
    writeFile("Quendra.ini", "user=2002;\nacmUser=op;\nacmPass=secret;\n");
    makeDialog({"-user1001"});
    EXPECT_EQ(text(IDC_EDIT_USER), "2002");
    EXPECT_EQ(text(IDC_EDIT_ACM_USER), "op");
    EXPECT_EQ(text(IDC_EDIT_ACM_PASS), "secret");
}

TEST_F(StartupTest, InitSwitchNamesTheFileAndInitAloneReadsNone) {
    writeFile("Quendra.ini", "user=2002;\n");
    writeFile("other.ini", "user=3003;\n");
    makeDialog({"-initother.ini"});
    EXPECT_EQ(text(IDC_EDIT_USER), "3003");
    makeDialog({"-init", "-user1001"});
    EXPECT_EQ(text(IDC_EDIT_USER), "1001");
    EXPECT_STREQ(g_settings.cfgFile, "");
}

TEST_F(StartupTest, DifferentAgentIdKeepsItsOwnValue) {
    writeFile("Quendra.ini", "diffagid=1;\n");
    CQuendraDlg& dlg = makeDialog({"-user1001", "-agid77"});
    EXPECT_TRUE(dlg.isControlEnabled(IDC_EDIT_AGENT_ID));
    EXPECT_EQ(text(IDC_EDIT_AGENT_ID), "77");
}

TEST_F(StartupTest, EchoShowsTheGivenAgentIdBeforeItFollowsTheExtension) {
    makeDialog({"-debug", "-user1001", "-agid77"});
    const std::vector<std::string> lines = logTexts("Quendra1001-20081231.log");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "**INF** Agent login ID       = [77]"), lines.end());
    EXPECT_EQ(text(IDC_EDIT_AGENT_ID), "1001");
}

TEST_F(StartupTest, LockedFieldsAreDisabledOnlyWhenFilled) {
    writeFile("Quendra.ini", "lockuser=7;\nlockpass=1;\n");
    CQuendraDlg& locked = makeDialog({"-user1001", "-passpw"});
    EXPECT_FALSE(locked.isControlEnabled(IDC_EDIT_USER));
    EXPECT_FALSE(locked.isControlEnabled(IDC_EDIT_PASS));
    CQuendraDlg& empty = makeDialog();
    EXPECT_TRUE(empty.isControlEnabled(IDC_EDIT_USER));
    EXPECT_TRUE(empty.isControlEnabled(IDC_EDIT_PASS));
}

TEST_F(StartupTest, ReasonListShowsRenamedAuxEntries) {
    writeFile("Quendra.ini", "AUX6=Lunch;\nAUX11=Training;\n");
    makeDialog();
    auto* combo = qobject_cast<QComboBox*>(control(IDC_COMBO_REASON));
    ASSERT_EQ(combo->count(), 8);
    EXPECT_EQ(combo->itemText(2), "Lunch");
    EXPECT_EQ(combo->itemText(7), "Training");
    EXPECT_EQ(combo->itemText(0), "Outbound NR");
    EXPECT_EQ(combo->currentIndex(), -1);
}

TEST_F(StartupTest, SlidersShowTheNegatedLevels) {
    writeFile("Quendra.ini", "speakerVol=30;\nmicVol=100;\n");
    CQuendraDlg& dlg = makeDialog();
    EXPECT_EQ(dlg.sliderPosition(IDC_SLIDER_SPK), -30);
    EXPECT_EQ(dlg.sliderPosition(IDC_SLIDER_MIC), -100);
}

TEST_F(StartupTest, DebugRunWritesTheEchoToTheExtensionsLog) {
    makeDialog({"-debug", "-user1001"});
    EXPECT_EQ(listFiles("."), std::vector<std::string>{"Quendra1001-20081231.log"});
    const std::vector<std::string> lines = logTexts("Quendra1001-20081231.log");
    ASSERT_GE(lines.size(), 52u);
    EXPECT_EQ(lines[0], "**ERR** fopen(Quendra.ini) failed");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[5], "**INF** echo of AIX2 parameters");
    EXPECT_EQ(lines[8], "**INF** IAX user/extension   = [1001]");
    EXPECT_EQ(lines.back(), "**DEB** SetPriorityClass(HIGH_PRIORITY_CLASS) completed");
    EXPECT_EQ(m_priority.nice, -10);
}

TEST_F(StartupTest, SharedOptionsFileWithAPasswordIsNamedOnceAtStartUp) {
    writeFile("Quendra.ini", "user=1001\npass=secret1001\nacmPass=bramwick\n");
    ASSERT_EQ(::chmod("Quendra.ini", 0644), 0);
    makeDialog({"-debug"});
    const std::vector<std::string> lines = logTexts("Quendra1001-20081231.log");
    const std::string warning =
        "**WRN** options file [Quendra.ini] holds a password and can be read by other users (mode 0644); "
        "make it readable by its owner only";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), warning), 1);
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(StartupTest, PriorityRefusalIsLoggedButNotShown) {
    m_priority.refusal = EPERM;
    m_priority.limit = 0;
    makeDialog();
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_EQ(logTexts("Quendra-20081231.log"),
              (std::vector<std::string>{"**WRN** SetPriorityClass(HIGH_PRIORITY_CLASS) error = [1, 1]", ""}));
}

TEST_F(StartupTest, OtherPriorityFailureIsShownAndStartUpGoesOn) {
    m_priority.refusal = EINVAL;
    CQuendraDlg& dlg = makeDialog({"-user1001"});
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "**WRN** SetPriorityClass(HIGH_PRIORITY_CLASS) error = [22, 16]\n");
    EXPECT_EQ(m_boxes.shown[0].buttons, BoxButtons::Ok);
    EXPECT_EQ(dlg.sliderPosition(IDC_SLIDER_SPK), -50) << "later steps still ran";
}

TEST_F(StartupTest, HostileOptionsFilesLeaveTheProgramStartingNormally) {
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary.push_back(static_cast<char>((i * 7919) % 256));
    const std::vector<std::string> files = {
        binary,
        std::string("host=pb\0x;\nuser=1001\n", 21),
        "host=pbx\r\nuser=1001\r\n",
        std::string(10000, 'q') + "\nuser=1001\n",
    };
    for (const std::string& content : files) {
        writeFile("bad.ini", content);
        CQuendraDlg& dlg = makeDialog({"-initbad.ini"});
        EXPECT_TRUE(dlg.isControlEnabled(IDC_BUT_START));
        EXPECT_EQ(text(IDC_EDIT_ACM_USER), "queueopr");
    }
    EXPECT_EQ(text(IDC_EDIT_USER), "1001");
    ASSERT_EQ(::mkdir("folder.ini", 0755), 0);
    CQuendraDlg& dlg = makeDialog({"-debug", "-initfolder.ini"});
    EXPECT_EQ(dlg.sliderPosition(IDC_SLIDER_MIC), -50);
    EXPECT_EQ(logTexts("Quendra-20081231.log")[0], "**ERR** fopen(folder.ini) failed");
}

TEST_F(StartupTest, OptOutFileNameIsKeptAndEchoed) {
    makeDialog({"-debug", "-optodnc.cfg"});
    EXPECT_STREQ(g_optOutCfgFile, "dnc.cfg");
    const std::vector<std::string> lines = logTexts("Quendra-20081231.log");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "**INF** DNC config. file anme      = [dnc.cfg]"),
              lines.end());
}

TEST_F(StartupTest, StartUpResetsWhatAnEarlierRunLeft) {
    copyText(g_settings.host, "stale");
    g_acmSocket = 7;
    g_dncEnabled = 1;
    g_pstnCodeCount = 4;
    makeDialog();
    EXPECT_STREQ(g_settings.host, "");
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_EQ(g_dncEnabled, 0);
    EXPECT_EQ(g_pstnCodeCount, 2);
}

}  // namespace
