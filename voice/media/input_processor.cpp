#include "voice/media/input_processor.h"

#include <speex/speex_echo.h>
#include <speex/speex_preprocess.h>

#include <cmath>

#include <iaxclient.h>
#include "voice/codec/audio_frame.h"

namespace voice::media {
namespace {

constexpr int kVadProbStart = 35;
constexpr int kVadProbContinue = 20;
constexpr unsigned kAnalogAgcEveryFrames = 64;
constexpr int kDcShift = 9;  // the mean follows the signal with a time constant of 512 samples

}  // namespace

InputProcessor::InputProcessor() = default;

InputProcessor::~InputProcessor() {
    destroyStates();
}

void InputProcessor::destroyStates() {
    if (m_preprocess) speex_preprocess_state_destroy(m_preprocess);
    if (m_echo) speex_echo_state_destroy(m_echo);
    m_preprocess = nullptr;
    m_echo = nullptr;
    m_vadOn = false;
}

void InputProcessor::reset() {
    destroyStates();
    m_dcState = 0;
    m_meter.reset();
    m_wasSilent = false;
    m_speechFrames = 0;
    configure(m_filters, m_thresholdDb);
}

void InputProcessor::configure(int filters, float thresholdDb) {
    m_filters = filters;
    m_thresholdDb = thresholdDb;

    const bool wantEcho = filters & IAXC_FILTER_ECHO;
    if (wantEcho && !m_echo) {
        m_echo = speex_echo_state_init(int(kFrameSamples), kEchoTailSamples);
        int rate = kSampleRate;
        if (m_echo) speex_echo_ctl(m_echo, SPEEX_ECHO_SET_SAMPLING_RATE, &rate);
        if (m_preprocess) speex_preprocess_ctl(m_preprocess, SPEEX_PREPROCESS_SET_ECHO_STATE, m_echo);
    } else if (!wantEcho && m_echo) {
        if (m_preprocess) speex_preprocess_ctl(m_preprocess, SPEEX_PREPROCESS_SET_ECHO_STATE, nullptr);
        speex_echo_state_destroy(m_echo);
        m_echo = nullptr;
    }

    const bool wantPreprocess = (filters & (IAXC_FILTER_DENOISE | IAXC_FILTER_AGC)) || thresholdDb > 0;
    if (!wantPreprocess) {
        if (m_preprocess) speex_preprocess_state_destroy(m_preprocess);
        m_preprocess = nullptr;
        m_vadOn = false;
        return;
    }
    if (!m_preprocess) {
        m_preprocess = speex_preprocess_state_init(int(kFrameSamples), kSampleRate);
        if (!m_preprocess) return;
        m_vadOn = false;
        if (m_echo) speex_preprocess_ctl(m_preprocess, SPEEX_PREPROCESS_SET_ECHO_STATE, m_echo);
    }
    int denoise = (filters & IAXC_FILTER_DENOISE) ? 1 : 0;
    int agc = (filters & IAXC_FILTER_AGC) ? 1 : 0;
    speex_preprocess_ctl(m_preprocess, SPEEX_PREPROCESS_SET_DENOISE, &denoise);
    speex_preprocess_ctl(m_preprocess, SPEEX_PREPROCESS_SET_AGC, &agc);
    // Voice activity detection decides silence only with a positive
    // threshold; switching it on when unused would only cost time.
    const bool wantVad = thresholdDb > 0;
    if (wantVad != m_vadOn) {
        int vad = wantVad ? 1 : 0;
        speex_preprocess_ctl(m_preprocess, SPEEX_PREPROCESS_SET_VAD, &vad);
        int start = kVadProbStart, cont = kVadProbContinue;
        speex_preprocess_ctl(m_preprocess, SPEEX_PREPROCESS_SET_PROB_START, &start);
        speex_preprocess_ctl(m_preprocess, SPEEX_PREPROCESS_SET_PROB_CONTINUE, &cont);
        m_vadOn = wantVad;
    }
}

void InputProcessor::removeDc(int16_t* samples) {
    for (size_t i = 0; i < kFrameSamples; ++i) {
        const long scaled = long(samples[i]) << 15;
        m_dcState += (scaled - m_dcState) >> kDcShift;
        samples[i] = clampSample(long(samples[i]) - (m_dcState >> 15));
    }
}

InputResult InputProcessor::process(int16_t* mic, const int16_t* farEnd, float& inputLevel) {
    InputResult result;
    removeDc(mic);
    if (m_echo) {
        int16_t cleaned[kFrameSamples];
        speex_echo_cancellation(m_echo, mic, farEnd, cleaned);
        for (size_t i = 0; i < kFrameSamples; ++i) mic[i] = cleaned[i];
    }
    bool voice = true;
    if (m_preprocess) voice = speex_preprocess_run(m_preprocess, mic) != 0;
    m_meter.update(mic, kFrameSamples);

    if (m_thresholdDb > 0) {
        result.silent = !voice;
    } else if (m_thresholdDb == 0) {
        result.silent = m_meter.db() < 0.0f;
    } else {
        result.silent = m_meter.db() < m_thresholdDb;
    }
    result.silenceStarts = result.silent && !m_wasSilent;
    m_wasSilent = result.silent;
    long level = -std::lround(m_meter.db());
    result.noiseLevelDbov = int(level < 0 ? 0 : level > 127 ? 127 : level);

    if (!result.silent) applyAnalogAgc(inputLevel, result);
    return result;
}

void InputProcessor::applyAnalogAgc(float& inputLevel, InputResult& result) {
    if (!(m_filters & IAXC_FILTER_AAGC) || !(m_filters & IAXC_FILTER_AGC) || m_thresholdDb == 0 || !m_preprocess)
        return;
    if (++m_speechFrames % kAnalogAgcEveryFrames != 0) return;
    int loudness = 0;
    speex_preprocess_ctl(m_preprocess, SPEEX_PREPROCESS_GET_AGC_LOUDNESS, &loudness);
    float level = inputLevel;
    if (loudness > 16 && level > 0.5f) {
        level -= 0.20f;
    } else if (loudness > 8 && level >= 0.15f) {
        level -= 0.15f;
    } else if (loudness < 4 && level <= 0.9f) {
        level += 0.10f;
    }
    if (level != inputLevel) {
        inputLevel = level;
        result.levelChanged = true;
    }
}

}  // namespace voice::media
