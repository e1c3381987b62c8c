// The main window: every control of the control table at its place, the
// start-up sequence, the bindings of the controls to their operations, the
// window timers, the height toggle and the settings window entry.
// Its parts: quendra_dlg.cpp (construction and window behaviour),
// quendra_dlg_layout.cpp (the controls), quendra_dlg_dispatch.cpp (controls
// and timers to their operations), quendra_dlg_startup.cpp (the start-up
// sequence), quendra_dlg_controls.cpp (the MainWindow interface).
#pragma once

#include <QDialog>
#include <QIcon>
#include <functional>
#include <map>
#include <set>

#include "app/main_window.h"
#include "ui/dialog_units.h"

class QAction;
class QMenu;
class QTimer;

class CQuendraDlg : public QDialog, public MainWindow {
    Q_OBJECT
public:
    // argv is the program's argument vector; the switches are read from its
    // second word on during start-up, which runs here.
    CQuendraDlg(int argc, const char* const* argv, QWidget* parent = nullptr);
    ~CQuendraDlg() override;

    // MainWindow
    void enableControl(int id, bool enable) override;
    bool isControlEnabled(int id) const override;
    void showControl(int id, bool show) override;
    bool isControlVisible(int id) const override;
    void setControlText(int id, const char* text) override;
    int controlText(int id, char* buffer, int maxChars) const override;
    void setButtonFace(int id, int bitmapId) override;
    int buttonFace(int id) const override;
    void setSliderPosition(int id, int position) override;
    int sliderPosition(int id) const override;
    void setReasonSelection(int index) override;
    int reasonSelection() const override;
    void focusControl(int id) override;
    bool startTimer(int timerId, int milliseconds) override;
    void stopTimer(int timerId) override;
    int windowTitle(char* buffer, int capacity) const override;
    void setWindowTitle(const char* title) override;
    void bringToFront() override;
    void closeWindow() override;

    // The widget registered under a control id, null if there is none.
    QWidget* control(int id) const;
    const DialogUnits& dialogUnits() const { return m_units; }
    bool isTimerActive(int timerId) const;

    // '<<' / '>>': shrinks or restores the window by resizedHeight pixels.
    void OnBnClickedButResize();
    // A window-menu command: IDM_ABOUTBOX (in its upper bits) opens the
    // settings window; other commands are left to the window system.
    void OnSysCommand(int commandId);
    // The right-click menu with the settings-window entry.
    QMenu* contextMenu() const { return m_contextMenu; }

    // The operation a control runs (also Enter for Start, Escape and the
    // close box for Exit) and the one a timer runs; tests replace them.
    void setCommandHandler(int controlId, std::function<void()> handler);
    void setTimerHandler(int timerId, std::function<void()> handler);

    // Where the icon goes in the client area of the minimised window.
    static QPoint minimisedIconPosition(const QSize& client, const QSize& icon);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void accept() override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Construction runs these three in order: the widgets, their bindings,
    // then the start-up sequence.
    void createControls();
    void bindControls();
    void onInitDialog(int argc, const char* const* argv);
    void setInitialControlStates();
    void fillReasonList();
    void runCommand(int controlId);
    void onTimer(int timerId);
    void runTimerHandler(int timerId);

    DialogUnits m_units;
    QIcon m_hIcon;
    std::map<int, QWidget*> m_controls;
    std::map<int, QTimer*> m_timers;
    std::map<int, std::function<void()>> m_commands;
    std::map<int, std::function<void()>> m_timerHandlers;
    std::set<int> m_ticksWaiting;  // timers whose tick waits for serial work
    QMenu* m_contextMenu = nullptr;
    QAction* m_aboutAction = nullptr;
    bool m_closing = false;
};
