#include "ui/quendra_dlg.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <cstring>

#include "ui/about_dlg.h"
#include "agent/agent_modes.h"
#include "ui/button_faces.h"
#include "call/call_operations.h"
#include "call/ringing.h"
#include "app/command_line.h"
#include "app/control_ids.h"
#include "ui/control_table.h"
#include "optout/dial_request.h"
#include "optout/dnc_database.h"
#include "optout/optout_file.h"
#include "app/options_file.h"
#include "app/parameter_echo.h"
#include "call/phone_start.h"
#include "ui/picture_button.h"
#include "app/process_priority.h"
#include "app/quendra_version.h"
#include "app/serial_work.h"
#include "app/settings.h"
#include "agent/socket_layer.h"
#include "agent/voicemail_check.h"

namespace {

const char* const kWindowTitle = "IAX2 Soft Phone v" QUENDRA_VERSION;
// String 101, the settings-window entry of the window menu.
const char* const kAboutMenuText = "&About Quendra...";
// The shortest period a window timer runs with.
constexpr int kMinimumTimerMs = 10;

// Copies at most maxChars bytes of text as UTF-8, never splitting a
// character, and ends the buffer with a NUL.
int copyOut(const QString& text, char* buffer, int maxChars) {
    if (buffer == nullptr || maxChars < 0) return 0;
    const QByteArray bytes = text.toUtf8();
    int n = bytes.size() < maxChars ? static_cast<int>(bytes.size()) : maxChars;
    while (n > 0 && n < bytes.size() && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80) --n;
    std::memcpy(buffer, bytes.constData(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

QString textOf(const char* text) {
    return QString::fromUtf8(text ? text : "");
}

}  // namespace

CQuendraDlg::CQuendraDlg(int argc, const char* const* argv, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_hIcon(mainIcon()) {
    setFont(dialogFont());
    m_units = DialogUnits::forFont(font());
    QWidget::setWindowTitle(QString::fromLatin1(kWindowTitle));
    setFixedSize(m_units.x(kMainWidthDlu), m_units.y(kMainHeightDlu));
    createControls();
    onInitDialog(argc, argv);
}

CQuendraDlg::~CQuendraDlg() {
    if (g_mainDlg == this) g_mainDlg = nullptr;
}

// --- controls -------------------------------------------------------------

void CQuendraDlg::createControls() {
    std::size_t count = 0;
    const ControlSpec* table = mainControlTable(&count);
    QList<QWidget*> tabChain;
    QList<QWidget*> frames;
    for (std::size_t i = 0; i < count; ++i) {
        const ControlSpec& entry = table[i];
        const QRect r = m_units.rect(entry.x, entry.y, entry.width, entry.height);
        const QString text = QString::fromLatin1(entry.text);
        QWidget* widget = nullptr;
        switch (entry.kind) {
        case ControlKind::Edit:
        case ControlKind::MaskedEdit: {
            auto* edit = new QLineEdit(this);
            if (entry.kind == ControlKind::MaskedEdit) edit->setEchoMode(QLineEdit::Password);
            edit->setGeometry(r);
            edit->setFocusPolicy(Qt::StrongFocus);
            tabChain << edit;
            widget = edit;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(text, this);
            button->setAutoDefault(false);
            button->setFocusPolicy(Qt::NoFocus);
            button->setGeometry(r);
            widget = button;
            break;
        }
        case ControlKind::PictureButton: {
            auto* button = new PictureButton(text, this);
            button->setAutoDefault(false);
            button->setGeometry(r);
            if (entry.id == IDC_BUT_VOICEMAIL) {
                button->setFocusPolicy(Qt::StrongFocus);
                tabChain << button;
            } else {
                button->setFocusPolicy(Qt::NoFocus);
            }
            widget = button;
            break;
        }
        case ControlKind::KeypadButton: {
            // The sunken edge is a frame around the button.
            auto* frame = new QFrame(this);
            frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            frame->setLineWidth(1);
            frame->setGeometry(r);
            auto* button = new QPushButton(text, frame);
            button->setAutoDefault(false);
            button->setFocusPolicy(Qt::NoFocus);
            button->setGeometry(frame->contentsRect());
            widget = button;
            break;
        }
        case ControlKind::GroupBox: {
            auto* group = new QGroupBox(text, this);
            group->setGeometry(r);
            frames << group;
            break;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(text, this);
            const bool centred = std::strcmp(entry.text, "MIC") == 0 || std::strcmp(entry.text, "SPK") == 0;
            label->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignRight) | Qt::AlignTop);
            label->setGeometry(r);
            break;
        }
        case ControlKind::Slider: {
            // The widget holds the level itself, 0 at the bottom and 100 at
            // the top, so that the part a style fills from the bottom end
            // grows with the level; the window's slider position is its
            // negation (setSliderPosition, sliderPosition).
            auto* slider = new QSlider(Qt::Vertical, this);
            slider->setRange(0, 100);
            slider->setFocusPolicy(Qt::ClickFocus);
            slider->setGeometry(r);
            widget = slider;
            break;
        }
        case ControlKind::ReasonList: {
            auto* combo = new QComboBox(this);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setMaxVisibleItems(8);
            combo->setFocusPolicy(Qt::ClickFocus);
            combo->lineEdit()->setFocusPolicy(Qt::ClickFocus);
            // The table's height includes the dropped-down list.
            const int lineHeight = combo->sizeHint().height();
            combo->setGeometry(r.x(), r.y(), r.width(), lineHeight < r.height() ? lineHeight : r.height());
            widget = combo;
            break;
        }
        }
        if (widget != nullptr && entry.id != kStaticId) m_controls[entry.id] = widget;
    }
    // Frames stay behind the controls they surround, so they never take
    // their clicks.
    for (QWidget* frame : frames) frame->lower();
    for (int i = 1; i < tabChain.size(); ++i) QWidget::setTabOrder(tabChain[i - 1], tabChain[i]);
    bindControls();
}

void CQuendraDlg::bindControls() {
    const std::pair<int, void (*)()> buttons[] = {
        {IDC_BUT_START, OnBnClickedButStart},
        {IDC_BUT_EXIT, OnBnClickedButExit},
        {IDC_BUT_ANSWER, OnBnClickedButAnswer},
        {IDC_BUT_RELEASE, OnBnClickedButRelease},
        {IDC_BUT_DIAL, OnBnClickedButDial},
        {IDC_BUT_TXFER, OnBnClickedButSingleTxfer},
        {IDC_BUT_HOLD, OnBnClickedButHold},
        {IDC_BUT_READY, OnBnClickedButReady},
        {IDC_BUT_AUX, OnBnClickedButAux},
        {IDC_BUT_ACWIB, OnBnClickedButAcwib},
        {IDC_BUT_ACWOB, OnBnClickedButAcwob},
        {IDC_BUT_CLEAR_NUMBER, OnBnClickedButClearNumber},
        {IDC_BUT_CLEAR_TRANSFER, OnBnClickedButClearTransfer},
        {IDC_BUT_LOGOUT, OnBnClickedButLogout},
        {IDC_BUT_LOGIN, OnBnClickedButLogin},
        {IDC_BUT_VOICEMAIL, OnBnClickedButVoicemail},
        {IDC_SLIDER_SPK, OnSpeakerSliderReleased},
        {IDC_SLIDER_MIC, OnMicSliderReleased},
        {IDC_COMBO_REASON, OnCbnSelchangeComboReason},
    };
    for (const auto& [id, handler] : buttons) m_commands[id] = handler;
    m_commands[IDC_BUT_RESIZE] = [this] { OnBnClickedButResize(); };
    for (int id : {IDC_BUT_KEY_1, IDC_BUT_KEY_2, IDC_BUT_KEY_3, IDC_BUT_KEY_4, IDC_BUT_KEY_5,
                   IDC_BUT_KEY_6, IDC_BUT_KEY_7, IDC_BUT_KEY_8, IDC_BUT_KEY_9, IDC_BUT_KEY_STAR,
                   IDC_BUT_KEY_0, IDC_BUT_KEY_POUND}) {
        m_commands[id] = [id] { OnBnClickedButKeypad(id); };
    }

    for (const auto& [id, widget] : m_controls) {
        const int controlId = id;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            connect(button, &QAbstractButton::clicked, this, [this, controlId] { runCommand(controlId); });
        } else if (auto* slider = qobject_cast<QSlider*>(widget)) {
            // A drag applies the level when the handle is let go; a click on
            // the track, the wheel and the keys move the handle by steps, each
            // applied at once.
            connect(slider, &QSlider::sliderReleased, this, [this, controlId] { runCommand(controlId); });
            connect(slider, &QSlider::valueChanged, this, [this, controlId, slider] {
                if (!slider->isSliderDown()) runCommand(controlId);
            });
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            connect(combo, &QComboBox::activated, this, [this, controlId] { runCommand(controlId); });
        }
    }

    m_timerHandlers[TIMERID_RINGCOLOR] = [] { onRingingTimer(TIMERID_RINGCOLOR); };
    m_timerHandlers[TIMERID_RINGING] = [] { onRingingTimer(TIMERID_RINGING); };
    m_timerHandlers[TIMERID_INBOUNDTIMEDACW] = [] { onTimedAcwTimer(TIMERID_INBOUNDTIMEDACW); };
    m_timerHandlers[TIMERID_OUTBOUNDTIMEDACW] = [] { onTimedAcwTimer(TIMERID_OUTBOUNDTIMEDACW); };
    m_timerHandlers[TIMERID_MWICHECKER] = [] { onVoicemailTimer(); };
}

void CQuendraDlg::setCommandHandler(int controlId, std::function<void()> handler) {
    m_commands[controlId] = std::move(handler);
}

void CQuendraDlg::setTimerHandler(int timerId, std::function<void()> handler) {
    m_timerHandlers[timerId] = std::move(handler);
}

void CQuendraDlg::runCommand(int controlId) {
    const auto it = m_commands.find(controlId);
    if (it != m_commands.end() && it->second) it->second();
}

// --- start-up --------------------------------------------------------------

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
    // 2: the settings-window entry (the window menu of this desktop takes
    // no entries, so it lives in the right-click menu and on F1).
    m_contextMenu = new QMenu(this);
    m_aboutAction = m_contextMenu->addAction(QString::fromLatin1(kAboutMenuText));
    m_aboutAction->setData(IDM_ABOUTBOX);
    // 3
    setWindowIcon(m_hIcon);
    // 4, 5
    setInitialControlStates();
    setButtonFace(IDC_BUT_START, IDB_START);
    setButtonFace(IDC_BUT_ANSWER, IDB_ANSWER_IDLE);
    setButtonFace(IDC_BUT_VOICEMAIL, IDB_VOICEMAIL);
    showControl(IDC_BUT_VOICEMAIL, false);
    // 6: defaults
    g_mainDlg = this;
    resetStartupDefaults();
    g_acmSocket = 0;
    // 7 to 11: command line, reason names, options file, reason list,
    // opt-out file
    parseCommandLine(argc, argv);
    initReasonNames();
    if (g_settings.cfgFile[0] != '\0') readIAX2Options(g_settings.cfgFile);
    fillReasonList();
    loadOptOutFile();
    // 12
    if (g_settings.debug) writeParameterEcho();
    // 13: registration and agent fields
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
    // 14
    if (g_dncEnabled) optOutStartUp();
    // 15 (16: bringing the window to the front is always available here)
    raiseProcessPriority();
    // 17
    if (s.lockuser && s.user[0] != '\0') enableControl(IDC_EDIT_USER, false);
    if (s.lockpass && s.pass[0] != '\0') enableControl(IDC_EDIT_PASS, false);
    // 18
    setSliderPosition(IDC_SLIDER_MIC, -s.micVol);
    setSliderPosition(IDC_SLIDER_SPK, -s.speakerVol);
    // 19
    focusControl(IDC_EDIT_NUMBER);
}

