// The frames of call set-up and answer as the reference server sends them:
// ANSWER and "stop indications" after ACCEPT, refusals with their causes,
// hang-ups with a cause code only, the codec of the PBX's own list.
#include "pbx_fixture.h"

namespace labpbx::test {
namespace {

using namespace iax2;

class Signalling : public PbxTest {};

// ANSWER, then CONTROL -1, each a full frame of its own, in sequence.
void expectAnswerThenStopIndications(TestPhone& phone, uint16_t call) {
    auto answer = phone.waitFor(call, frametype::Control, ctl::Answer);
    ASSERT_TRUE(answer);
    auto stop = phone.waitFor(call, frametype::Control, kStopIndications);
    ASSERT_TRUE(stop);
    EXPECT_TRUE(stop->payload.empty());
    EXPECT_EQ(stop->h.oseq, static_cast<uint8_t>(answer->h.oseq + 1));
    EXPECT_FALSE(stop->h.retransmitted);
}

TEST_F(Signalling, AServiceAnswersWithAnswerThenStopIndicationsRightAfterAccept) {
    auto phone = registered("2001", "secret1");
    uint16_t call = phone->dial("2001", "secret1", "600", codec::Gsm);
    ASSERT_NE(call, 0);
    // AUTHREQ (0) and ACCEPT (1) came first.
    auto answer = phone->waitFor(call, frametype::Control, ctl::Answer);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->h.oseq, 2);
    auto stop = phone->waitFor(call, frametype::Control, kStopIndications);
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->h.oseq, 3);
    // The phone acknowledged both: nothing of the PBX is left to resend.
    EXPECT_TRUE(eventually([&] { return pbx->counts().unacked == 0; }));
    phone->hangup(call);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Signalling, TheCallerGetsAnswerThenStopIndicationsWhenTheCalledPhoneAnswers) {
    auto alice = registered("2001", "secret1");
    auto bob = registered("2002", "secret2");
    uint16_t a = alice->dial("2001", "secret1", "2002");
    ASSERT_NE(a, 0);
    uint16_t b = 0;
    ASSERT_TRUE(bob->waitIncoming(b));
    bob->acceptIncoming(b, codec::Ulaw);
    ASSERT_TRUE(alice->waitFor(a, frametype::Control, ctl::Ringing));
    bob->send(b, frametype::Control, ctl::Answer);
    expectAnswerThenStopIndications(*alice, a);
    // The answering phone gets neither back.
    EXPECT_FALSE(bob->waitFor(b, frametype::Control, ctl::Answer, 300));
    EXPECT_FALSE(bob->waitFor(b, frametype::Control, kStopIndications, 1));
    alice->hangup(a);
    ASSERT_TRUE(bob->waitIax(b, cmd::Hangup));
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Signalling, ARingingNumberAnsweredAtThePbxSendsAnswerThenStopIndications) {
    auto phone = registered("2001", "secret1");
    uint16_t call = phone->dial("2001", "secret1", "603");
    ASSERT_NE(call, 0);
    ASSERT_TRUE(phone->waitFor(call, frametype::Control, ctl::Ringing));
    EXPECT_EQ(pbx->command("answer " + std::to_string(pbx->calls()[0].id)), "OK\n");
    expectAnswerThenStopIndications(*phone, call);
    phone->hangup(call);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

}  // namespace
}  // namespace labpbx::test
