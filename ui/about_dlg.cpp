#include "ui/about_dlg.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <cstdio>
#include <cstring>

#include "app/flag_words.h"
#include "app/options_file.h"
#include "app/quendra_version.h"
#include "app/settings.h"
#include "ui/button_faces.h"
#include "ui/dialog_units.h"

namespace {

const AboutField kSoftPhone[] = {
    {IDC_ABOUT_CFG_FILE, "cfgFile", false},
    {IDC_ABOUT_HOST, "host", false},
    {IDC_ABOUT_USER, "user", false},
    {IDC_ABOUT_PASS, "pass", true},
    {IDC_ABOUT_IAX2_UDP_PORT, "iax2UDPPort", false},
    {IDC_ABOUT_DEBUG, "debug", false},
    {IDC_ABOUT_AA, "aa", false},
    {IDC_ABOUT_NO_AUTO_ANS_ALERT, "noAutoAnsAlert", false},
    {IDC_ABOUT_SPEAKER_VOL, "speakerVol", false},
    {IDC_ABOUT_MIC_VOL, "micVol", false},
    {IDC_ABOUT_PSTN_ACCESS_CODE, "pstnAccessCode", false},
    {IDC_ABOUT_MAX_INTERNAL_EXT, "maxInternalExtSz", false},
    {IDC_ABOUT_AUDIO_CODEC, "audioCodecPreferred", false},
    {IDC_ABOUT_PLAYBACK_DEVICE, "soundPlaybackDeviceNumber", false},
    {IDC_ABOUT_RECORDING_DEVICE, "soundRecordingDeviceNumber", false},
    {IDC_ABOUT_FILTERS, "filters", false},
};

const AboutField kAgentLogin[] = {
    {IDC_ABOUT_DIFFAGID, "diffagid", false},
    {IDC_ABOUT_LINK_DEBUG, "linkDebug", false},
    {IDC_ABOUT_AGID, "agid", false},
    {IDC_ABOUT_ACM_PORT, "acmPort", false},
    {IDC_ABOUT_ACM_USER, "acmUser", false},
    {IDC_ABOUT_ACM_PASS, "acmPass", false},
    {IDC_ABOUT_ACM_READ_TIMER, "acmReadTimer", false},
    {IDC_ABOUT_ACM_DELAY, "acmDelayB4Read", false},
};

const AboutField kAgentModes[] = {
    {IDC_ABOUT_VER_EXT_STATE, "verExtState", false},
    {IDC_ABOUT_LOGGED_IN_TO_DIAL, "loggedInToDial", false},
    {IDC_ABOUT_LOGIN_ACTION, "loginAction", false},
    {IDC_ABOUT_NO_CHANGE_WHEN_BUSY, "noChangeAgentWhenBusy", false},
    {IDC_ABOUT_INBOUND_ANSWER_NR, "inboundAnswerNotReady", false},
    {IDC_ABOUT_OUTBOUND_DIAL_NR, "outboundDialNotReady", false},
    {IDC_ABOUT_INBOUND_RELEASE, "inboundReleaseAction", false},
    {IDC_ABOUT_INBOUND_TIMED_ACW, "inboundTimedACW", false},
    {IDC_ABOUT_OUTBOUND_RELEASE, "outboundReleaseAction", false},
    {IDC_ABOUT_OUTBOUND_TIMED_ACW, "outboundTimedACW", false},
};

const AboutField kOptOut[] = {
    {IDC_ABOUT_OPTOUT_FILE, "optOut-cfgFile", false},
    {IDC_ABOUT_OPTOUT_STATUS, "Opt-out Status", false},
    {IDC_ABOUT_DNCDEBUG, "dncdebug", false},
    {IDC_ABOUT_DBTYPE, "dbtype", false},
    {IDC_ABOUT_DBHOST, "dbhost", false},
    {IDC_ABOUT_DBSERVER, "dbserver", false},
    {IDC_ABOUT_DBDNCTABLE, "dbdnctable", false},
    {IDC_ABOUT_DBUSERNAME, "dbusername", false},
    {IDC_ABOUT_DBPASSWORD, "dbpassword", true},
    {IDC_ABOUT_REMOVE_DNC_PREFIX, "removeDNCprefix", false},
    {IDC_ABOUT_DIALPREFIX, "dialprefix", false},
    {IDC_ABOUT_MAXLENGTH, "maxlength", false},
    {IDC_ABOUT_PSTNCODE, "pstncode", false},
};

const AboutField kMiscellaneous[] = {
    {IDC_ABOUT_VMBX_CHECK, "vmbxCheck", false},      {IDC_ABOUT_VMBX_NUMBER, "vmbxNumber", false},
    {IDC_ABOUT_VMBX_CONTEXT, "vmbxContext", false},  {IDC_ABOUT_VMBX_INTERVAL, "vmbxInterval", false},
    {IDC_ABOUT_LOCKUSER, "lockuser", false},         {IDC_ABOUT_LOCKPASS, "lockpass", false},
    {IDC_ABOUT_JITTERBUFFER, "jitterbuffer", false}, {IDC_ABOUT_ACM_DIALECT, "acmDialect", false},
    {IDC_ABOUT_ACM_QUEUES, "acmQueues", false},
};

template <int N>
constexpr int countOf(const AboutField (&)[N]) {
    return N;
}

const AboutGroup kGroups[] = {
    {"IAX2 Soft Phone", 10, 90, 149, 215, kSoftPhone, countOf(kSoftPhone)},
    {"Agent Login", 10, 322, 149, 121, kAgentLogin, countOf(kAgentLogin)},
    {"Agent mode operations", 169, 89, 177, 157, kAgentModes, countOf(kAgentModes)},
    {"Opt-Out parameters", 169, 254, 177, 189, kOptOut, countOf(kOptOut)},
    {"Miscellaneous options", 355, 89, 124, 157, kMiscellaneous, countOf(kMiscellaneous)},
};

const UsageLine kUsage[] = {
    {11, 25, "Quendra [-debug] [-host<hostname>] [-user<extensionDN>] [-pass<user-password>]"},
    {46, 34, "[-init<cfgFile>] [-agid<agentID>] [-opto<optOut-cfgFile>] [-aa]"},
    {10, 45, "<hostname> = host name or IP address of asterisk server"},
    {213, 45, "<externsionDN> = extension directory number ( 'user' name of IAX registration)"},
    {10, 54, "<user-password> = password of IAX 'user'"},
    {213, 54, "<cfgFile> = file name for other options, overriding command arguments"},
    {10, 63, "<agentID> = optional agent ID value"},
    {213, 63, "<optOut-cfgFile> = file name for Opt-out (Do-Not-Call) outbound call"},
    {10, 72, "\"-debug\" = debugging log file will be created if present"},
    {213, 72, "\"-aa\" = auto-answer, software implementation if present"},
};

const char* const kVersionLine = "Quendra Version " QUENDRA_VERSION;

std::string formatted(const char* format, int value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string loginActionText(int value) {
    const char* name = value == 0 ? "(Not Ready)" : value == 1 ? "(Ready)" : "(No action)";
    return formatted("%d ", value) + name;
}

std::string releaseActionText(int value, const char* timedName) {
    const char* name = "(No action)";
    switch (value) {
        case 1:
            name = "(Ready)";
            break;
        case 2:
            name = "(Not Ready)";
            break;
        case 3:
            name = "(ACW)";
            break;
        case 4:
            name = timedName;
            break;
        default:
            break;
    }
    return formatted("%d ", value) + name;
}

std::string pstnCodesText() {
    std::string text;
    const int count = g_pstnCodeCount < kPstnCodeSlots ? g_pstnCodeCount : kPstnCodeSlots;
    for (int i = 0; i < count; ++i) {
        if (i > 0) text += '|';
        text.append(g_pstnCodes[i], ::strnlen(g_pstnCodes[i], kPstnCodeCapacity));
    }
    return text;
}

}  // namespace

const AboutGroup* aboutGroups(int* count) {
    *count = static_cast<int>(sizeof kGroups / sizeof kGroups[0]);
    return kGroups;
}

const UsageLine* usageLines(int* count) {
    *count = static_cast<int>(sizeof kUsage / sizeof kUsage[0]);
    return kUsage;
}

std::string aboutFieldText(int id) {
    const Settings& s = g_settings;
    switch (id) {
        case IDC_ABOUT_CFG_FILE:
            return s.cfgFile;
        case IDC_ABOUT_HOST:
            return s.host;
        case IDC_ABOUT_USER:
            return s.user;
        case IDC_ABOUT_PASS:
            return s.pass;
        case IDC_ABOUT_IAX2_UDP_PORT:
            return formatted("%d", s.iax2UDPPort);
        case IDC_ABOUT_DEBUG:
            return enabledWord(s.debug);
        case IDC_ABOUT_AA:
            return yesWord(s.aa);
        case IDC_ABOUT_NO_AUTO_ANS_ALERT:
            return yesWord(s.noAutoAnsAlert);
        case IDC_ABOUT_SPEAKER_VOL:
            return formatted("%d %%", s.speakerVol);
        case IDC_ABOUT_MIC_VOL:
            return formatted("%d %%", s.micVol);
        case IDC_ABOUT_PSTN_ACCESS_CODE:
            return s.pstnAccessCode;
        case IDC_ABOUT_MAX_INTERNAL_EXT:
            return formatted("%d", s.maxInternalExtSz);
        case IDC_ABOUT_AUDIO_CODEC:
            return s.audioCodecPreferred;
        case IDC_ABOUT_PLAYBACK_DEVICE:
            return formatted("%d", s.soundPlaybackDeviceNumber);
        case IDC_ABOUT_RECORDING_DEVICE:
            return formatted("%d", s.soundRecordingDeviceNumber);
        case IDC_ABOUT_FILTERS: {
            char filters[kFiltersTextCapacity];
            filtersToText(filters, sizeof filters);
            return filters;
        }
        case IDC_ABOUT_DIFFAGID:
            return yesWord(s.diffagid);
        case IDC_ABOUT_LINK_DEBUG:
            return enabledWord(s.linkDebug);
        case IDC_ABOUT_AGID:
            return s.agid;
        case IDC_ABOUT_ACM_PORT:
            return formatted("%d", s.acmPort);
        case IDC_ABOUT_ACM_USER:
            return s.acmUser;
        case IDC_ABOUT_ACM_PASS:
            return s.acmPass;
        case IDC_ABOUT_ACM_READ_TIMER:
            return formatted("%d sec", s.acmReadTimer);
        case IDC_ABOUT_ACM_DELAY:
            return formatted("%d msec", s.acmDelayB4Read);
        case IDC_ABOUT_VER_EXT_STATE:
            return yesWord(s.verExtState);
        case IDC_ABOUT_LOGGED_IN_TO_DIAL:
            return yesWord(s.loggedInToDial);
        case IDC_ABOUT_LOGIN_ACTION:
            return loginActionText(s.loginAction);
        case IDC_ABOUT_NO_CHANGE_WHEN_BUSY:
            return yesWord(s.noChangeAgentWhenBusy);
        case IDC_ABOUT_INBOUND_ANSWER_NR:
            return yesWord(s.inboundAnswerNotReady);
        case IDC_ABOUT_OUTBOUND_DIAL_NR:
            return yesWord(s.outboundDialNotReady);
        case IDC_ABOUT_INBOUND_RELEASE:
            return releaseActionText(s.inboundReleaseAction, "(Timed ACW-IB)");
        case IDC_ABOUT_INBOUND_TIMED_ACW:
            return formatted("%d sec", s.inboundTimedACW);
        case IDC_ABOUT_OUTBOUND_RELEASE:
            return releaseActionText(s.outboundReleaseAction, "(Timed ACW-OB)");
        case IDC_ABOUT_OUTBOUND_TIMED_ACW:
            return formatted("%d sec", s.outboundTimedACW);
        case IDC_ABOUT_OPTOUT_FILE:
            return g_optOutCfgFile;
        case IDC_ABOUT_OPTOUT_STATUS:
            return enabledWord(g_dncEnabled);
        case IDC_ABOUT_DNCDEBUG:
            return enabledWord(s.dncdebug);
        case IDC_ABOUT_DBTYPE:
            return s.dbtype;
        case IDC_ABOUT_DBHOST:
            return s.dbhost;
        case IDC_ABOUT_DBSERVER:
            return s.dbserver;
        case IDC_ABOUT_DBDNCTABLE:
            return s.dbdnctable;
        case IDC_ABOUT_DBUSERNAME:
            return s.dbusername;
        case IDC_ABOUT_DBPASSWORD:
            return s.dbpassword;
        case IDC_ABOUT_REMOVE_DNC_PREFIX:
            return s.removeDNCprefix;
        case IDC_ABOUT_DIALPREFIX:
            return s.dialprefix;
        case IDC_ABOUT_MAXLENGTH:
            return formatted("%d", s.maxlength);
        case IDC_ABOUT_PSTNCODE:
            return pstnCodesText();
        case IDC_ABOUT_VMBX_CHECK:
            return yesWord(s.vmbxCheck);
        case IDC_ABOUT_VMBX_NUMBER:
            return s.vmbxNumber;
        case IDC_ABOUT_VMBX_CONTEXT:
            return s.vmbxContext;
        case IDC_ABOUT_VMBX_INTERVAL:
            return formatted("%d sec", s.vmbxInterval);
        case IDC_ABOUT_LOCKUSER:
            return yesWord(s.lockuser);
        case IDC_ABOUT_LOCKPASS:
            return yesWord(s.lockpass);
        case IDC_ABOUT_JITTERBUFFER:
            return enabledWord(s.jitterbuffer);
        case IDC_ABOUT_ACM_DIALECT:
            return s.acmDialect;
        case IDC_ABOUT_ACM_QUEUES:
            return s.acmQueues;
        default:
            return std::string();
    }
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setFont(dialogFont());
    setWindowTitle(QStringLiteral("About Quendra"));
    setModal(true);
    const DialogUnits u = DialogUnits::forFont(font());
    setFixedSize(u.x(488), u.y(446));

    auto* icon = new QLabel(this);
    icon->setPixmap(mainIconPixmap(kLargeIconSize));
    icon->setGeometry(u.x(11), u.y(2), kLargeIconSize, kLargeIconSize);
    auto* version = new QLabel(QString::fromLatin1(kVersionLine), this);
    version->setGeometry(u.rect(40, 1, 150, 9));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setGeometry(u.rect(423, 6, 50, 16));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    for (const UsageLine& line : kUsage) {
        const int right = line.x < 200 && line.y >= 45 ? 211 : 480;
        auto* label = new QLabel(QString::fromLatin1(line.text), this);
        label->setGeometry(u.rect(line.x, line.y, right - line.x, 9));
    }

    for (const AboutGroup& group : kGroups) {
        auto* box = new QGroupBox(QString::fromLatin1(group.title), this);
        box->setGeometry(u.rect(group.x, group.y, group.width, group.height));
        box->lower();
        const int margin = group.width < 150 ? 4 : 5;
        const int pitch = (group.height - 14) / group.count < 13 ? (group.height - 14) / group.count : 13;
        // Each label takes the width of its own text and its field all the
        // rest of the row, so that a value shows whole wherever the row
        // leaves room for it (a long key beside a short value, a short key
        // beside a host name).
        const int left = u.x(group.x + margin);
        const int right = u.x(group.x + group.width - margin);
        const int gap = u.x(2);
        for (int i = 0; i < group.count; ++i) {
            const AboutField& f = group.fields[i];
            const int y = group.y + 11 + i * pitch;
            auto* label = new QLabel(QString::fromLatin1(f.label), this);
            const int labelWidth = label->sizeHint().width();
            label->setGeometry(left, u.y(y + 2), labelWidth, u.y(pitch - 2));
            auto* edit = new QLineEdit(this);
            edit->setObjectName(QString::number(f.id));
            if (f.masked) edit->setEchoMode(QLineEdit::Password);
            const int editLeft = left + labelWidth + gap;
            edit->setGeometry(editLeft, u.y(y), right - editLeft, u.y(pitch - 1));
            m_fields[f.id] = edit;
        }
    }
}

QLineEdit* CAboutDlg::field(int id) const {
    const auto it = m_fields.find(id);
    return it == m_fields.end() ? nullptr : it->second;
}

void CAboutDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    fillFields();
}

void CAboutDlg::fillFields() {
    for (const auto& [id, edit] : m_fields) {
        const QString text = QString::fromUtf8(aboutFieldText(id).c_str());
        edit->setText(text);
        edit->setCursorPosition(0);
        // A value longer than its field is read whole in the tooltip (and
        // can be selected in the field); a masked one stays masked. The value
        // is shown as plain text, blanks kept, whatever characters it holds.
        const bool shown = edit->echoMode() == QLineEdit::Normal && !text.isEmpty();
        edit->setToolTip(shown ? QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
                                     QStringLiteral("</p>")
                               : QString());
    }
}
