// Information elements, digests, call tokens and element values against
// byte sequences and digests worked out by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "voice/iax2/auth.h"
#include "voice/iax2/call_token.h"
#include "voice/iax2/codec.h"
#include "voice/iax2/ie.h"
#include "voice/iax2/protocol.h"
#include "voice/iax2/values.h"

using namespace iax2;

TEST(WireIe, ParsesElementsAndSkipsUnknownOnes) {
    // USERNAME "101", REFRESH 60, an unknown element 200 of 2 bytes,
    // an empty CALLTOKEN, FORMAT = GSM.
    const uint8_t payload[] = {0x06, 0x03, '1',  '0',  '1',  0x13, 0x02, 0x00, 0x3C, 0xC8, 0x02,
                               0xAB, 0xCD, 0x36, 0x00, 0x09, 0x04, 0x00, 0x00, 0x00, 0x02};
    IeList ies;
    ASSERT_EQ(ies.parse(payload, sizeof payload), IeStatus::Ok);
    EXPECT_EQ(ies.count(), 5u);
    EXPECT_EQ(ies.string(ie::Username).value(), "101");
    EXPECT_EQ(ies.u16(ie::Refresh).value(), 60);
    EXPECT_EQ(ies.u32(ie::Format).value(), codec::Gsm);
    ASSERT_TRUE(ies.has(ie::CallToken));
    EXPECT_EQ(ies.find(ie::CallToken)->length, 0);
    EXPECT_EQ(ies.string(ie::CallToken).value(), "");
    EXPECT_FALSE(ies.has(ie::Password));
    // Wrong length for the type: no value.
    EXPECT_FALSE(ies.u32(ie::Refresh).has_value());
    EXPECT_FALSE(ies.u8(ie::Username).has_value());
}

TEST(WireIe, RefusesOverrunningPayloads) {
    IeList ies;
    const uint8_t dataOverrun[] = {0x06, 0x05, 'a', 'b'};
    EXPECT_EQ(ies.parse(dataOverrun, sizeof dataOverrun), IeStatus::Truncated);
    const uint8_t headerCut[] = {0x06, 0x01, 'a', 0x13};
    EXPECT_EQ(ies.parse(headerCut, sizeof headerCut), IeStatus::Truncated);
    std::vector<uint8_t> many(2 * (IeList::kCapacity + 1), 0);
    EXPECT_EQ(ies.parse(many.data(), many.size()), IeStatus::TooMany);
    EXPECT_EQ(ies.parse(nullptr, 0), IeStatus::Ok);
    EXPECT_EQ(ies.count(), 0u);
}

TEST(WireIe, WriterProducesExactBytes) {
    uint8_t buf[64];
    IeWriter w(buf, sizeof buf);
    EXPECT_TRUE(w.addU16(ie::Version, 2));
    EXPECT_TRUE(w.addString(ie::CalledNumber, "100"));
    EXPECT_TRUE(w.addU32(ie::Capability, 14));
    EXPECT_TRUE(w.addU8(ie::CauseCode, 16));
    EXPECT_TRUE(w.addEmpty(ie::CallToken));
    const std::vector<uint8_t> expected = {0x0B, 0x02, 0x00, 0x02, 0x01, 0x03, '1',  '0',  '0',  0x08,
                                           0x04, 0x00, 0x00, 0x00, 0x0E, 0x2A, 0x01, 0x10, 0x36, 0x00};
    EXPECT_TRUE(w.ok());
    EXPECT_EQ(std::vector<uint8_t>(w.data(), w.data() + w.size()), expected);
}

TEST(WireIe, WriterRefusesWhatDoesNotFit) {
    uint8_t buf[300];
    IeWriter w(buf, sizeof buf);
    EXPECT_FALSE(w.addString(ie::Cause, std::string(256, 'x')));
    EXPECT_FALSE(w.ok());
    IeWriter small(buf, 4);
    EXPECT_TRUE(small.addU16(ie::Version, 2));
    EXPECT_FALSE(small.addEmpty(ie::CallToken));
    EXPECT_EQ(small.size(), 4u);
    IeWriter full(buf, sizeof buf);
    EXPECT_TRUE(full.addString(ie::Cause, std::string(255, 'x')));
    EXPECT_EQ(full.size(), 257u);
}

