// Two probe phones talking through Asterisk's Dial: 1001 calls 1002 and
// each hears the other's tone; 1001 holds with music on hold and resumes;
// 1002 transfers 1001 to the echo test.
#include <algorithm>
#include <cmath>
#include <thread>

#include "interop_fixture.h"

namespace interop {
namespace {

// The phones' microphones. The calls between them run in u-law: a GSM
// decoder that joins a steady tone in the middle (the far party answers, a
// transfer or resume switches the stream) may not regain the tone's level,
// as its long-term predictor keeps echoing its own empty start (measured
// here from -0.1 to -37 dB, depending on the frequency and the frame it
// joins at); speech does not suffer so, but a level check on a tone would.
// Each codec's fidelity is checked by the echo calls.
constexpr double kCallerHz = 1283;  // 1001
constexpr double kCalleeHz = 461;   // 1002
// The notes of the hold melody the configuration script writes.
constexpr double kMelodyHz[] = {523, 587, 659, 698, 784, 880};

class TwoParty : public InteropTest {
protected:
    // 1001 dials 1002, 1002 answers; both calls COMPLETE.
    ::testing::AssertionResult connect() {
        caller = startPhone("1001", kCallerHz);
        callee = startPhone("1002", kCalleeHz);
        for (Phone* p : {&caller, &callee})
            if (!(*p)->command("formats ulaw ulaw"))
                return ::testing::AssertionFailure() << "the phones' codec could not be set";
        if (auto r = registerPhone(callee, "1002"); !r) return r;
        const size_t callerFrom = caller->lineCount(), calleeFrom = callee->lineCount();
        if (caller->command("call " + site->dial("1001", "1002")) != "0")
            return ::testing::AssertionFailure() << "1001 could not place the call";
        const auto ringing =
            callee->waitForState(0, IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_RINGING, 10s, calleeFrom);
        if (!ringing) return ::testing::AssertionFailure() << "1002 did not ring";
        callee->command("answer 0");
        if (!callee->waitForState(0, IAXC_CALL_STATE_COMPLETE, 5s, calleeFrom))
            return ::testing::AssertionFailure() << "1002 did not connect";
        const auto answered = caller->waitForState(0, IAXC_CALL_STATE_COMPLETE, 5s, callerFrom);
        if (!answered) return ::testing::AssertionFailure() << "1001 was not told of the answer";
        figure("1001 -> 1002 through Dial: format %d, answer reached 1001 %.0f ms after 1002 rang",
               answered->first.format, 1000 * secondsBetween(ringing->second, answered->second));
        return ::testing::AssertionSuccess();
    }

    static size_t mark(Phone& phone) {
        const auto samples = phone->command("mark");
        return samples ? std::stoul(*samples) : 0;
    }

    // The far party's tone is heard in [from, to), the phone's own is not.
    static ::testing::AssertionResult hears(const Phone& phone, double hz, double notHz, size_t from, size_t to,
                                            double& levelDb) {
        const auto heard = readHeard(phone.heardPath);
        if (heard.size() < to)
            return ::testing::AssertionFailure() << phone.process->name() << " heard too little";
        const double wanted = toneAmplitude(heard, from, to, hz);
        const double other = toneAmplitude(heard, from, to, notHz);
        levelDb = decibels(wanted / kToneAmplitude);
        if (wanted < 0.5 * kToneAmplitude)
            return ::testing::AssertionFailure()
                   << phone.process->name() << " hears " << hz << " Hz at " << levelDb << " dB only";
        if (other > 0.1 * wanted)
            return ::testing::AssertionFailure() << phone.process->name() << " hears " << notHz << " Hz too";
        return ::testing::AssertionSuccess();
    }

