// The main window's start-up: everything the program is told before the
// agent's first click is settled here, once, in a fixed order: defaults,
// command line, options file, reason names, opt-out file, the parameter
// echo, the registration and agent fields, the database, the process
// priority and the sliders.
#include <QAction>
#include <QComboBox>
#include <QMenu>

#include "agent/socket_layer.h"
#include "app/command_line.h"
#include "app/control_ids.h"
#include "app/options_file.h"
#include "app/parameter_echo.h"
#include "app/process_priority.h"
#include "app/settings.h"
#include "optout/dnc_database.h"
#include "optout/optout_file.h"
#include "ui/button_faces.h"
#include "ui/quendra_dlg.h"

namespace {

// String 101, the settings-window entry of the window menu.
const char* const kAboutMenuText = "&About Quendra...";

}  // namespace

void CQuendraDlg::setInitialControlStates() {
    for (int id : {IDC_BUT_ACWIB, IDC_BUT_ACWOB, IDC_BUT_AUX, IDC_BUT_TXFER, IDC_BUT_DIAL}) {
        enableControl(id, false);
    }
    enableControl(IDC_BUT_EXIT, true);
    for (int id : {IDC_BUT_HOLD, IDC_BUT_LOGIN, IDC_BUT_LOGOUT, IDC_BUT_READY, IDC_BUT_RELEASE}) {
        enableControl(id, false);
    }
    setReasonSelection(-1);
    m_reasonIndex = -1;
    enableControl(IDC_COMBO_REASON, false);
    m_notStarted = 1;
    m_ringing = 0;
}

void CQuendraDlg::fillReasonList() {
    auto* combo = qobject_cast<QComboBox*>(control(IDC_COMBO_REASON));
    combo->clear();
    for (const auto& name : g_notReadyReasons) combo->addItem(QString::fromUtf8(name));
    combo->setCurrentIndex(-1);
}

void CQuendraDlg::onInitDialog(int argc, const char* const* argv) {
    // The settings-window entry. The window menu of this desktop takes no
    // entries, so it lives in the right-click menu (and on F1), carrying
    // the same command id a window-menu entry would.
    m_contextMenu = new QMenu(this);
    m_aboutAction = m_contextMenu->addAction(QString::fromLatin1(kAboutMenuText));
    m_aboutAction->setData(IDM_ABOUTBOX);

    // The icon in the title bar and the task bar.
    setWindowIcon(m_hIcon);

    // The phone before Start: the buttons that need a call or a logged-in
    // agent are disabled and Exit is enabled, no Not Ready reason is chosen,
    // the window is marked not started and not ringing, Start and Answer
    // show their idle faces, and the voicemail button stays hidden until a
    // voicemail check finds new messages.
    setInitialControlStates();
    setButtonFace(IDC_BUT_START, IDB_START);
    setButtonFace(IDC_BUT_ANSWER, IDB_ANSWER_IDLE);
    setButtonFace(IDC_BUT_VOICEMAIL, IDB_VOICEMAIL);
    showControl(IDC_BUT_VOICEMAIL, false);

    // From here on the call, agent and opt-out code reach the window through
    // g_mainDlg. Every setting goes back to its default and there is no
    // manager link yet, so what follows starts from a known state.
    g_mainDlg = this;
    resetStartupDefaults();
    g_acmSocket = 0;

    // The configuration, in its order of precedence: the command line, then
    // the options file it names, whose keys replace the same switches. The
    // reason names get their defaults before the options file, which may
    // rename them, and the reason list is filled after it so that the
    // agent sees the names in force. The opt-out file comes last; it
    // decides whether Do-Not-Call screening is configured.
    parseCommandLine(argc, argv);
    initReasonNames();
    if (g_settings.cfgFile[0] != '\0') readIAX2Options(g_settings.cfgFile);
    fillReasonList();
    loadOptOutFile();

    // Every value now in force goes to the debug log, before anything below
    // changes a setting (the agent ID still as configured).
    if (g_settings.debug) writeParameterEcho();

    // The registration and agent fields show the settings. Without a
    // separate agent ID the agent logs in as the extension, so the field
    // follows the extension and cannot be edited.
    Settings& s = g_settings;
    setControlText(IDC_EDIT_HOST, s.host);
    setControlText(IDC_EDIT_USER, s.user);
    setControlText(IDC_EDIT_PASS, s.pass);
    if (s.diffagid == 0) {
        copyText(s.agid, s.user);
        enableControl(IDC_EDIT_AGENT_ID, false);
    }
    setControlText(IDC_EDIT_AGENT_ID, s.agid);
    setControlText(IDC_EDIT_ACM_USER, s.acmUser);
    setControlText(IDC_EDIT_ACM_PASS, s.acmPass);

    // With screening configured, the opt-out database is opened now; a
    // failure switches screening off, a success names the opt-out file in
    // the window title.
    if (g_dncEnabled) optOutStartUp();

    // A higher process priority lets the sound path keep up on a busy
    // workstation. (Bringing the window to the front needs no look-up
    // here: bringToFront is always available.)
    raiseProcessPriority();

    // An extension or password the configuration locks cannot be changed
    // by the agent; an empty one stays open so that it can be typed.
    if (s.lockuser && s.user[0] != '\0') enableControl(IDC_EDIT_USER, false);
    if (s.lockpass && s.pass[0] != '\0') enableControl(IDC_EDIT_PASS, false);

    // The sliders show the configured levels (a slider position is the
    // negated level, so the top end is level 100).
    setSliderPosition(IDC_SLIDER_MIC, -s.micVol);
    setSliderPosition(IDC_SLIDER_SPK, -s.speakerVol);

    // The agent can type the number to dial at once.
    focusControl(IDC_EDIT_NUMBER);
}
