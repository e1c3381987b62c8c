// Codec choice between two IAX2 ends, with the codec bits of protocol.h.
#pragma once

#include <cstdint>
#include <string>

namespace iax2 {

// The format an answering side picks for an incoming NEW: their FORMAT if
// we allow it; else our preferred format if they can do it; else the first
// codec both allow, in the order u-law, A-law, slinear, G.726, ADPCM, GSM,
// iLBC, Speex, LPC10, G.729a, G.723.1. Returns 0 when there is none.
uint32_t negotiateFormat(uint32_t theirFormat, uint32_t theirCapability, uint32_t ourPreferred,
                         uint32_t ourAllowed);

// CODEC_PREFS text: one letter per codec, 'A' + (bit index + 1), preferred
// first, then the rest of the allowed mask from the lowest bit.
std::string codecPrefs(uint32_t preferred, uint32_t allowed);

// True when value has exactly one bit set.
bool isSingleCodec(uint32_t value);

}  // namespace iax2
