#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace dtu {

// Bytes from the device arrive in arbitrary pieces; the receive path gathers them into bursts.
// A burst that starts with the frame head is delivered as soon as it holds a whole frame by its
// length field and tail, so two answers back to back are two frames. Anything else is delivered
// when the line has been quiet for the gathering pause.

inline constexpr std::size_t kBurstCapacity = 10240;
inline constexpr int kRawGatherPauseMs = 20;

// Quiet time that ends a burst starting like a frame, by the line's baud rate: 50 ms from 9600
// up, longer on slower lines (1200 320 ms, 2400 160 ms, 4800 80 ms, and so on for any rate) so
// that a frame is not cut in two.
int frameGatherPauseMs(int baud);

struct Burst {
    std::vector<std::uint8_t> bytes;
    bool cut = false;  // the burst filled kBurstCapacity and was delivered as it stood
};

class BurstGatherer {
public:
    // What the caller must do after an event: hand over the bursts in order, then (re)start the
    // quiet timer with timerMs, or stop it when timerMs is negative.
    struct Step {
        std::vector<Burst> bursts;
        int timerMs = -1;
    };

    // The line's baud rate sets the frame pause; in firmware mode every burst uses the raw pause,
    // as the firmware receiver wants its answers quickly.
    void setLineBaud(int baud) { m_framePauseMs = frameGatherPauseMs(baud); }
    void setFirmwareMode(bool on) { m_firmware = on; }

    Step onBytes(std::span<const std::uint8_t> bytes);
    Step onTimer();  // the quiet timer expired
    // A request is about to go out: a half-gathered frame (what starts with the frame head, or
    // is its first byte alone) belongs to no answer any more and is dropped, but raw data
    // gathered so far is returned to be shown, never lost. The quiet timer is no longer needed
    // either way.
    std::optional<Burst> beforeRequest();
    void clear() { m_buffer.clear(); }
    std::size_t pending() const { return m_buffer.size(); }
    // While what is gathered may be the start of a frame still arriving, the quiet time after
    // which it is delivered either whole or as it stands; nothing otherwise. An answer's time-out
    // that expires meanwhile is not yet due: on a slow line a long answer takes longer on the
    // wire than the device had to start it.
    std::optional<int> frameArrivingMs() const;

private:
    void takeCompleteFrames(Step& step);
    int pauseMs() const;

    std::vector<std::uint8_t> m_buffer;
    int m_framePauseMs = 50;
    bool m_firmware = false;
};

}  // namespace dtu