// --- MainWindow -------------------------------------------------------------

QWidget* CQuendraDlg::control(int id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CQuendraDlg::enableControl(int id, bool enable) {
    if (QWidget* w = control(id)) w->setEnabled(enable);
}

bool CQuendraDlg::isControlEnabled(int id) const {
    const QWidget* w = control(id);
    return w != nullptr && w->isEnabled();
}

void CQuendraDlg::showControl(int id, bool show) {
    if (QWidget* w = control(id)) w->setVisible(show);
}

bool CQuendraDlg::isControlVisible(int id) const {
    const QWidget* w = control(id);
    return w != nullptr && !w->isHidden();
}

void CQuendraDlg::setControlText(int id, const char* text) {
    QWidget* w = control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(textOf(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(textOf(text));
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        combo->setEditText(textOf(text));
    }
}

int CQuendraDlg::controlText(int id, char* buffer, int maxChars) const {
    const QWidget* w = control(id);
    QString text;
    if (auto* edit = qobject_cast<const QLineEdit*>(w)) {
        text = edit->text();
    } else if (auto* button = qobject_cast<const QAbstractButton*>(w)) {
        text = button->text();
    } else if (auto* combo = qobject_cast<const QComboBox*>(w)) {
        text = combo->currentText();
    }
    return copyOut(text, buffer, maxChars);
}

void CQuendraDlg::setButtonFace(int id, int bitmapId) {
    if (auto* button = qobject_cast<PictureButton*>(control(id))) button->setFace(bitmapId);
}

int CQuendraDlg::buttonFace(int id) const {
    const auto* button = qobject_cast<const PictureButton*>(control(id));
    return button ? button->face() : 0;
}

void CQuendraDlg::setSliderPosition(int id, int position) {
    if (auto* slider = qobject_cast<QSlider*>(control(id))) {
        // Placed by the program, not moved by the agent: nothing to apply.
        const QSignalBlocker quiet(slider);
        slider->setValue(-position);
    }
}

int CQuendraDlg::sliderPosition(int id) const {
    const auto* slider = qobject_cast<const QSlider*>(control(id));
    return slider ? -slider->value() : 0;
}

void CQuendraDlg::setReasonSelection(int index) {
    if (auto* combo = qobject_cast<QComboBox*>(control(IDC_COMBO_REASON))) {
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    }
}

int CQuendraDlg::reasonSelection() const {
    const auto* combo = qobject_cast<const QComboBox*>(control(IDC_COMBO_REASON));
    return combo ? combo->currentIndex() : -1;
}

void CQuendraDlg::focusControl(int id) {
    if (QWidget* w = control(id)) w->setFocus(Qt::OtherFocusReason);
}

bool CQuendraDlg::startTimer(int timerId, int milliseconds) {
    if (milliseconds < 0) return false;
    QTimer*& timer = m_timers[timerId];
    if (timer == nullptr) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, timerId] { onTimer(timerId); });
    }
    timer->start(milliseconds < kMinimumTimerMs ? kMinimumTimerMs : milliseconds);
    return true;
}

