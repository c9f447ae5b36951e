#include "transfer/transfer_rate.h"

#include <algorithm>

namespace dtu {

void TransferRate::update(std::uint32_t done, std::int64_t nowMs) {
    if (!m_started && done > 0) {
        // From the first unit done: the start request and the line's change of rate do not count.
        m_started = true;
        m_firstDone = done;
        m_firstMs = nowMs;
    }
    m_done = std::max(m_done, done);
    m_nowMs = nowMs;
}

std::optional<double> TransferRate::bytesPerSecond(double lineBytesPerSecond) const {
    const std::int64_t span = m_nowMs - m_firstMs;
    if (!m_started || span < kMinSpanMs || m_done <= m_firstDone) return std::nullopt;
    const double rate = double(m_done - m_firstDone) * double(m_unitBytes) * 1000.0 / double(span);
    return lineBytesPerSecond > 0 ? std::min(rate, lineBytesPerSecond) : rate;
}

}  // namespace dtu
