#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <span>
#include <string>

#include "params/live_state.h"
#include "rtu/rtu_settings.h"
#include "text/language.h"

namespace dtu {

// The relay frame that closes or opens one relay (0..7) and leaves the others unchanged.
std::array<std::uint8_t, 18> relaySwitchRequest(int relay, bool close);

// The analogue display modes of the test panel: raw words, then the three ranges.
inline constexpr int kAnalogModeCount = 4;
// One analogue input's text in a display mode, from its reading word (w1, w3) and, for the
// raw mode only, the word beside it (w0, w2): "3864;12", or the reading with three decimals and
// its unit ("20.000 mA", "5.000 V").
std::string analogText(int mode, std::uint32_t reading, std::uint32_t raw);

// " adc0: %d adc1: %d" with the calibration coefficients of the two inputs (words 4 and 5).
std::string coefficientsText(const std::array<std::uint32_t, 6>& analog);

// What the test panel keeps for as long as the tool runs, whatever forms open and close.
struct RtuPanelMemory {
    int x1Clicks = 0;  // clicks on the X1 picture; the eleventh reveals the service buttons
};

// The timers of the test panel. Each runs at its period until stopped or restarted.
enum class RtuTimer : std::uint8_t {
    Poll,           // the I/O poll: 100 ms after auto refresh is ticked, then every second
    Refresh,        // the display, every 30 ms
    RefreshResume,  // a second after counters were cleared under auto refresh
    RelaySync,      // every second after a relay click: the relay states count as fresh
    // Every 100 ms the calibration answer is looked for. It waits for an answer, so its
    // periods count from when the frame has left the line.
    CalibrationCheck,
    Step,  // the pauses inside a relay click and a calibration
};

// What the panel shows. The pictures are two-state; a text is shown as it stands.
struct RtuPanelView {
    std::array<bool, kRtuInputs> inputActive{};
    std::array<bool, kRtuRelays> relayClosed{};
    std::array<bool, kRtuRelays> relayEnabled{true, true, true, true, true, true, true, true};
    std::string analog1 = "0.0";
    std::string analog2 = "0.0";
    std::array<std::string, kRtuInputs> counters{"0", "0", "0", "0", "0", "0", "0", "0"};
    bool serviceButtons = false;  // calibrate and view coefficients
    friend bool operator==(const RtuPanelView&, const RtuPanelView&) = default;
};

class RtuPanelEffects {
public:
    virtual ~RtuPanelEffects() = default;
    // Through the session's write path, which writes nothing while the port is closed.
    virtual void sendFrame(std::span<const std::uint8_t> frame) = 0;
    virtual void startTimer(RtuTimer timer, int ms) = 0;  // (re)starts it at this period
    virtual void stopTimer(RtuTimer timer) = 0;
    virtual void viewChanged() = 0;
    virtual void message(FormLabel text) = 0;
};

// The live test panel of the RTU form: polls the device's inputs, relays, analogue readings
// and counters while auto refresh is on, shows what the answers left in the live state,
// switches relays, clears the counters and calibrates the analogue inputs. The answers arrive
// through the session's answer handling, which fills `live`; the panel only reads it (and
// clears its fresh flags). Driven by calls and timer events only; nothing in it waits.
//
// A relay click and a calibration run as short sequences of timed steps. An action that would
// start another sequence, or send, while one runs is taken when it ends, in the order given, so
// frames go out as the user asked for them and the window never stops answering.
class RtuPanel {
public:
    RtuPanel(RtuPanelEffects& effects, LiveState& live, RtuPanelMemory& memory);

    // The form opened: pictures at rest until the answer to one poll shows the device's
    // states (the session writes nothing while the port is closed), display mode 0, the
    // display refresh runs.
    void open();
    // The form closed: its timers end with it.
    void close();

    void setAutoRefresh(bool on);
    bool autoRefresh() const { return m_autoRefresh; }
    void setDisplayMode(int mode);
    int displayMode() const { return m_mode; }
    void clickInput(int input);  // 0..7
    void clickRelay(int relay);  // 0..7
    void clearCounters();
    void calibrate();
    std::string coefficientsText() const { return dtu::coefficientsText(m_live.liveAnalog); }

    void onTimer(RtuTimer timer);

    const RtuPanelView& view() const { return m_view; }
    // A relay click or a calibration is between its steps.
    bool busy() const { return m_step != Step::None; }

private:
    enum class Step : std::uint8_t { None, RelaySend, RelayDone, CalibrationSend, CalibrationArm };
    enum class Action : std::uint8_t { Relay, Clear, Calibrate };
    struct Queued {
        Action action;
        int relay;
    };

    void refresh();
    void onStep();
    void finishSequence();
    void checkCalibration();

    RtuPanelEffects& m_fx;
    LiveState& m_live;
    RtuPanelMemory& m_memory;
    RtuPanelView m_view;
    bool m_autoRefresh = false;
    // The relay pictures take the device's states from the next answer: once after the form
    // opens and once after each ticking of auto refresh; afterwards they show what the user
    // switched.
    bool m_relayAutoSync = false;
    int m_mode = 0;
    Step m_step = Step::None;
    int m_stepRelay = 0;
    std::array<std::uint8_t, 18> m_relayFrame{};
    int m_calibrationTicks = 0;
    std::deque<Queued> m_queued;
};

}  // namespace dtu
