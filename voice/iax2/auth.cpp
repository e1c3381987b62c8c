#include "voice/iax2/auth.h"

#include <openssl/evp.h>

#include "voice/iax2/protocol.h"

namespace iax2 {
namespace {

std::string digestHex(const EVP_MD* md, std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(data.data(), data.size(), digest, &len, md, nullptr) != 1) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string out(static_cast<size_t>(len) * 2, '0');
    for (size_t i = 0; i < len; ++i) {
        out[2 * i] = kHex[digest[i] >> 4];
        out[2 * i + 1] = kHex[digest[i] & 0x0F];
    }
    return out;
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string md5Hex(std::string_view data) {
    return digestHex(EVP_md5(), data);
}

std::string sha1Hex(std::string_view data) {
    return digestHex(EVP_sha1(), data);
}

std::string md5ChallengeResponse(std::string_view challenge, std::string_view secret) {
    std::string joined;
    joined.reserve(challenge.size() + secret.size());
    joined.append(challenge);
    joined.append(secret);
    return md5Hex(joined);
}

bool md5ResponseMatches(std::string_view received, std::string_view challenge, std::string_view secret) {
    const std::string expected = md5ChallengeResponse(challenge, secret);
    if (received.size() != expected.size()) return false;
    unsigned diff = 0;
    for (size_t i = 0; i < expected.size(); ++i) diff |= static_cast<unsigned>(lower(received[i]) ^ expected[i]);
    return diff == 0;
}

void addMd5Challenge(IeWriter& out, std::string_view challenge, std::string_view username) {
    out.addU16(ie::AuthMethods, auth::Md5);
    out.addString(ie::Challenge, challenge);
    out.addString(ie::Username, username);
}

bool addChallengeAnswer(IeWriter& out, const IeList& asked, std::string_view secret) {
    const uint16_t methods = asked.u16(ie::AuthMethods).value_or(0);
    const auto challenge = asked.string(ie::Challenge);
    if ((methods & auth::Md5) && challenge)
        out.addString(ie::Md5Result, md5ChallengeResponse(*challenge, secret));
    else if (methods & auth::Plaintext)
        out.addString(ie::Password, secret.substr(0, 255));
    else
        return false;
    return true;
}

bool challengeAnswered(const IeList& reply, std::string_view challenge, std::string_view secret) {
    const auto result = reply.string(ie::Md5Result);
    return result && md5ResponseMatches(*result, challenge, secret);
}

}  // namespace iax2
