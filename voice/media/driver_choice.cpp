#include <cstdlib>

#include "voice/media/audio_driver.h"

namespace voice::media {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace

std::unique_ptr<AudioDriver> makeDriverFromEnvironment() {
    const std::string input = environment("QUENDRA_AUDIO_IN");
    const std::string output = environment("QUENDRA_AUDIO_OUT");
    if (!input.empty() || !output.empty()) return makeFileDriver(input, output);
    const std::string silent = environment("QUENDRA_AUDIO_SILENT");
    if (!silent.empty() && silent != "0") return makeSilentDriver();
    if (auto driver = makePortAudioDriver()) return driver;
    return makeSilentDriver();
}

}  // namespace voice::media
