// Keeps a sound device's queue of samples as short as the machine allows.
// The media thread looks at the queue once per 20 ms frame: for playback
// just before it adds a frame, for capture at what would be left after it
// takes one. The queue keeps a margin against the media thread running
// late; the margin starts at nothing and grows by one device transfer at
// each underrun (the device, or the media thread, finding the queue short),
// up to a cap. Whatever the queue held beyond the margin at every look for
// half a second is standing delay: it is skipped at once, with a short
// cross-fade so the splice makes no click. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace voice::media {

class BacklogTrim {
public:
    // Looks per window; at 20 ms a look, half a second.
    static constexpr int kWindowLooks = 25;

    // maxMargin: the most the margin grows to; minSkip: standing delay
    // shorter than this is left alone (not worth a splice). Both in samples.
    BacklogTrim(size_t maxMargin, size_t minSkip) : m_maxMargin(maxMargin), m_minSkip(minSkip) {}

    // A fresh stream: no margin, no window.
    void reset();
    // An underrun: the margin grows by step (up to the cap). Returns by how
    // much it grew, which playback fills with silence at once.
    size_t underrun(size_t step);
    // The queue at this look; returns how many samples to skip now.
    size_t look(size_t queued);
    size_t margin() const { return m_margin; }

private:
    size_t m_maxMargin;
    size_t m_minSkip;
    size_t m_margin = 0;
    size_t m_windowMin = std::numeric_limits<size_t>::max();
    int m_looks = 0;
};

// Samples over which a splice fades from the skipped audio into the audio
// after it.
inline constexpr size_t kSpliceBlendSamples = 40;

// Writes in[0 .. count) with skip samples taken out near its start: the
// first kSpliceBlendSamples fade from in[i] to in[skip + i], then
// in[skip + kSpliceBlendSamples ..) follows. skip is limited so the blend
// fits; returns the samples written (count - skip).
size_t spliceOut(const int16_t* in, size_t count, size_t skip, int16_t* out);

}  // namespace voice::media
