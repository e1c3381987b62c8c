#include <arpa/inet.h>

#include <set>

#include "pbx_fixture.h"
#include "voice/iax2/auth.h"
#include "voice/iax2/values.h"

namespace labpbx::test {
namespace {

using namespace iax2;

using Registrar = PbxTest;

TEST_F(Registrar, TokenRoundThenMd5ChallengeGivesRegAckWithEveryElement) {
    TestPhone phone(pbx->iaxPort());
    RegResult r = phone.registerExt("2001", "secret1", 120);
    ASSERT_EQ(r.outcome, RegOutcome::Ack);
    EXPECT_TRUE(r.tokenRound);
    EXPECT_FALSE(r.challenge.empty());
    for (char ch : r.challenge) EXPECT_TRUE(ch >= '0' && ch <= '9') << r.challenge;
    EXPECT_EQ(r.reply.str(ie::Username), "2001");
    EXPECT_EQ(r.reply.num(ie::Refresh), 120u);
    ASSERT_TRUE(r.reply.has(ie::ApparentAddr));
    uint32_t ip = 0;
    uint16_t port = 0;
    std::string addr = r.reply.str(ie::ApparentAddr);
    ASSERT_TRUE(unpackApparentAddress(reinterpret_cast<const uint8_t*>(addr.data()), addr.size(), ip, port));
    EXPECT_EQ(ip, INADDR_LOOPBACK);
    EXPECT_EQ(port, phone.port());
    EXPECT_EQ(r.reply.num(ie::MsgCount), 3u);  // 2001@default has 3 new messages
    EXPECT_EQ(r.reply.str(ie::CallingName), "Alice");
    EXPECT_TRUE(r.reply.has(ie::DateTime));

    auto regs = pbx->registrations();
    ASSERT_EQ(regs.size(), 1u);
    EXPECT_EQ(regs[0].extension, "2001");
    EXPECT_EQ(regs[0].address, "127.0.0.1:" + std::to_string(phone.port()));
    EXPECT_EQ(regs[0].expirySeconds, 120);
    EXPECT_EQ(pbx->extensionState("2001"), "127.0.0.1");
    // REGACK is final: once acknowledged the dialog is gone.
    EXPECT_TRUE(eventually([&] { return pbx->counts().sessions == 0; }));
}

// The IAX frames the PBX sent on one registration dialog, in order.
std::vector<Rx> dialogFrames(const TestPhone& phone, const RegResult& r) {
    return phone.historyOf(r.reply.h.destinationCall, frametype::Iax);
}

std::set<uint8_t> elementIds(const Rx& rx) {
    std::set<uint8_t> ids;
    for (const auto& [id, data] : rx.ies) ids.insert(id);
    return ids;
}

TEST_F(Registrar, RegistrationAndReleaseGoThroughTokenAndMd5AsTheReferenceServer) {
    TestPhone phone(pbx->iaxPort());
    // 2004: a mailbox and no caller ID, as the reference set-up's phones.
    RegResult r = phone.registerExt("2004", "secret4");
    ASSERT_EQ(r.outcome, RegOutcome::Ack);
    auto frames = dialogFrames(phone, r);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_TRUE(frames[0].isIax(cmd::CallToken));
    EXPECT_EQ(frames[0].h.sourceCall, kApatheticCallNumber);
    EXPECT_TRUE(frames[1].isIax(cmd::RegAuth));
    EXPECT_EQ(frames[1].num(ie::AuthMethods), auth::Md5);
    EXPECT_EQ(frames[1].str(ie::Username), "2004");
    EXPECT_TRUE(frames[1].has(ie::Challenge));
    EXPECT_TRUE(frames[2].isIax(cmd::RegAck));
    EXPECT_EQ(elementIds(frames[2]),
              (std::set<uint8_t>{ie::Username, ie::DateTime, ie::Refresh, ie::ApparentAddr, ie::MsgCount}));

    phone.history.clear();
    RegResult rel = phone.registerExt("2004", "secret4", 0, true, /*release=*/true);
    ASSERT_EQ(rel.outcome, RegOutcome::Ack);
    frames = dialogFrames(phone, rel);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_TRUE(frames[0].isIax(cmd::CallToken));
    EXPECT_EQ(frames[0].h.sourceCall, kApatheticCallNumber);
    EXPECT_TRUE(frames[1].isIax(cmd::RegAuth));
    // The release ends with a short REGACK: user name and date only.
    EXPECT_EQ(elementIds(frames[2]), (std::set<uint8_t>{ie::Username, ie::DateTime}));
    EXPECT_TRUE(pbx->registrations().empty());
}

TEST_F(Registrar, RefreshIsClampedToTheConfiguredRange) {
    TestPhone phone(pbx->iaxPort());
    EXPECT_EQ(phone.registerExt("2001", "secret1", 5).reply.num(ie::Refresh), 60u);
    EXPECT_EQ(phone.registerExt("2001", "secret1", 9000).reply.num(ie::Refresh), 300u);
    EXPECT_EQ(phone.registerExt("2001", "secret1", 0).reply.num(ie::Refresh), 60u);
}

TEST_F(Registrar, MailboxOptionAndSetCountReachTheMessageCount) {
    TestPhone phone(pbx->iaxPort());
    EXPECT_EQ(phone.registerExt("2004", "secret4").reply.num(ie::MsgCount), 7u);
    EXPECT_EQ(pbx->command("mailbox 9004@sales 300"), "OK 300\n");
    // More than 255 new messages are capped in the element.
    EXPECT_EQ(phone.registerExt("2004", "secret4").reply.num(ie::MsgCount), 255u);
    // An extension without a mailbox gets no count at all.
    EXPECT_FALSE(phone.registerExt("2002", "secret2").reply.has(ie::MsgCount));
}

TEST_F(Registrar, WrongSecretAndUnknownUserAreRefusedAlike) {
    TestPhone phone(pbx->iaxPort());
    RegResult bad = phone.registerExt("2001", "wrong");
    ASSERT_EQ(bad.outcome, RegOutcome::Rej);
    EXPECT_EQ(bad.reply.str(ie::Cause), "Registration Refused");
    EXPECT_EQ(bad.reply.num(ie::CauseCode), cause::FacilityRejected);
    // The refused REGREQ is acknowledged first, then the REGREJ follows.
    auto frames = dialogFrames(phone, bad);
    ASSERT_GE(frames.size(), 2u);
    EXPECT_TRUE(frames[frames.size() - 2].isIax(cmd::Ack));
    EXPECT_EQ(frames[frames.size() - 2].h.iseq, bad.reply.h.iseq);
    RegResult unknown = phone.registerExt("7777", "x");
    ASSERT_EQ(unknown.outcome, RegOutcome::Rej);
    EXPECT_FALSE(unknown.challenge.empty());  // challenged like a real one
    EXPECT_EQ(unknown.reply.str(ie::Cause), "Registration Refused");
    EXPECT_TRUE(pbx->registrations().empty());
    EXPECT_EQ(pbx->extensionState("7777"), "NOTEXIST");
    EXPECT_EQ(pbx->extensionState("2001"), "UNUSED");
}

TEST_F(Registrar, MissingTokenIsRejectedApatheticallyUnlessWaived) {
    TestPhone phone(pbx->iaxPort());
    uint16_t call = phone.open();
    Ies req;
    req.str(ie::Username, "2001").u16(ie::Refresh, 60);
    phone.sendIax(call, cmd::RegReq, req);
    auto rej = phone.waitIax(call, cmd::RegRej);
    ASSERT_TRUE(rej);
    EXPECT_EQ(rej->h.sourceCall, kApatheticCallNumber);
    EXPECT_TRUE(rej->ies.empty());
    EXPECT_EQ(rej->h.oseq, 0);
    EXPECT_EQ(pbx->counts().sessions, 0u);  // no state kept for it

    // 2003 waives tokens: an old client without them registers.
    RegResult waived = phone.registerExt("2003", "secret3", 60, /*useToken=*/false);
    EXPECT_EQ(waived.outcome, RegOutcome::Ack);
    EXPECT_FALSE(waived.tokenRound);
    // A waiver does not stop a client that offers tokens from using them:
    // the token comes from call number 1 as for anyone.
    RegResult offered = phone.registerExt("2003", "secret3", 60, /*useToken=*/true);
    EXPECT_EQ(offered.outcome, RegOutcome::Ack);
    EXPECT_TRUE(offered.tokenRound);
    auto frames = dialogFrames(phone, offered);
    ASSERT_FALSE(frames.empty());
    EXPECT_TRUE(frames[0].isIax(cmd::CallToken));
    EXPECT_EQ(frames[0].h.sourceCall, kApatheticCallNumber);
}

TEST_F(Registrar, ForgedOrForeignTokensAreRejected) {
    TestPhone phone(pbx->iaxPort());
    for (const char* token : {"garbage", "1700000000?0000000000000000000000000000000000000000"}) {
        uint16_t call = phone.open();
        Ies req;
        req.str(ie::Username, "2001").str(ie::CallToken, token);
        phone.sendIax(call, cmd::RegReq, req);
        auto rej = phone.waitIax(call, cmd::RegRej);
        ASSERT_TRUE(rej) << token;
        EXPECT_EQ(rej->h.sourceCall, kApatheticCallNumber);
    }
    // A token issued to one phone is no good from another address.
    TestPhone other(pbx->iaxPort());
    uint16_t call = phone.open();
    Ies req;
    req.str(ie::Username, "2001").empty(ie::CallToken);
    phone.sendIax(call, cmd::RegReq, req);
    auto tok = phone.waitIax(call, cmd::CallToken);
    ASSERT_TRUE(tok);
    std::string token = tok->str(ie::CallToken);
    EXPECT_NE(token.find('?'), std::string::npos);
    uint16_t theirs = other.open();
    Ies stolen;
    stolen.str(ie::Username, "2001").str(ie::CallToken, token);
    other.sendIax(theirs, cmd::RegReq, stolen);
    EXPECT_TRUE(other.waitIax(theirs, cmd::RegRej));
}

TEST_F(Registrar, RegRelRemovesTheRegistrationAndIsRecorded) {
    TestPhone phone(pbx->iaxPort());
    ASSERT_EQ(phone.registerExt("2002", "secret2").outcome, RegOutcome::Ack);
    ASSERT_EQ(pbx->registrations().size(), 1u);
    RegResult rel = phone.registerExt("2002", "secret2", 0, true, /*release=*/true);
    ASSERT_EQ(rel.outcome, RegOutcome::Ack);
    EXPECT_EQ(rel.reply.str(ie::Username), "2002");
    EXPECT_FALSE(rel.reply.has(ie::Refresh));
    EXPECT_TRUE(pbx->registrations().empty());
    auto rels = pbx->regrels();
    ASSERT_EQ(rels.size(), 1u);
    EXPECT_EQ(rels[0].extension, "2002");
    EXPECT_EQ(rels[0].address, "127.0.0.1:" + std::to_string(phone.port()));
    // A REGREL with a wrong secret changes nothing.
    ASSERT_EQ(phone.registerExt("2002", "secret2").outcome, RegOutcome::Ack);
    EXPECT_EQ(phone.registerExt("2002", "nope", 0, true, true).outcome, RegOutcome::Rej);
    EXPECT_EQ(pbx->registrations().size(), 1u);
    EXPECT_EQ(pbx->regrels().size(), 1u);
}

TEST_F(Registrar, RegistrationFromANewAddressReplacesTheOld) {
    TestPhone first(pbx->iaxPort()), second(pbx->iaxPort());
    ASSERT_EQ(first.registerExt("2001", "secret1").outcome, RegOutcome::Ack);
    ASSERT_EQ(second.registerExt("2001", "secret1").outcome, RegOutcome::Ack);
    auto regs = pbx->registrations();
    ASSERT_EQ(regs.size(), 1u);
    EXPECT_EQ(regs[0].address, "127.0.0.1:" + std::to_string(second.port()));
}

TEST_F(Registrar, UnansweredRegAuthIsGivenUpWithoutLeavingState) {
    pbx->stop();
    startPbx(testConfig(), fastTiming());
    TestPhone phone(pbx->iaxPort());
    phone.autoAck = false;
    uint16_t call = phone.open();
    Ies req;
    req.str(ie::Username, "2001").empty(ie::CallToken);
    phone.sendIax(call, cmd::RegReq, req);
    auto tok = phone.waitIax(call, cmd::CallToken);
    ASSERT_TRUE(tok);
    phone.dialog(call).restartSequence();
    Ies again;
    again.str(ie::Username, "2001").str(ie::CallToken, tok->str(ie::CallToken));
    phone.sendIax(call, cmd::RegReq, again);
    ASSERT_TRUE(phone.waitIax(call, cmd::RegAuth));
    // Never answered: the REGAUTH is sent again, then the dialog dropped.
    auto resent = phone.waitIax(call, cmd::RegAuth, 1000);
    ASSERT_TRUE(resent);
    EXPECT_TRUE(resent->h.retransmitted);
    EXPECT_TRUE(eventually([&] { return pbx->counts().sessions == 0; }));
    EXPECT_EQ(pbx->counts().timers, 0u);
}

}  // namespace
}  // namespace labpbx::test
