#include "voice/media/backlog_trim.h"

#include <algorithm>

namespace voice::media {

void BacklogTrim::reset() {
    m_margin = 0;
    m_windowMin = std::numeric_limits<size_t>::max();
    m_looks = 0;
}

size_t BacklogTrim::underrun(size_t step) {
    const size_t grown = std::min(step, m_maxMargin - std::min(m_margin, m_maxMargin));
    m_margin += grown;
    // The queue was just disturbed: judge the standing delay afresh.
    m_windowMin = std::numeric_limits<size_t>::max();
    m_looks = 0;
    return grown;
}

size_t BacklogTrim::look(size_t queued) {
    m_windowMin = std::min(m_windowMin, queued);
    if (++m_looks < kWindowLooks) return 0;
    const size_t standing = m_windowMin > m_margin ? m_windowMin - m_margin : 0;
    m_windowMin = std::numeric_limits<size_t>::max();
    m_looks = 0;
    return standing >= m_minSkip ? standing : 0;
}

size_t spliceOut(const int16_t* in, size_t count, size_t skip, int16_t* out) {
    if (count < kSpliceBlendSamples) skip = 0;
    skip = std::min(skip, count - std::min(count, kSpliceBlendSamples));
    if (skip == 0) {
        std::copy(in, in + count, out);
        return count;
    }
    constexpr long kBlend = long(kSpliceBlendSamples);
    for (size_t i = 0; i < kSpliceBlendSamples; ++i) {
        const long w = long(i);
        out[i] = int16_t((long(in[i]) * (kBlend - w) + long(in[skip + i]) * w) / kBlend);
    }
    std::copy(in + skip + kSpliceBlendSamples, in + count, out + kSpliceBlendSamples);
    return count - skip;
}

}  // namespace voice::media
