#include "device.h"

#include <algorithm>
#include <array>

#include "params/item_codec.h"
#include "transfer/firmware_upgrade.h"

namespace dtu::sim {

namespace f = fields;
using namespace std::chrono_literals;

namespace {

constexpr std::uint8_t kLockedFlag = 0x78;
constexpr std::uint8_t kCellLocationOff = 0x55;
constexpr std::uint8_t kUploadAll = 0x55;
constexpr std::uint8_t kRulesUnchanged = 0xFF;  // every relay action "unchanged"

constexpr std::array<std::uint8_t, 8> kInputsAtPowerUp{1, 0, 1, 0, 0, 0, 0, 0};
constexpr std::uint32_t kRawFull = 4095;      // a 12-bit converter
constexpr std::uint32_t kReadingFull = 3864;  // the reading word of a full-scale input
constexpr std::uint32_t kCoefficientOne = 10000;
// What a calibration leaves in the coefficients of the two inputs.
constexpr std::array<std::uint32_t, 2> kCalibrated{10012, 9987};

void setIdentity(DeviceParams& p, DeviceKind kind) {
    const bool rtu = kind == DeviceKind::Rtu;
    const std::array<std::uint8_t, 6> mac{
        0x02, 0x4A, 0x7C, 0x31, 0x9E, rtu ? std::uint8_t{0x06} : std::uint8_t{0x05}};
    p.setBytes(f::macAddress, mac);
    p.setText(f::imei, rtu ? "861234050123465" : "861234050123457");
    // Characters 5 and 6 name the operator ("00").
    p.setText(f::iccid, "89860023123456789012");
    p.setText(f::deviceModel, rtu ? "RTU-4G-IO8" : "DTU-4G-C1");
    p.setText(f::firmwareVersion, "V24061");
    p.set(f::versionByte, 24);
    p.set(f::deviceKind, rtu ? 2 : 1);
    p.set(f::userCodeVersion, 3);

    p.set(f::signalQuality, 23);
    p.set(f::networkLinked, 1);

    // A fix in the middle of a city: 7 satellites, hemisphere letters in the bytes beside.
    p.set(f::gpsSatellites, 7);
    p.set(f::gpsByte1, 'N');
    p.set(f::gpsLatitudeDeg, 31);
    p.set(f::gpsLatitudeFrac, 230416);
    p.set(f::gpsByte8, 'E');
    p.set(f::gpsLongitudeDeg, 121);
    p.set(f::gpsLongitudeFrac, 473701);
    p.set(f::cellLatitudeDeg, 31);
    p.set(f::cellLatitudeFrac, 229134);
    p.set(f::cellLongitudeDeg, 121);
    p.set(f::cellLongitudeFrac, 475089);
    p.set(f::cellId, 107187);
    p.set(f::cellLac, 9478);
    p.set(f::cellMcc, 460);
    p.set(f::cellMnc, 0);
    p.set(f::cellErrCode, 0);
    p.set(f::gpsBeidou, 0);

    p.set(f::remoteConfigUuid, 20517);
    p.set(f::remoteConfigCount, 2);
    p.set(f::remoteConfigTimeout, 300);
    p.setText(f::remoteConfigCurrentIp, "203.0.113.10");

    p.set(f::memTotal, 4u << 20);
    p.set(f::memUsed, 1536u << 10);
    p.set(f::flashAddr, 0x00300000);
    p.set(f::flashSize, 0x00100000);
}

void setFactorySettings(DeviceParams& p) {
    p.set(f::dtuBaudIndex, 4);    // 9600
    p.set(f::dtuParityIndex, 1);  // none
    p.set(f::dtuDataBits, 8);
    p.set(f::dtuStopBitsIndex, 1);  // 1
    p.set(f::packTimeMs, 20);
    p.set(f::workMode, 0);

    p.set(f::serverAEnable, 1);
    p.setText(f::serverAHost, "test.example.com");
    p.set(f::serverAPort, 6000);
    p.set(f::serverATimeout, 60);
    p.set(f::serverBPort, 6001);
    p.set(f::serverBTimeout, 60);

    p.set(f::heartbeatInterval, 60);
    p.set(f::httpPort, 80);
    p.set(f::mqttPort, 1883);
    p.set(f::mqttKeepAlive, 60);
    p.set(f::dataCacheCount, 100);
    p.set(f::dataCacheIntervalMs, 100);
    p.set(f::gpsInterval, 60);
    p.set(f::cellLocationEnable, kCellLocationOff);
    p.set(f::uploadTarget, kUploadAll);

    p.set(f::rtuAddress, 1);
    p.set(f::rtuInputDebounceMs, 20);
    for (std::uint32_t i = 0; i < f::xyRules.count; ++i) {
        const std::array<std::uint8_t, 2> unchanged{kRulesUnchanged, kRulesUnchanged};
        p.setBytes(f::xyRules[i], unchanged);
    }
    p.set(f::uploadTimedInterval, 60);
    p.set(f::modbusTimeout, 3);
    p.set(f::modbusPollInterval, 5);
    p.set(f::modbusCommandDelayMs, 100);
    p.set(f::modbusUploadInterval, 60);
}

// The items of an item list, as far as they lie whole inside it.
template <typename Fn>
void forEachItem(std::span<const std::uint8_t> list, Fn&& fn) {
    std::size_t pos = 0;
    while (list.size() - pos >= 3) {
        const std::size_t len = std::size_t(list[pos + 1]) << 8 | list[pos + 2];
        if (len > list.size() - pos - 3) break;
        fn(list[pos], list.subspan(pos + 3, len));
        pos += 3 + len;
    }
}

// Rising edges among the first k changes of an input that starts in state `first`: change j
// enters state first ^ (j & 1).
std::uint64_t risesUpTo(std::uint64_t k, std::uint8_t first) {
    return first ? k / 2 : (k + 1) / 2;
}

// Up from 0 to full over the first half of the period, down again over the second.
std::uint32_t sweep(std::uint64_t t, std::uint64_t period, std::uint32_t full) {
    const std::uint64_t phase = t % period;
    const std::uint64_t half = period / 2;
    const std::uint64_t rise = phase < half ? phase : period - phase;
    return static_cast<std::uint32_t>(rise * full / half);
}

// Every enabled link is up while the network is.
void updateLinks(DeviceParams& p) {
    const bool net = p.get(f::networkLinked) == 1;
    auto linked = [&](U8Field enable) -> std::uint8_t { return net && p.get(enable) != 0; };
    p.set(f::serverALinked, linked(f::serverAEnable));
    p.set(f::serverBLinked, linked(f::serverBEnable));
    p.set(f::httpLinked, linked(f::httpEnable));
    p.set(f::mqttLinked, linked(f::mqttEnable));
}

}  // namespace

DeviceParams factoryImage(DeviceKind kind) {
    DeviceParams p;
    setFactorySettings(p);
    setIdentity(p, kind);
    updateLinks(p);
    return p;
}

RunState initialRunState(DeviceKind kind) {
    RunState run;
    run.deviceText = kind == DeviceKind::Rtu ? "RTU-4G-IO8 ready, 8 inputs, 8 relays"
                                             : "DTU-4G-C1 ready, 1 relay";
    Diagnostics& d = run.diagnostics;
    d.flashPointer = 4096;
    d.cache = {{{65536, 0, 0, 0}, {65536, 0, 0, 0}, {16384, 0, 0, 0}, {8192, 0, 0, 0}}};
    d.netState = 3;  // linked
    d.simState = 1;
    d.regState = 1;
    d.encid = "A3F09C2D7E41B85";
    d.coreVersion = "1.07.23";
    run.inputs = kInputsAtPowerUp;
    run.analog = {1200, 0, 400, 0, kCoefficientOne, kCoefficientOne};
    run.counters = {15, 0, 3, 0, 0, 0, 0, 0};
    return run;
}

Device::Device(DeviceKind kind, int baud)
    : m_kind(kind),
      m_baud(baud > 0 ? baud : 9600),
      m_image(factoryImage(kind)),
      m_run(initialRunState(kind)) {
    powerUp(Time{0});
}

void Device::setImei(const std::string& imei) {
    m_imei = imei;
    m_image.setText(f::imei, imei);
}

void Device::factoryReset() {
    m_image = factoryImage(m_kind);
    if (m_imei) m_image.setText(f::imei, *m_imei);
}

void Device::lock(const LockPassword& password) {
    m_image.set(f::configLockFlag, kLockedFlag);
    m_image.setText(f::configLockPassword, password);
}

bool Device::locked() const {
    return m_image.get(f::configLockFlag) == kLockedFlag;
}

int Device::lineBaud() const {
    return m_firmware.active() ? kFirmwareLineBaud : m_baud;
}

Device::Time Device::suffixWindow() const {
    // Nine bytes of 10 bits each at the device's rate, rounded up, and some slack.
    const int baud = lineBaud();
    const auto wire = Time((9 * 10 * 1000 + baud - 1) / baud);
    return wire + kSuffixGrace;
}

std::vector<Device::Answer> Device::receive(std::span<const std::uint8_t> bytes, Time now) {
    std::vector<Answer> out;
    if (!bytes.empty()) {
        m_rx.insert(m_rx.end(), bytes.begin(), bytes.end());
        m_lastByte = now;
    }
    // What stays behind is at most one unfinished request of up to kMaxRequest bytes.
    process(now, out);
    return out;
}

std::vector<Device::Answer> Device::advance(Time now) {
    std::vector<Answer> out;
    m_firmware.advance(now);
    process(now, out);
    if (!m_awaitingSuffix && !m_rx.empty() && now - m_lastByte >= kStaleRequest) {
        // The rest of this request is not coming: look for the next head after its start.
        m_rx.erase(m_rx.begin());
        m_lastByte = now;
        process(now, out);
    }
    return out;
}

std::optional<Device::Time> Device::nextDeadline() const {
    std::optional<Time> due;
    if (m_awaitingSuffix)
        due = m_awaitingSuffix->deadline;
    else if (!m_rx.empty())
        due = m_lastByte + kStaleRequest;
    if (const auto fw = m_firmware.deadline()) due = due ? std::min(*due, *fw) : *fw;
    return due;
}

void Device::process(Time now, std::vector<Answer>& out) {
    for (;;) {
        if (m_awaitingSuffix) {
            // A frame head where the password should be: the tool sent no suffix and has moved
            // on (a password is text and never starts with the head).
            const bool absent = startsWithHead(m_rx) || now >= m_awaitingSuffix->deadline;
            if (!absent && m_rx.size() < kLockSuffixSize) return;
            const Pending pending = std::move(*m_awaitingSuffix);
            m_awaitingSuffix.reset();
            if (!absent && m_rx[kLockPasswordSize] == LOCK_SUFFIX_MARK) {
                const auto password = m_image.bytes(f::configLockPassword);
                const bool match = std::equal(password.begin(), password.end(), m_rx.begin());
                m_rx.erase(m_rx.begin(), m_rx.begin() + kLockSuffixSize);
                if (match) execute(pending.frame, now, out);
            }
            // Without a suffix the request is refused in silence; the bytes that followed it
            // are the next request.
            continue;
        }

        if (m_strayUntil && now > *m_strayUntil) m_strayUntil.reset();
        // A suffix sent to a device that is not locked. Text passwords are skipped by the
        // resync below anyway; this also catches bytes that would pass for a frame head. No
        // request of the tool has the suffix mark at this place.
        if (m_strayUntil && m_rx.size() >= kLockSuffixSize &&
            m_rx[kLockPasswordSize] == LOCK_SUFFIX_MARK) {
            m_rx.erase(m_rx.begin(), m_rx.begin() + kLockSuffixSize);
            m_strayUntil.reset();
            continue;
        }

        // Resync on the frame head; a lone first head byte at the end may be the start of one.
        std::size_t head = 0;
        while (head < m_rx.size() && !(m_rx[head] == FRAME_HEAD_1 &&
                                       (head + 1 == m_rx.size() || m_rx[head + 1] == FRAME_HEAD_2)))
            ++head;
        m_rx.erase(m_rx.begin(), m_rx.begin() + static_cast<std::ptrdiff_t>(head));
        if (m_rx.size() < 5) return;

        const std::size_t total = kFrameOverhead + (std::size_t(m_rx[3]) << 8 | m_rx[4]);
        if (total > kMaxRequest) {
            m_rx.erase(m_rx.begin());
            continue;
        }
        if (m_rx.size() < total) return;
        if (m_rx[total - 2] != FRAME_TAIL_1 || m_rx[total - 1] != FRAME_TAIL_2) {
            m_rx.erase(m_rx.begin());
            continue;
        }
        std::vector<std::uint8_t> frame(m_rx.begin(), m_rx.begin() + total);
        m_rx.erase(m_rx.begin(), m_rx.begin() + total);
        handleFrame(std::move(frame), now, out);
    }
}

void Device::handleFrame(std::vector<std::uint8_t> frame, Time now, std::vector<Answer>& out) {
    m_strayUntil.reset();
    if (locked() && needsPassword(frame)) {
        m_awaitingSuffix = Pending{std::move(frame), now + suffixWindow()};
        return;
    }
    const std::uint8_t command = frame[2];
    execute(frame, now, out);
    // The requests that may carry a suffix: on a device that did not ask for one, it is noise.
    if (command == CMD_READ || command == CMD_WRITE || command == CMD_FIRMWARE)
        m_strayUntil = now + suffixWindow();
}

bool Device::needsPassword(std::span<const std::uint8_t> frame) const {
    const auto payload = frame.subspan(5, frame.size() - kFrameOverhead);
    switch (frame[2]) {
        case CMD_READ:
            return std::any_of(payload.begin(), payload.end(), isSettingsTag);
        case CMD_WRITE: {
            bool settings = false;
            forEachItem(payload, [&](std::uint8_t tag, auto) { settings |= isSettingsTag(tag); });
            return settings;
        }
        case CMD_FIRMWARE:
            return true;
        default:
            return false;
    }
}

void Device::execute(std::span<const std::uint8_t> frame, Time now, std::vector<Answer>& out) {
    const std::uint8_t command = frame[2];
    const auto payload = frame.subspan(5, frame.size() - kFrameOverhead);
    switch (command) {
        case CMD_READ:
            refreshStatus(now);
            sampleIo(now);
            out.push_back(readAnswer(payload, m_image, m_run));
            break;
        case CMD_WRITE:
            sampleIo(now);  // edges up to a counter clear are counted before it
            if (auto answer = write(payload)) out.push_back(std::move(*answer));
            refreshStatus(now);
            break;
        case CMD_WRITE_MORE:
            if (auto answer = writeMore(payload)) out.push_back(std::move(*answer));
            break;
        case CMD_REBOOT:
            out.push_back(buildRequest(answerCode(command), {}));
            powerUp(now);
            break;
        case CMD_FACTORY_RESET:
        case CMD_DEEP_RESET:
            // Answered before the settings go, as the device reboots right after.
            out.push_back(buildRequest(answerCode(command), {}));
            factoryReset();
            powerUp(now);
            break;
        case CMD_FIRMWARE:
            firmwareRequest(frame, now, out);
            break;
        default:
            // Unknown commands get no answer.
            break;
    }
}

std::optional<Device::Answer> Device::write(std::span<const std::uint8_t> payload) {
    if (payload.size() < 3) return std::nullopt;
    const std::uint8_t first = payload[0];
    if (first == TAG_CERT_CHUNK) {
        std::optional<Answer> answer;
        forEachItem(payload, [&](std::uint8_t tag, std::span<const std::uint8_t> value) {
            if (!answer && tag == TAG_CERT_CHUNK) answer = certChunk(value, true);
        });
        return answer;
    }
    // Anything else unknown goes unanswered: the tool must not take it as stored.
    if (!isSaveItem(first) && first != TAG_COUNTERS) return std::nullopt;
    forEachItem(payload, [&](std::uint8_t tag, std::span<const std::uint8_t> value) {
        if (tag == TAG_COUNTERS)
            m_run.counters.fill(0);
        else if (isSaveItem(tag))
            storeSaveItem(tag, value);
    });
    const std::array<std::uint8_t, 2> ack{first, 0};
    return buildRequest(answerCode(CMD_WRITE), ack);
}

std::optional<Device::Answer> Device::writeMore(std::span<const std::uint8_t> payload) {
    std::optional<Answer> answer;
    bool first = true;
    forEachItem(payload, [&](std::uint8_t tag, std::span<const std::uint8_t> value) {
        if (!first) return;
        first = false;
        if (tag == TAG_CALIBRATION && value.size() == 2 && value[0] == 1 && value[1] == 1) {
            m_run.analog[4] = kCalibrated[0];
            m_run.analog[5] = kCalibrated[1];
            const std::array<std::uint8_t, 2> ack{TAG_CALIBRATION, 0};
            answer = buildRequest(answerCode(CMD_WRITE), ack);
        } else if (tag == TAG_RELAYS && value.size() == m_run.relays.size()) {
            applyRelayActions(m_run.relays, value);
            std::string line = "relays Y1-Y8:";
            for (std::uint8_t r : m_run.relays) line += r ? " 1" : " 0";
            log(std::move(line));
            const std::array<std::uint8_t, 2> ack{TAG_RELAYS, 0};
            answer = buildRequest(answerCode(CMD_WRITE_MORE), ack);
        } else if (tag == TAG_CERT_CHUNK) {
            answer = certChunk(value, false);
        }
    });
    return answer;
}

std::vector<std::string> Device::takeLog() {
    std::vector<std::string> lines(std::make_move_iterator(m_log.begin()),
                                   std::make_move_iterator(m_log.end()));
    m_log.clear();
    return lines;
}

void Device::log(std::string line) {
    // Kept for whoever reads it; a device nobody watches forgets the oldest lines.
    constexpr std::size_t kKept = 256;
    if (m_log.size() == kKept) m_log.pop_front();
    m_log.push_back(std::move(line));
}

void Device::storeSaveItem(std::uint8_t tag, std::span<const std::uint8_t> value) {
    switch (tag) {
        case 24:
            // Only the enable flag is a setting; the user code version is the device's own.
            if (!value.empty()) m_image.set(f::userCodeEnable, value[0]);
            return;
        case 186:
            // Only the TLS mode is a setting; the checksums are those of the stored files.
            if (!value.empty()) m_image.set(f::tlsMode, value[0]);
            return;
        case 119:
            // An empty table travels as its count byte alone, which the read layout rejects.
            if (!value.empty() && value[0] == 0) {
                m_image.set(f::modbusItemCount, 0);
                return;
            }
            break;
        default:
            break;
    }
    // Every other save layout is one the read decoder takes: store through it.
    std::vector<std::uint8_t> block;
    const std::size_t itemSize = 3 + value.size();
    block.reserve(2 + itemSize);
    block.push_back(static_cast<std::uint8_t>(itemSize >> 8));
    block.push_back(static_cast<std::uint8_t>(itemSize));
    block.push_back(tag);
    block.push_back(static_cast<std::uint8_t>(value.size() >> 8));
    block.push_back(static_cast<std::uint8_t>(value.size()));
    block.insert(block.end(), value.begin(), value.end());
    LiveState scratch;  // item 98's status bytes are the device's, not the sender's
    decodeParamBlock(block, m_image, scratch);
}

void Device::refreshStatus(Time now) {
    updateLinks(m_image);
    const auto uptime = std::chrono::duration_cast<std::chrono::seconds>(now - m_bootTime);
    m_image.set(f::systemTick,
                static_cast<std::uint32_t>(std::max<std::int64_t>(0, uptime.count())));
}

void Device::powerUp(Time now) {
    m_bootTime = now;
    m_ioSampled = now;
    if (m_kind == DeviceKind::Rtu) m_run.inputs = kInputsAtPowerUp;
    sampleIo(now);
    if (m_installedVersion) m_image.setText(f::firmwareVersion, *m_installedVersion);
    const std::uint8_t powerOn = m_image.get(f::rtuPowerOnRelays);
    for (std::size_t i = 0; i < m_run.relays.size(); ++i) m_run.relays[i] = (powerOn >> i) & 1;
    refreshStatus(now);
}

void Device::sampleIo(Time now) {
    if (m_kind != DeviceKind::Rtu || now < m_ioSampled) return;
    const auto from = static_cast<std::uint64_t>((m_ioSampled - m_bootTime).count());
    const auto to = static_cast<std::uint64_t>((now - m_bootTime).count());
    for (std::size_t i = 0; i < m_run.inputs.size(); ++i) {
        const auto hold = static_cast<std::uint64_t>(kInputHold.count()) * (i + 1);
        const std::uint8_t first = kInputsAtPowerUp[i];
        const std::uint64_t changes = to / hold;
        m_run.counters[i] +=
            static_cast<std::uint32_t>(risesUpTo(changes, first) - risesUpTo(from / hold, first));
        m_run.inputs[i] = first ^ static_cast<std::uint8_t>(changes & 1);
    }
    const auto period = static_cast<std::uint64_t>(kAnalogSweep.count());
    const std::array<std::uint32_t, 2> raw{sweep(to, period, kRawFull),
                                           sweep(to, 3 * period, kRawFull)};
    for (std::size_t a = 0; a < 2; ++a) {
        const std::uint64_t reading = std::uint64_t{raw[a]} * kReadingFull / kRawFull;
        m_run.analog[2 * a] = raw[a];
        m_run.analog[2 * a + 1] =
            static_cast<std::uint32_t>(reading * m_run.analog[4 + a] / kCoefficientOne);
    }
    m_ioSampled = now;
}

void Device::firmwareRequest(std::span<const std::uint8_t> frame, Time now,
                             std::vector<Answer>& out) {
    const FirmwareReceiver::Outcome o = m_firmware.onFrame(frame, now);
    if (o.answer) out.push_back(*o.answer);
    if (!o.completed) return;
    // The new image runs after a restart, with the factory's settings when asked for.
    m_installedVersion = installedVersion(m_firmware.lastImageType(), m_firmware.lastImage());
    if (o.factoryReset) factoryReset();
    powerUp(now);
}

std::optional<Device::Answer> Device::certChunk(std::span<const std::uint8_t> value, bool last) {
    auto ack = m_certs.onChunk(value, last);
    if (ack && last && m_certs.committed()) {
        const auto sums = m_certs.checksums();
        for (std::uint32_t i = 0; i < 3; ++i) m_image.set(f::certChecksums[i], sums[i]);
    }
    return ack;
}

}  // namespace dtu::sim
