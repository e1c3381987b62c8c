// Text-cursor blinking that rests when the agent does: after a while with
// no key press, click or window activation the cursor stops blinking (it
// stays shown), as desktop environments do, so that a window left open all
// day wakes nobody twice a second; the next input brings the blinking back.
// Install one on the application (QApplication::installEventFilter).
#pragma once

#include <QObject>
#include <QTimer>

class CursorBlinkLimit : public QObject {
public:
    static constexpr int kDefaultIdleMs = 10000;

    explicit CursorBlinkLimit(int idleMs = kDefaultIdleMs, QObject* parent = nullptr);
    ~CursorBlinkLimit() override;

    bool blinking() const { return m_blinking; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rest();

    QTimer m_idle;
    int m_flashTime;  // the desktop's flash time, 0 when it does not blink
    bool m_blinking = true;
};
