// Fills gaps in received audio: continues the last pitch period of the real
// audio with a fade to silence, and blends back into real audio when it
// resumes, so a lost frame sounds like a short stretch rather than a click.
// Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voice::media {

class Concealer {
public:
    Concealer();
    // Real audio about to be played: remembered as history, and blended in
    // at its start when it follows concealed audio.
    void real(int16_t* samples, size_t count);
    // Writes count samples that continue the history.
    void conceal(int16_t* out, size_t count);
    // Forgets the history (a new stream starts).
    void reset();

    // Real audio kept to find the pitch period and to repeat from.
    static constexpr size_t kHistorySamples = 320;
    // Concealment fades from full level to silence over this many samples.
    static constexpr size_t kFadeSamples = 480;

private:
    void choosePeriod();

    int16_t m_history[kHistorySamples];  // oldest first
    size_t m_period = 0;                 // repeated period, 0 = none yet
    size_t m_phase = 0;                  // position within the period
    size_t m_concealed = 0;              // samples concealed in this gap
    bool m_haveHistory = false;
};

}  // namespace voice::media
