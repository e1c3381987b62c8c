// The phone for benchmarks that run it without a keyboard: the program as
// it ships (same switches, same window, same operations), which presses
// Start itself once the window is up. A running benchmark presses the
// Answer key with SIGUSR1 and the Release key with SIGUSR2. Nothing polls:
// the signals reach the window's thread through a pipe.
//   bench_phone_host [phone switches...]
#include <signal.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include "app/control_ids.h"
#include "program/quendra_app.h"
#include "ui/quendra_dlg.h"

namespace {

int g_pipe[2] = {-1, -1};

void onSignal(int signal) {
    const char key = signal == SIGUSR1 ? 'a' : 'r';
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &key, 1);
}

CQuendraDlg* mainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dlg = qobject_cast<CQuendraDlg*>(w)) return dlg;
    }
    return nullptr;
}

void press(int controlId) {
    CQuendraDlg* dlg = mainWindow();
    if (dlg == nullptr) return;
    if (auto* button = qobject_cast<QAbstractButton*>(dlg->control(controlId))) button->click();
}

}  // namespace

int main(int argc, char** argv) {
    if (::pipe(g_pipe) != 0) return 2;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGUSR1, &action, nullptr);
    ::sigaction(SIGUSR2, &action, nullptr);

    CQuendraApp app(argc, argv);
    QSocketNotifier keys(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(&keys, &QSocketNotifier::activated, [] {
        char key = 0;
        if (::read(g_pipe[0], &key, 1) == 1) press(key == 'a' ? IDC_BUT_ANSWER : IDC_BUT_RELEASE);
    });
    // Runs as soon as the window's event loop does.
    QTimer::singleShot(0, [] { press(IDC_BUT_START); });
    return app.InitInstance();
}
