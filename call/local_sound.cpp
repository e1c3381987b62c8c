#include "call/local_sound.h"

#include <iaxclient.h>

#include "call/call_services.h"

namespace {

constexpr int kNormalOutput = 0;  // the ring flag of iaxc_play_sound
constexpr int kCallerOwnsSamples = 0;

}  // namespace

int playLocalSound(short* samples, long count, int repeat) {
    iaxc_sound sound{};
    sound.data = samples;
    sound.len = count;
    sound.malloced = kCallerOwnsSamples;
    sound.repeat = repeat;
    return callServices().playSound(&sound, kNormalOutput);
}
