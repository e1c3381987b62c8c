// The voice engine (iaxclient API) against the lab PBX: registration, a
// call answered by a second registered phone, hold with music, DTMF, blind
// transfer and hang-up, with the PBX's records checked after each step.
#include <cstdlib>

#include <iaxclient.h>
#include "engine_event_store.h"
#include "pbx_fixture.h"

namespace labpbx::test {
namespace {

using namespace iax2;

class Engine : public PbxTest {
protected:
    void SetUp() override {
        PbxTest::SetUp();
        setenv("QUENDRA_AUDIO_SILENT", "1", 1);
        EngineEvents::clear();
        iaxc_set_preferred_source_udp_port(-1);  // any free port
        ASSERT_EQ(iaxc_initialize(2), 0);
        iaxc_set_event_callback(EngineEvents::onEvent);
        ASSERT_EQ(iaxc_start_processing_thread(), 0);
        host = "127.0.0.1:" + std::to_string(pbx->iaxPort());
    }
    void TearDown() override {
        iaxc_stop_processing_thread();
        iaxc_shutdown();
        PbxTest::TearDown();
    }
    std::string host;
};

TEST_F(Engine, RegistersWithTokenAndChallengeAndReleasesWithRegRel) {
    int id = iaxc_register("2001", "secret1", host.c_str());
    ASSERT_GE(id, 0);
    ASSERT_TRUE(eventually([] { return sawRegistration(IAXC_REGISTRATION_REPLY_ACK); }, 3000));
    EXPECT_EQ(pbx->extensionState("2001"), "127.0.0.1");
    EXPECT_EQ(iaxc_unregister(id), 1);
    ASSERT_TRUE(eventually([&] { return pbx->regrels().size() == 1; }, 3000));
    EXPECT_EQ(pbx->regrels()[0].extension, "2001");
    EXPECT_TRUE(pbx->registrations().empty());
}

TEST_F(Engine, WrongPasswordIsRejected) {
    ASSERT_GE(iaxc_register("2001", "wrong", host.c_str()), 0);
    EXPECT_TRUE(eventually([] { return sawRegistration(IAXC_REGISTRATION_REPLY_REJ); }, 3000));
}

TEST_F(Engine, CallHoldDtmfTransferAndHangUp) {
    ASSERT_GE(iaxc_register("2001", "secret1", host.c_str()), 0);
    ASSERT_TRUE(eventually([] { return sawRegistration(IAXC_REGISTRATION_REPLY_ACK); }, 3000));
    auto bob = registered("2002", "secret2");
    auto carol = registered("2003", "secret3");

    std::string dest = "2001:secret1@" + host + "/2002";
    int call = iaxc_call(dest.c_str());
    ASSERT_GE(call, 0);
    uint16_t b = 0;
    auto incoming = bob->waitIncoming(b, 3000);
    ASSERT_TRUE(incoming);
    EXPECT_EQ(incoming->str(ie::CalledNumber), "2002");
    bob->acceptIncoming(b, static_cast<uint32_t>(incoming->num(ie::Format)));
    bob->send(b, frametype::Control, ctl::Answer);
    ASSERT_TRUE(eventually([&] { return sawCallState(call, IAXC_CALL_STATE_COMPLETE); }, 3000));
    ASSERT_TRUE(eventually([&] {
        auto c = pbx->calls();
        return c.size() == 1 && c[0].state == "up";
    }));

    // Hold with music, then resume.
    ASSERT_NE(iaxc_quelch(call, 1), -1);
    ASSERT_TRUE(eventually([&] { return pbx->calls()[0].fromHeld; }));
    EXPECT_TRUE(bob->waitFor(b, frametype::Voice, static_cast<uint32_t>(incoming->num(ie::Format)), 1000));
    ASSERT_NE(iaxc_unquelch(call), -1);
    ASSERT_TRUE(eventually([&] { return !pbx->calls()[0].fromHeld; }));

    iaxc_send_dtmf('7');
    ASSERT_TRUE(eventually([&] { return pbx->dtmf().size() == 1; }));
    EXPECT_EQ(pbx->dtmf()[0].digit, '7');
    EXPECT_EQ(pbx->dtmf()[0].from, "2001");

    // Blind transfer: Bob moves to Carol, the engine's call ends.
    iaxc_blind_transfer_call(call, "2003");
    uint16_t c = 0;
    auto moved = carol->waitIncoming(c, 3000);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->str(ie::CallingNumber), "2002");
    ASSERT_TRUE(eventually([&] { return sawCallState(call, 0); }, 3000));
    ASSERT_EQ(pbx->transfers().size(), 1u);
    EXPECT_EQ(pbx->transfers()[0].by, "2001");
    EXPECT_EQ(pbx->transfers()[0].moved, "2002");
    EXPECT_EQ(pbx->transfers()[0].target, "2003");
    carol->hangup(c);
    ASSERT_TRUE(bob->waitIax(b, cmd::Hangup));
    EXPECT_TRUE(eventually([&] { return idle(); }, 3000));
}

TEST_F(Engine, InboundCallIsAnsweredAndHungUpByTheEngine) {
    ASSERT_GE(iaxc_register("2001", "secret1", host.c_str()), 0);
    ASSERT_TRUE(eventually([] { return sawRegistration(IAXC_REGISTRATION_REPLY_ACK); }, 3000));
    ASSERT_EQ(pbx->command("call 2001 5551234 Jane Caller").substr(0, 3), "OK ");
    iaxc_event ringing{};
    ASSERT_TRUE(eventually(
        [&] {
            return EngineEvents::find(
                [](const iaxc_event& e) {
                    return e.type == IAXC_EVENT_STATE && (e.ev.call.state & IAXC_CALL_STATE_RINGING) &&
                           !(e.ev.call.state & IAXC_CALL_STATE_OUTGOING);
                },
                &ringing);
        },
        3000));
    const int call = ringing.ev.call.callNo;
    EXPECT_STREQ(ringing.ev.call.remote, "5551234");
    EXPECT_STREQ(ringing.ev.call.remote_name, "Jane Caller");
    iaxc_answer_call(call);
    ASSERT_TRUE(eventually([&] { return !pbx->calls().empty() && pbx->calls()[0].state == "up"; }));
    iaxc_dump_call();
    EXPECT_TRUE(eventually([&] { return idle(); }, 3000));
    EXPECT_TRUE(eventually([&] { return sawCallState(call, 0); }, 3000));
}

}  // namespace
}  // namespace labpbx::test
