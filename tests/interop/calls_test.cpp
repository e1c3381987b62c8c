// Calls between one probe phone and Asterisk's applications: the echo test
// in each codec, an inbound call placed through the manager interface, and
// DTMF read by Read().
#include <algorithm>
#include <cmath>
#include <thread>

#include "interop_fixture.h"
#include "manager_client.h"

namespace interop {
namespace {

struct Codec {
    const char* name;
    int format;
    double maxLevelErrorDb;  // GSM is lossy; G.711 returns the tone almost exactly
};

// The level and frequency of the 1 kHz tone a phone heard back, judged over
// the two seconds before `end`, and how long after `answered` it began.
struct EchoFigures {
    double startMs = 0;
    double levelDb = 0;
    double frequencyErrorHz = 0;
    double offFrequencyRatio = 0;  // strongest of 700 Hz and 1400 Hz against the tone
};

::testing::AssertionResult analyseEcho(const std::vector<int16_t>& heard, size_t answered, size_t end,
                                       EchoFigures& f) {
    end = std::min(end, heard.size());
    if (end < answered + msToSamples(2500))
        return ::testing::AssertionFailure() << "only " << samplesToMs(double(heard.size())) << " ms heard";
    size_t first = firstToneWindow(heard, 0, 1000, 0.3 * kToneAmplitude);
    if (first >= heard.size()) return ::testing::AssertionFailure() << "the tone never came back";
    // To the sample: the first one of that window as loud as the threshold.
    while (first < heard.size() && std::abs(int(heard[first])) < 0.3 * kToneAmplitude) ++first;
    f.startMs = samplesToMs(double(first) - double(answered));
    const size_t from = end - msToSamples(2000);
    const double amplitude = toneAmplitude(heard, from, end, 1000);
    f.levelDb = decibels(amplitude / kToneAmplitude);
    f.frequencyErrorHz = peakFrequency(heard, from, end, 1000, 50) - 1000;
    f.offFrequencyRatio =
        std::max(toneAmplitude(heard, from, end, 700), toneAmplitude(heard, from, end, 1400)) / amplitude;
    return ::testing::AssertionSuccess();
}

using EchoCall = InteropTest;

// A call to the echo test in one codec, Asterisk's choice narrowed to it by
// offering only that one (it picks by its own order).
void echoInCodec(InteropTest::Phone& phone, const AsteriskSite& site, const Codec& codec) {
    ASSERT_TRUE(phone->command(std::string("formats ") + codec.name + " " + codec.name));
    const size_t from = phone->lineCount();
    ASSERT_EQ(phone->command("call " + site.dial("1001", "600")), "0");
    const auto answered = phone->waitForState(0, IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_COMPLETE, 10s, from);
    ASSERT_TRUE(answered) << "the echo test did not answer";
    EXPECT_EQ(answered->first.format, codec.format) << "the call runs in another codec";
    std::this_thread::sleep_for(4s);
    const auto end = phone->command("mark");
    ASSERT_TRUE(end);
    ASSERT_TRUE(phone->command("hangup"));
    EXPECT_TRUE(phone->waitForState(0, 0, 5s, from)) << "the call did not end";

    EchoFigures f;
    ASSERT_TRUE(analyseEcho(readHeard(phone.heardPath), size_t(answered->first.heard), std::stoul(*end), f));
    figure(
        "echo %-4s: first audio %.0f ms after answer, level %+.2f dB, frequency error %+.1f Hz, "
        "off-frequency %.0f dB",
        codec.name, f.startMs, f.levelDb, f.frequencyErrorHz, std::max(-120.0, decibels(f.offFrequencyRatio)));
    EXPECT_LT(f.startMs, 1000) << "the echo took too long to start";
    EXPECT_LT(std::abs(f.levelDb), codec.maxLevelErrorDb);
    EXPECT_LT(std::abs(f.frequencyErrorHz), 2.0);
    EXPECT_LT(f.offFrequencyRatio, 0.05);
}

TEST_F(EchoCall, GsmToneComesBackAtItsFrequencyAndLevel) {
    Phone phone = startPhone("gsm", 1000);
    echoInCodec(phone, *site, {"gsm", IAXC_FORMAT_GSM, 3.0});
}

TEST_F(EchoCall, UlawToneComesBackAtItsFrequencyAndLevel) {
    Phone phone = startPhone("ulaw", 1000);
    echoInCodec(phone, *site, {"ulaw", IAXC_FORMAT_ULAW, 1.0});
}

TEST_F(EchoCall, AlawToneComesBackAtItsFrequencyAndLevel) {
    Phone phone = startPhone("alaw", 1000);
    echoInCodec(phone, *site, {"alaw", IAXC_FORMAT_ALAW, 1.0});
}

using InboundCall = InteropTest;

TEST_F(InboundCall, OriginatedCallAnsweredHasAudioBothWays) {
    Phone phone = startPhone("1001", 1000);
    ASSERT_TRUE(registerPhone(phone, "1001"));
    ManagerClient manager;
    ASSERT_TRUE(manager.connect(site->managerPort));
    ASSERT_TRUE(manager.send(action(
        "Login", "l1", {{"Username", site->managerUser}, {"Secret", site->managerSecret}, {"Events", "off"}})));
    auto reply = manager.readResponse();
    ASSERT_TRUE(reply && headerValue(*reply, "Response") == "Success") << reply.value_or("no reply");

    // Asterisk calls the phone and, once it answers, runs Echo: the phone
    // hears its own tone only if audio goes both ways.
    const size_t from = phone->lineCount();
    ASSERT_TRUE(manager.send(action("Originate", "o1",
                                    {{"Channel", "IAX2/1001"},
                                     {"Application", "Echo"},
                                     {"CallerID", "Interop <5550123>"},
                                     {"Async", "true"}})));
    reply = manager.readResponse();
    ASSERT_TRUE(reply && headerValue(*reply, "Response") == "Success") << reply.value_or("no reply");
    const auto ringing = phone->waitForState(0, IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_RINGING, 10s, from);
    ASSERT_TRUE(ringing) << "the originated call did not reach the phone";
    EXPECT_FALSE(ringing->first.state & IAXC_CALL_STATE_OUTGOING);
    EXPECT_EQ(ringing->first.remote, "5550123");
    ASSERT_TRUE(phone->command("answer 0"));
    const auto answered = phone->waitForState(0, IAXC_CALL_STATE_COMPLETE, 5s, from);
    ASSERT_TRUE(answered);
    std::this_thread::sleep_for(4s);
    const auto end = phone->command("mark");
    ASSERT_TRUE(end);
    ASSERT_TRUE(phone->command("hangup"));
    EXPECT_TRUE(phone->waitForState(0, 0, 5s, from));
    manager.send(action("Logoff", "q1"));

    EchoFigures f;
    ASSERT_TRUE(analyseEcho(readHeard(phone.heardPath), size_t(answered->first.heard), std::stoul(*end), f));
    figure(
        "inbound call (Originate IAX2/1001 -> Echo, format %d): first audio %.0f ms after answer, "
        "level %+.2f dB, frequency error %+.1f Hz",
        answered->first.format, f.startMs, f.levelDb, f.frequencyErrorHz);
    EXPECT_LT(f.startMs, 1000);
    EXPECT_LT(std::abs(f.levelDb), 3.0);
    EXPECT_LT(std::abs(f.frequencyErrorHz), 2.0);
}

using Dtmf = InteropTest;

TEST_F(Dtmf, DigitsReachRead) {
    Phone phone = startPhone("1001", 1000);
    AsteriskLog log(*site);
    const size_t from = phone->lineCount();
    ASSERT_EQ(phone->command("call " + site->dial("1001", "606")), "0");
    ASSERT_TRUE(phone->waitForState(0, IAXC_CALL_STATE_COMPLETE, 10s, from)) << "606 did not answer";
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(phone->command("dtmf 1234", 5s));
    const auto entered = log.waitFor("User entered '1234'", 15s);
    ASSERT_TRUE(entered) << "Read() did not get 1234; Asterisk logged:\n" << log.appended();
    figure("DTMF 1234 to 606: Asterisk logged: %s", entered->c_str());
    // Read() returns with four digits and the dialplan hangs up.
    const auto ended = phone->waitForState(0, 0, 10s, from);
    EXPECT_TRUE(ended) << "Asterisk's hang-up after Read() did not end the call";
}

}  // namespace
}  // namespace interop
