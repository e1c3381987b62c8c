// What the main window's controls and timers run: each button, slider and
// the reason list is bound to its operation, and each window timer to its
// handler; a timer's tick waits its turn behind the serial work under way.
#include <QAbstractButton>
#include <QComboBox>
#include <QSlider>
#include <QTimer>

#include "agent/agent_modes.h"
#include "agent/voicemail_check.h"
#include "app/control_ids.h"
#include "app/serial_work.h"
#include "call/call_operations.h"
#include "call/phone_start.h"
#include "call/ringing.h"
#include "optout/dial_request.h"
#include "ui/level_slider.h"
#include "ui/quendra_dlg.h"

namespace {

// The shortest period a window timer runs with.
constexpr int kMinimumTimerMs = 10;

}  // namespace

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
    for (int id :
         {IDC_BUT_KEY_1, IDC_BUT_KEY_2, IDC_BUT_KEY_3, IDC_BUT_KEY_4, IDC_BUT_KEY_5, IDC_BUT_KEY_6, IDC_BUT_KEY_7,
          IDC_BUT_KEY_8, IDC_BUT_KEY_9, IDC_BUT_KEY_STAR, IDC_BUT_KEY_0, IDC_BUT_KEY_POUND}) {
        m_commands[id] = [id] { OnBnClickedButKeypad(id); };
    }

    // The widgets run the operation by its id, so that a handler a test puts
    // in place is the one that runs.
    for (const auto& [id, widget] : m_controls) {
        const int controlId = id;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            connect(button, &QAbstractButton::clicked, this, [this, controlId] { runCommand(controlId); });
        } else if (auto* slider = qobject_cast<QSlider*>(widget)) {
            onLevelChosen(slider, this, [this, controlId] { runCommand(controlId); });
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

// --- window timers ----------------------------------------------------------

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
