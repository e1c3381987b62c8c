#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>
#include <QTextDocumentFragment>

#include <set>
#include <string>

#include "app/quendra_version.h"
#include "app/settings.h"
#include "tests/support/window/ui_fixture.h"
#include "ui/about_dlg.h"
#include "ui/dialog_units.h"

namespace {

class AboutDlgTest : public UiTest {
protected:
    std::string shown(CAboutDlg& dlg, int id) {
        QLineEdit* edit = dlg.field(id);
        return edit ? edit->text().toStdString() : "<missing>";
    }
};

TEST_F(AboutDlgTest, FiftySixFieldsInFiveGroups) {
    CAboutDlg dlg;
    EXPECT_EQ(dlg.fieldCount(), 56);
    int groupCount = 0;
    const AboutGroup* groups = aboutGroups(&groupCount);
    ASSERT_EQ(groupCount, 5);
    const int sizes[] = {16, 8, 10, 13, 9};
    std::set<int> ids;
    std::set<std::string> labels;
    for (int g = 0; g < groupCount; ++g) {
        EXPECT_EQ(groups[g].count, sizes[g]) << groups[g].title;
        for (int i = 0; i < groups[g].count; ++i) {
            ids.insert(groups[g].fields[i].id);
            labels.insert(groups[g].fields[i].label);
            EXPECT_NE(dlg.field(groups[g].fields[i].id), nullptr);
        }
    }
    EXPECT_EQ(ids.size(), 56u);
    EXPECT_EQ(labels.count("resizedHeight"), 0u);
    EXPECT_EQ(labels.count("dbmysqlPort"), 0u);
    EXPECT_EQ(dlg.field(IDC_ABOUT_PASS)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dlg.field(IDC_ABOUT_DBPASSWORD)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dlg.field(IDC_ABOUT_ACM_PASS)->echoMode(), QLineEdit::Normal) << "the manager password is in clear";
}

TEST_F(AboutDlgTest, DefaultValuesAndTheirFormats) {
    CAboutDlg dlg;
    dlg.show();
    const std::pair<int, const char*> expected[] = {
        {IDC_ABOUT_CFG_FILE, "Quendra.ini"},
        {IDC_ABOUT_HOST, ""},
        {IDC_ABOUT_IAX2_UDP_PORT, "4569"},
        {IDC_ABOUT_DEBUG, "Disabled"},
        {IDC_ABOUT_AA, "No"},
        {IDC_ABOUT_NO_AUTO_ANS_ALERT, "No"},
        {IDC_ABOUT_SPEAKER_VOL, "50 %"},
        {IDC_ABOUT_MIC_VOL, "50 %"},
        {IDC_ABOUT_MAX_INTERNAL_EXT, "0"},
        {IDC_ABOUT_AUDIO_CODEC, "gsm"},
        {IDC_ABOUT_PLAYBACK_DEVICE, "-1"},
        {IDC_ABOUT_RECORDING_DEVICE, "-1"},
        {IDC_ABOUT_FILTERS, ""},
        {IDC_ABOUT_DIFFAGID, "No"},
        {IDC_ABOUT_LINK_DEBUG, "Disabled"},
        {IDC_ABOUT_ACM_PORT, "5038"},
        {IDC_ABOUT_ACM_USER, "queueopr"},
        {IDC_ABOUT_ACM_PASS, "bramwick"},
        {IDC_ABOUT_ACM_READ_TIMER, "3 sec"},
        {IDC_ABOUT_ACM_DELAY, "100 msec"},
        {IDC_ABOUT_VER_EXT_STATE, "No"},
        {IDC_ABOUT_LOGGED_IN_TO_DIAL, "Yes"},
        {IDC_ABOUT_LOGIN_ACTION, "0 (Not Ready)"},
        {IDC_ABOUT_NO_CHANGE_WHEN_BUSY, "Yes"},
        {IDC_ABOUT_INBOUND_ANSWER_NR, "Yes"},
        {IDC_ABOUT_OUTBOUND_DIAL_NR, "Yes"},
        {IDC_ABOUT_INBOUND_RELEASE, "0 (No action)"},
        {IDC_ABOUT_INBOUND_TIMED_ACW, "0 sec"},
        {IDC_ABOUT_OUTBOUND_RELEASE, "0 (No action)"},
        {IDC_ABOUT_OUTBOUND_TIMED_ACW, "0 sec"},
        {IDC_ABOUT_OPTOUT_FILE, ""},
        {IDC_ABOUT_OPTOUT_STATUS, "Disabled"},
        {IDC_ABOUT_DNCDEBUG, "Disabled"},
        {IDC_ABOUT_DBTYPE, "mssql"},
        {IDC_ABOUT_MAXLENGTH, "0"},
        {IDC_ABOUT_PSTNCODE, "133|1357"},
        {IDC_ABOUT_VMBX_CHECK, "No"},
        {IDC_ABOUT_VMBX_NUMBER, ""},
        {IDC_ABOUT_VMBX_CONTEXT, "default"},
        {IDC_ABOUT_VMBX_INTERVAL, "300 sec"},
        {IDC_ABOUT_LOCKUSER, "No"},
        {IDC_ABOUT_LOCKPASS, "No"},
        {IDC_ABOUT_JITTERBUFFER, "Disabled"},
        {IDC_ABOUT_ACM_DIALECT, "classic"},
        {IDC_ABOUT_ACM_QUEUES, ""},
    };
    for (const auto& [id, value] : expected) EXPECT_EQ(shown(dlg, id), value) << id;
}

TEST_F(AboutDlgTest, ActionNamesLevelsAndFlagsOfOtherValues) {
    Settings& s = g_settings;
    s.speakerVol = 0;
    s.micVol = 100;
    s.inboundReleaseAction = 4;
    s.outboundReleaseAction = 4;
    s.loginAction = 1;
    s.lockuser = 7;
    s.debug = 1;
    s.aa = 1;
    s.filter_denoise = s.filter_agc = s.filter_echo = s.filter_aagc = s.filter_cn = 1;
    s.acmReadTimer = 10;
    copyText(s.pass, "hidden");
    g_dncEnabled = 1;
    copyText(g_pstnCodes[2], "9");
    g_pstnCodeCount = 3;
    CAboutDlg dlg;
    dlg.show();
    EXPECT_EQ(shown(dlg, IDC_ABOUT_SPEAKER_VOL), "0 %");
    EXPECT_EQ(shown(dlg, IDC_ABOUT_MIC_VOL), "100 %");
    EXPECT_EQ(shown(dlg, IDC_ABOUT_INBOUND_RELEASE), "4 (Timed ACW-IB)");
    EXPECT_EQ(shown(dlg, IDC_ABOUT_OUTBOUND_RELEASE), "4 (Timed ACW-OB)");
    EXPECT_EQ(shown(dlg, IDC_ABOUT_LOGIN_ACTION), "1 (Ready)");
    EXPECT_EQ(shown(dlg, IDC_ABOUT_LOCKUSER), "Yes");
    EXPECT_EQ(shown(dlg, IDC_ABOUT_DEBUG), "Enabled");
    EXPECT_EQ(shown(dlg, IDC_ABOUT_AA), "Yes");
    EXPECT_EQ(shown(dlg, IDC_ABOUT_FILTERS), "DeNOISE|AGC|ECHO|AAGC|CN");
    EXPECT_EQ(shown(dlg, IDC_ABOUT_ACM_READ_TIMER), "10 sec");
    EXPECT_EQ(shown(dlg, IDC_ABOUT_PASS), "hidden");
    EXPECT_EQ(shown(dlg, IDC_ABOUT_OPTOUT_STATUS), "Enabled");
    EXPECT_EQ(shown(dlg, IDC_ABOUT_PSTNCODE), "133|1357|9");
    copyText(s.acmDialect, "queues");
    copyText(s.acmQueues, "sales,support");
    EXPECT_EQ(aboutFieldText(IDC_ABOUT_ACM_DIALECT), "queues");
    EXPECT_EQ(aboutFieldText(IDC_ABOUT_ACM_QUEUES), "sales,support");

    const std::pair<int, const char*> releases[] = {
        {1, "1 (Ready)"}, {2, "2 (Not Ready)"}, {3, "3 (ACW)"}, {9, "9 (No action)"}, {-1, "-1 (No action)"}};
    for (const auto& [value, text] : releases) {
        s.inboundReleaseAction = value;
        s.outboundReleaseAction = value;
        EXPECT_EQ(aboutFieldText(IDC_ABOUT_INBOUND_RELEASE), text);
        EXPECT_EQ(aboutFieldText(IDC_ABOUT_OUTBOUND_RELEASE), text);
    }
    s.loginAction = 5;
    EXPECT_EQ(aboutFieldText(IDC_ABOUT_LOGIN_ACTION), "5 (No action)");
    s.loginAction = -3;
    EXPECT_EQ(aboutFieldText(IDC_ABOUT_LOGIN_ACTION), "-3 (No action)");
    g_pstnCodeCount = 0;
    EXPECT_EQ(aboutFieldText(IDC_ABOUT_PSTNCODE), "");
    EXPECT_EQ(aboutFieldText(12345), "");
}

// The width a line edit gives its text: its contents less the margins it
// keeps on either side.
int textRoom(QLineEdit* edit) {
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth =
        edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    option.midLineWidth = 0;
    const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const QMargins margins = edit->textMargins();
    constexpr int kLineEditSideMargin = 2;
    return contents.width() - margins.left() - margins.right() - 2 * kLineEditSideMargin;
}

std::string tooltipText(QLineEdit* edit) {
    return QTextDocumentFragment::fromHtml(edit->toolTip()).toPlainText().toStdString();
}

TEST_F(AboutDlgTest, ValuesOfEveryDaySizeShowWholeInTheirFields) {
    Settings& s = g_settings;
    copyText(s.host, "pbx.example");
    copyText(s.user, "7001");
    s.inboundReleaseAction = 4;
    s.outboundReleaseAction = 4;
    s.loginAction = 2;
    s.acmDelayB4Read = 2000;
    s.inboundTimedACW = 1000;
    s.vmbxInterval = 3600;
    s.soundRecordingDeviceNumber = 10;
    copyText(s.audioCodecPreferred, "alaw");
    copyText(s.dbtype, "mysql3.51");
    copyText(s.dbhost, "db.example");
    copyText(s.dbdnctable, "dnc_numbers");
    copyText(g_optOutCfgFile, "optout.cfg");
    copyText(g_pstnCodes[2], "0044");
    g_pstnCodeCount = 3;
    CAboutDlg dlg;
    dlg.show();
    const QFontMetrics metrics(dlg.font());
    for (int id : {IDC_ABOUT_CFG_FILE,
                   IDC_ABOUT_HOST,
                   IDC_ABOUT_USER,
                   IDC_ABOUT_IAX2_UDP_PORT,
                   IDC_ABOUT_SPEAKER_VOL,
                   IDC_ABOUT_AUDIO_CODEC,
                   IDC_ABOUT_RECORDING_DEVICE,
                   IDC_ABOUT_ACM_USER,
                   IDC_ABOUT_ACM_DELAY,
                   IDC_ABOUT_LOGIN_ACTION,
                   IDC_ABOUT_INBOUND_RELEASE,
                   IDC_ABOUT_OUTBOUND_RELEASE,
                   IDC_ABOUT_INBOUND_TIMED_ACW,
                   IDC_ABOUT_OPTOUT_FILE,
                   IDC_ABOUT_DBTYPE,
                   IDC_ABOUT_DBHOST,
                   IDC_ABOUT_DBDNCTABLE,
                   IDC_ABOUT_PSTNCODE,
                   IDC_ABOUT_VMBX_CONTEXT,
                   IDC_ABOUT_VMBX_INTERVAL,
                   IDC_ABOUT_JITTERBUFFER}) {
        QLineEdit* edit = dlg.field(id);
        EXPECT_LE(metrics.horizontalAdvance(edit->text()), textRoom(edit)) << edit->text().toStdString();
    }
    // Every field stays inside the window, right of its label.
    int count = 0;
    const AboutGroup* groups = aboutGroups(&count);
    for (int g = 0; g < count; ++g) {
        for (int i = 0; i < groups[g].count; ++i) {
            QLineEdit* edit = dlg.field(groups[g].fields[i].id);
            EXPECT_TRUE(dlg.rect().contains(edit->geometry())) << groups[g].fields[i].label;
            EXPECT_GT(edit->width(), 0) << groups[g].fields[i].label;
        }
    }
}

TEST_F(AboutDlgTest, EveryValueCanBeReadWholeInItsTooltipAndSelected) {
    Settings& s = g_settings;
    copyText(s.cfgFile, ("/home/agent/" + std::string(200, 'c') + "/Quendra.ini").c_str());
    copyText(s.host, (" " + std::string(62, 'h')).c_str());
    copyText(s.acmUser, "<b>queue</b> & co");
    s.filter_denoise = s.filter_agc = s.filter_echo = s.filter_aagc = s.filter_cn = 1;
    copyText(s.pass, "secret");
    copyText(s.dbpassword, "dbsecret");
    CAboutDlg dlg;
    dlg.show();
    int count = 0;
    const AboutGroup* groups = aboutGroups(&count);
    for (int g = 0; g < count; ++g) {
        for (int i = 0; i < groups[g].count; ++i) {
            const AboutField& f = groups[g].fields[i];
            QLineEdit* edit = dlg.field(f.id);
            if (f.masked) {
                EXPECT_TRUE(edit->toolTip().isEmpty()) << f.label << ": a password never shows";
            } else {
                EXPECT_EQ(tooltipText(edit), aboutFieldText(f.id)) << f.label;
            }
            edit->selectAll();
            EXPECT_EQ(edit->selectedText(), edit->text()) << f.label;
        }
    }
    EXPECT_EQ(tooltipText(dlg.field(IDC_ABOUT_HOST)).size(), 63u) << "the leading blank is kept";
}

TEST_F(AboutDlgTest, FieldsAreFilledAnewAtEveryShowAndNeverReadBack) {
    CAboutDlg dlg;
    dlg.show();
    EXPECT_EQ(shown(dlg, IDC_ABOUT_HOST), "");
    dlg.hide();
    copyText(g_settings.host, "pbx");
    dlg.show();
    EXPECT_EQ(shown(dlg, IDC_ABOUT_HOST), "pbx");

    QTest::keyClicks(dlg.field(IDC_ABOUT_HOST), "typed");
    QTest::keyClicks(dlg.field(IDC_ABOUT_IAX2_UDP_PORT), "9");
    dlg.findChild<QPushButton*>("okButton")->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_STREQ(g_settings.host, "pbx");
    EXPECT_EQ(g_settings.iax2UDPPort, 4569);
}

TEST_F(AboutDlgTest, HeaderUsageTextAndFrame) {
    CAboutDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "About Quendra");
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dlg.isModal());
    const DialogUnits u = DialogUnits::forFont(dlg.font());
    EXPECT_EQ(dlg.minimumSize(), QSize(u.x(488), u.y(446)));
    EXPECT_EQ(dlg.maximumSize(), dlg.minimumSize());
    QPushButton* ok = dlg.findChild<QPushButton*>("okButton");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(ok->geometry(), u.rect(423, 6, 50, 16));

    QStringList texts;
    for (QLabel* label : dlg.findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains("Quendra Version " QUENDRA_VERSION));
    int count = 0;
    const UsageLine* lines = usageLines(&count);
    ASSERT_EQ(count, 10);
    EXPECT_STREQ(lines[0].text, "Quendra [-debug] [-host<hostname>] [-user<extensionDN>] [-pass<user-password>]");
    EXPECT_STREQ(lines[1].text, "[-init<cfgFile>] [-agid<agentID>] [-opto<optOut-cfgFile>] [-aa]");
    EXPECT_STREQ(lines[8].text, "\"-debug\" = debugging log file will be created if present");
    EXPECT_STREQ(lines[9].text, "\"-aa\" = auto-answer, software implementation if present");
    EXPECT_EQ(lines[3].x, 213);
    EXPECT_EQ(lines[3].y, 45);
    for (int i = 0; i < count; ++i) EXPECT_TRUE(texts.contains(QString::fromLatin1(lines[i].text))) << i;

    // Escape closes it like OK.
    dlg.show();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
}

}  // namespace
