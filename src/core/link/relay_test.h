#pragma once

#include <cstdint>
#include <span>

namespace dtu {

// How long the test switch stays unusable after a click, so that the relay is not chattered.
inline constexpr int kRelayTestPauseMs = 200;

class RelayTestEffects {
public:
    virtual ~RelayTestEffects() = default;
    virtual void writeBytes(std::span<const std::uint8_t> bytes) = 0;
    // One shot: the pause after a click. It counts from when the frame has left the line.
    virtual void startTimer(int ms) = 0;
    virtual void stopTimer() = 0;
    virtual void setSwitchEnabled(bool enabled) = 0;
    // The switch's face: the green closed switch, or the red open one.
    virtual void showClosed(bool closed) = 0;
};

// The relay dialog's test switch for the single relay Y1. Each click flips the face and sends
// the matching test frame; the face starts open whatever the relay really is, and it flips also
// when the port is closed, when nothing is sent. The device's answer is not waited for.
class RelayTest {
public:
    explicit RelayTest(RelayTestEffects& effects) : m_fx(effects) {}

    // A click while the switch is held after the last one does nothing.
    void click(bool portOpen);
    void onTimer();

    bool closed() const { return m_closed; }
    bool enabled() const { return m_enabled; }

private:
    RelayTestEffects& m_fx;
    bool m_closed = false;
    bool m_enabled = true;
};

}  // namespace dtu
