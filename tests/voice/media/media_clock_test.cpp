// The media clock ticks while its step asks for more and sleeps, with no
// deadline, once it does not, until resume().
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "voice/media/media_clock.h"

namespace voice::media {
namespace {

bool eventually(const std::function<bool()>& cond, int timeoutMs = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cond();
}

TEST(MediaClock, StopsTickingWhenTheStepWantsNoMoreAndResumesWhenAsked) {
    std::atomic<int> steps{0};
    std::atomic<int> wanted{3};  // steps still wanted
    MediaClock clock;
    ASSERT_TRUE(clock.start([&](int64_t) {
        ++steps;
        return --wanted > 0;
    }));
    ASSERT_TRUE(eventually([&] { return !clock.ticking(); }));
    EXPECT_EQ(steps.load(), 3);
    EXPECT_EQ(clock.tickStarts(), 1u);
    EXPECT_EQ(clock.tickStops(), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(steps.load(), 3) << "a resting clock calls no step";

    wanted = 2;
    clock.resume();
    ASSERT_TRUE(eventually([&] { return clock.tickStops() == 2; }));
    EXPECT_EQ(steps.load(), 5);
    EXPECT_EQ(clock.tickStarts(), 2u);
    EXPECT_FALSE(clock.ticking());
    clock.stop();
}

TEST(MediaClock, AResumeDuringAStepThatWantsNoMoreKeepsItTicking) {
    std::atomic<int> steps{0};
    MediaClock clock;
    // The first step finds nothing to do, but work arrives (resume) while
    // it runs: the clock must tick again without another resume.
    ASSERT_TRUE(clock.start([&](int64_t) {
        const int n = ++steps;
        if (n == 1) clock.resume();
        return false;
    }));
    ASSERT_TRUE(eventually([&] { return steps.load() >= 2 && !clock.ticking(); }));
    EXPECT_EQ(steps.load(), 2);
    EXPECT_EQ(clock.tickStarts(), 1u);
    EXPECT_EQ(clock.tickStops(), 1u);
    clock.stop();
}

TEST(MediaClock, StoppingARestingClockEndsItsThread) {
    MediaClock clock;
    ASSERT_TRUE(clock.start([](int64_t) { return false; }));
    ASSERT_TRUE(eventually([&] { return !clock.ticking(); }));
    clock.stop();
    clock.resume();  // harmless once stopped
    EXPECT_FALSE(clock.ticking());
}

// advance() moves the phase: the next tick comes that much earlier, and
// the ticks after it keep the 20 ms pace from there.
TEST(MediaClock, AnAdvanceBringsTheNextTickEarlierOnce) {
    std::vector<int64_t> times;
    std::mutex lock;
    MediaClock clock;
    ASSERT_TRUE(clock.start([&](int64_t nowMs) {
        std::lock_guard<std::mutex> guard(lock);
        times.push_back(nowMs);
        if (times.size() == 3) clock.advance(8);
        return times.size() < 6;
    }));
    ASSERT_TRUE(eventually([&] { return !clock.ticking(); }));
    clock.stop();
    ASSERT_EQ(times.size(), 6u);
    std::vector<int64_t> gaps;
    for (size_t i = 1; i < times.size(); ++i) gaps.push_back(times[i] - times[i - 1]);
    EXPECT_EQ(gaps, (std::vector<int64_t>{20, 20, 12, 20, 20}));
}

}  // namespace
}  // namespace voice::media
