// Sound devices as the media thread sees them. A driver lists its devices
// once, then opens streams on the chosen ones and moves one 20 ms frame in
// each direction at every tick of the media clock. Drivers:
//   - PortAudio: the machine's sound devices, plus the silent device;
//   - the silent built-in device: captures silence, discards output;
//   - WAV files: input read from one file, output written to another.
// The device list is fixed after creation and may be read from any thread;
// everything else is called from the media thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace voice::media {

struct AudioDeviceInfo {
    std::string name;
    long capabilities = 0;  // IAXC_AD_* bits
};

class AudioDriver {
public:
    virtual ~AudioDriver() = default;
    // The devices, indexed by device id.
    virtual const std::vector<AudioDeviceInfo>& devices() const = 0;
    // Opens streams on the devices (ids into devices(); an unknown id means
    // the default device of that kind). Sides that cannot be opened fall
    // back to silence; the driver stays usable either way.
    virtual void open(int input, int output, int ring) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // One frame (160 samples) of captured audio; silence when none.
    virtual void read(int16_t* frame) = 0;
    // One frame for the output device and, when separateRing(), one for the
    // ring device (null otherwise).
    virtual void write(const int16_t* frame, const int16_t* ringFrame) = 0;
    // Whether ring sounds go to a device of their own.
    virtual bool separateRing() const = 0;
    // Sound-device streams running now (0 for the silent and file devices).
    virtual int deviceStreams() const { return 0; }
    // Device pulls of playback audio that found less queued than asked for,
    // once audio had started (any thread; 0 for the silent and file devices).
    virtual uint64_t playbackUnderruns() const { return 0; }
};

// The default input, output and ring device ids of a device list (the
// first device flagged as default, else the first able to do it, else 0).
void defaultDevices(const std::vector<AudioDeviceInfo>& devices, int& input, int& output, int& ring);

// Name of the silent built-in device.
inline constexpr const char* kSilentDeviceName = "Silent built-in device";

std::unique_ptr<AudioDriver> makeSilentDriver();
// inputPath / outputPath may be empty: that side is silent / discarded.
std::unique_ptr<AudioDriver> makeFileDriver(const std::string& inputPath, const std::string& outputPath);
// Null when PortAudio cannot be brought up.
std::unique_ptr<AudioDriver> makePortAudioDriver();

// The driver the environment asks for: WAV files when QUENDRA_AUDIO_IN or
// QUENDRA_AUDIO_OUT is set, the silent device when QUENDRA_AUDIO_SILENT is
// set, PortAudio otherwise (the silent device when PortAudio fails).
std::unique_ptr<AudioDriver> makeDriverFromEnvironment();

}  // namespace voice::media
