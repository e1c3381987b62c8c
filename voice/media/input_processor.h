// The send path's processing of captured audio, one 20 ms frame at a time:
// DC removal, echo cancellation, noise suppression and automatic gain
// (speexdsp), the input meter, the silence decision and the analog AGC that
// moves the input level. Used by the media thread only; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "voice/media/levels.h"

struct SpeexPreprocessState_;
struct SpeexEchoState_;

namespace voice::media {

struct InputResult {
    bool silent = false;         // not to be sent
    bool silenceStarts = false;  // first silent frame after sound
    int noiseLevelDbov = 127;    // level of the silence, for comfort noise
    bool levelChanged = false;   // the analog AGC moved the input level
};

class InputProcessor {
public:
    InputProcessor();
    ~InputProcessor();
    InputProcessor(const InputProcessor&) = delete;
    InputProcessor& operator=(const InputProcessor&) = delete;

    // filters: IAXC_FILTER_* mask; thresholdDb: the silence threshold.
    void configure(int filters, float thresholdDb);
    // mic: one captured frame already scaled by the input level, processed
    // in place. farEnd: the frame played at the same tick (echo reference).
    // inputLevel: the input level, which the analog AGC may move.
    InputResult process(int16_t* mic, const int16_t* farEnd, float& inputLevel);
    // Forgets what was learnt about the audio (a new call starts).
    void reset();
    const LevelMeter& meter() const { return m_meter; }

    // Echo tail the canceller models: 200 ms.
    static constexpr int kEchoTailSamples = 1600;

private:
    void removeDc(int16_t* samples);
    void applyAnalogAgc(float& inputLevel, InputResult& result);
    void destroyStates();

    int m_filters = 0;
    float m_thresholdDb = -99.0f;
    SpeexPreprocessState_* m_preprocess = nullptr;
    SpeexEchoState_* m_echo = nullptr;
    bool m_vadOn = false;
    long m_dcState = 0;  // running mean, scaled by 2^15
    LevelMeter m_meter;
    bool m_wasSilent = false;
    unsigned m_speechFrames = 0;
};

}  // namespace voice::media
