// Three minutes of a call to Asterisk's echo test with a steady tone: the
// tone comes back without gaps, across the two wraps of the 16-bit mini
// frame timestamps (at 65.5 s and 131 s of call time), while the
// registration refreshes underneath.
#include <cmath>
#include <cstdlib>
#include <thread>

#include "interop_fixture.h"

namespace interop {
namespace {

constexpr auto kCallLength = 180s;
// Not 1 kHz: after a lost frame, a GSM decoder never regains the level of a
// tone whose period fits the codec's long-term predictor exactly, and one
// lost frame would read as a gap of minutes.
constexpr double kToneHz = 1013;
// A phone starved of CPU for a moment (other builds and tests share the
// machine) loses up to a few frames, which concealment partly covers. A
// timestamp or sequence fault loses seconds or the rest of the call. Longer
// runs than this, or more silence in all, fail the test.
constexpr size_t kLongestAllowedRun = 10;  // windows of 20 ms: 200 ms
constexpr double kMostSilentShare = 0.005;

std::vector<Clock::time_point> regAcks(const PhoneProcess& phone) {
    std::vector<Clock::time_point> times;
    for (const OutputLine& line : phone.lines())
        if (line.text.rfind("REG ", 0) == 0 && line.text.find(" reply=18 ") != std::string::npos)
            times.push_back(line.at);
    return times;
}

using LongCall = InteropTest;

TEST_F(LongCall, ThreeMinutesOfEchoWithoutGaps) {
    Phone phone = startPhone("1001", kToneHz, 200);
    ASSERT_TRUE(registerPhone(phone, "1001"));
    const size_t from = phone->lineCount();
    ASSERT_EQ(phone->command("call " + site->dial("1001", "600")), "0");
    const auto answered = phone->waitForState(0, IAXC_CALL_STATE_COMPLETE, 10s, from);
    ASSERT_TRUE(answered) << "the echo test did not answer";
    std::this_thread::sleep_for(kCallLength);
    const auto endMark = phone->command("mark");
    ASSERT_TRUE(endMark);
    const auto hungUp = Clock::now();
    // The phone's receive figures: frames concealed as lost, and dropped
    // (late or beyond the backlog limit).
    const auto stats = phone->command("stats 0");
    figure("3-minute call: the phone's receive figures: %s", stats.value_or("(none)").c_str());
    EXPECT_FALSE(phone->waitForState(0, 0, 0ms, from)) << "the call ended before the three minutes were up";
    ASSERT_TRUE(phone->command("hangup"));
    EXPECT_TRUE(phone->waitForState(0, 0, 5s, from));

    const auto heard = readHeard(phone.heardPath);
    const size_t answer = size_t(answered->first.heard);
    const size_t first = firstToneWindow(heard, answer, kToneHz, 0.3 * kToneAmplitude);
    ASSERT_LT(first, heard.size()) << "the tone never came back";
    const size_t end = std::min(size_t(std::stoul(*endMark)), heard.size());
    // A 20 ms window is silent when its RMS is 20 dB below the tone's.
    const double threshold = 0.1 * kToneAmplitude / std::sqrt(2.0);
    const SilenceRuns all = silentWindows(heard, first, end, threshold);
    figure(
        "3-minute call: %.1f s heard after the echo began, %zu windows of 20 ms, %zu silent, longest silent run "
        "%zu windows (%.0f ms) at %.2f s after answer",
        samplesToMs(double(end - first)) / 1000, all.windows, all.silent, all.longestRun,
        samplesToMs(double(all.longestRun * kWindow)),
        samplesToMs(double(all.longestRunStart) - double(answer)) / 1000);
    // Around each wrap of the mini timestamps, as the call's clock runs
    // from its first frame (about the answer).
    for (double wrapSeconds : {65.536, 131.072}) {
        const size_t at = answer + msToSamples(wrapSeconds * 1000);
        const SilenceRuns near = silentWindows(heard, at - msToSamples(3000), at + msToSamples(3000), threshold);
        const double level = toneAmplitude(heard, at - msToSamples(3000), at + msToSamples(3000), kToneHz);
        figure("3-minute call: %.1f s +/- 3 s: %zu silent of %zu windows (longest run %zu), tone level %+.2f dB",
               wrapSeconds, near.silent, near.windows, near.longestRun, decibels(level / kToneAmplitude));
        EXPECT_LE(near.longestRun, kLongestAllowedRun)
            << "a gap at the timestamp wrap near " << wrapSeconds << " s";
        EXPECT_GT(level, 0.7 * kToneAmplitude)
            << "the tone fades at the timestamp wrap near " << wrapSeconds << " s";
    }
    double load[1] = {0};
    if (::getloadavg(load, 1) == 1)
        figure("3-minute call: load average %.1f on %u processors at the end", load[0],
               std::thread::hardware_concurrency());
    EXPECT_LE(all.longestRun, kLongestAllowedRun)
        << "a gap of " << samplesToMs(double(all.longestRun * kWindow)) << " ms";
    EXPECT_LE(double(all.silent), kMostSilentShare * double(all.windows)) << "too much of the call silent";
    EXPECT_GT(samplesToMs(double(end - first)), 170000) << "the speaker file holds less than the call";

    // Registration refreshes during the call: REGACKs at most a refresh
    // period (60 s) apart.
    const auto acks = regAcks(*phone.process);
    size_t duringCall = 0;
    double longestGap = 0;
    for (size_t i = 0; i < acks.size(); ++i) {
        if (acks[i] > answered->second && acks[i] < hungUp) ++duringCall;
        if (i > 0) longestGap = std::max(longestGap, secondsBetween(acks[i - 1], acks[i]));
    }
    figure("3-minute call: %zu REGACKs during the call, %zu in all, longest interval %.1f s", duringCall,
           acks.size(), longestGap);
    EXPECT_GE(duringCall, 3u) << "the registration was not refreshed during the call";
    EXPECT_LE(longestGap, 60.0);
}

}  // namespace
}  // namespace interop
