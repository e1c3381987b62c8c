// The PortAudio driver on a real, paced sound device: a JACK server with its
// dummy backend at 8000 Hz, started by the test under a name of its own.
// Skipped where jackd is not installed or does not come up.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "audio_test_support.h"
#include "jack_server.h"
#include "voice/media/media_clock.h"
#include "voice/media/media_engine.h"

namespace voice::media {
namespace {

TEST(PortAudioDriver, ACallAndASoundRunOnAJackDevice) {
    testing::JackServer jack("quendra_media_");
    if (!jack.start()) GTEST_SKIP() << "jackd is not available";
    int device = -1;
    auto driver = testing::driverWithJack(device);
    if (!driver) GTEST_SKIP() << "the JACK server did not come up";
    AudioDriver* raw = driver.get();
    EXPECT_EQ(driver->devices().back().name, kSilentDeviceName) << "the silent device is always offered";

    MediaEngine engine(&monotonicMs);
    engine.attachDriver(std::move(driver));
    engine.setFilters(0);
    engine.selectDevices(device, device, device);
    std::atomic<int> sent{0};
    engine.startCall(IAXC_FORMAT_ULAW, [&](int, const uint8_t*, size_t length, uint32_t) {
        EXPECT_EQ(length, 160u);
        ++sent;
    });
    const auto beep = testing::tone(1000, 5000, 4000);
    engine.playSound(beep.data(), beep.size(), 0, false, nullptr, nullptr);
    std::atomic<int> streams{0};
    MediaClock clock;
    ASSERT_TRUE(clock.start([&](int64_t now) {
        const bool more = engine.tick(now);
        streams = raw->deviceStreams();
        return more;
    }));
    // Opening the device may take a while. Once it is open, frames flow:
    // at least half a second's worth arrives, and never more than the clock
    // has ticked (a busy machine gives fewer, not more).
    using Clock = std::chrono::steady_clock;
    const auto patience = Clock::now() + std::chrono::seconds(30);
    while (streams.load() == 0 && Clock::now() < patience)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int before = sent.load();
    const auto from = Clock::now();
    while (sent.load() - before < 25 && Clock::now() < patience)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int frames = sent.load() - before;
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count();
    clock.stop();
    EXPECT_EQ(streams.load(), 2) << "capture and playback streams on the JACK device";
    EXPECT_GE(frames, 25);
    EXPECT_LE(frames, elapsedMs / 20 + 6) << frames << " frames in " << elapsedMs << " ms";
    engine.detachDriver();
}

}  // namespace
}  // namespace voice::media
