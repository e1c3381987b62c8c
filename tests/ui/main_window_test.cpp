#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <cstring>

#include "agent/socket_layer.h"
#include "app/control_ids.h"
#include "app/quendra_version.h"
#include "app/settings.h"
#include "tests/support/window/ui_fixture.h"
#include "ui/about_dlg.h"
#include "ui/button_faces.h"

namespace {

using MainWindowTest = UiTest;

const int kButtonIds[] = {
    IDC_BUT_START,    IDC_BUT_EXIT,         IDC_BUT_ANSWER,         IDC_BUT_RELEASE,  IDC_BUT_DIAL,
    IDC_BUT_TXFER,    IDC_BUT_HOLD,         IDC_BUT_READY,          IDC_BUT_AUX,      IDC_BUT_ACWIB,
    IDC_BUT_ACWOB,    IDC_BUT_CLEAR_NUMBER, IDC_BUT_CLEAR_TRANSFER, IDC_BUT_RESIZE,   IDC_BUT_LOGOUT,
    IDC_BUT_LOGIN,    IDC_BUT_KEY_1,        IDC_BUT_KEY_2,          IDC_BUT_KEY_3,    IDC_BUT_KEY_4,
    IDC_BUT_KEY_5,    IDC_BUT_KEY_6,        IDC_BUT_KEY_7,          IDC_BUT_KEY_8,    IDC_BUT_KEY_9,
    IDC_BUT_KEY_STAR, IDC_BUT_KEY_0,        IDC_BUT_KEY_POUND,      IDC_BUT_VOICEMAIL};

TEST_F(MainWindowTest, InitialControlStates) {
    CQuendraDlg& dlg = makeDialog();
    const int enabled[] = {
        IDC_EDIT_NUMBER,   IDC_EDIT_TRANSFER,      IDC_EDIT_REMOTE_NUMBER, IDC_EDIT_REMOTE_CONTENT,
        IDC_EDIT_HOST,     IDC_EDIT_USER,          IDC_EDIT_PASS,          IDC_EDIT_ACM_USER,
        IDC_EDIT_ACM_PASS, IDC_BUT_ANSWER,         IDC_BUT_CLEAR_NUMBER,   IDC_BUT_START,
        IDC_BUT_EXIT,      IDC_BUT_CLEAR_TRANSFER, IDC_BUT_RESIZE,         IDC_BUT_KEY_1,
        IDC_BUT_KEY_2,     IDC_BUT_KEY_3,          IDC_BUT_KEY_4,          IDC_BUT_KEY_5,
        IDC_BUT_KEY_6,     IDC_BUT_KEY_7,          IDC_BUT_KEY_8,          IDC_BUT_KEY_9,
        IDC_BUT_KEY_STAR,  IDC_BUT_KEY_0,          IDC_BUT_KEY_POUND,      IDC_SLIDER_SPK,
        IDC_SLIDER_MIC,    IDC_BUT_VOICEMAIL};
    for (int id : enabled) {
        EXPECT_TRUE(dlg.isControlEnabled(id)) << id;
        if (id != IDC_BUT_VOICEMAIL) {
            EXPECT_TRUE(dlg.isControlVisible(id)) << id;
        }
    }
    const int disabled[] = {IDC_BUT_RELEASE, IDC_BUT_DIAL,  IDC_BUT_TXFER,    IDC_BUT_HOLD,
                            IDC_BUT_READY,   IDC_BUT_AUX,   IDC_BUT_ACWIB,    IDC_BUT_ACWOB,
                            IDC_BUT_LOGOUT,  IDC_BUT_LOGIN, IDC_COMBO_REASON, IDC_EDIT_AGENT_ID};
    for (int id : disabled) EXPECT_FALSE(dlg.isControlEnabled(id)) << id;

    EXPECT_FALSE(dlg.isControlVisible(IDC_BUT_VOICEMAIL)) << "the voicemail button starts hidden";
    EXPECT_EQ(dlg.buttonFace(IDC_BUT_START), IDB_START);
    EXPECT_EQ(dlg.buttonFace(IDC_BUT_ANSWER), IDB_ANSWER_IDLE);
    EXPECT_EQ(dlg.buttonFace(IDC_BUT_VOICEMAIL), IDB_VOICEMAIL);

    EXPECT_EQ(dlg.m_notStarted, 1);
    EXPECT_EQ(dlg.m_ringing, 0);
    EXPECT_EQ(dlg.m_ringTicks, 0);
    EXPECT_EQ(dlg.m_reasonIndex, -1);
    EXPECT_EQ(g_mainDlg, &dlg);
    EXPECT_EQ(g_acmSocket, 0);

    auto* combo = qobject_cast<QComboBox*>(control(IDC_COMBO_REASON));
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(dlg.reasonSelection(), -1);
    QStringList names;
    for (int i = 0; i < combo->count(); ++i) names << combo->itemText(i);
    EXPECT_EQ(names, (QStringList{"Outbound NR", "Inbound NR", "AUX6", "AUX7", "AUX8", "AUX9", "AUX10", "AUX11"}));

    for (int id : {IDC_EDIT_NUMBER, IDC_EDIT_TRANSFER, IDC_EDIT_REMOTE_NUMBER, IDC_EDIT_REMOTE_CONTENT,
                   IDC_EDIT_HOST, IDC_EDIT_USER, IDC_EDIT_PASS, IDC_EDIT_AGENT_ID}) {
        EXPECT_EQ(text(id), "") << id;
    }
    EXPECT_EQ(text(IDC_EDIT_ACM_USER), "queueopr");
    EXPECT_EQ(text(IDC_EDIT_ACM_PASS), "bramwick");
    EXPECT_EQ(qobject_cast<QLineEdit*>(control(IDC_EDIT_PASS))->echoMode(), QLineEdit::Password);
    EXPECT_EQ(qobject_cast<QLineEdit*>(control(IDC_EDIT_ACM_PASS))->echoMode(), QLineEdit::Password);
    EXPECT_EQ(qobject_cast<QLineEdit*>(control(IDC_EDIT_ACM_USER))->echoMode(), QLineEdit::Normal);

    for (int id : {IDC_SLIDER_SPK, IDC_SLIDER_MIC}) {
        auto* slider = qobject_cast<QSlider*>(control(id));
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(slider->orientation(), Qt::Vertical);
        // The widget holds the level, the window gives its negation.
        EXPECT_EQ(slider->minimum(), 0);
        EXPECT_EQ(slider->maximum(), 100);
        EXPECT_EQ(slider->value(), 50);
        EXPECT_EQ(dlg.sliderPosition(id), -50);
        EXPECT_FALSE(slider->invertedAppearance()) << "level 100 is at the top";
    }
    EXPECT_EQ(dlg.focusWidget(), control(IDC_EDIT_NUMBER));
    EXPECT_EQ(text(IDC_BUT_RESIZE), "<<");
}

TEST_F(MainWindowTest, WindowTitleFrameAndFixedSize) {
    CQuendraDlg& dlg = makeDialog();
    EXPECT_EQ(dlg.QWidget::windowTitle(), "IAX2 Soft Phone v" QUENDRA_VERSION);
    const Qt::WindowFlags flags = dlg.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_EQ((flags & Qt::WindowType_Mask), Qt::Window) << "a window of its own in the task bar";
    const DialogUnits& u = dlg.dialogUnits();
    EXPECT_EQ(dlg.minimumSize(), QSize(u.x(294), u.y(266)));
    EXPECT_EQ(dlg.maximumSize(), dlg.minimumSize());
    EXPECT_FALSE(dlg.windowIcon().isNull());
    EXPECT_EQ(dlg.font().pointSize(), 8);
}

struct Placement {
    int id;
    const char* caption;
    int x, y, w, h;
};

TEST_F(MainWindowTest, ControlsSitAtTheirDialogUnitPositionsWithTheirCaptions) {
    CQuendraDlg& dlg = makeDialog();
    const DialogUnits& u = dlg.dialogUnits();
    const Placement placements[] = {
        {1009, nullptr, 178, 10, 92, 15},
        {1010, nullptr, 178, 34, 91, 15},
        {1024, nullptr, 12, 91, 102, 15},
        {1023, nullptr, 130, 91, 150, 15},
        {1021, nullptr, 46, 152, 67, 15},
        {1017, nullptr, 46, 169, 67, 15},
        {1022, nullptr, 46, 185, 67, 15},
        {1018, nullptr, 46, 216, 67, 15},
        {1038, nullptr, 46, 231, 67, 15},
        {1037, nullptr, 46, 246, 67, 15},
        {1000, "&Answer", 8, 6, 45, 19},
        {1001, "Re&lease", 67, 6, 45, 19},
        {1002, "&Dial", 126, 6, 45, 19},
        {1011, "x", 273, 11, 14, 12},
        {1, "Start", 241, 117, 45, 18},
        {2, "Exit", 7, 117, 45, 18},
        {1003, "Single &Txfer", 126, 30, 45, 19},
        {1004, "Hold", 9, 54, 45, 19},
        {1005, "&Ready", 67, 54, 36, 19},
        {1006, "AU&X", 111, 54, 36, 19},
        {1007, "ACW&IB", 154, 54, 36, 19},
        {1008, "ACW&OB", 199, 54, 36, 19},
        {1012, "x", 273, 36, 14, 12},
        {1013, "<<", 253, 57, 34, 16},
        {1019, "Logout", 85, 117, 45, 18},
        {1020, "Login", 163, 117, 45, 18},
        {1025, "1", 201, 169, 23, 20},
        {1027, "2", 231, 169, 23, 20},
        {1028, "3", 261, 169, 23, 20},
        {1029, "4", 201, 192, 23, 20},
        {1030, "5", 231, 192, 23, 20},
        {1031, "6", 261, 192, 23, 20},
        {1032, "7", 201, 215, 23, 20},
        {1033, "8", 231, 215, 23, 20},
        {1034, "9", 261, 215, 23, 20},
        {1035, "*", 201, 238, 23, 20},
        {1036, "0", 231, 238, 23, 20},
        {1039, "#", 261, 238, 23, 20},
        {1026, nullptr, 160, 174, 21, 86},
        {1040, nullptr, 133, 174, 21, 86},
        {1041, "", 95, 31, 28, 17},
    };
    for (const Placement& p : placements) {
        SCOPED_TRACE(p.id);
        QWidget* w = control(p.id);
        ASSERT_NE(w, nullptr);
        // Keypad keys sit in the sunken frame that has their position.
        const bool framed = w->parentWidget() != &dlg;
        const QRect placed = framed ? w->parentWidget()->geometry() : w->geometry();
        EXPECT_EQ(placed, u.rect(p.x, p.y, p.w, p.h));
        if (p.caption) {
            EXPECT_EQ(qobject_cast<QAbstractButton*>(w)->text().toStdString(), p.caption);
        }
    }
    QWidget* combo = control(IDC_COMBO_REASON);
    EXPECT_EQ(combo->pos(), QPoint(u.x(9), u.y(34)));
    EXPECT_EQ(combo->width(), u.x(82));
    EXPECT_LE(combo->height(), u.y(84));

    struct Static {
        const char* text;
        int x, y, w, h;
    };
    const Static labels[] = {{"Ext/user", 16, 172, 30, 11}, {"Agent ID", 14, 221, 32, 13},
                             {"MIC", 139, 165, 15, 9},      {"SPK", 165, 165, 15, 10},
                             {"Host", 28, 157, 18, 11},     {"Password", 12, 188, 34, 11},
                             {"ACM pass", 12, 248, 32, 11}, {"ACM user", 13, 235, 31, 13}};
    const QList<QLabel*> allLabels = dlg.findChildren<QLabel*>();
    for (const Static& s : labels) {
        SCOPED_TRACE(s.text);
        auto it = std::find_if(allLabels.begin(), allLabels.end(),
                               [&](QLabel* l) { return l->text() == QString::fromLatin1(s.text); });
        ASSERT_NE(it, allLabels.end());
        EXPECT_EQ((*it)->geometry(), u.rect(s.x, s.y, s.w, s.h));
    }
    const Static groups[] = {
        {"Remote Number  _______________  Remote content ________ (Inbound Call Info)", 7, 79, 282, 30},
        {"Extension Registration", 5, 138, 113, 65},
        {"", 195, 162, 94, 99},
        {"Agent Login", 5, 205, 112, 57}};
    const QList<QGroupBox*> allGroups = dlg.findChildren<QGroupBox*>();
    EXPECT_EQ(allGroups.size(), 4);
    for (const Static& s : groups) {
        SCOPED_TRACE(s.text);
        auto it = std::find_if(allGroups.begin(), allGroups.end(),
                               [&](QGroupBox* g) { return g->title() == QString::fromLatin1(s.text); });
        ASSERT_NE(it, allGroups.end());
        EXPECT_EQ((*it)->geometry(), u.rect(s.x, s.y, s.w, s.h));
    }
}

TEST_F(MainWindowTest, OnlyEditsAndTheVoicemailButtonTakePartInTabbing) {
    CQuendraDlg& dlg = makeDialog();
    dlg.showControl(IDC_BUT_VOICEMAIL, true);
    std::vector<int> order;
    QWidget* w = control(IDC_EDIT_NUMBER);
    for (int guard = 0; guard < 200; ++guard) {
        if (w->focusPolicy() & Qt::TabFocus) {
            int id = 0;
            for (int candidate = 1; candidate < 1100 && id == 0; ++candidate) {
                if (control(candidate) == w) id = candidate;
            }
            if (!order.empty() && id == order.front()) break;
            if (id == 0) ADD_FAILURE() << "tab stop on " << w->metaObject()->className();
            order.push_back(id);
        }
        w = w->nextInFocusChain();
    }
    EXPECT_EQ(order, (std::vector<int>{1009, 1010, 1024, 1023, 1021, 1017, 1022, 1018, 1038, 1037, 1041}));
}

TEST_F(MainWindowTest, HeightToggleShrinksAndRestoresByResizedHeight) {
    CQuendraDlg& dlg = makeDialog();
    dlg.show();
    const int full = dlg.height();
    const QPoint topLeft = dlg.frameGeometry().topLeft();
    qobject_cast<QAbstractButton*>(control(IDC_BUT_RESIZE))->click();
    EXPECT_EQ(text(IDC_BUT_RESIZE), ">>");
    EXPECT_EQ(dlg.height(), full - 250);
    EXPECT_EQ(dlg.frameGeometry().topLeft(), topLeft);
    EXPECT_TRUE(dlg.isControlVisible(IDC_BUT_KEY_POUND)) << "cut-off controls are not hidden";
    qobject_cast<QAbstractButton*>(control(IDC_BUT_RESIZE))->click();
    EXPECT_EQ(text(IDC_BUT_RESIZE), "<<");
    EXPECT_EQ(dlg.height(), full);

    // The height is read at each press.
    g_settings.resizedHeight = 150;
    qobject_cast<QAbstractButton*>(control(IDC_BUT_RESIZE))->click();
    EXPECT_EQ(dlg.height(), full - 150);
    // Any caption other than "<<" counts as shrunk.
    dlg.setControlText(IDC_BUT_RESIZE, "??");
    qobject_cast<QAbstractButton*>(control(IDC_BUT_RESIZE))->click();
    EXPECT_EQ(text(IDC_BUT_RESIZE), "<<");
    EXPECT_EQ(dlg.height(), full);
}

TEST_F(MainWindowTest, EnterRunsStartEvenWhileTypingANumber) {
    CQuendraDlg& dlg = makeDialog();
    dlg.show();
    int starts = 0;
    int dials = 0;
    dlg.setCommandHandler(IDC_BUT_START, [&] { ++starts; });
    dlg.setCommandHandler(IDC_BUT_DIAL, [&] { ++dials; });
    dlg.enableControl(IDC_BUT_DIAL, true);
    QTest::keyClicks(control(IDC_EDIT_NUMBER), "555");
    QTest::keyClick(control(IDC_EDIT_NUMBER), Qt::Key_Return);
    EXPECT_EQ(starts, 1);
    QTest::keyClick(control(IDC_EDIT_HOST), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(dials, 0);
    EXPECT_EQ(text(IDC_EDIT_NUMBER), "555");
}

TEST_F(MainWindowTest, EscapeAndTheCloseBoxRunExit) {
    CQuendraDlg& dlg = makeDialog();
    dlg.show();
    int exits = 0;
    dlg.setCommandHandler(IDC_BUT_EXIT, [&] { ++exits; });
    QTest::keyClick(control(IDC_EDIT_NUMBER), Qt::Key_Escape);
    EXPECT_EQ(exits, 1);
    EXPECT_FALSE(dlg.close()) << "the close box only asks Exit";
    EXPECT_EQ(exits, 2);
    EXPECT_TRUE(dlg.isVisible());
    static_cast<QDialog&>(dlg).reject();
    EXPECT_EQ(exits, 3);
}

TEST_F(MainWindowTest, ExitAsksAndClosesOnlyOnYes) {
    CQuendraDlg& dlg = makeDialog();
    dlg.show();
    qobject_cast<QAbstractButton*>(control(IDC_BUT_EXIT))->click();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "Are you sure to exit?");
    EXPECT_EQ(m_boxes.shown[0].buttons, BoxButtons::YesNo);
    EXPECT_EQ(m_boxes.shown[0].defaultAnswer, IDNO_ANSWER);
    EXPECT_TRUE(dlg.isVisible()) << "the default, No, keeps the program";

    m_boxes.answers = {IDYES_ANSWER};
    dlg.startTimer(TIMERID_MWICHECKER, 1000);
    EXPECT_FALSE(dlg.close()) << "the close box asks first";
    EXPECT_EQ(m_boxes.shown.size(), 2u);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isTimerActive(TIMERID_MWICHECKER));
}

