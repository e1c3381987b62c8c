// Registration against the scripted peer: accepted, rejected, unanswered,
// refreshed and released, with the call-token round and the MD5 challenge.
#include <thread>

#include "engine_fixture.h"
#include "voice/engine/tuning.h"
#include "voice/iax2/frame.h"
#include "voice/iax2/ie.h"
#include "voice/iax2/protocol.h"

using namespace std::chrono_literals;

namespace {

// The REGREQ/REGREL frames the peer received, decoded.
// Retransmissions are left out unless asked for.
std::vector<std::pair<iax2::FullHeader, std::vector<uint8_t>>> requests(const iax2test::ScriptedPeer& peer,
                                                                        uint32_t command,
                                                                        bool withResends = false) {
    std::vector<std::pair<iax2::FullHeader, std::vector<uint8_t>>> out;
    for (const auto& d : peer.received()) {
        iax2::DecodedFrame f;
        if (iax2::decodeFrame(d.bytes.data(), d.bytes.size(), f) != iax2::DecodeStatus::Ok ||
            f.kind != iax2::FrameKind::Full || f.full.type != iax2::frametype::Iax || f.full.subclass != command ||
            (f.full.retransmitted && !withResends))
            continue;
        out.emplace_back(f.full, std::vector<uint8_t>(f.payload, f.payload + f.payloadLength));
    }
    return out;
}

}  // namespace

using Registration = EngineTest;

TEST_F(Registration, AcceptedAfterCallTokenAndMd5Challenge) {
    const int id = iaxc_register("101", "secret", peerHost().c_str());
    EXPECT_EQ(id, 1);
    ASSERT_TRUE(log.waitForRegistrations(1, 3000));
    const auto regs = log.registrations();
    ASSERT_EQ(regs.size(), 1u);
    EXPECT_EQ(regs[0].regId, 1);
    EXPECT_EQ(regs[0].reply, IAXC_REGISTRATION_REPLY_ACK);
    EXPECT_EQ(regs[0].msgcount, -1);
    const auto c = peer->counters();
    EXPECT_GE(c.tokensIssued, 1);  // a slow machine may resend the first request
    EXPECT_EQ(c.regauthsSent, 1);
    EXPECT_EQ(c.registrationsAccepted, 1);
    EXPECT_EQ(c.md5Failures, 0);

    // First REGREQ: empty token last; second: the token; third answers
    // the challenge with USERNAME, MD5_RESULT and REFRESH.
    const auto reqs = requests(*peer, iax2::cmd::RegReq);
    ASSERT_EQ(reqs.size(), 3u);
    iax2::IeList first, second, third;
    ASSERT_EQ(first.parse(reqs[0].second.data(), reqs[0].second.size()), iax2::IeStatus::Ok);
    ASSERT_EQ(second.parse(reqs[1].second.data(), reqs[1].second.size()), iax2::IeStatus::Ok);
    ASSERT_EQ(third.parse(reqs[2].second.data(), reqs[2].second.size()), iax2::IeStatus::Ok);
    EXPECT_EQ(first.string(iax2::ie::Username).value(), "101");
    EXPECT_EQ(first.u16(iax2::ie::Refresh).value(), 60);
    EXPECT_EQ(first.at(first.count() - 1).id, iax2::ie::CallToken);
    EXPECT_EQ(first.at(first.count() - 1).length, 0);
    EXPECT_GT(second.find(iax2::ie::CallToken)->length, 40);
    EXPECT_EQ(reqs[1].first.destinationCall, 0);
    EXPECT_EQ(reqs[1].first.oseq, 0);  // numbering restarted after the token
    EXPECT_EQ(reqs[0].first.sourceCall, reqs[1].first.sourceCall);
    EXPECT_EQ(third.string(iax2::ie::Md5Result)->size(), 32u);
    EXPECT_NE(reqs[2].first.destinationCall, 0);
    EXPECT_EQ(reqs[2].first.oseq, 1);
    // The REGACK is acknowledged and nothing stays open.
    EXPECT_TRUE(peer->waitFor([&] { return peer->openDialogs() == 0; }, 2000));
    EXPECT_TRUE(peer->waitFor([] { return voice::engine::openDialogCount() == 0; }, 2000));
}

