#include "link/command_flow.h"

#include <algorithm>

#include "params/field_table.h"
#include "status/status_report.h"
#include "text/gbk.h"
#include "text/hex.h"

namespace dtu {

int replyTimeoutMs(int currentBaud) {
    switch (currentBaud) {
        case 1200:
            return 8000;
        case 2400:
            return 4000;
        case 4800:
            return 3000;
        default:
            return currentBaud >= 9600 ? 3000 : 5000;
    }
}

int probeStepMs(int baud) {
    if (baud <= 0) return 6 * 30;
    return 6 * std::max(30, 230000 / baud + 1);
}

std::string rawDataLine(std::span<const std::uint8_t> burst, bool hex, Language lang) {
    std::string line(langText(lang, kTextData));
    line += ':';
    if (hex) {
        line += formatHex(burst);
    } else {
        const auto end = std::find(burst.begin(), burst.end(), std::uint8_t{0});
        line += gbkToDisplay(burst.first(static_cast<std::size_t>(end - burst.begin())));
        line += ' ';
    }
    line += "\r\n";
    return line;
}

std::string saveRefusalText(const SaveFrame& frame, Language lang) {
    const bool en = lang == Language::English;
    switch (frame.error) {
        case SaveFrameError::None:
            return {};
        case SaveFrameError::TooLarge:
            return (en ? "The parameters need " : "参数共需 ") + std::to_string(frame.needed) +
                   (en ? " bytes, more than the 4096 bytes of one save frame; nothing was sent."
                       : " 字节，超过一个保存帧的 4096 字节，未发送。");
        case SaveFrameError::PollCountTooLarge:
            return en ? "More than 64 Modbus poll entries; nothing was sent."
                      : "轮询条目超过 64 条，未发送。";
        case SaveFrameError::PollNameTooLong:
            return (en ? "The JSON name of poll entry " : "轮询条目 ") +
                   std::to_string(frame.badPollRecord + 1) +
                   (en ? " is longer than 57 bytes; nothing was sent."
                       : " 的 json 名超过 57 字节，未发送。");
        case SaveFrameError::NotReadBack: {
            const UnsendableValue& bad = frame.unsendable;
            const std::string name = bad.field ? bad.field->name : std::string("?");
            const std::string limit = std::to_string(bad.limit);
            return en ? name + " is longer than " + limit +
                            " bytes; the device could not give a longer value back, so nothing "
                            "was sent."
                      : name + " 超过 " + limit + " 字节，更长的值无法从设备读回，未发送。";
        }
    }
    return {};
}

CommandFlow::CommandFlow(LinkEffects& effects, DeviceParams& params, LiveState& live)
    : m_fx(effects), m_params(params), m_live(live) {}

std::string CommandFlow::text(int id) const {
    return std::string(langText(m_lang, id));
}

void CommandFlow::setPortOpen(bool open, int currentBaud) {
    m_portOpen = open;
    if (open) {
        m_currentBaud = currentBaud;
        m_probedBaud.reset();
    } else {
        stopProbe();
    }
}

bool CommandFlow::requirePort(bool readText) {
    if (m_portOpen) return true;
    m_fx.appendLog(std::string(readText && m_lang == Language::English
                                   ? linkText::kPortNotOpenReadEn
                                   : inLanguage(linkText::kPortNotOpen, m_lang)));
    return false;
}

void CommandFlow::sendFrame(std::span<const std::uint8_t> frame, bool inPieces) {
    if (!inPieces) {
        m_fx.writeBytes(frame, false);
        return;
    }
    for (const auto piece : splitPieces(frame)) m_fx.writeBytes(piece, true);
}

void CommandFlow::enableCommands(bool on) {
    m_commandsEnabled = on;
    m_fx.setCommandsEnabled(on);
}

void CommandFlow::begin(PendingCommand command, int timeoutMs) {
    m_fx.startTimer(LinkTimer::Reply, timeoutMs);
    m_pending = command;
}

bool CommandFlow::read() {
    if (!requirePort(true)) return false;
    enableCommands(false);
    sendFrame(fullReadRequest(m_lock), m_pieces);
    begin(PendingCommand::Read, replyTimeoutMs(m_currentBaud));
    return true;
}

bool CommandFlow::save(const std::function<bool()>& collect) {
    if (!requirePort()) return false;
    if (!m_paramsRead) {
        m_fx.appendLog(std::string(inLanguage(linkText::kReadFirst, m_lang)));
        return false;
    }
    if (collect && !collect()) return false;
    const SaveFrame frame = buildSaveFrame(m_params, m_lock);
    if (frame.error != SaveFrameError::None) {
        m_fx.messageBox(saveRefusalText(frame, m_lang));
        return false;
    }
    enableCommands(false);
    sendFrame(frame.view(), m_pieces);
    begin(PendingCommand::Save, replyTimeoutMs(m_currentBaud));
    return true;
}

bool CommandFlow::reboot() {
    if (!requirePort()) return false;
    enableCommands(false);
    sendFrame(rebootRequest(), false);
    begin(PendingCommand::Reboot, kCommandTimeoutMs);
    return true;
}

bool CommandFlow::factoryReset() {
    if (!requirePort()) return false;
    enableCommands(false);
    sendFrame(factoryResetRequest(), false);
    begin(PendingCommand::Reset, kCommandTimeoutMs);
    return true;
}

bool CommandFlow::deepReset() {
    if (!requirePort()) return false;
    enableCommands(false);
    sendFrame(deepResetRequest(), false);
    begin(PendingCommand::Reset, kCommandTimeoutMs);
    return true;
}

bool CommandFlow::requestDiagnostics() {
    if (!requirePort()) return false;
    sendFrame(singleTagRead(TAG_DIAGNOSTICS), false);
    return true;
}

bool CommandFlow::requestDeviceText() {
    if (!requirePort()) return false;
    sendFrame(singleTagRead(TAG_DEVICE_TEXT), false);
    return true;
}

bool CommandFlow::sendRaw(std::span<const std::uint8_t> bytes) {
    if (!m_portOpen || bytes.empty()) return false;
    sendFrame(bytes, false);
    return true;
}

void CommandFlow::startProbe() {
    m_fx.setPortButtonEnabled(false);
    m_probeIndex = 0;
    m_probing = true;
    m_probedBaud.reset();
    m_fx.startTimer(LinkTimer::Probe, kProbeStartMs);
}

void CommandFlow::stopProbe() {
    if (!m_probing) return;
    m_probing = false;
    m_fx.stopTimer(LinkTimer::Probe);
    // A port that failed during the probe must still be closable and reopenable.
    m_fx.setPortButtonEnabled(true);
}

void CommandFlow::onProbeTick() {
    if (!m_probing || m_probeIndex >= kProbeBaudTable.size()) return;
    const int baud = kProbeBaudTable[m_probeIndex];
    m_fx.configureLine(baud);
    m_fx.appendLog(std::string(inLanguage(linkText::kProbeTrying, m_lang)) + std::to_string(baud) +
                   "\r\n");
    ++m_probeIndex;
    m_pending = PendingCommand::Probe;
    sendFrame(singleTagRead(TAG_PROBE), false);
    m_fx.startTimer(LinkTimer::Probe, probeStepMs(baud));
    if (m_probeIndex == kProbeBaudTable.size()) {
        // The answer at the last rate may still arrive and is still reported.
        m_probing = false;
        m_fx.stopTimer(LinkTimer::Probe);
        m_fx.setPortButtonEnabled(true);
        m_fx.appendLog(std::string(inLanguage(linkText::kProbeFailed, m_lang)));
        m_fx.probeExhausted();
    }
}

void CommandFlow::onTimer(LinkTimer timer) {
    if (timer == LinkTimer::Probe) {
        onProbeTick();
        return;
    }
    enableCommands(true);
    const PendingCommand failed = m_pending;
    switch (failed) {
        case PendingCommand::Read:
            m_fx.appendLog(text(kTextReadFailed) + "\r\n");
            break;
        case PendingCommand::Save:
            m_fx.appendLog(text(kTextSaveFailed) + "\r\n");
            break;
        case PendingCommand::Reset:
            m_fx.appendLog(text(kTextDefaultFailed) + "\r\n");
            break;
        case PendingCommand::Reboot:
            m_fx.appendLog(text(kTextRestartFailed) + "\r\n");
            break;
        default:
            break;
    }
    m_fx.stopTimer(LinkTimer::Reply);
    // The command stays pending: an answer that comes late still reports success.
    if (failed != PendingCommand::None && failed != PendingCommand::Probe)
        m_fx.commandFinished(failed, false);
}

void CommandFlow::onBurst(std::span<const std::uint8_t> burst) {
    if (!isFrame(burst)) {
        m_fx.appendLog(rawDataLine(burst, m_rawHex, m_lang));
        return;
    }
    if (checkFrame(burst) != FrameCheck::Ok) {
        m_fx.messageBox(std::string(inLanguage(linkText::kTooShort, m_lang)));
        return;
    }
    onAnswer(burst);
}

namespace {

// The acknowledgement of a live request (relay switching and test, counter clear, calibration,
// certificate chunk) rather than of a save. Such an answer is no answer to the management
// command outstanding: a save that the device has not answered must neither pass for saved nor
// lose its time-out because a relay was switched meanwhile.
bool acknowledgesLiveRequest(std::span<const std::uint8_t> frame) {
    if (frameCommand(frame) != answerCode(CMD_WRITE) || frame.size() < kFrameOverhead + 2)
        return false;
    const std::uint8_t tag = frame[5];
    return tag == TAG_RELAYS || tag == TAG_COUNTERS || tag == TAG_CALIBRATION ||
           tag == TAG_CERT_CHUNK;
}

}  // namespace

void CommandFlow::onWriteAnswer(std::span<const std::uint8_t> frame) {
    // The tail is not an acknowledgement: only a payload of two bytes or more carries one.
    if (frame.size() < kFrameOverhead + 2) return;
    const std::uint8_t tag = frame[5];
    const std::uint8_t status = frame[6];
    if (status == 0) {
        if (tag == TAG_CALIBRATION) m_live.calibrationAcked = true;
        if (tag == TAG_CERT_CHUNK) m_params.set(fields::certChunkAcked, 1);
    }
    m_fx.writeAnswered(tag, status);
}

void CommandFlow::onAnswer(std::span<const std::uint8_t> frame) {
    if (acknowledgesLiveRequest(frame)) {
        onWriteAnswer(frame);
        return;
    }
    m_fx.stopTimer(LinkTimer::Reply);
    enableCommands(true);

    const PendingCommand was = m_pending;
    auto finish = [&](PendingCommand expected, int successText) {
        if (was == expected) m_fx.appendLog(text(successText) + "\r\n");
        m_pending = PendingCommand::None;
        if (was == expected) m_fx.commandFinished(expected, true);
    };

    switch (frameCommand(frame)) {
        case answerCode(CMD_READ): {
            if (was == PendingCommand::Read) m_fx.appendLog(text(kTextReadOk) + "\r\n");
            m_pending = PendingCommand::None;
            // The block is the length field and the items; the tail is not part of it.
            const auto block = frame.subspan(3, frame.size() - 5);
            const DecodeResult result =
                decodeParamBlock(block, m_params, m_live, DecodeScope::Answer);
            if (result.sawItem1) m_paramsRead = true;
            if (result.diagnostics) m_fx.messageBox(diagnosticsMessage(*result.diagnostics));
            if (result.deviceText) m_fx.messageBox(deviceTextMessage(*result.deviceText));
            if (result.probeAnswered && m_probeIndex > 0) {
                m_probing = false;
                m_fx.stopTimer(LinkTimer::Probe);
                m_fx.setPortButtonEnabled(true);
                const int baud = kProbeBaudTable[m_probeIndex - 1];
                m_probedBaud = baud;
                m_fx.appendLog(std::string(inLanguage(linkText::kProbeFound, m_lang)) +
                               std::to_string(baud) + "\r\n");
                m_fx.probeFound(baud);
            }
            m_fx.paramsDecoded(result);
            if (was == PendingCommand::Read) m_fx.commandFinished(PendingCommand::Read, true);
            break;
        }
        case answerCode(CMD_WRITE):
            finish(PendingCommand::Save, kTextSaveOk);
            onWriteAnswer(frame);
            break;
        case answerCode(CMD_FACTORY_RESET):
        case answerCode(CMD_DEEP_RESET):
            finish(PendingCommand::Reset, kTextDefaultOk);
            break;
        case answerCode(CMD_REBOOT):
            finish(PendingCommand::Reboot, kTextRestartOk);
            break;
        default:
            break;
    }
}

}  // namespace dtu
