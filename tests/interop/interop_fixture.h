// The base of every interop test: the Asterisk site (the test is skipped
// without one), a folder for this run's audio files, probe phones with a
// tone as their microphone, and the figures each scenario prints.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include <iaxclient.h>
#include "asterisk_site.h"
#include "audio_checks.h"
#include "phone_process.h"

namespace interop {

using namespace std::chrono_literals;

// Amplitude of every tone the phones send (about -10 dBFS).
inline constexpr double kToneAmplitude = 10000;

// Prints one figure line of a scenario, for the run's record.
void figure(const char* format, ...) __attribute__((format(printf, 1, 2)));

double secondsBetween(Clock::time_point from, Clock::time_point to);

class InteropTest : public ::testing::Test {
public:
    // The fixture owns the process: it is stopped after the test, and its
    // last lines are shown when the test failed.
    struct Phone {
        PhoneProcess* process = nullptr;
        std::string heardPath;
        PhoneProcess* operator->() const { return process; }
    };

protected:
    void SetUp() override;
    void TearDown() override;

    // A path in this run's folder, named after the test.
    std::string file(const std::string& name) const;

    // A probe phone whose microphone plays a tone of hz for seconds and
    // whose speaker is recorded to <name>-heard.wav (heardPath).
    Phone startPhone(const std::string& name, double hz, double seconds = 30);
    // Registers ext (secret s<ext>) and waits for the REGACK event.
    ::testing::AssertionResult registerPhone(Phone& phone, const std::string& ext);

    std::optional<AsteriskSite> site;

private:
    std::vector<std::unique_ptr<PhoneProcess>> phones_;
};

}  // namespace interop
