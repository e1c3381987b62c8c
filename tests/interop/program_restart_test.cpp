// The real program registered with Asterisk, which is then stopped for
// 100 s and started again: the program shows Offline while Asterisk is
// gone and Online again within one refresh period after it is back. The
// program runs under Xvfb with silent audio; its debug log tells when a
// registration event came, and a screenshot of the window then shows the
// Start button's face, Offline (red) or Online (green).
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "interop_fixture.h"

namespace interop {
namespace {

constexpr auto kAsteriskDown = 100s;
constexpr auto kRefreshPeriod = 60s;
constexpr const char* kOnline = "IAXC_EVENT_REGISTRATION: (id,reply,msgcount)=(1,Accepted[12],";
constexpr const char* kOffline = "IAXC_EVENT_REGISTRATION: (id,reply,msgcount)=(1,Timeout[6],";

// A UDP port nobody uses right now. (This and faceColours serve only the
// program's scenario, which a build without the window leaves out.)
[[maybe_unused]] int freeUdpPort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    socklen_t size = sizeof a;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

// Lines of the program's debug log holding text, counted from line `from`.
class DebugLog {
public:
    explicit DebugLog(std::string folder) : folder_(std::move(folder)) {}
    std::optional<std::pair<size_t, Clock::time_point>> waitFor(const std::string& text,
                                                                std::chrono::seconds timeout, size_t from = 0) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            const auto lines = read();
            for (size_t i = from; i < lines.size(); ++i)
                if (lines[i].find(text) != std::string::npos) return std::make_pair(i + 1, Clock::now());
            if (Clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(100ms);
        }
    }
    std::vector<std::string> read() const {
        std::vector<std::string> lines;
        const std::string listing = runShell("ls " + shellQuote(folder_) + " | grep '^Quendra1001-.*\\.log$'");
        if (listing.empty()) return lines;
        std::ifstream in(folder_ + listing.substr(0, listing.find('\n')));
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }

private:
    std::string folder_;
};

// Pixels of the window's screenshot in the pure red of the Offline face
// and the pure green of the Online face (nothing else in the window uses
// them), counted from ImageMagick's colour histogram.
struct FaceColours {
    long red = 0, green = 0;
};

[[maybe_unused]] FaceColours faceColours(const std::string& png) {
    FaceColours c;
    std::istringstream lines(runShell("convert " + shellQuote(png) + " -format %c histogram:info:-"));
    std::string line;
    while (std::getline(lines, line)) {
        long count = 0;
        int r = -1, g = -1, b = -1;
        if (std::sscanf(line.c_str(), " %ld: (%d,%d,%d)", &count, &r, &g, &b) != 4) continue;
        if (r == 255 && g == 0 && b == 0) c.red += count;
        if (r == 0 && g == 255 && b == 0) c.green += count;
    }
    return c;
}

::testing::AssertionResult shows(const std::string& png, bool online) {
    const FaceColours c = faceColours(png);
    const long face = online ? c.green : c.red, other = online ? c.red : c.green;
    if (face > 500 && other == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << png << " does not show " << (online ? "Online" : "Offline") << " (red "
                                         << c.red << ", green " << c.green << " pixels)";
}

class ProgramRestart : public InteropTest {
protected:
    void TearDown() override {
        program_.reset();
        xvfb_.reset();
        // Asterisk must be up for whatever runs next, even after a failure.
        if (site && asteriskCli(*site, "core show uptime").find("System uptime") == std::string::npos)
            asteriskStart(*site);
        InteropTest::TearDown();
    }

    std::unique_ptr<ChildProcess> xvfb_, program_;
};

TEST_F(ProgramRestart, OfflineWhileAsteriskIsDownOnlineWithinARefresh) {
#ifndef QUENDRA_PROGRAM_PATH
    GTEST_SKIP() << "the program is not built (QUENDRA_WITH_QT=OFF)";
#else
    const std::string folder = file("program/");
    ::mkdir(folder.c_str(), 0755);
    int display = 0;
    for (int n = 90; n <= 140 && display == 0; ++n) {
        struct stat st {};
        const std::string socketPath = "/tmp/.X11-unix/X" + std::to_string(n);
        const std::string lockPath = "/tmp/.X" + std::to_string(n) + "-lock";
        if (::stat(socketPath.c_str(), &st) != 0 && ::stat(lockPath.c_str(), &st) != 0) display = n;
    }
    ASSERT_NE(display, 0) << "no free X display number";
    const std::string displayName = ":" + std::to_string(display);
    xvfb_ = std::make_unique<ChildProcess>(
        "Xvfb",
        std::vector<std::string>{"/usr/bin/Xvfb", displayName, "-screen", "0", "640x480x24", "-nolisten", "tcp"},
        std::vector<std::pair<std::string, std::string>>{});
    const std::string x = "DISPLAY=" + displayName + " ";
    bool xUp = false;
    for (int i = 0; i < 100 && !xUp; ++i) {
        int status = 0;
        runShell(x + "xdpyinfo >/dev/null", &status);
        xUp = status == 0;
        if (!xUp) std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(xUp) << "Xvfb did not start";

    // Qt wants a private runtime folder, and says so when it has none.
    const std::string runtime = folder + "runtime";
    ::mkdir(runtime.c_str(), 0700);
    const std::string options = folder + "Quendra.ini";
    {
        std::ofstream ini(options);
        ini << "host=" << (site->iaxPort == 4569 ? std::string("127.0.0.1") : site->iaxHost()) << ";\n"
            << "user=1001;\npass=s1001;\ndebug=1;\nverExtState=0;\nvmbxCheck=0;\n"
            << "iax2UDPPort=" << freeUdpPort() << ";\n"
            << "acmPort=" << site->managerPort << ";\nacmUser=" << site->managerUser << ";\n"
            << "acmPass=" << site->managerSecret << ";\n"
            << "debugLogDir=" << folder << ";\n";
    }
    program_ = std::make_unique<ChildProcess>(
        "quendra", std::vector<std::string>{QUENDRA_PROGRAM_PATH, "-init" + options},
        std::vector<std::pair<std::string, std::string>>{
            {"DISPLAY", displayName}, {"QUENDRA_AUDIO_SILENT", "1"}, {"XDG_RUNTIME_DIR", runtime}});
    std::string window;
    for (int i = 0; i < 100 && window.empty(); ++i) {
        window = runShell(x + "xdotool search --onlyvisible --name 'IAX2 Soft Phone' 2>/dev/null | head -1");
        while (!window.empty() && (window.back() == '\n' || window.back() == '\r')) window.pop_back();
        if (window.empty()) std::this_thread::sleep_for(100ms);
    }
    ASSERT_FALSE(window.empty()) << "the program's window did not appear";
    // Enter runs Start.
    runShell(x + "xdotool windowactivate --sync " + window + " >/dev/null 2>&1 || " + x +
             "xdotool windowfocus --sync " + window);
    runShell(x + "xdotool key --clearmodifiers Return");

    DebugLog debugLog(folder);
    const auto online = debugLog.waitFor(kOnline, 15s);
    ASSERT_TRUE(online) << "the program did not register";
    const auto screenshot = [&](const std::string& name) {
        std::this_thread::sleep_for(300ms);  // the face is repainted after the log line
        const std::string png = folder + name;
        runShell(x + "import -window " + window + " " + shellQuote(png));
        return png;
    };
    EXPECT_TRUE(shows(screenshot("online-before.png"), true));

    // Stopped right after a REGACK: the refresh comes 50 s later and times
    // out while Asterisk is away.
    const auto stopping = Clock::now();
    ASSERT_TRUE(asteriskStop(*site));
    const auto offline = debugLog.waitFor(kOffline, 95s, online->first);
    const auto downFor = Clock::now() - stopping;
    ASSERT_TRUE(offline) << "the program did not show Offline while Asterisk was stopped";
    EXPECT_TRUE(shows(screenshot("offline.png"), false));
    figure("Asterisk stopped: the program showed Offline after %.1f s", secondsBetween(stopping, offline->second));
    if (downFor < kAsteriskDown) std::this_thread::sleep_for(kAsteriskDown - downFor);

    ASSERT_TRUE(asteriskStart(*site)) << "Asterisk did not start again";
    const auto back = Clock::now();
    figure("Asterisk was down for %.1f s", secondsBetween(stopping, back));
    const auto again = debugLog.waitFor(kOnline, kRefreshPeriod + 5s, offline->first);
    ASSERT_TRUE(again) << "the program was not Online again within a refresh period after Asterisk came back";
    EXPECT_TRUE(shows(screenshot("online-again.png"), true));
    const double seconds = secondsBetween(back, again->second);
    figure("Asterisk back: the program showed Online again after %.1f s (refresh period %lld s)", seconds,
           static_cast<long long>(kRefreshPeriod.count()));
    EXPECT_LE(seconds, double(kRefreshPeriod.count()));
#endif
}

}  // namespace
}  // namespace interop