    Phone caller, callee;
};

TEST_F(TwoParty, EachHearsTheOther) {
    ASSERT_TRUE(connect());
    std::this_thread::sleep_for(3s);
    const size_t callerEnd = mark(caller), calleeEnd = mark(callee);
    double callerLevel = 0, calleeLevel = 0;
    EXPECT_TRUE(hears(caller, kCalleeHz, kCallerHz, callerEnd - msToSamples(2000), callerEnd, callerLevel));
    EXPECT_TRUE(hears(callee, kCallerHz, kCalleeHz, calleeEnd - msToSamples(2000), calleeEnd, calleeLevel));
    figure("1001 hears 1002's %.0f Hz at %+.2f dB; 1002 hears 1001's %.0f Hz at %+.2f dB", kCalleeHz, callerLevel,
           kCallerHz, calleeLevel);
    caller->command("hangup");
    EXPECT_TRUE(callee->waitForState(0, 0, 5s)) << "1001's hang-up did not reach 1002";
}

TEST_F(TwoParty, HoldWithMusicThenResume) {
    ASSERT_TRUE(connect());
    std::this_thread::sleep_for(2s);
    const size_t callerHold = mark(caller), calleeHold = mark(callee);
    ASSERT_EQ(caller->command("hold 0 moh"), "0");
    std::this_thread::sleep_for(4s);
    const size_t callerResume = mark(caller), calleeResume = mark(callee);
    ASSERT_EQ(caller->command("unhold 0"), "0");
    std::this_thread::sleep_for(3s);
    const size_t callerEnd = mark(caller), calleeEnd = mark(callee);
    caller->command("hangup");

    // While held (after half a second for the change to travel), 1001's
    // speaker is silent ...
    const auto callerHeard = readHeard(caller.heardPath);
    const double heldRms = rmsOf(callerHeard, callerHold + msToSamples(500), callerResume);
    figure("hold: 1001's speaker RMS %.1f while holding (its far party's tone: %.0f Hz)", heldRms, kCalleeHz);
    EXPECT_LT(heldRms, 100) << "1001 still hears audio while it holds";

    // ... and 1002 hears the hold melody: in most 100 ms blocks one of its
    // notes carries the sound, and 1001's tone is not there.
    const auto calleeHeard = readHeard(callee.heardPath);
    ASSERT_GE(calleeHeard.size(), calleeResume);
    size_t blocks = 0, melodic = 0;
    for (size_t at = calleeHold + msToSamples(500); at + 800 <= calleeResume; at += 800) {
        ++blocks;
        const double rms = rmsOf(calleeHeard, at, at + 800);
        double strongest = 0;
        for (double hz : kMelodyHz) strongest = std::max(strongest, toneAmplitude(calleeHeard, at, at + 800, hz));
        if (rms > 100 && strongest > 0.5 * rms * std::sqrt(2.0)) ++melodic;
    }
    const double callerToneOnHold =
        toneAmplitude(calleeHeard, calleeHold + msToSamples(500), calleeResume, kCallerHz);
    const double holdRms = rmsOf(calleeHeard, calleeHold + msToSamples(500), calleeResume);
    figure("hold: 1002 hears RMS %.0f, melody in %zu of %zu blocks of 100 ms, 1001's tone at %.1f dB", holdRms,
           melodic, blocks, decibels(callerToneOnHold / kToneAmplitude));
    EXPECT_GE(melodic * 2, blocks) << "1002 does not hear the music on hold";
    EXPECT_LT(callerToneOnHold, 0.05 * kToneAmplitude) << "1002 still hears 1001 while on hold";

    // After the resume both tones are back.
    double callerLevel = 0, calleeLevel = 0;
    EXPECT_TRUE(hears(caller, kCalleeHz, kCallerHz, callerResume + msToSamples(1000), callerEnd, callerLevel));
    EXPECT_TRUE(hears(callee, kCallerHz, kCalleeHz, calleeResume + msToSamples(1000), calleeEnd, calleeLevel));
    figure("unhold: 1001 hears %+.2f dB, 1002 hears %+.2f dB", callerLevel, calleeLevel);
}

TEST_F(TwoParty, BlindTransferToEcho) {
    ASSERT_TRUE(connect());
    std::this_thread::sleep_for(1500ms);
    const size_t callerFrom = caller->lineCount(), calleeFrom = callee->lineCount();
    const size_t transferred = mark(caller);
    const auto asked = Clock::now();
    ASSERT_TRUE(callee->command("transfer 0 600"));
    const auto released = callee->waitForState(0, 0, 5s, calleeFrom);
    ASSERT_TRUE(released) << "1002's call did not end after the transfer";
    std::this_thread::sleep_for(3s);
    const size_t end = mark(caller);
    EXPECT_FALSE(caller->waitForState(0, 0, 0ms, callerFrom)) << "1001's call ended with the transfer";
    double level = 0;
    EXPECT_TRUE(hears(caller, kCallerHz, kCalleeHz, transferred + msToSamples(2000), end, level))
        << "1001 is not in the echo test after the transfer";
    figure("transfer: 1002 FREE %.0f ms after TRANSFER; 1001 then hears its own %.0f Hz from Echo at %+.2f dB",
           1000 * secondsBetween(asked, released->second), kCallerHz, level);
    caller->command("hangup");
}

}  // namespace
}  // namespace interop
