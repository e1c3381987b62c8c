// The silent built-in device and the WAV file driver. Neither keeps time by
// itself: the media thread's clock paces them, so calls run in real time
// on machines without sound hardware.
#include <algorithm>

#include <iaxclient.h>
#include "voice/codec/audio_frame.h"
#include "voice/media/audio_driver.h"
#include "voice/media/wav_file.h"

namespace voice::media {
namespace {

constexpr long kAllCapabilities = IAXC_AD_INPUT | IAXC_AD_OUTPUT | IAXC_AD_RING | IAXC_AD_INPUT_DEFAULT |
                                  IAXC_AD_OUTPUT_DEFAULT | IAXC_AD_RING_DEFAULT;

class SilentDriver final : public AudioDriver {
public:
    SilentDriver() : m_devices{{kSilentDeviceName, kAllCapabilities}} {}
    const std::vector<AudioDeviceInfo>& devices() const override { return m_devices; }
    void open(int, int, int) override { m_open = true; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    void read(int16_t* frame) override { std::fill(frame, frame + kFrameSamples, int16_t(0)); }
    void write(const int16_t*, const int16_t*) override {}
    bool separateRing() const override { return false; }

private:
    std::vector<AudioDeviceInfo> m_devices;
    bool m_open = false;
};

// Input comes from the start of the file at every open, and is silence
// once the file is exhausted; output is appended to one file for the
// engine's lifetime.
class FileDriver final : public AudioDriver {
public:
    FileDriver(const std::string& inputPath, const std::string& outputPath) {
        std::string name = "WAV file audio";
        if (!inputPath.empty()) {
            readWavFile(inputPath, m_input);
            name += " in: " + inputPath;
        }
        if (!outputPath.empty()) {
            m_output.open(outputPath);
            name += " out: " + outputPath;
        }
        m_devices.push_back({name, kAllCapabilities});
    }
    const std::vector<AudioDeviceInfo>& devices() const override { return m_devices; }
    void open(int, int, int) override {
        m_open = true;
        m_inputPos = 0;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    void read(int16_t* frame) override {
        const size_t left = m_input.size() - m_inputPos;
        const size_t n = std::min(left, kFrameSamples);
        std::copy(m_input.begin() + long(m_inputPos), m_input.begin() + long(m_inputPos + n), frame);
        std::fill(frame + n, frame + kFrameSamples, int16_t(0));
        m_inputPos += n;
    }
    void write(const int16_t* frame, const int16_t*) override { m_output.write(frame, kFrameSamples); }
    bool separateRing() const override { return false; }

private:
    std::vector<AudioDeviceInfo> m_devices;
    std::vector<int16_t> m_input;
    size_t m_inputPos = 0;
    WavWriter m_output;
    bool m_open = false;
};

}  // namespace

void defaultDevices(const std::vector<AudioDeviceInfo>& devices, int& input, int& output, int& ring) {
    auto pick = [&](long defaultFlag, long ableFlag) {
        for (size_t i = 0; i < devices.size(); ++i) {
            if (devices[i].capabilities & defaultFlag) return int(i);
        }
        for (size_t i = 0; i < devices.size(); ++i) {
            if (devices[i].capabilities & ableFlag) return int(i);
        }
        return 0;
    };
    input = pick(IAXC_AD_INPUT_DEFAULT, IAXC_AD_INPUT);
    output = pick(IAXC_AD_OUTPUT_DEFAULT, IAXC_AD_OUTPUT);
    ring = pick(IAXC_AD_RING_DEFAULT, IAXC_AD_RING);
}

std::unique_ptr<AudioDriver> makeSilentDriver() {
    return std::make_unique<SilentDriver>();
}

std::unique_ptr<AudioDriver> makeFileDriver(const std::string& inputPath, const std::string& outputPath) {
    return std::make_unique<FileDriver>(inputPath, outputPath);
}

}  // namespace voice::media
