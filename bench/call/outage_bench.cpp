// Outage benchmark: the real main window (offscreen) with the voice engine's
// own timings registers at the lab PBX in this process; the PBX is stopped
// for a while (100 s unless told otherwise) and started again. Reported:
// the seconds from the stop until the Start face shows Offline, and from the
// restart until it shows Online again, with the state of Dial then.
//
//   bench_outage [outage seconds] [seconds to wait after registering]
#include <QAbstractButton>
#include <QApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include <iaxclient.h>
#include "app/control_ids.h"
#include "app/process_priority.h"
#include "labpbx/pbx/lab_pbx.h"
#include "ui/quendra_dlg.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const kPbxConfig = R"([general]
bindaddr = 127.0.0.1
iaxport = %PORT%
managerport = 0
controlport = 0
minregexpire = 60
maxregexpire = 3600
[extensions]
7001 = secret7001
)";

// The phone's priority stays as it is: this is a measurement, not a phone.
class UnchangedPriority final : public PrioritySystem {
public:
    bool currentNice(int* nice, int*) override {
        *nice = 0;
        return true;
    }
    bool setNice(int, int*) override { return true; }
    bool niceLimit(unsigned long long*) override { return false; }
};

// A UDP port that is free on loopback just now.
int freeUdpPort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Lets the window's thread run until cond holds or limitSeconds pass.
bool runUntil(const std::function<bool()>& cond, double limitSeconds) {
    const auto start = Clock::now();
    while (!cond()) {
        if (secondsSince(start) > limitSeconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ::usleep(20000);
    }
    return true;
}

std::unique_ptr<labpbx::LabPbx> startPbx(int port) {
    std::string text = kPbxConfig;
    text.replace(text.find("%PORT%"), 6, std::to_string(port));
    labpbx::ConfigError error;
    auto config = labpbx::parseConfig(text, error);
    if (!config) return nullptr;
    auto pbx = std::make_unique<labpbx::LabPbx>(*config);
    std::string reason;
    if (!pbx->start(reason)) {
        std::fprintf(stderr, "lab PBX: %s\n", reason.c_str());
        return nullptr;
    }
    return pbx;
}

}  // namespace

int main(int argc, char** argv) {
    const int outageSeconds = argc > 1 ? std::atoi(argv[1]) : 100;
    const int phaseSeconds = argc > 2 ? std::atoi(argv[2]) : 0;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("QUENDRA_AUDIO_SILENT", "1", 1);
    QApplication app(argc, argv);
    UnchangedPriority priority;
    setPrioritySystem(&priority);

    char folder[] = "/tmp/quendra-outage-XXXXXX";
    if (::mkdtemp(folder) == nullptr || ::chdir(folder) != 0) return 1;
    const int pbxPort = freeUdpPort();
    std::ofstream("Quendra.ini") << "host=127.0.0.1:" << pbxPort << "\nuser=7001\npass=secret7001\n"
                                 << "iax2UDPPort=" << freeUdpPort() << "\n";

    auto pbx = startPbx(pbxPort);
    if (!pbx) return 1;
    const char* words[] = {"quendra", "-debug", nullptr};
    CQuendraDlg dlg(2, words);
    dlg.show();
    auto face = [&dlg] { return dlg.buttonFace(IDC_BUT_START); };
    qobject_cast<QAbstractButton*>(dlg.control(IDC_BUT_START))->click();
    if (!runUntil([&] { return face() == IDB_ONLINE; }, 30)) {
        std::fprintf(stderr, "no registration\n");
        return 1;
    }
    const auto registered = Clock::now();
    runUntil([] { return false; }, phaseSeconds);

    pbx->stop();
    const auto stopped = Clock::now();
    const double sinceRegistration = std::chrono::duration<double>(stopped - registered).count();
    double offlineAfter = -1;
    runUntil(
        [&] {
            if (offlineAfter < 0 && face() == IDB_OFFLINE) offlineAfter = secondsSince(stopped);
            return secondsSince(stopped) >= outageSeconds;
        },
        outageSeconds + 1);
    pbx = startPbx(pbxPort);
    if (!pbx) return 1;
    const auto restarted = Clock::now();
    double onlineAfter = -1;
    if (runUntil([&] { return face() == IDB_ONLINE; }, 600)) onlineAfter = secondsSince(restarted);

    std::printf("PBX stopped %.1f s after the phone registered, for %d s\n", sinceRegistration, outageSeconds);
    if (offlineAfter >= 0)
        std::printf("Offline shown %.1f s after the stop\n", offlineAfter);
    else
        std::printf("Offline never shown during the outage\n");
    if (onlineAfter >= 0)
        std::printf("Online shown %.1f s after the restart (%.1f s after the stop); Dial %s\n", onlineAfter,
                    onlineAfter + outageSeconds, dlg.isControlEnabled(IDC_BUT_DIAL) ? "enabled" : "disabled");
    else
        std::printf("Online not shown within 600 s of the restart\n");

    iaxc_stop_processing_thread();
    iaxc_shutdown();
    pbx->stop();
    return onlineAfter >= 0 && offlineAfter >= 0 ? 0 : 1;
}
