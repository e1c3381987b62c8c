#include "ui/control_table.h"

#include "app/control_ids.h"

namespace {

using K = ControlKind;

const ControlSpec kControls[] = {
    {IDC_EDIT_NUMBER, K::Edit, "", 178, 10, 92, 15},
    {IDC_EDIT_TRANSFER, K::Edit, "", 178, 34, 91, 15},
    {IDC_EDIT_REMOTE_NUMBER, K::Edit, "", 12, 91, 102, 15},
    {IDC_EDIT_REMOTE_CONTENT, K::Edit, "", 130, 91, 150, 15},
    {IDC_EDIT_HOST, K::Edit, "", 46, 152, 67, 15},
    {IDC_EDIT_USER, K::Edit, "", 46, 169, 67, 15},
    {IDC_EDIT_PASS, K::MaskedEdit, "", 46, 185, 67, 15},
    {IDC_EDIT_AGENT_ID, K::Edit, "", 46, 216, 67, 15},
    {IDC_EDIT_ACM_USER, K::Edit, "", 46, 231, 67, 15},
    {IDC_EDIT_ACM_PASS, K::MaskedEdit, "", 46, 246, 67, 15},
    {IDC_BUT_ANSWER, K::PictureButton, "&Answer", 8, 6, 45, 19},
    {IDC_BUT_RELEASE, K::Button, "Re&lease", 67, 6, 45, 19},
    {IDC_BUT_DIAL, K::Button, "&Dial", 126, 6, 45, 19},
    {IDC_BUT_CLEAR_NUMBER, K::Button, "x", 273, 11, 14, 12},
    {IDC_BUT_START, K::PictureButton, "Start", 241, 117, 45, 18},
    {IDC_BUT_EXIT, K::Button, "Exit", 7, 117, 45, 18},
    {IDC_BUT_TXFER, K::Button, "Single &Txfer", 126, 30, 45, 19},
    {IDC_BUT_HOLD, K::Button, "Hold", 9, 54, 45, 19},
    {IDC_BUT_READY, K::Button, "&Ready", 67, 54, 36, 19},
    {IDC_BUT_AUX, K::Button, "AU&X", 111, 54, 36, 19},
    {IDC_BUT_ACWIB, K::Button, "ACW&IB", 154, 54, 36, 19},
    {IDC_BUT_ACWOB, K::Button, "ACW&OB", 199, 54, 36, 19},
    {IDC_BUT_CLEAR_TRANSFER, K::Button, "x", 273, 36, 14, 12},
    {IDC_BUT_RESIZE, K::Button, "<<", 253, 57, 34, 16},
    {kStaticId, K::GroupBox, "Remote Number  _______________  Remote content ________ (Inbound Call Info)", 7, 79,
     282, 30},
    {kStaticId, K::GroupBox, "Extension Registration", 5, 138, 113, 65},
    {kStaticId, K::Label, "Ext/user", 16, 172, 30, 11},
    {kStaticId, K::Label, "Agent ID", 14, 221, 32, 13},
    {IDC_BUT_LOGOUT, K::Button, "Logout", 85, 117, 45, 18},
    {IDC_BUT_LOGIN, K::Button, "Login", 163, 117, 45, 18},
    {kStaticId, K::GroupBox, "", 195, 162, 94, 99},
    {IDC_BUT_KEY_1, K::KeypadButton, "1", 201, 169, 23, 20},
    {IDC_BUT_KEY_2, K::KeypadButton, "2", 231, 169, 23, 20},
    {IDC_BUT_KEY_3, K::KeypadButton, "3", 261, 169, 23, 20},
    {IDC_BUT_KEY_4, K::KeypadButton, "4", 201, 192, 23, 20},
    {IDC_BUT_KEY_5, K::KeypadButton, "5", 231, 192, 23, 20},
    {IDC_BUT_KEY_6, K::KeypadButton, "6", 261, 192, 23, 20},
    {IDC_BUT_KEY_7, K::KeypadButton, "7", 201, 215, 23, 20},
    {IDC_BUT_KEY_8, K::KeypadButton, "8", 231, 215, 23, 20},
    {IDC_BUT_KEY_9, K::KeypadButton, "9", 261, 215, 23, 20},
    {IDC_BUT_KEY_STAR, K::KeypadButton, "*", 201, 238, 23, 20},
    {IDC_BUT_KEY_0, K::KeypadButton, "0", 231, 238, 23, 20},
    {IDC_BUT_KEY_POUND, K::KeypadButton, "#", 261, 238, 23, 20},
    {IDC_SLIDER_SPK, K::Slider, "", 160, 174, 21, 86},
    {IDC_SLIDER_MIC, K::Slider, "", 133, 174, 21, 86},
    {kStaticId, K::Label, "MIC", 139, 165, 15, 9},
    {kStaticId, K::Label, "SPK", 165, 165, 15, 10},
    {kStaticId, K::Label, "Host", 28, 157, 18, 11},
    {kStaticId, K::Label, "Password", 12, 188, 34, 11},
    {kStaticId, K::GroupBox, "Agent Login", 5, 205, 112, 57},
    {kStaticId, K::Label, "ACM pass", 12, 248, 32, 11},
    {kStaticId, K::Label, "ACM user", 13, 235, 31, 13},
    {IDC_COMBO_REASON, K::ReasonList, "", 9, 34, 82, 84},
    {IDC_BUT_VOICEMAIL, K::PictureButton, "", 95, 31, 28, 17},
};

}  // namespace

const ControlSpec* mainControlTable(std::size_t* count) {
    *count = sizeof kControls / sizeof kControls[0];
    return kControls;
}