TEST(WireIe, CopyStringCutsAndStopsAtNul) {
    const uint8_t payload[] = {0x04, 0x05, 'A', 'n', 0x00, 'x', 'y', 0x02, 0x04, '1', '2', '3', '4'};
    IeList ies;
    ASSERT_EQ(ies.parse(payload, sizeof payload), IeStatus::Ok);
    char out[3];
    EXPECT_TRUE(copyIeString(ies, ie::CallingName, out, sizeof out));
    EXPECT_STREQ(out, "An");
    EXPECT_TRUE(copyIeString(ies, ie::CallingNumber, out, sizeof out));
    EXPECT_STREQ(out, "12");
    EXPECT_FALSE(copyIeString(ies, ie::Dnid, out, sizeof out));
    EXPECT_STREQ(out, "");
}

TEST(WireIe, VersionedFormatElements) {
    // FORMAT2: version 0, then 64-bit codec mask with the u-law bit.
    const uint8_t payload[] = {0x38, 0x09, 0x00, 0, 0, 0, 0, 0, 0, 0, 0x04,
                               0x37, 0x09, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x0E};
    IeList ies;
    ASSERT_EQ(ies.parse(payload, sizeof payload), IeStatus::Ok);
    EXPECT_EQ(ies.versionedU64(ie::Format2).value(), codec::Ulaw);
    EXPECT_FALSE(ies.versionedU64(ie::Capability2).has_value());  // unknown version 1
}