TEST_F(Registration, MessageCountIsPassedOn) {
    stopEngine();
    TearDown();
    peerOptions.messagesOld = 2;
    peerOptions.messagesNew = 3;
    SetUp();
    iaxc_register("101", "secret", peerHost().c_str());
    ASSERT_TRUE(log.waitForRegistrations(1, 3000));
    EXPECT_EQ(log.registrations()[0].msgcount, 0x0203);
}

TEST_F(Registration, RejectedPasswordGives30AndIsNotRetried) {
    const int id = iaxc_register("101", "wrong", peerHost().c_str());
    ASSERT_TRUE(log.waitForRegistrations(1, 3000));
    auto regs = log.registrations();
    EXPECT_EQ(regs[0].regId, id);
    EXPECT_EQ(regs[0].reply, IAXC_REGISTRATION_REPLY_REJ);
    EXPECT_EQ(regs[0].msgcount, -1);
    EXPECT_EQ(peer->counters().md5Failures, 1);
    // The registration is gone: unregistering it finds nothing.
    EXPECT_EQ(iaxc_unregister(id), 0);
    EXPECT_TRUE(peer->waitFor([] { return voice::engine::openDialogCount() == 0; }, 2000));
}

TEST_F(Registration, UnknownUserIsRejected) {
    iaxc_register("999", "secret", peerHost().c_str());
    ASSERT_TRUE(log.waitForRegistrations(1, 3000));
    EXPECT_EQ(log.registrations()[0].reply, IAXC_REGISTRATION_REPLY_REJ);
}

TEST_F(Registration, UnansweredGives6AfterTheRetries) {
    peer->setAnswerRegistrations(false);
    const auto start = std::chrono::steady_clock::now();
    iaxc_register("101", "secret", peerHost().c_str());
    ASSERT_TRUE(log.waitForRegistrations(1, 5000));
    const auto took = std::chrono::steady_clock::now() - start;
    const auto regs = log.registrations();
    EXPECT_EQ(regs[0].reply, IAXC_REGISTRATION_REPLY_TIMEOUT);
    EXPECT_EQ(regs[0].msgcount, -1);
    // Five resends at 20, 40, 80, 160, 160 ms, then given up after another 160.
    EXPECT_GE(took, 500ms);
    EXPECT_EQ(requests(*peer, iax2::cmd::RegReq, true).size(), 6u);
    EXPECT_EQ(voice::engine::openDialogCount(), 0u);
}

TEST_F(Registration, UnresolvableHostGivesTimeout) {
    voice::engine::setNameLookups(false);  // fail without asking a name server
    const int id = iaxc_register("101", "secret", "no-such-host.invalid");
    voice::engine::setNameLookups(true);
    EXPECT_GT(id, 0);
    ASSERT_TRUE(log.waitForRegistrations(1, 5000));
    EXPECT_EQ(log.registrations()[0].reply, IAXC_REGISTRATION_REPLY_TIMEOUT);
    EXPECT_EQ(iaxc_register(nullptr, "secret", "127.0.0.1"), -1);
}

TEST_F(Registration, MalformedHostIsAnUnansweredRegistrationTriedAgain) {
    stopEngine();
    registrationRefreshSec = 1;
    startEngine();
    for (const std::string host : {"127.0.0.1:99999", "host:", "host:0"}) {
        const int id = iaxc_register("101", "secret", host.c_str());
        ASSERT_GT(id, 0) << host;
        // Reported as unanswered, then tried again at the next refresh.
        ASSERT_TRUE(log.waitFor(
            [id](const std::vector<SeenEvent>& events) {
                int timeouts = 0;
                for (const SeenEvent& e : events)
                    timeouts += e.type == IAXC_EVENT_REGISTRATION && e.regId == id &&
                                e.reply == IAXC_REGISTRATION_REPLY_TIMEOUT;
                return timeouts >= 2;
            },
            10000))
            << host;
        for (const SeenEvent& e : log.registrations()) {
            if (e.regId == id) {
                EXPECT_EQ(e.reply, IAXC_REGISTRATION_REPLY_TIMEOUT) << host;
            }
        }
        // A text event names the host that cannot be used, before its
        // registration event.
        const auto events = log.all();
        size_t text = events.size(), reg = events.size();
        for (size_t i = 0; i < events.size(); ++i) {
            if (text == events.size() && events[i].type == IAXC_EVENT_TEXT &&
                events[i].text == "Unable to use registration host " + host)
                text = i;
            if (reg == events.size() && events[i].type == IAXC_EVENT_REGISTRATION && events[i].regId == id)
                reg = i;
        }
        ASSERT_LT(text, reg) << host;
        EXPECT_EQ(events[text].textType, IAXC_TEXT_TYPE_ERROR) << host;
        EXPECT_EQ(iaxc_unregister(id), 1);
    }
    // Nothing went out on the wire for any of them.
    EXPECT_EQ(requests(*peer, iax2::cmd::RegReq, true).size(), 0u);
}

