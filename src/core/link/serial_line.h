#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "text/language.h"

namespace dtu {

// The settings a serial line runs at: always 8 data bits; parity index 0 none, 1 odd, 2 even,
// 3 mark, 4 space; stop-bits index 0 one, 1 one and a half, 2 two.
struct LineSettings {
    int baud = 115200;
    int parityIndex = 0;
    int stopIndex = 0;
};

// Time the bytes need on the wire: per character a start bit, 8 data bits, the parity bit if
// any and the stop bits (one and a half counts as such). Rounded up to whole microseconds.
std::chrono::microseconds wireTime(std::size_t bytes, const LineSettings& line);

// What the port would not take when the line was set up; the rest still applies.
struct LineRefusal {
    bool baud = false;
    bool parity = false;
    bool stopBits = false;
    bool any() const { return baud || parity || stopBits; }
};

// The warning for a partly refused line, in the interface's language.
std::string lineRefusalText(const LineRefusal& refused, int baud, Language lang);

// The bytes on their way out to the line, in the order they were handed over, and when the
// line will have sent them. A port reports a write done once the driver holds the bytes, long
// before a slow line has sent them, so the time the line needs is counted here: an answer's
// time-out runs from when its request has left the line, and a request in pieces goes out one
// piece at a time, each only once the one before has left the line, so that an adapter that
// loses long writes never holds more than one piece.
class LineOutput {
public:
    using Time = std::chrono::microseconds;  // on the caller's steady clock

    void setLine(const LineSettings& line) { m_line = line; }
    const LineSettings& line() const { return m_line; }

    // Hands bytes over at `now`. A piece, and anything handed over while a piece waits, goes
    // out once everything before it has left the line; other bytes go out at once.
    void queue(std::span<const std::uint8_t> bytes, bool piece, Time now);

    struct Step {
        std::vector<std::vector<std::uint8_t>> writes;  // for the driver now, one write each
        std::optional<Time> next;                       // when the next write is due
    };
    // The writes that are due at `now`.
    Step take(Time now);

    // How long the line still needs for everything handed over so far.
    Time busyFor(Time now) const;
    // A time-out started at `now` for the answer to what was handed over: it counts from when
    // the line has sent it.
    int answerTimeoutMs(int timeoutMs, Time now) const;
    // The port closed: nothing waits any more and the line is free.
    void clear();
    std::size_t waiting() const { return m_queue.size(); }

private:
    struct Entry {
        std::vector<std::uint8_t> bytes;
        Time due;
    };
    LineSettings m_line;
    std::deque<Entry> m_queue;
    Time m_freeAt{0};
};

}  // namespace dtu
