// The sound-device queue keeper: standing delay is skipped after a whole
// window of looks, the margin grows only with underruns, and a splice
// joins the audio on either side without a jump.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "voice/media/backlog_trim.h"

namespace voice::media {
namespace {

int lookWindow(BacklogTrim& trim, size_t queued, size_t& skipped) {
    int skips = 0;
    for (int i = 0; i < BacklogTrim::kWindowLooks; ++i) {
        const size_t skip = trim.look(queued);
        if (skip > 0) ++skips;
        skipped += skip;
    }
    return skips;
}

TEST(BacklogTrim, StandingDelayIsSkippedOnceAWholeWindowShowedIt) {
    BacklogTrim trim(480, 16);
    size_t skipped = 0;
    // One look lower than the rest: only what was queued at every look stands.
    for (int i = 0; i < BacklogTrim::kWindowLooks - 1; ++i) EXPECT_EQ(trim.look(i == 7 ? 90 : 120), 0u);
    EXPECT_EQ(trim.look(120), 90u);
    EXPECT_EQ(lookWindow(trim, 5, skipped), 0) << "less than the smallest skip stays";
    EXPECT_EQ(skipped, 0u);
}

TEST(BacklogTrim, UnderrunsGrowTheMarginUpToItsCapAndTheMarginIsKept) {
    BacklogTrim trim(100, 16);
    EXPECT_EQ(trim.underrun(40), 40u);
    EXPECT_EQ(trim.underrun(40), 40u);
    EXPECT_EQ(trim.underrun(40), 20u) << "capped";
    EXPECT_EQ(trim.underrun(40), 0u);
    EXPECT_EQ(trim.margin(), 100u);
    size_t skipped = 0;
    EXPECT_EQ(lookWindow(trim, 100, skipped), 0) << "the margin is not standing delay";
    EXPECT_EQ(lookWindow(trim, 160, skipped), 1);
    EXPECT_EQ(skipped, 60u);
    trim.reset();
    EXPECT_EQ(trim.margin(), 0u);
}

TEST(BacklogTrim, ASpliceJoinsTheAudioWithoutAJump) {
    std::vector<int16_t> in(160), out(160);
    for (size_t i = 0; i < in.size(); ++i) in[i] = int16_t(8000 * std::sin(2 * M_PI * 300 * double(i) / 8000));
    const size_t written = spliceOut(in.data(), in.size(), 50, out.data());
    ASSERT_EQ(written, 110u);
    int largestStep = 0, inputStep = 0;
    for (size_t i = 1; i < written; ++i) largestStep = std::max(largestStep, std::abs(out[i] - out[i - 1]));
    for (size_t i = 1; i < in.size(); ++i) inputStep = std::max(inputStep, std::abs(in[i] - in[i - 1]));
    EXPECT_LE(largestStep, inputStep + 200) << "no click at the splice";
    EXPECT_EQ(out[0], in[0]) << "starts where the audio before it left off";
    EXPECT_EQ(out[written - 1], in[159]) << "ends with the audio after the skip";
    // A skip too long for the blend is shortened; a frame too short is copied.
    EXPECT_EQ(spliceOut(in.data(), 160, 150, out.data()), 40u);
    EXPECT_EQ(spliceOut(in.data(), 30, 10, out.data()), 30u);
}

}  // namespace
}  // namespace voice::media
