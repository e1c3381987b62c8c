// MD5 challenge-response of IAX2: the answer to a CHALLENGE element is the
// MD5 digest of the challenge bytes immediately followed by the secret,
// written as 32 lowercase hex digits (MD5_RESULT element).
#pragma once

#include <string>
#include <string_view>

namespace iax2 {

inline constexpr size_t kMd5HexLength = 32;

std::string md5ChallengeResponse(std::string_view challenge, std::string_view secret);

// Compares a received MD5_RESULT with the expected one, ignoring letter
// case, in time independent of where they differ.
bool md5ResponseMatches(std::string_view received, std::string_view challenge,
                        std::string_view secret);

// Lowercase hex digest helpers used by the call-token code.
std::string md5Hex(std::string_view data);
std::string sha1Hex(std::string_view data);

}  // namespace iax2
