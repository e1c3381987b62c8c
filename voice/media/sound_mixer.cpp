#include "voice/media/sound_mixer.h"

#include <climits>

#include "voice/codec/audio_frame.h"

namespace voice::media {

SoundMixer::~SoundMixer() {
    clear();
}

int SoundMixer::add(const int16_t* data, size_t count, int repeat, bool ring, ReleaseFn release,
                    void* callerData) {
    if (data == nullptr || count == 0 || count > kMaxSoundSamples) return -1;
    m_lastId = m_lastId == INT_MAX ? 1 : m_lastId + 1;
    Sound sound{m_lastId,  std::vector<int16_t>(data, data + count), repeat < 0 ? -1 : repeat, 0, ring, release,
                callerData};
    m_sounds.push_back(std::move(sound));
    return m_lastId;
}

void SoundMixer::finish(Sound& sound) {
    if (sound.release) sound.release(sound.callerData);
    sound.release = nullptr;
}

bool SoundMixer::stop(int id) {
    for (auto it = m_sounds.begin(); it != m_sounds.end(); ++it) {
        if (it->id == id) {
            finish(*it);
            m_sounds.erase(it);
            return true;
        }
    }
    return false;
}

void SoundMixer::clear() {
    for (Sound& sound : m_sounds) finish(sound);
    m_sounds.clear();
}

bool SoundMixer::hasRing() const {
    for (const Sound& sound : m_sounds) {
        if (sound.ring) return true;
    }
    return false;
}

void SoundMixer::mix(int16_t* out, size_t count, bool normal, bool ring) {
    for (auto it = m_sounds.begin(); it != m_sounds.end();) {
        Sound& sound = *it;
        if (sound.ring ? !ring : !normal) {
            ++it;
            continue;
        }
        bool ended = false;
        for (size_t i = 0; i < count; ++i) {
            out[i] = addSaturated(out[i], sound.samples[sound.pos]);
            if (++sound.pos < sound.samples.size()) continue;
            sound.pos = 0;
            if (sound.playsLeft == 0) {
                ended = true;
                break;
            }
            if (sound.playsLeft > 0) --sound.playsLeft;
        }
        if (ended) {
            finish(sound);
            it = m_sounds.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace voice::media
