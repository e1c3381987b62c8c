#include <gtest/gtest.h>

#include "voice/media/sound_mixer.h"

namespace voice::media {
namespace {

int g_released = 0;
void countRelease(void*) {
    ++g_released;
}

// Mixes until the mixer is empty (or limit samples) and returns how many
// samples carried the sound.
size_t playedSamples(SoundMixer& mixer, size_t limit, bool normal = true, bool ring = true) {
    size_t loud = 0;
    for (size_t done = 0; done < limit && !mixer.empty(); done += 160) {
        int16_t out[160] = {};
        mixer.mix(out, 160, normal, ring);
        for (int16_t s : out) loud += s != 0;
    }
    return loud;
}

TEST(SoundMixer, RepeatNPlaysNPlusOneTimes) {
    const std::vector<int16_t> sound(2000, 1000);
    for (int repeat : {0, 1, 8}) {
        SoundMixer mixer;
        ASSERT_GT(mixer.add(sound.data(), sound.size(), repeat, false, nullptr, nullptr), 0);
        EXPECT_EQ(playedSamples(mixer, 1000000), size_t(repeat + 1) * 2000) << "repeat " << repeat;
        EXPECT_TRUE(mixer.empty());
    }
}

TEST(SoundMixer, NegativeRepeatLoopsUntilStopped) {
    const std::vector<int16_t> sound(300, 500);
    SoundMixer mixer;
    const int id = mixer.add(sound.data(), sound.size(), -1, false, &countRelease, nullptr);
    g_released = 0;
    EXPECT_EQ(playedSamples(mixer, 160 * 500), 160u * 500);
    EXPECT_FALSE(mixer.empty());
    EXPECT_TRUE(mixer.stop(id));
    EXPECT_EQ(g_released, 1);
    EXPECT_FALSE(mixer.stop(id)) << "a stopped sound is gone";
    int16_t out[160] = {};
    mixer.mix(out, 160, true, true);
    for (int16_t s : out) EXPECT_EQ(s, 0);
}

TEST(SoundMixer, SoundsMixWithSaturationAndKeepTheirChannel) {
    const std::vector<int16_t> loud(160, 30000);
    SoundMixer mixer;
    mixer.add(loud.data(), loud.size(), 0, false, nullptr, nullptr);
    mixer.add(loud.data(), loud.size(), 0, true, nullptr, nullptr);
    EXPECT_TRUE(mixer.hasRing());
    int16_t normalOnly[160] = {};
    mixer.mix(normalOnly, 160, true, false);
    EXPECT_EQ(normalOnly[0], 30000);
    EXPECT_TRUE(mixer.hasRing()) << "the ring sound waits for its channel";
    int16_t both[160];
    std::fill(both, both + 160, int16_t(10000));
    mixer.mix(both, 160, true, true);
    EXPECT_EQ(both[10], 32767) << "saturates instead of wrapping";
    EXPECT_TRUE(mixer.empty());
}

TEST(SoundMixer, RefusesEmptyOrOverlongSoundsAndNumbersIdsUpwards) {
    SoundMixer mixer;
    const int16_t sample = 1;
    EXPECT_EQ(mixer.add(nullptr, 10, 0, false, nullptr, nullptr), -1);
    EXPECT_EQ(mixer.add(&sample, 0, 0, false, nullptr, nullptr), -1);
    std::vector<int16_t> huge(kMaxSoundSamples + 1);
    EXPECT_EQ(mixer.add(huge.data(), huge.size(), 0, false, nullptr, nullptr), -1);
    const int first = mixer.add(&sample, 1, 0, false, nullptr, nullptr);
    const int second = mixer.add(&sample, 1, 0, false, nullptr, nullptr);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
}

TEST(SoundMixer, ReleaseRunsOnceWhenASoundEndsOrIsCleared) {
    const std::vector<int16_t> sound(100, 7);
    g_released = 0;
    {
        SoundMixer mixer;
        mixer.add(sound.data(), sound.size(), 0, false, &countRelease, nullptr);
        mixer.add(sound.data(), sound.size(), -1, false, &countRelease, nullptr);
        int16_t out[160] = {};
        mixer.mix(out, 160, true, true);
        EXPECT_EQ(g_released, 1) << "the single play ended";
    }
    EXPECT_EQ(g_released, 2) << "the loop is released when the mixer goes";
}

}  // namespace
}  // namespace voice::media