TEST(WireAuth, Md5ChallengeResponse) {
    // MD5("abc") is the RFC 1321 test vector 900150983cd24fb0d6963f7d28e17f72:
    // challenge "ab" followed by secret "c".
    EXPECT_EQ(md5ChallengeResponse("ab", "c"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5ChallengeResponse("", ""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_TRUE(md5ResponseMatches("900150983CD24FB0D6963F7D28E17F72", "ab", "c"));
    EXPECT_FALSE(md5ResponseMatches("900150983cd24fb0d6963f7d28e17f73", "ab", "c"));
    EXPECT_FALSE(md5ResponseMatches("900150983cd24fb0", "ab", "c"));
    // SHA-1("abc") from FIPS 180.
    EXPECT_EQ(sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

// Parses what a writer holds, as the receiving side would.
IeList parsed(const IeWriter& w) {
    IeList ies;
    EXPECT_EQ(ies.parse(w.data(), w.size()), IeStatus::Ok);
    return ies;
}

TEST(WireAuth, ChallengeAnsweredWithMd5AndChecked) {
    uint8_t challengeBuf[64];
    IeWriter challenge(challengeBuf, sizeof challengeBuf);
    addMd5Challenge(challenge, "ab", "101");
    const IeList asked = parsed(challenge);
    EXPECT_EQ(asked.u16(ie::AuthMethods).value(), auth::Md5);
    EXPECT_EQ(asked.string(ie::Challenge).value(), "ab");
    EXPECT_EQ(asked.string(ie::Username).value(), "101");

    uint8_t answerBuf[64];
    IeWriter answer(answerBuf, sizeof answerBuf);
    ASSERT_TRUE(addChallengeAnswer(answer, asked, "c"));
    const IeList reply = parsed(answer);
    EXPECT_EQ(reply.string(ie::Md5Result).value(), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_FALSE(reply.has(ie::Password));
    EXPECT_TRUE(challengeAnswered(reply, "ab", "c"));
    EXPECT_FALSE(challengeAnswered(reply, "ab", "d"));
    EXPECT_FALSE(challengeAnswered(reply, "ax", "c"));
    EXPECT_FALSE(challengeAnswered(IeList{}, "ab", "c"));  // no MD5_RESULT at all
}

TEST(WireAuth, PlainTextOrNothingWhenMd5IsNotOffered) {
    uint8_t askBuf[16];
    IeWriter ask(askBuf, sizeof askBuf);
    ask.addU16(ie::AuthMethods, auth::Plaintext | auth::Md5);  // MD5 without a challenge
    uint8_t answerBuf[300];
    IeWriter answer(answerBuf, sizeof answerBuf);
    ASSERT_TRUE(addChallengeAnswer(answer, parsed(ask), std::string(300, 's')));
    const IeList reply = parsed(answer);
    EXPECT_EQ(reply.string(ie::Password).value(), std::string(255, 's'));
    EXPECT_FALSE(reply.has(ie::Md5Result));

    uint8_t noneBuf[16];
    IeWriter none(noneBuf, sizeof noneBuf);
    none.addU16(ie::AuthMethods, 4);  // RSA only
    IeWriter untouched(answerBuf, sizeof answerBuf);
    EXPECT_FALSE(addChallengeAnswer(untouched, parsed(none), "secret"));
    EXPECT_EQ(untouched.size(), 0u);
}

TEST(WireCallToken, IssuedTokensVerifyOnlyForTheirAddress) {
    CallTokenIssuer issuer("secret");
    const std::string token = issuer.issue("127.0.0.1", 4570, 1000);
    ASSERT_EQ(token.size(), 4u + 1 + 40);
    EXPECT_EQ(token.substr(0, 5), "1000?");
    using C = CallTokenIssuer::Check;
    EXPECT_EQ(issuer.verify(token, "127.0.0.1", 4570, 1005), C::Valid);
    EXPECT_EQ(issuer.verify(token, "127.0.0.1", 4571, 1005), C::BadHash);
    EXPECT_EQ(issuer.verify(token, "127.0.0.2", 4570, 1005), C::BadHash);
    EXPECT_EQ(issuer.verify(token, "127.0.0.1", 4570, 1011), C::Expired);
    EXPECT_EQ(issuer.verify(token, "127.0.0.1", 4570, 999), C::Expired);
    EXPECT_EQ(CallTokenIssuer("other").verify(token, "127.0.0.1", 4570, 1005), C::BadHash);
    EXPECT_EQ(issuer.verify("", "127.0.0.1", 4570, 1005), C::Malformed);
    EXPECT_EQ(issuer.verify("12a?abc", "127.0.0.1", 4570, 1005), C::Malformed);
    EXPECT_EQ(issuer.verify("1000?" + std::string(40, 'G'), "127.0.0.1", 4570, 1005), C::Malformed);
}

TEST(WireCodec, NegotiationOrder) {
    const uint32_t allowed = codec::Gsm | codec::Ulaw | codec::Alaw;
    // Their format is allowed: taken.
    EXPECT_EQ(negotiateFormat(codec::Alaw, codec::Alaw | codec::Gsm, codec::Gsm, allowed), codec::Alaw);
    // Their format not allowed: our preferred when they can.
    EXPECT_EQ(negotiateFormat(codec::Speex, codec::Speex | codec::Gsm, codec::Gsm, allowed), codec::Gsm);
    // Neither: first common in the fixed order (u-law before GSM).
    EXPECT_EQ(negotiateFormat(codec::Speex, codec::Gsm | codec::Ulaw | codec::Speex, codec::Alaw, allowed),
              codec::Ulaw);
    EXPECT_EQ(negotiateFormat(codec::Speex, codec::Speex, codec::Gsm, allowed), 0u);
    // A FORMAT with several bits is not a format.
    EXPECT_EQ(negotiateFormat(codec::Gsm | codec::Alaw, codec::Gsm, codec::Gsm, allowed), codec::Gsm);
    EXPECT_EQ(codecPrefs(codec::Gsm, allowed), "CDE");
    EXPECT_EQ(codecPrefs(codec::Alaw, allowed), "ECD");
}

TEST(WireValues, DateTimeAndApparentAddress) {
    // 2024-03-15 13:45:30: year 24 << 25 | 3 << 21 | 15 << 16 | 13 << 11 |
    // 45 << 5 | 15 = 0x306F6DAF.
    DateTime t{2024, 3, 15, 13, 45, 30};
    EXPECT_EQ(packDateTime(t), 0x306F6DAFu);
    DateTime back = unpackDateTime(0x306F6DAFu);
    EXPECT_EQ(back.year, 2024);
    EXPECT_EQ(back.month, 3);
    EXPECT_EQ(back.day, 15);
    EXPECT_EQ(back.hour, 13);
    EXPECT_EQ(back.minute, 45);
    EXPECT_EQ(back.second, 30);

    uint8_t addr[kApparentAddrLength];
    packApparentAddress(0x7F000001, 4569, addr);
    const uint8_t expected[16] = {0x02, 0x00, 0x11, 0xD9, 0x7F, 0x00, 0x00, 0x01};
    EXPECT_EQ(0, memcmp(addr, expected, sizeof expected));
    uint32_t ip = 0;
    uint16_t port = 0;
    ASSERT_TRUE(unpackApparentAddress(addr, sizeof addr, ip, port));
    EXPECT_EQ(ip, 0x7F000001u);
    EXPECT_EQ(port, 4569);
    EXPECT_FALSE(unpackApparentAddress(addr, 8, ip, port));
    EXPECT_EQ(packMessageCount(2, 300), 0x02FF);
}