TEST_F(MainWindowTest, ClearButtonsEmptyOnlyTheirField) {
    CQuendraDlg& dlg = makeDialog();
    dlg.setControlText(IDC_EDIT_NUMBER, "0123");
    dlg.setControlText(IDC_EDIT_TRANSFER, "4567");
    dlg.setControlText(IDC_EDIT_REMOTE_NUMBER, "89");
    qobject_cast<QAbstractButton*>(control(IDC_BUT_CLEAR_NUMBER))->click();
    EXPECT_EQ(text(IDC_EDIT_NUMBER), "");
    EXPECT_EQ(text(IDC_EDIT_TRANSFER), "4567");
    qobject_cast<QAbstractButton*>(control(IDC_BUT_CLEAR_TRANSFER))->click();
    EXPECT_EQ(text(IDC_EDIT_TRANSFER), "");
    EXPECT_EQ(text(IDC_EDIT_REMOTE_NUMBER), "89");
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(MainWindowTest, EveryControlRunsItsOwnOperation) {
    CQuendraDlg& dlg = makeDialog();
    std::vector<int> ran;
    const int others[] = {IDC_SLIDER_SPK, IDC_SLIDER_MIC, IDC_COMBO_REASON};
    for (int id : kButtonIds) dlg.setCommandHandler(id, [&ran, id] { ran.push_back(id); });
    for (int id : others) dlg.setCommandHandler(id, [&ran, id] { ran.push_back(id); });
    for (int id : kButtonIds) {
        dlg.enableControl(id, true);
        dlg.showControl(id, true);
        qobject_cast<QAbstractButton*>(control(id))->click();
    }
    auto* spk = qobject_cast<QSlider*>(control(IDC_SLIDER_SPK));
    spk->setSliderDown(true);
    spk->setSliderPosition(80);
    spk->setSliderDown(false);
    auto* mic = qobject_cast<QSlider*>(control(IDC_SLIDER_MIC));
    mic->setSliderDown(true);
    mic->setSliderDown(false);
    auto* combo = qobject_cast<QComboBox*>(control(IDC_COMBO_REASON));
    emit combo->activated(2);

    std::vector<int> expected(std::begin(kButtonIds), std::end(kButtonIds));
    expected.insert(expected.end(), std::begin(others), std::end(others));
    EXPECT_EQ(ran, expected);
    EXPECT_EQ(dlg.sliderPosition(IDC_SLIDER_SPK), -80);

    // A disabled control runs nothing; setting values in code runs nothing.
    ran.clear();
    dlg.enableControl(IDC_BUT_HOLD, false);
    qobject_cast<QAbstractButton*>(control(IDC_BUT_HOLD))->click();
    dlg.setReasonSelection(3);
    dlg.setSliderPosition(IDC_SLIDER_MIC, -10);
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(dlg.reasonSelection(), 3);
}

TEST_F(MainWindowTest, CaptionMnemonicsBecomeAltShortcuts) {
    makeDialog();
    const std::pair<int, const char*> mnemonics[] = {
        {IDC_BUT_ANSWER, "Alt+A"}, {IDC_BUT_RELEASE, "Alt+L"}, {IDC_BUT_DIAL, "Alt+D"},  {IDC_BUT_TXFER, "Alt+T"},
        {IDC_BUT_READY, "Alt+R"},  {IDC_BUT_AUX, "Alt+X"},     {IDC_BUT_ACWIB, "Alt+I"}, {IDC_BUT_ACWOB, "Alt+O"},
        {IDC_BUT_HOLD, ""},        {IDC_BUT_START, ""},
    };
    for (const auto& [id, keys] : mnemonics) {
        EXPECT_EQ(qobject_cast<QAbstractButton*>(control(id))->shortcut().toString().toStdString(), keys) << id;
    }
}

TEST_F(MainWindowTest, TimersDispatchByIdAndRepeat) {
    CQuendraDlg& dlg = makeDialog();
    std::map<int, int> fired;
    for (int id : {TIMERID_RINGCOLOR, TIMERID_RINGING, TIMERID_INBOUNDTIMEDACW, TIMERID_OUTBOUNDTIMEDACW,
                   TIMERID_MWICHECKER}) {
        dlg.setTimerHandler(id, [&fired, id] { ++fired[id]; });
    }
    EXPECT_TRUE(dlg.startTimer(TIMERID_RINGCOLOR, 10));
    EXPECT_TRUE(dlg.startTimer(TIMERID_MWICHECKER, 10));
    EXPECT_TRUE(dlg.isTimerActive(TIMERID_RINGCOLOR));
    QTRY_VERIFY_WITH_TIMEOUT(fired[TIMERID_RINGCOLOR] >= 3 && fired[TIMERID_MWICHECKER] >= 3, 20000);
    dlg.stopTimer(TIMERID_RINGCOLOR);
    EXPECT_FALSE(dlg.isTimerActive(TIMERID_RINGCOLOR));
    const int stopped = fired[TIMERID_RINGCOLOR];
    QTest::qWait(50);
    EXPECT_EQ(fired[TIMERID_RINGCOLOR], stopped);
    EXPECT_EQ(fired[TIMERID_RINGING], 0);
    EXPECT_EQ(fired[TIMERID_INBOUNDTIMEDACW], 0);

    EXPECT_FALSE(dlg.startTimer(TIMERID_RINGING, -1));
    EXPECT_FALSE(dlg.isTimerActive(TIMERID_RINGING));
    EXPECT_TRUE(dlg.startTimer(TIMERID_INBOUNDTIMEDACW, 0)) << "a zero period still runs";
    QTRY_VERIFY_WITH_TIMEOUT(fired[TIMERID_INBOUNDTIMEDACW] >= 1, 20000);
    dlg.stopTimer(TIMERID_OUTBOUNDTIMEDACW);  // never started: nothing happens
    dlg.stopTimer(TIMERID_INBOUNDTIMEDACW);
    dlg.stopTimer(TIMERID_MWICHECKER);
}

TEST_F(MainWindowTest, TextAccessIsBoundedAndKeepsCharactersWhole) {
    CQuendraDlg& dlg = makeDialog();
    dlg.setControlText(IDC_EDIT_NUMBER, "0123456789012345678901234567890123456789");
    char buffer[32];
    EXPECT_EQ(dlg.controlText(IDC_EDIT_NUMBER, buffer, 30), 30);
    EXPECT_STREQ(buffer, "012345678901234567890123456789");
    dlg.setControlText(IDC_EDIT_REMOTE_CONTENT, "Ren\xc3\xa9");
    char four[5];
    EXPECT_EQ(dlg.controlText(IDC_EDIT_REMOTE_CONTENT, four, 4), 3) << "the two-byte letter does not fit";
    EXPECT_STREQ(four, "Ren");
    EXPECT_EQ(dlg.controlText(IDC_EDIT_REMOTE_CONTENT, buffer, 10), 5);
    EXPECT_STREQ(buffer, "Ren\xc3\xa9");
    EXPECT_EQ(dlg.controlText(IDC_BUT_HOLD, buffer, 30), 4);
    EXPECT_STREQ(buffer, "Hold");
    dlg.setControlText(IDC_BUT_HOLD, "Unhold");
    EXPECT_EQ(text(IDC_BUT_HOLD), "Unhold");
    dlg.setControlText(IDC_COMBO_REASON, "typed");
    EXPECT_EQ(text(IDC_COMBO_REASON), "typed");
    dlg.setControlText(IDC_EDIT_NUMBER, nullptr);
    EXPECT_EQ(text(IDC_EDIT_NUMBER), "");
    EXPECT_EQ(dlg.controlText(9999, buffer, 30), 0) << "an unknown id reads as empty";
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(dlg.controlText(IDC_EDIT_NUMBER, nullptr, 30), 0);

    char title[8];
    EXPECT_EQ(dlg.windowTitle(title, sizeof title), 7);
    EXPECT_STREQ(title, "IAX2 So");
    dlg.setWindowTitle("IAX2 Soft Phone v" QUENDRA_VERSION " (dnc.cfg)");
    char whole[64];
    dlg.windowTitle(whole, sizeof whole);
    EXPECT_STREQ(whole, "IAX2 Soft Phone v" QUENDRA_VERSION " (dnc.cfg)");
}

TEST_F(MainWindowTest, FacesSwapAndOnlyPictureButtonsHaveThem) {
    CQuendraDlg& dlg = makeDialog();
    dlg.setButtonFace(IDC_BUT_ANSWER, IDB_ANSWER_RED);
    EXPECT_EQ(dlg.buttonFace(IDC_BUT_ANSWER), IDB_ANSWER_RED);
    dlg.setButtonFace(IDC_BUT_START, IDB_ONLINE);
    EXPECT_EQ(dlg.buttonFace(IDC_BUT_START), IDB_ONLINE);
    dlg.setButtonFace(IDC_BUT_HOLD, IDB_ONLINE);
    EXPECT_EQ(dlg.buttonFace(IDC_BUT_HOLD), 0);
    // The caption stays: it carries the mnemonic.
    EXPECT_EQ(text(IDC_BUT_ANSWER), "&Answer");
}

TEST(ButtonFaces, WordsColoursAndSizes) {
    struct Expected {
        int id;
        const char* word;
        QColor text;
        QColor background;
    };
    const QColor grey(192, 192, 192), green(0, 255, 0), red(255, 0, 0), yellow(255, 255, 0);
    const Expected faces[] = {
        {IDB_START, "Start", Qt::black, grey},
        {IDB_START_GREYED, "Start", QColor(128, 128, 128), grey},
        {IDB_ONLINE, "Online", Qt::black, green},
        {IDB_OFFLINE, "Offline", yellow, red},
        {IDB_ANSWER_IDLE, "Answer", QColor(128, 128, 128), grey},
        {IDB_ANSWER_RED, "Answer", yellow, red},
        {IDB_ANSWER_GREEN, "Answer", Qt::black, green},
    };
    for (const Expected& e : faces) {
        SCOPED_TRACE(e.id);
        const FaceLook look = faceLook(e.id);
        EXPECT_STREQ(look.word, e.word);
        EXPECT_EQ(look.text, e.text);
        EXPECT_EQ(look.background, e.background);
        const QImage image = facePixmap(e.id).toImage();
        EXPECT_EQ(image.size(), QSize(80, 30));
        EXPECT_EQ(QColor(image.pixel(3, 3)), e.background);
        int textPixels = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (QColor(image.pixel(x, y)) == e.text) ++textPixels;
            }
        }
        EXPECT_GT(textPixels, 20) << "the word is drawn in its colour";
    }
    EXPECT_TRUE(faceLook(IDB_START_GREYED).greyed);
    EXPECT_FALSE(faceLook(IDB_START).greyed);
    const QImage envelope = facePixmap(IDB_VOICEMAIL).toImage();
    EXPECT_EQ(envelope.size(), QSize(35, 27));
    int starPixels = 0;
    for (int y = 0; y < envelope.height(); ++y) {
        for (int x = 0; x < envelope.width(); ++x) {
            if (QColor(envelope.pixel(x, y)) == yellow) ++starPixels;
        }
    }
    EXPECT_GT(starPixels, 5);
    EXPECT_EQ(faceLook(999).word, nullptr);
    EXPECT_FALSE(mainIcon().isNull());
    EXPECT_EQ(mainIconPixmap(32).size(), QSize(32, 32));
}

