// Locally played sounds (ring tones, alerts, key tones) mixed into the
// output. A sound with repeat N plays N + 1 times; a negative repeat loops
// until it is stopped. The samples are copied when a sound is added.
// Not thread-safe: the engine guards it with its lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace voice::media {

// Longest sound accepted: five minutes.
inline constexpr size_t kMaxSoundSamples = size_t{5} * 60 * 8000;

class SoundMixer {
public:
    using ReleaseFn = void (*)(void* callerData);

    SoundMixer() = default;
    ~SoundMixer();
    SoundMixer(const SoundMixer&) = delete;
    SoundMixer& operator=(const SoundMixer&) = delete;

    // Adds a sound; returns its id (1, 2, ...) or -1 when data is empty or
    // too long. release (may be null) is called with callerData once the
    // sound has ended or was stopped.
    int add(const int16_t* data, size_t count, int repeat, bool ring, ReleaseFn release, void* callerData);
    // Stops a sound; false when no sound has that id.
    bool stop(int id);
    // Stops every sound.
    void clear();
    // Adds the next count samples of the sounds to out (saturating):
    // normal sounds when normal is set, ring sounds when ring is set. Sounds
    // that reach their end are removed.
    void mix(int16_t* out, size_t count, bool normal, bool ring);
    bool empty() const { return m_sounds.empty(); }
    bool hasRing() const;

private:
    struct Sound {
        int id;
        std::vector<int16_t> samples;
        int playsLeft;  // after the current one; negative = forever
        size_t pos;
        bool ring;
        ReleaseFn release;
        void* callerData;
    };
    static void finish(Sound& sound);

    std::vector<Sound> m_sounds;
    int m_lastId = 0;
};

}  // namespace voice::media
