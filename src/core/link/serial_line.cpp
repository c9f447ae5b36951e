#include "link/serial_line.h"

#include <algorithm>

namespace dtu {

std::chrono::microseconds wireTime(std::size_t bytes, const LineSettings& line) {
    if (line.baud <= 0 || bytes == 0) return std::chrono::microseconds{0};
    // Counted in half bits, so that one and a half stop bits stay exact.
    const std::int64_t stopHalfBits = line.stopIndex == 1 ? 3 : line.stopIndex == 2 ? 4 : 2;
    const std::int64_t halfBits = 2 * (1 + 8 + (line.parityIndex != 0 ? 1 : 0)) + stopHalfBits;
    const std::int64_t num = static_cast<std::int64_t>(bytes) * halfBits * 1'000'000;
    const std::int64_t den = 2 * static_cast<std::int64_t>(line.baud);
    return std::chrono::microseconds{(num + den - 1) / den};
}

std::string lineRefusalText(const LineRefusal& refused, int baud, Language lang) {
    const bool en = lang == Language::English;
    std::string text = en ? "The port refused these line settings: " : "串口不接受这些设置：";
    bool first = true;
    auto add = [&](bool on, const std::string& what) {
        if (!on) return;
        if (!first) text += en ? ", " : "、";
        first = false;
        text += what;
    };
    add(refused.baud, (en ? "baud rate " : "波特率 ") + std::to_string(baud));
    add(refused.parity, en ? "parity" : "校验位");
    add(refused.stopBits, en ? "stop bits" : "停止位");
    return text;
}

void LineOutput::queue(std::span<const std::uint8_t> bytes, bool piece, Time now) {
    if (bytes.empty()) return;
    const Time start = std::max(now, m_freeAt);
    // Behind a piece that still waits, anything waits for the line too: the piece goes alone.
    const bool behindWaiting = !m_queue.empty() && m_queue.back().due > now;
    const Time due = piece || behindWaiting ? start : now;
    m_queue.push_back({{bytes.begin(), bytes.end()}, due});
    m_freeAt = start + wireTime(bytes.size(), m_line);
}

LineOutput::Step LineOutput::take(Time now) {
    Step step;
    while (!m_queue.empty() && m_queue.front().due <= now) {
        step.writes.push_back(std::move(m_queue.front().bytes));
        m_queue.pop_front();
    }
    if (!m_queue.empty()) step.next = m_queue.front().due;
    return step;
}

LineOutput::Time LineOutput::busyFor(Time now) const {
    return std::max(Time{0}, m_freeAt - now);
}

int LineOutput::answerTimeoutMs(int timeoutMs, Time now) const {
    const auto busy = std::chrono::ceil<std::chrono::milliseconds>(busyFor(now));
    return timeoutMs + static_cast<int>(busy.count());
}

void LineOutput::clear() {
    m_queue.clear();
    m_freeAt = Time{0};
}

}  // namespace dtu
