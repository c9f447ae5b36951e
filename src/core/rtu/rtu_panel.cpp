#include "rtu/rtu_panel.h"

#include <cstdio>

#include "link/frame.h"
#include "rtu/rtu_texts.h"

namespace dtu {

namespace {

constexpr int kPollFirstMs = 100;
constexpr int kPollMs = 1000;
constexpr int kPollAfterRelayMs = 3000;
constexpr int kPollAfterClearMs = 500;
constexpr int kRefreshMs = 30;
constexpr int kRefreshResumeMs = 1000;
constexpr int kRelaySyncMs = 1000;
constexpr int kRelaySendPauseMs = 100;
constexpr int kRelayDonePauseMs = 30;
constexpr int kCalibrationSendPauseMs = 300;
constexpr int kCalibrationArmPauseMs = 30;
constexpr int kCalibrationCheckMs = 100;
// The answer has this many checks to arrive; the next one reports the failure.
constexpr int kCalibrationChecks = 10;

constexpr std::uint8_t kRelayOpen = 0;
constexpr std::uint8_t kRelayClose = 1;
constexpr std::uint8_t kRelayUnchanged = 3;

}  // namespace

std::array<std::uint8_t, 18> relaySwitchRequest(int relay, bool close) {
    std::array<std::uint8_t, kRtuRelays> actions;
    actions.fill(kRelayUnchanged);
    actions[static_cast<std::size_t>(relay)] = close ? kRelayClose : kRelayOpen;
    return relayControlRequest(actions);
}

std::string analogText(int mode, std::uint32_t reading, std::uint32_t raw) {
    char buf[48];
    if (mode <= 0 || mode >= kAnalogModeCount) {
        std::snprintf(buf, sizeof buf, "%u;%u", reading, raw);
        return buf;
    }
    // Full scale of the 0-5 V range is 7727 / 10000 of the word's units; 0-10 V doubles it and
    // 0-20 mA is four times the 0-5 V figure. The quotient is truncated, then taken in single
    // precision as the device's tool always showed it. The product is computed without wrapping.
    const std::uint64_t scale = mode == 3 ? 20000 : 10000;
    const auto q = static_cast<std::uint32_t>(std::uint64_t{reading} * scale / 7727);
    float value = static_cast<float>(q) / 1000.0f;
    if (mode == 1) value *= 4.0f;
    std::snprintf(buf, sizeof buf, "%.3f %s", static_cast<double>(value), mode == 1 ? "mA" : "V");
    return buf;
}

std::string coefficientsText(const std::array<std::uint32_t, 6>& analog) {
    char buf[64];
    std::snprintf(buf, sizeof buf, " adc0: %u adc1: %u", analog[4], analog[5]);
    return buf;
}

RtuPanel::RtuPanel(RtuPanelEffects& effects, LiveState& live, RtuPanelMemory& memory)
    : m_fx(effects), m_live(live), m_memory(memory) {}

void RtuPanel::open() {
    m_view = RtuPanelView{};
    m_mode = 0;
    // One poll, so that the pictures show the device rather than everything at rest; its relay
    // states are taken like those after ticking auto refresh, and not an older answer's.
    m_relayAutoSync = true;
    m_live.liveRelaysFresh = false;
    m_fx.sendFrame(ioPollRequest());
    m_fx.startTimer(RtuTimer::Refresh, kRefreshMs);
    m_fx.viewChanged();
}

void RtuPanel::close() {
    for (RtuTimer t : {RtuTimer::Poll, RtuTimer::Refresh, RtuTimer::RefreshResume,
                       RtuTimer::RelaySync, RtuTimer::CalibrationCheck, RtuTimer::Step})
        m_fx.stopTimer(t);
    m_autoRefresh = false;
    m_step = Step::None;
    m_queued.clear();
}

void RtuPanel::setAutoRefresh(bool on) {
    m_autoRefresh = on;
    if (on) {
        m_relayAutoSync = true;
        m_fx.startTimer(RtuTimer::Poll, kPollFirstMs);
    } else {
        m_fx.stopTimer(RtuTimer::Poll);
    }
}

void RtuPanel::setDisplayMode(int mode) {
    if (mode >= 0 && mode < kAnalogModeCount) m_mode = mode;
}

void RtuPanel::clickInput(int input) {
    if (input != 0) return;
    ++m_memory.x1Clicks;
    if (m_memory.x1Clicks > 10 && !m_view.serviceButtons) {
        m_view.serviceButtons = true;
        m_fx.viewChanged();
    }
}

void RtuPanel::clickRelay(int relay) {
    if (relay < 0 || relay >= kRtuRelays) return;
    if (busy()) {
        m_queued.push_back({Action::Relay, relay});
        return;
    }
    const auto c = static_cast<std::size_t>(relay);
    m_view.relayEnabled[c] = false;
    const bool close = !m_view.relayClosed[c];
    m_view.relayClosed[c] = close;
    m_fx.startTimer(RtuTimer::RelaySync, kRelaySyncMs);
    if (m_autoRefresh) m_fx.stopTimer(RtuTimer::Poll);
    m_relayFrame = relaySwitchRequest(relay, close);
    m_live.liveRelays[c] = close ? kRelayClose : kRelayOpen;
    // A poll answered before the frame goes out must not turn the picture back.
    m_live.liveRelaysFresh = false;
    m_step = Step::RelaySend;
    m_stepRelay = relay;
    m_fx.startTimer(RtuTimer::Step, kRelaySendPauseMs);
    m_fx.viewChanged();
}

void RtuPanel::clearCounters() {
    if (busy()) {
        m_queued.push_back({Action::Clear, 0});
        return;
    }
    if (m_autoRefresh) {
        // The zeros stay for a second; the poll before then brings the cleared counters.
        m_fx.stopTimer(RtuTimer::Poll);
        m_fx.stopTimer(RtuTimer::Refresh);
        m_fx.startTimer(RtuTimer::RefreshResume, kRefreshResumeMs);
        m_fx.startTimer(RtuTimer::Poll, kPollAfterClearMs);
    } else {
        m_fx.stopTimer(RtuTimer::Poll);
    }
    m_fx.sendFrame(clearCountersRequest());
    m_view.counters.fill("0");
    m_fx.viewChanged();
}

void RtuPanel::calibrate() {
    if (busy()) {
        m_queued.push_back({Action::Calibrate, 0});
        return;
    }
    if (m_autoRefresh) m_fx.stopTimer(RtuTimer::Poll);
    m_step = Step::CalibrationSend;
    m_fx.startTimer(RtuTimer::Step, kCalibrationSendPauseMs);
}

void RtuPanel::onTimer(RtuTimer timer) {
    switch (timer) {
        case RtuTimer::Poll:
            m_fx.sendFrame(ioPollRequest());
            m_fx.startTimer(RtuTimer::Poll, kPollMs);
            break;
        case RtuTimer::Refresh:
            refresh();
            break;
        case RtuTimer::RefreshResume:
            m_fx.stopTimer(RtuTimer::RefreshResume);
            m_fx.startTimer(RtuTimer::Refresh, kRefreshMs);
            break;
        case RtuTimer::RelaySync:
            m_live.liveRelaysFresh = true;
            break;
        case RtuTimer::CalibrationCheck:
            checkCalibration();
            break;
        case RtuTimer::Step:
            onStep();
            break;
    }
}

void RtuPanel::onStep() {
    switch (m_step) {
        case Step::None:
            m_fx.stopTimer(RtuTimer::Step);
            break;
        case Step::RelaySend: {
            // An answer since the click carried the relay as it was before it; the relay states
            // count as fresh again a second after the click, and must show the click's.
            const auto c = static_cast<std::size_t>(m_stepRelay);
            m_live.liveRelays[c] = m_view.relayClosed[c] ? kRelayClose : kRelayOpen;
            m_live.liveRelaysFresh = false;
            m_fx.sendFrame(m_relayFrame);
            if (m_autoRefresh) m_fx.startTimer(RtuTimer::Poll, kPollAfterRelayMs);
            m_step = Step::RelayDone;
            m_fx.startTimer(RtuTimer::Step, kRelayDonePauseMs);
            break;
        }
        case Step::RelayDone:
            m_live.liveRelaysFresh = false;
            m_view.relayEnabled[static_cast<std::size_t>(m_stepRelay)] = true;
            m_fx.viewChanged();
            finishSequence();
            break;
        case Step::CalibrationSend:
            // Cleared as the frame goes out: an acknowledgement left over from before does not
            // count, and one that comes back at once is not lost.
            m_live.calibrationAcked = false;
            m_fx.sendFrame(calibrationRequest());
            if (m_autoRefresh) m_fx.startTimer(RtuTimer::Poll, kPollMs);
            m_step = Step::CalibrationArm;
            m_fx.startTimer(RtuTimer::Step, kCalibrationArmPauseMs);
            break;
        case Step::CalibrationArm:
            m_calibrationTicks = 0;
            m_fx.startTimer(RtuTimer::CalibrationCheck, kCalibrationCheckMs);
            finishSequence();
            break;
    }
}

void RtuPanel::finishSequence() {
    m_fx.stopTimer(RtuTimer::Step);
    m_step = Step::None;
    while (!busy() && !m_queued.empty()) {
        const Queued next = m_queued.front();
        m_queued.pop_front();
        switch (next.action) {
            case Action::Relay:
                clickRelay(next.relay);
                break;
            case Action::Clear:
                clearCounters();
                break;
            case Action::Calibrate:
                calibrate();
                break;
        }
    }
}

void RtuPanel::checkCalibration() {
    ++m_calibrationTicks;
    if (m_live.calibrationAcked) {
        m_fx.stopTimer(RtuTimer::CalibrationCheck);
        m_calibrationTicks = 0;
        m_fx.message(rtuText::kCalibrationOk);
    } else if (m_calibrationTicks > kCalibrationChecks) {
        m_calibrationTicks = 0;
        m_fx.stopTimer(RtuTimer::CalibrationCheck);
        m_fx.message(rtuText::kCalibrationFailed);
    }
}

void RtuPanel::refresh() {
    const RtuPanelView before = m_view;
    if (m_live.liveInputsFresh) {
        m_live.liveInputsFresh = false;
        for (std::size_t i = 0; i < kRtuInputs; ++i) {
            const std::uint8_t state = m_live.liveInputs[i];
            if (state <= 1) m_view.inputActive[i] = state == 1;  // others leave the picture
        }
    }
    // While a click is on its way the relay states of earlier answers are stale; the click's
    // own steps clear them.
    const bool relayStep = m_step == Step::RelaySend || m_step == Step::RelayDone;
    if (m_relayAutoSync && m_live.liveRelaysFresh && !relayStep) {
        m_relayAutoSync = false;
        m_live.liveRelaysFresh = false;
        for (std::size_t i = 0; i < kRtuRelays; ++i) {
            const std::uint8_t state = m_live.liveRelays[i];
            if (state <= 1) m_view.relayClosed[i] = state == 1;
        }
    }
    // Analogue readings and counters stay fresh once they came: a form opened later shows them.
    if (m_live.liveAnalogFresh) {
        const auto& w = m_live.liveAnalog;
        m_view.analog1 = analogText(m_mode, w[1], w[0]);
        m_view.analog2 = analogText(m_mode, w[3], w[2]);
    }
    if (m_live.liveCountersFresh) {
        for (std::size_t i = 0; i < kRtuInputs; ++i)
            m_view.counters[i] = std::to_string(m_live.liveCounters[i]);
    }
    if (!(m_view == before)) m_fx.viewChanged();
}

}  // namespace dtu
