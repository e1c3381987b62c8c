// What the operations see of the main window: controls addressed by id, the
// button faces, the window's timers and its own members. The Qt dialog
// implements it; tests may implement it with a fake. Every call is made on
// the window's thread.
#pragma once

class MainWindow {
public:
    virtual ~MainWindow() = default;

    virtual void enableControl(int id, bool enable) = 0;
    virtual bool isControlEnabled(int id) const = 0;
    virtual void showControl(int id, bool show) = 0;
    virtual bool isControlVisible(int id) const = 0;

    virtual void setControlText(int id, const char* text) = 0;
    // Copies at most maxChars characters of the control's text into buffer,
    // which holds maxChars + 1 bytes; returns the number copied.
    virtual int controlText(int id, char* buffer, int maxChars) const = 0;

    // Picture buttons: which bitmap the button shows.
    virtual void setButtonFace(int id, int bitmapId) = 0;
    virtual int buttonFace(int id) const = 0;

    // Slider position (the negated level: -100 at the top, 0 at the bottom).
    virtual void setSliderPosition(int id, int position) = 0;
    virtual int sliderPosition(int id) const = 0;

    // Reason list: the selected entry, -1 for none.
    virtual void setReasonSelection(int index) = 0;
    virtual int reasonSelection() const = 0;

    virtual void focusControl(int id) = 0;

    // Window timers by id; startTimer returns false when it cannot start.
    // Starting a running timer restarts it with the new period.
    virtual bool startTimer(int timerId, int milliseconds) = 0;
    virtual void stopTimer(int timerId) = 0;

    virtual int windowTitle(char* buffer, int capacity) const = 0;
    virtual void setWindowTitle(const char* title) = 0;

    virtual void bringToFront() = 0;
    // Ends the modal run of the window; the program then ends.
    virtual void closeWindow() = 0;

    int m_notStarted = 0;
    int m_ringing = 0;
    int m_ringTicks = 0;
    int m_reasonIndex = -1;
};

extern MainWindow* g_mainDlg;
