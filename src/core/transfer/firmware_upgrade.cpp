#include "transfer/firmware_upgrade.h"

#include <cstdio>
#include <utility>

namespace dtu {

namespace {

constexpr std::size_t kStepOffset = 5;
constexpr std::size_t kBlockNumberOffset = 8;
constexpr std::size_t kResultOffset = 10;
// Head, command, length, step and tail: the least an answer that names its step can be.
constexpr std::size_t kMinAnswer = kFrameOverhead + 1;

// Only answers to the firmware command count; everything else on the line is ignored.
bool isFirmwareAnswer(std::span<const std::uint8_t> b) {
    return b.size() >= kMinAnswer && isFrame(b) && b[2] == answerCode(CMD_FIRMWARE);
}

// Whether the byte at offset lies inside the answer's payload, before the tail.
bool carries(std::span<const std::uint8_t> frame, std::size_t offset) {
    return offset + 2 < frame.size();
}

}  // namespace

bool FirmwareUpgrade::start(FirmwareImage image, const Options& options) {
    if (running()) return false;
    m_image = std::move(image);
    m_options = options;
    m_lineSwitched = false;
    m_blockIndex = 0;
    m_state = State::Starting;
    send(firmwareStartFrame(m_image.imageType, options.factoryReset, options.lock),
         kFirmwareSetupTimeoutMs);
    m_fx.progress(0, blockCount());
    m_fx.statusText(" ");
    return true;
}

void FirmwareUpgrade::send(std::vector<std::uint8_t> frame, int timeoutMs) {
    m_lastFrame = std::move(frame);
    m_retryCount = 0;
    m_fx.writeBytes(m_lastFrame);
    m_fx.startTimer(FirmwareTimer::Answer, timeoutMs);
}

void FirmwareUpgrade::sendSize() {
    m_state = State::Sizing;
    m_blockIndex = 0;
    send(firmwareSizeFrame(m_image.imageSize(), m_options.lock), kFirmwareSetupTimeoutMs);
}

void FirmwareUpgrade::sendBlock() {
    send(firmwareBlockFrame(m_image, m_blockIndex, m_options.lock), kFirmwareBlockTimeoutMs);
    ++m_blockIndex;
}

void FirmwareUpgrade::showCount() {
    char text[32];
    std::snprintf(text, sizeof text, "%u/%u", static_cast<unsigned>(m_blockIndex),
                  static_cast<unsigned>(blockCount()));
    m_fx.statusText(text);
}

void FirmwareUpgrade::onBurst(std::span<const std::uint8_t> burst) {
    if (!running() || m_state == State::Switching || !isFirmwareAnswer(burst)) return;
    onAnswer(burst);
}

void FirmwareUpgrade::onAnswer(std::span<const std::uint8_t> frame) {
    // An answer to anything but the frame outstanding (a late repeat, a stray step) is not
    // one: the timer keeps running, so the flow can never be left waiting for nothing.
    const std::uint8_t step = frame[kStepOffset];
    switch (m_state) {
        case State::Starting:
            if (step != FW_START) return;
            m_fx.stopTimer(FirmwareTimer::Answer);
            // Both ends change the rate now; the device needs a moment before it listens.
            m_state = State::Switching;
            m_lineSwitched = true;
            m_fx.useTransferLine();
            m_fx.progress(0, blockCount());
            m_fx.startTimer(FirmwareTimer::SwitchPause, kFirmwareSwitchPauseMs);
            return;
        case State::Sizing:
            if (step != FW_SIZE) return;
            m_fx.stopTimer(FirmwareTimer::Answer);
            m_state = State::Sending;
            sendBlock();
            break;
        case State::Sending: {
            const bool allSent = m_blockIndex >= blockCount();
            if (step == FW_LAST_BLOCK && allSent) {
                m_fx.stopTimer(FirmwareTimer::Answer);
                m_fx.progress(m_blockIndex, blockCount());
                const bool resetDone =
                    carries(frame, kResultOffset) && frame[kResultOffset] == kFirmwareFactoryReset;
                finish(true, text(firmwareText::kSucceeded), resetDone);
                return;
            }
            if (step != FW_BLOCK || !carries(frame, kBlockNumberOffset + 1)) return;
            m_fx.stopTimer(FirmwareTimer::Answer);
            const std::uint32_t next =
                std::uint32_t{frame[kBlockNumberOffset]} << 8 | frame[kBlockNumberOffset + 1];
            if (next != m_blockIndex) {
                m_fx.progress(m_blockIndex, blockCount());
                m_badNumber = true;
                finish(false, text(firmwareText::kBadNumber));
                return;
            }
            if (allSent) {
                // Nothing left to send: the last block is repeated until the device reports.
                m_fx.startTimer(FirmwareTimer::Answer, kFirmwareBlockTimeoutMs);
            } else {
                sendBlock();
            }
            break;
        }
        case State::Idle:
        case State::Switching:
            return;
    }
    m_fx.progress(m_blockIndex, blockCount());
    showCount();
}

void FirmwareUpgrade::onTimer(FirmwareTimer timer) {
    if (!running()) {
        m_fx.stopTimer(timer);
        return;
    }
    if (timer == FirmwareTimer::SwitchPause) {
        m_fx.stopTimer(FirmwareTimer::SwitchPause);
        if (m_state == State::Switching) sendSize();
        return;
    }
    if (m_state == State::Switching) return;
    if (m_retryCount >= kFirmwareMaxRepeats) {
        char code[8];
        std::snprintf(code, sizeof code, "(0x%02x)", m_lastFrame.size() > 3 ? m_lastFrame[3] : 0);
        finish(false, text(firmwareText::kFailed) + code);
        return;
    }
    m_fx.writeBytes(m_lastFrame);
    ++m_retryCount;
}

void FirmwareUpgrade::abort(const std::string& text, bool lineUsable) {
    if (!running()) return;
    finish(false, text, false, lineUsable);
}

void FirmwareUpgrade::finish(bool ok, std::string text, bool factoryResetDone, bool lineUsable) {
    m_fx.stopTimer(FirmwareTimer::Answer);
    m_fx.stopTimer(FirmwareTimer::SwitchPause);
    m_state = State::Idle;
    m_retryCount = 0;
    // Whatever the outcome, the rest of the tool talks to the device at the line's own rate.
    if (m_lineSwitched && lineUsable && m_options.restoreBaud > 0)
        m_fx.restoreLine(m_options.restoreBaud);
    m_lineSwitched = false;
    m_fx.statusText(text);
    FirmwareResult result;
    result.ok = ok;
    result.text = std::move(text);
    result.factoryResetAsked = m_options.factoryReset;
    result.factoryResetDone = ok && m_options.factoryReset && factoryResetDone;
    result.badNumber = std::exchange(m_badNumber, false);
    m_fx.finished(result);
}

std::string factoryResetText(bool done, Language lang) {
    if (lang == Language::English)
        return done ? "The device restored its factory settings"
                    : "The device did not restore its factory settings";
    return done ? "设备已恢复出厂设置" : "设备未恢复出厂设置";
}

}  // namespace dtu
