// A JACK server with its dummy backend at 8000 Hz (20 ms periods unless told
// otherwise), started
// under a name of its own (the prefix and the process id) so that runs side
// by side do not meet, and stopped when the object goes. For the tests and
// benchmarks that need a real, paced sound device; driverWithJack opens
// PortAudio on it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include <iaxclient.h>
#include "voice/media/audio_driver.h"

extern char** environ;

namespace voice::media::testing {

class JackServer {
public:
    // realtime: the server's threads run at real-time priority, as a
    // desktop's sound server does (needs the privilege; tests run without).
    // rate: the device's sample rate (anything but 8000 makes PortAudio's
    // side convert).
    explicit JackServer(const std::string& prefix, int periodSamples = 160, bool realtime = false, int rate = 8000)
        : m_name(prefix + std::to_string(::getpid())),
          m_period(std::to_string(periodSamples)),
          m_rate(std::to_string(rate)),
          m_waitUs(std::to_string(int64_t(periodSamples) * 1000000 / (rate > 0 ? rate : 8000))),
          m_realtime(realtime) {}
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    // Spawns jackd; false when it cannot be started (not installed).
    bool start() {
        ::setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);
        ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        const char* argv[] = {"jackd", m_realtime ? "--realtime" : "--no-realtime",
                              "-d",    "dummy",
                              "-r",    m_rate.c_str(),
                              "-p",    m_period.c_str(),
                              "-w",    m_waitUs.c_str(),
                              nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawnp(&m_pid, "jackd", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) m_pid = -1;
        return m_pid > 0;
    }
    ~JackServer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        ::unsetenv("JACK_DEFAULT_SERVER");
    }

private:
    std::string m_name;
    std::string m_period;
    std::string m_rate;
    std::string m_waitUs;  // the dummy driver's cycle, given: it does not always follow the period
    bool m_realtime;
    pid_t m_pid = -1;
};

// PortAudio with the JACK server's device (one that both captures and
// plays, not the default at the end of the list), once the server is up;
// null when it does not show within about five seconds.
inline std::unique_ptr<AudioDriver> driverWithJack(int& device) {
    for (int attempt = 0; attempt < 25; ++attempt) {
        auto driver = makePortAudioDriver();
        if (driver) {
            const auto& devices = driver->devices();
            for (size_t i = 0; i + 1 < devices.size(); ++i) {
                const long both = IAXC_AD_INPUT | IAXC_AD_OUTPUT;
                if ((devices[i].capabilities & both) == both) {
                    device = int(i);
                    return driver;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return nullptr;
}

}  // namespace voice::media::testing