TEST_F(MainWindowTest, SettingsWindowOpensFromTheMenuEntryAndF1) {
    CQuendraDlg& dlg = makeDialog();
    dlg.show();
    ASSERT_NE(dlg.contextMenu(), nullptr);
    const QList<QAction*> actions = dlg.contextMenu()->actions();
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0]->text(), "&About Quendra...");
    EXPECT_EQ(actions[0]->data().toInt(), IDM_ABOUTBOX);

    QString title;
    {
        ModalWatcher watcher([&](QWidget* w) {
            if (qobject_cast<CAboutDlg*>(w)) title = w->windowTitle();
        });
        dlg.OnSysCommand(IDM_ABOUTBOX | 0x3);  // low bits are ignored
        EXPECT_EQ(watcher.opened(), 1);
        EXPECT_EQ(title, "About Quendra");
        QTest::keyClick(control(IDC_EDIT_NUMBER), Qt::Key_F1);
        EXPECT_EQ(watcher.opened(), 2);
        dlg.OnSysCommand(0xF020);  // another window command: not handled here
        EXPECT_EQ(watcher.opened(), 2);
    }
}

TEST(MinimisedIcon, IsCentredInTheClientArea) {
    EXPECT_EQ(CQuendraDlg::minimisedIconPosition(QSize(100, 80), QSize(32, 32)), QPoint(34, 24));
    EXPECT_EQ(CQuendraDlg::minimisedIconPosition(QSize(101, 81), QSize(32, 32)), QPoint(35, 25));
    EXPECT_EQ(CQuendraDlg::minimisedIconPosition(QSize(20, 20), QSize(32, 32)), QPoint(-5, -5));
}

}  // namespace
