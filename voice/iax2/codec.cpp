#include "voice/iax2/codec.h"

#include "voice/iax2/protocol.h"

namespace iax2 {

bool isSingleCodec(uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

uint32_t negotiateFormat(uint32_t theirFormat, uint32_t theirCapability, uint32_t ourPreferred,
                         uint32_t ourAllowed) {
    if (isSingleCodec(theirFormat) && (theirFormat & ourAllowed)) return theirFormat;
    if (isSingleCodec(ourPreferred) && (ourPreferred & theirCapability & ourAllowed)) return ourPreferred;
    static const uint32_t kOrder[] = {codec::Ulaw,  codec::Alaw,  codec::Slinear, codec::G726,
                                      codec::Adpcm, codec::Gsm,   codec::Ilbc,    codec::Speex,
                                      codec::Lpc10, codec::G729a, codec::G723_1};
    const uint32_t common = ourAllowed & theirCapability;
    for (uint32_t c : kOrder)
        if (common & c) return c;
    return 0;
}

std::string codecPrefs(uint32_t preferred, uint32_t allowed) {
    std::string out;
    auto letter = [](int bit) { return static_cast<char>('A' + bit + 1); };
    for (int bit = 0; bit < 26; ++bit)
        if (preferred == (1u << bit)) out.push_back(letter(bit));
    for (int bit = 0; bit < 26; ++bit)
        if ((allowed & (1u << bit)) && preferred != (1u << bit)) out.push_back(letter(bit));
    return out;
}

}  // namespace iax2
