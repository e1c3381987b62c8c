// MD5 challenge-response of IAX2: the answer to a CHALLENGE element is the
// MD5 digest of the challenge bytes immediately followed by the secret,
// written as 32 lowercase hex digits (MD5_RESULT element).
#pragma once

#include <string>
#include <string_view>

#include "voice/iax2/ie.h"

namespace iax2 {

inline constexpr size_t kMd5HexLength = 32;

std::string md5ChallengeResponse(std::string_view challenge, std::string_view secret);

// Compares a received MD5_RESULT with the expected one, ignoring letter
// case, in time independent of where they differ.
bool md5ResponseMatches(std::string_view received, std::string_view challenge, std::string_view secret);

// --- The elements of an exchange, for the side that challenges (AUTHREQ,
// REGAUTH) and the side that answers (AUTHREP, REGREQ, REGREL).

// AUTHMETHODS (MD5 only), CHALLENGE and USERNAME.
void addMd5Challenge(IeWriter& out, std::string_view challenge, std::string_view username);
// The answer to the challenge in `asked`: MD5_RESULT when MD5 is offered
// with a challenge, else PASSWORD (at most 255 bytes of the secret) when
// plain text is offered. False, with nothing written, when neither is.
bool addChallengeAnswer(IeWriter& out, const IeList& asked, std::string_view secret);
// Whether `reply` carries an MD5_RESULT that answers `challenge` with `secret`.
bool challengeAnswered(const IeList& reply, std::string_view challenge, std::string_view secret);

// Lowercase hex digest helpers used by the call-token code.
std::string md5Hex(std::string_view data);
std::string sha1Hex(std::string_view data);

}  // namespace iax2