void CQuendraDlg::stopTimer(int timerId) {
    const auto it = m_timers.find(timerId);
    if (it != m_timers.end()) it->second->stop();
}

bool CQuendraDlg::isTimerActive(int timerId) const {
    const auto it = m_timers.find(timerId);
    return it != m_timers.end() && it->second->isActive();
}

void CQuendraDlg::onTimer(int timerId) {
    // The flashing of the Answer face changes nothing but the face; every
    // other timer's work touches the call or the agent's state and takes
    // its turn behind the event or tick whose handling is under way.
    if (timerId == TIMERID_RINGCOLOR) {
        runTimerHandler(timerId);
        return;
    }
    // One tick waiting is enough: a periodic timer that fires again while
    // its tick waits adds nothing.
    if (!m_ticksWaiting.insert(timerId).second) return;
    runSerialWork([this, timerId] {
        m_ticksWaiting.erase(timerId);
        // Stopped while the tick waited (a new call stops the timed after-call
        // work, Logout the voicemail check): nothing is left to do.
        if (!isTimerActive(timerId)) return;
        runTimerHandler(timerId);
    });
}

void CQuendraDlg::runTimerHandler(int timerId) {
    const auto it = m_timerHandlers.find(timerId);
    if (it != m_timerHandlers.end() && it->second) it->second();
}

