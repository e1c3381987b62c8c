// The settings window: the version, the command-line usage and the value of
// every setting in force, one field each. It only displays: nothing typed
// into it is read back.
#pragma once

#include <QDialog>
#include <map>
#include <string>

class QLineEdit;

// Ids of the settings window's fields.
enum AboutFieldId : int {
    IDC_ABOUT_HOST = 1044,
    IDC_ABOUT_LOGIN_ACTION = 1045,
    IDC_ABOUT_PASS = 1046,
    IDC_ABOUT_IAX2_UDP_PORT = 1047,
    IDC_ABOUT_DEBUG = 1048,
    IDC_ABOUT_AA = 1049,
    IDC_ABOUT_NO_AUTO_ANS_ALERT = 1050,
    IDC_ABOUT_SPEAKER_VOL = 1051,
    IDC_ABOUT_MIC_VOL = 1052,
    IDC_ABOUT_AUDIO_CODEC = 1053,
    IDC_ABOUT_PLAYBACK_DEVICE = 1054,
    IDC_ABOUT_RECORDING_DEVICE = 1055,
    IDC_ABOUT_DIFFAGID = 1056,
    IDC_ABOUT_LINK_DEBUG = 1057,
    IDC_ABOUT_ACM_PORT = 1058,
    IDC_ABOUT_ACM_USER = 1059,
    IDC_ABOUT_ACM_PASS = 1060,
    IDC_ABOUT_ACM_READ_TIMER = 1061,
    IDC_ABOUT_ACM_DELAY = 1062,
    IDC_ABOUT_USER = 1063,
    IDC_ABOUT_CFG_FILE = 1064,
    IDC_ABOUT_AGID = 1065,
    IDC_ABOUT_NO_CHANGE_WHEN_BUSY = 1066,
    IDC_ABOUT_INBOUND_ANSWER_NR = 1067,
    IDC_ABOUT_OUTBOUND_DIAL_NR = 1068,
    IDC_ABOUT_INBOUND_RELEASE = 1069,
    IDC_ABOUT_INBOUND_TIMED_ACW = 1070,
    IDC_ABOUT_OUTBOUND_RELEASE = 1071,
    IDC_ABOUT_OUTBOUND_TIMED_ACW = 1072,
    IDC_ABOUT_REMOVE_DNC_PREFIX = 1073,
    IDC_ABOUT_OPTOUT_FILE = 1074,
    IDC_ABOUT_OPTOUT_STATUS = 1075,
    IDC_ABOUT_DNCDEBUG = 1076,
    IDC_ABOUT_DBTYPE = 1077,
    IDC_ABOUT_DBSERVER = 1078,
    IDC_ABOUT_DBDNCTABLE = 1079,
    IDC_ABOUT_DBUSERNAME = 1080,
    IDC_ABOUT_DBPASSWORD = 1081,
    IDC_ABOUT_DIALPREFIX = 1082,
    IDC_ABOUT_DBHOST = 1083,
    IDC_ABOUT_PSTN_ACCESS_CODE = 1084,
    IDC_ABOUT_MAX_INTERNAL_EXT = 1085,
    IDC_ABOUT_VMBX_CHECK = 1086,
    IDC_ABOUT_VER_EXT_STATE = 1087,
    IDC_ABOUT_LOGGED_IN_TO_DIAL = 1088,
    IDC_ABOUT_VMBX_NUMBER = 1089,
    IDC_ABOUT_VMBX_CONTEXT = 1090,
    IDC_ABOUT_VMBX_INTERVAL = 1091,
    IDC_ABOUT_LOCKUSER = 1092,
    IDC_ABOUT_LOCKPASS = 1093,
    IDC_ABOUT_JITTERBUFFER = 1094,
    IDC_ABOUT_MAXLENGTH = 1095,
    IDC_ABOUT_FILTERS = 1096,
    IDC_ABOUT_PSTNCODE = 1097,
    IDC_ABOUT_ACM_DIALECT = 1098,
    IDC_ABOUT_ACM_QUEUES = 1099,
};

struct AboutField {
    int id;
    const char* label;
    bool masked;
};

struct AboutGroup {
    const char* title;
    int x, y, width, height;  // dialog units
    const AboutField* fields;
    int count;
};

// The five groups with their fields, in display order.
const AboutGroup* aboutGroups(int* count);

// The text a field shows for the current settings.
std::string aboutFieldText(int id);

// The usage lines: position in dialog units and text.
struct UsageLine {
    int x, y;
    const char* text;
};
const UsageLine* usageLines(int* count);

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLineEdit* field(int id) const;
    int fieldCount() const { return static_cast<int>(m_fields.size()); }

protected:
    // Fields are filled every time the window is shown.
    void showEvent(QShowEvent* event) override;

private:
    void fillFields();
    std::map<int, QLineEdit*> m_fields;
};
