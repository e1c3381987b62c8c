#include "ui/cursor_blink.h"

#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>

CursorBlinkLimit::CursorBlinkLimit(int idleMs, QObject* parent)
    : QObject(parent), m_flashTime(QGuiApplication::styleHints()->cursorFlashTime()) {
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleMs);
    connect(&m_idle, &QTimer::timeout, this, [this] { rest(); });
    if (m_flashTime > 0) m_idle.start();
}

CursorBlinkLimit::~CursorBlinkLimit() {
    if (!m_blinking) QGuiApplication::styleHints()->setCursorFlashTime(m_flashTime);
}

void CursorBlinkLimit::rest() {
    // Line edits follow the change at once: their blink timers stop.
    QGuiApplication::styleHints()->setCursorFlashTime(0);
    m_blinking = false;
}

bool CursorBlinkLimit::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::InputMethod:
        case QEvent::WindowActivate:
            if (m_flashTime <= 0) break;
            if (!m_blinking) {
                QGuiApplication::styleHints()->setCursorFlashTime(m_flashTime);
                m_blinking = true;
            }
            m_idle.start();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}