int CQuendraDlg::windowTitle(char* buffer, int capacity) const {
    if (buffer == nullptr || capacity <= 0) return 0;
    return copyOut(QWidget::windowTitle(), buffer, capacity - 1);
}

void CQuendraDlg::setWindowTitle(const char* title) {
    QWidget::setWindowTitle(textOf(title));
}

void CQuendraDlg::bringToFront() {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

void CQuendraDlg::closeWindow() {
    m_closing = true;
    for (auto& [id, timer] : m_timers) timer->stop();
    QDialog::done(QDialog::Rejected);
}

// --- window behaviour -----------------------------------------------------

void CQuendraDlg::OnBnClickedButResize() {
    char caption[7];
    controlText(IDC_BUT_RESIZE, caption, 6);
    const QPoint topLeft = frameGeometry().topLeft();
    int newHeight = height();
    if (std::strcmp(caption, "<<") == 0) {
        setControlText(IDC_BUT_RESIZE, ">>");
        newHeight -= g_settings.resizedHeight;
    } else {
        setControlText(IDC_BUT_RESIZE, "<<");
        newHeight += g_settings.resizedHeight;
    }
    if (newHeight < 0) newHeight = 0;
    // Controls below the new bottom edge are simply cut off.
    setFixedSize(width(), newHeight);
    move(topLeft);
}

void CQuendraDlg::OnSysCommand(int commandId) {
    if ((commandId & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.exec();
    }
}

QPoint CQuendraDlg::minimisedIconPosition(const QSize& client, const QSize& icon) {
    return QPoint((client.width() - icon.width() + 1) / 2, (client.height() - icon.height() + 1) / 2);
}

void CQuendraDlg::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            runCommand(IDC_BUT_START);
            return;
        case Qt::Key_Escape:
            event->accept();
            runCommand(IDC_BUT_EXIT);
            return;
        case Qt::Key_F1:
            event->accept();
            OnSysCommand(IDM_ABOUTBOX);
            return;
        default:
            break;
        }
    }
    QDialog::keyPressEvent(event);
}

void CQuendraDlg::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        event->accept();
        return;
    }
    // The close box asks Exit, which closes the window itself when it may.
    event->ignore();
    runCommand(IDC_BUT_EXIT);
}

void CQuendraDlg::reject() {
    runCommand(IDC_BUT_EXIT);
}

void CQuendraDlg::accept() {
    runCommand(IDC_BUT_START);
}

void CQuendraDlg::paintEvent(QPaintEvent* event) {
    if (!isMinimized()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const QSize iconSize(32, 32);
    painter.drawPixmap(minimisedIconPosition(size(), iconSize), m_hIcon.pixmap(iconSize));
}

void CQuendraDlg::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    const QAction* chosen = m_contextMenu->exec(event->globalPos());
    if (chosen != nullptr) OnSysCommand(chosen->data().toInt());
}
