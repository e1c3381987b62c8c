// The phone's sample tables against their rules, and the names of the
// engine's values in the log.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "app/control_ids.h"
#include "call/event_texts.h"
#include "call/tone_tables.h"

namespace {

// Energy of one frequency in the samples (Goertzel), relative to the
// number of samples.
double power(const short* samples, int count, double hz) {
    const double w = 2.0 * std::numbers::pi * hz / kToneSampleRate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (int i = 0; i < count; ++i) {
        const double s0 = samples[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return (s1 * s1 + s2 * s2 - coeff * s1 * s2) / count / count;
}

// The two frequencies stand out from every other DTMF and ring frequency.
void expectPair(const short* samples, int count, int low, int high) {
    const int others[] = {440, 480, 697, 770, 852, 941, 1209, 1336, 1477, 1633};
    const double pLow = power(samples, count, low);
    const double pHigh = power(samples, count, high);
    for (int f : others) {
        if (f == low || f == high) continue;
        EXPECT_GT(pLow, 50 * power(samples, count, f)) << low << " against " << f;
        EXPECT_GT(pHigh, 50 * power(samples, count, f)) << high << " against " << f;
    }
}

TEST(ToneTables, RingToneIs440And480Hz) {
    EXPECT_EQ(g_ringToneSamples[0], 0);
    // 8000 sin(2 pi 440/8000) + 8000 sin(2 pi 480/8000) = 5654.88...: cut, not rounded.
    EXPECT_EQ(g_ringToneSamples[1], 5654);
    expectPair(g_ringToneSamples, kRingToneSamples, 440, 480);
    int peak = 0;
    for (short s : g_ringToneSamples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_GT(peak, 15000);
    EXPECT_LE(peak, 16000);
}

TEST(ToneTables, AlertIs941And1336HzFor75ms) {
    EXPECT_EQ(kAutoAnswerAlertSamples, 600);
    EXPECT_EQ(g_autoAnswerAlertSamples[0], 0);
    expectPair(g_autoAnswerAlertSamples, kAutoAnswerAlertSamples, 941, 1336);
}

TEST(ToneTables, KeyTonesSoundFor200msThenFallSilent) {
    struct Key {
        int id;
        char character;
        int low;
        int high;
    } keys[] = {
        {IDC_BUT_KEY_1, '1', 697, 1209},    {IDC_BUT_KEY_2, '2', 697, 1336}, {IDC_BUT_KEY_3, '3', 697, 1477},
        {IDC_BUT_KEY_4, '4', 770, 1209},    {IDC_BUT_KEY_5, '5', 770, 1336}, {IDC_BUT_KEY_6, '6', 770, 1477},
        {IDC_BUT_KEY_7, '7', 852, 1209},    {IDC_BUT_KEY_8, '8', 852, 1336}, {IDC_BUT_KEY_9, '9', 852, 1477},
        {IDC_BUT_KEY_STAR, '*', 941, 1209}, {IDC_BUT_KEY_0, '0', 941, 1336}, {IDC_BUT_KEY_POUND, '#', 941, 1477}};
    for (const Key& k : keys) {
        SCOPED_TRACE(k.character);
        const KeypadKey* key = keypadKeyById(k.id);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->character, k.character);
        const short* table = g_keyToneSamples[keypadIndexById(k.id)];
        expectPair(table, kKeyToneSoundingSamples, k.low, k.high);
        EXPECT_NE(table[kKeyToneSoundingSamples - 1], 0);
        for (int i = kKeyToneSoundingSamples; i < kKeyToneSamples; ++i) ASSERT_EQ(table[i], 0) << i;
    }
    EXPECT_EQ(keypadKeyById(IDC_SLIDER_SPK), nullptr);  // 1026 sits among the key ids
    EXPECT_EQ(keypadIndexById(IDC_SLIDER_SPK), -1);
}

TEST(EventTexts, CallStates) {
    char text[kCallStateTextSize];
    EXPECT_STREQ(getCallStateString(0, text, sizeof text), "Free");
    EXPECT_STREQ(getCallStateString(0x12, text, sizeof text), "ActiveComplete");
    EXPECT_STREQ(getCallStateString(0xFE, text, sizeof text), "ActiveOutgoingRingingCompleteSelectedBusyTransfer");
    EXPECT_STREQ(getCallStateString(1, text, sizeof text), "Unknown");
    EXPECT_STREQ(getCallStateString(0x100, text, sizeof text), "Unknown");
    EXPECT_STREQ(getCallStateString(0x2C, text, sizeof text), "OutgoingRingingSelected");
    char small[8];
    EXPECT_STREQ(getCallStateString(0x12, small, sizeof small), "ActiveC");
}

TEST(EventTexts, FormatsTextTypesAndReplies) {
    EXPECT_STREQ(getFormatString(1), "G723_1");
    EXPECT_STREQ(getFormatString(2), "GSM");
    EXPECT_STREQ(getFormatString(4), "Ulaw");
    EXPECT_STREQ(getFormatString(8), "Alaw");
    EXPECT_STREQ(getFormatString(1024), "ILBC");
    EXPECT_STREQ(getFormatString(32768), "MAX_AUDIO");
    EXPECT_STREQ(getFormatString(1048576), "H263_Plus");
    EXPECT_STREQ(getFormatString(16777216), "THEORA");
    EXPECT_STREQ(getFormatString(0), "Unknown");
    EXPECT_STREQ(getFormatString(6), "Unknown");
    EXPECT_STREQ(getFormatString(8388608), "Unknown");
    EXPECT_STREQ(getTextTypeString(1), "Status");
    EXPECT_STREQ(getTextTypeString(4), "FatalError");
    EXPECT_STREQ(getTextTypeString(5), "IAX");
    EXPECT_STREQ(getTextTypeString(0), "Unknown");
    EXPECT_STREQ(getRegistrationReplyString(18), "Accepted");
    EXPECT_STREQ(getRegistrationReplyString(30), "Rejected");
    EXPECT_STREQ(getRegistrationReplyString(6), "Timeout");
    EXPECT_STREQ(getRegistrationReplyString(0), "Unknown");
}

}  // namespace
