#include "link/burst.h"

#include <algorithm>

#include "link/frame.h"

namespace dtu {

int frameGatherPauseMs(int baud) {
    // Below 9600 the pause is about 38 character times at 10 bits (320 ms at 1200), so that a
    // frame the device sends in parts is not cut in two on any slow line.
    constexpr int kFastPauseMs = 50;
    constexpr int kSlowPauseBitMs = 384000;
    if (baud <= 0 || baud >= 9600) return kFastPauseMs;
    return std::max(kFastPauseMs, (kSlowPauseBitMs + baud - 1) / baud);
}

namespace {

// Size of the whole frame at the start of b, when it has fully arrived and ends in the tail.
std::size_t completeFrameSize(std::span<const std::uint8_t> b) {
    if (!startsWithHead(b) || b.size() < kFrameOverhead) return 0;
    const std::size_t size = kFrameOverhead + (std::size_t(b[3]) << 8 | b[4]);
    if (b.size() < size || b[size - 2] != FRAME_TAIL_1 || b[size - 1] != FRAME_TAIL_2) return 0;
    return size;
}

// A lone first head byte may be a frame's first byte: it gets the frame's patience.
bool mayStartFrame(std::span<const std::uint8_t> b) {
    return !b.empty() && b[0] == FRAME_HEAD_1 && (b.size() < 2 || b[1] == FRAME_HEAD_2);
}

}  // namespace

int BurstGatherer::pauseMs() const {
    if (m_firmware || !mayStartFrame(m_buffer)) return kRawGatherPauseMs;
    return m_framePauseMs;
}

std::optional<int> BurstGatherer::frameArrivingMs() const {
    if (m_firmware || !mayStartFrame(m_buffer)) return std::nullopt;
    return m_framePauseMs;
}

void BurstGatherer::takeCompleteFrames(Step& step) {
    std::size_t size;
    while ((size = completeFrameSize(m_buffer)) > 0) {
        step.bursts.push_back({{m_buffer.begin(), m_buffer.begin() + std::ptrdiff_t(size)}});
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + std::ptrdiff_t(size));
    }
}

BurstGatherer::Step BurstGatherer::onBytes(std::span<const std::uint8_t> bytes) {
    Step step;
    while (!bytes.empty()) {
        const std::size_t room = kBurstCapacity - m_buffer.size();
        const std::size_t n = std::min(room, bytes.size());
        m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
        bytes = bytes.subspan(n);
        takeCompleteFrames(step);
        if (m_buffer.size() == kBurstCapacity) {
            step.bursts.push_back({std::move(m_buffer), true});
            m_buffer.clear();
        }
    }
    if (!m_buffer.empty()) step.timerMs = pauseMs();
    return step;
}

std::optional<Burst> BurstGatherer::beforeRequest() {
    std::optional<Burst> raw;
    if (!m_buffer.empty() && !mayStartFrame(m_buffer)) raw = Burst{std::move(m_buffer)};
    m_buffer.clear();
    return raw;
}

BurstGatherer::Step BurstGatherer::onTimer() {
    Step step;
    if (!m_buffer.empty()) step.bursts.push_back({std::move(m_buffer)});
    m_buffer.clear();
    return step;
}

}  // namespace dtu