TEST_F(Registration, RefreshedBeforeTheGrantedTimeRunsOut) {
    stopEngine();
    TearDown();
    peerOptions.grantedRefresh = 1;  // refreshed after about 830 ms
    SetUp();
    iaxc_register("101", "secret", peerHost().c_str());
    ASSERT_TRUE(log.waitForRegistrations(2, 4000));
    for (const auto& r : log.registrations()) EXPECT_EQ(r.reply, IAXC_REGISTRATION_REPLY_ACK);
    // Each refresh is a dialog of its own, with its own token round.
    const auto reqs = requests(*peer, iax2::cmd::RegReq);
    ASSERT_GE(reqs.size(), 6u);
    EXPECT_NE(reqs[0].first.sourceCall, reqs[3].first.sourceCall);
    EXPECT_GE(peer->counters().tokensIssued, 2);
}

TEST_F(Registration, UnregisterSendsReleaseWithTokenAndChallenge) {
    const int id = iaxc_register("101", "secret", peerHost().c_str());
    ASSERT_TRUE(log.waitForRegistrations(1, 3000));
    EXPECT_EQ(iaxc_unregister(id), 1);
    EXPECT_EQ(iaxc_unregister(id), 0);
    EXPECT_EQ(iaxc_unregister(77), 0);
    ASSERT_TRUE(peer->waitFor([&] { return peer->counters().releases == 1; }, 3000));
    const auto rels = requests(*peer, iax2::cmd::RegRel);
    ASSERT_EQ(rels.size(), 3u);  // empty token, token, challenge answer
    iax2::IeList last;
    ASSERT_EQ(last.parse(rels[2].second.data(), rels[2].second.size()), iax2::IeStatus::Ok);
    EXPECT_EQ(last.string(iax2::ie::Username).value(), "101");
    EXPECT_TRUE(last.has(iax2::ie::Md5Result));
    // No further registration event and no refresh afterwards.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.registrations().size(), 1u);
    EXPECT_TRUE(peer->waitFor([] { return voice::engine::openDialogCount() == 0; }, 2000));
}

TEST_F(Registration, ReleaseFinishesWhenThreadsStopRightAfter) {
    const int id = iaxc_register("101", "secret", peerHost().c_str());
    ASSERT_TRUE(log.waitForRegistrations(1, 3000));
    EXPECT_EQ(iaxc_unregister(id), 1);
    iaxc_stop_processing_thread();
    EXPECT_EQ(peer->counters().releases, 1);
}

TEST_F(Registration, ApatheticRejectOfTheTokenIsARejection) {
    // A refused token gets an apathetic REGREJ (source call 1, no
    // elements): a rejection of the pending request.
    stopEngine();
    TearDown();
    peerOptions.refuseTokens = true;
    SetUp();
    iaxc_register("101", "secret", peerHost().c_str());
    ASSERT_TRUE(log.waitForRegistrations(1, 3000));
    EXPECT_EQ(log.registrations()[0].reply, IAXC_REGISTRATION_REPLY_REJ);
    EXPECT_EQ(peer->counters().apatheticRejects, 1);
    EXPECT_EQ(peer->counters().registrationsAccepted, 0);
    EXPECT_TRUE(peer->waitFor([] { return voice::engine::openDialogCount() == 0; }, 2000));
}
