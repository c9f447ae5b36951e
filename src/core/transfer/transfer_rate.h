#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace dtu {

// The throughput a transfer's progress line shows. The first acknowledgements of a transfer can
// come in a burst (the driver took several frames at once), so a rate taken over a few
// milliseconds means nothing: the rate is measured from the first unit done and shown only once
// that span is long enough, and never above what the line can carry.
class TransferRate {
public:
    static constexpr std::int64_t kMinSpanMs = 1000;

    explicit TransferRate(std::size_t unitBytes) : m_unitBytes(unitBytes) {}

    // done units at nowMs (any steady clock in milliseconds).
    void update(std::uint32_t done, std::int64_t nowMs);

    // Bytes per second, or nothing while the measure is too short. lineBytesPerSecond bounds it
    // (0: no bound known).
    std::optional<double> bytesPerSecond(double lineBytesPerSecond) const;

private:
    std::size_t m_unitBytes;
    bool m_started = false;
    std::uint32_t m_firstDone = 0;
    std::int64_t m_firstMs = 0;
    std::uint32_t m_done = 0;
    std::int64_t m_nowMs = 0;
};

}  // namespace dtu
