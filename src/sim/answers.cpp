#include "answers.h"

#include <algorithm>

#include "link/frame.h"
#include "params/item_codec.h"

namespace dtu::sim {

namespace f = fields;

namespace {

// Builds one item; the length is filled in when the value is complete.
class ItemBuilder {
public:
    explicit ItemBuilder(std::uint8_t tag) : m_bytes{tag, 0, 0} {}
    ItemBuilder& u8(std::uint8_t v) {
        m_bytes.push_back(v);
        return *this;
    }
    ItemBuilder& be16(std::uint32_t v) {
        return u8(static_cast<std::uint8_t>(v >> 8)).u8(static_cast<std::uint8_t>(v));
    }
    ItemBuilder& be32(std::uint32_t v) { return be16(v >> 16).be16(v & 0xFFFF); }
    ItemBuilder& bytes(std::span<const std::uint8_t> b) {
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
        return *this;
    }
    ItemBuilder& text(std::string_view t) {
        return bytes(std::span(reinterpret_cast<const std::uint8_t*>(t.data()), t.size()));
    }
    std::vector<std::uint8_t> done() {
        const std::size_t n = m_bytes.size() - 3;
        m_bytes[1] = static_cast<std::uint8_t>(n >> 8);
        m_bytes[2] = static_cast<std::uint8_t>(n);
        return std::move(m_bytes);
    }

private:
    std::vector<std::uint8_t> m_bytes;
};

// A text of fixed room, cut so that the tool can store it with its terminator.
std::span<const std::uint8_t> reportedText(const DeviceParams& p, TextField fld) {
    const auto t = p.text(fld);
    return t.first(std::min<std::size_t>(t.size(), fld.size - 1));
}

// The first n bytes of a zone that holds a fixed-length identity value.
std::span<const std::uint8_t> zone(const DeviceParams& p, TextField fld, std::size_t n) {
    return p.bytes(fld).first(n);
}

std::vector<std::uint8_t> diagnosticsItem(const DeviceParams& p, const RunState& run) {
    const Diagnostics& d = run.diagnostics;
    ItemBuilder b(TAG_DIAGNOSTICS);
    b.be32(p.get(f::memTotal)).be32(p.get(f::memUsed));
    b.be32(p.get(f::flashAddr)).be32(p.get(f::flashSize));
    b.be32(p.get(f::systemTick)).be32(p.get(f::netBreakTime));
    b.be32(d.flashPointer);
    for (const auto& area : d.cache)
        b.be32(area.size).be32(area.items).be32(area.start).be32(area.end);
    b.be32(d.flightModeTime);
    b.u8(d.netState).u8(d.simState).u8(d.regState);
    // Fixed-width texts, zero-padded.
    auto fixed = [&](const std::string& s, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i)
            b.u8(i < s.size() ? static_cast<std::uint8_t>(s[i]) : 0);
    };
    fixed(d.encid, 15);
    fixed(d.coreVersion, 7);
    return b.done();
}

}  // namespace

bool isSettingsTag(std::uint8_t tag) {
    return tag == 20 || isSaveItem(tag);
}

void applyRelayActions(std::array<std::uint8_t, 8>& relays, std::span<const std::uint8_t> actions) {
    for (std::size_t i = 0; i < actions.size() && i < relays.size(); ++i)
        if (actions[i] <= 1) relays[i] = actions[i];
}

std::vector<std::uint8_t> readItem(std::uint8_t tag, const DeviceParams& p, const RunState& run) {
    switch (tag) {
        case 1:
            // The save always writes 8 data bits; the answer reports what the port runs.
            return ItemBuilder(tag)
                .u8(p.get(f::dtuBaudIndex))
                .u8(p.get(f::dtuParityIndex))
                .u8(p.get(f::dtuDataBits))
                .u8(p.get(f::dtuStopBitsIndex))
                .u8(p.get(f::packTimeMs))
                .done();
        case 20:
            return ItemBuilder(tag).bytes(p.bytes(f::remoteConfigPassword).first(8)).done();
        case 24:
            return ItemBuilder(tag)
                .u8(p.get(f::userCodeEnable))
                .u8(p.get(f::userCodeVersion))
                .done();
        case 98:
            return ItemBuilder(tag)
                .u8(p.get(f::rtuPowerOffSave))
                .u8(run.simInserted)
                .u8(run.netRegState)
                .done();
        case 119:
            // An empty table saved as the single count byte would be too short for the tool to
            // take; padded, it clears the tool's table as it should.
            if (p.get(f::modbusItemCount) == 0)
                return ItemBuilder(tag).bytes(std::array<std::uint8_t, 6>{}).done();
            return encodeSaveItem(tag, p);
        case 186: {
            ItemBuilder b(tag);
            b.u8(p.get(f::tlsMode));
            for (std::uint32_t i = 0; i < 3; ++i) b.be16(p.get(f::certChecksums[i]));
            return b.done();
        }
        case TAG_INPUTS:
            return ItemBuilder(tag).bytes(run.inputs).done();
        case TAG_RELAYS:
            return ItemBuilder(tag).bytes(run.relays).done();
        case TAG_ANALOG: {
            ItemBuilder b(tag);
            for (auto v : run.analog) b.be32(v);
            return b.done();
        }
        case TAG_COUNTERS: {
            ItemBuilder b(tag);
            for (auto v : run.counters) b.be32(v);
            return b.done();
        }
        case 176:
            return ItemBuilder(tag)
                .bytes(p.bytes(f::macAddress))
                .bytes(zone(p, f::imei, 15))
                .bytes(zone(p, f::iccid, 20))
                .done();
        case 177:
            return ItemBuilder(tag)
                .u8(p.get(f::signalQuality))
                .u8(p.get(f::serverALinked))
                .u8(p.get(f::serverBLinked))
                .u8(p.get(f::networkLinked))
                .u8(p.get(f::httpLinked))
                .u8(p.get(f::mqttLinked))
                .done();
        case 178: {
            const auto model = reportedText(p, f::deviceModel);
            if (model.empty()) return {};  // the tool ignores an empty model
            return ItemBuilder(tag).bytes(model).done();
        }
        case 179:
            return ItemBuilder(tag)
                .u8(p.get(f::versionByte))
                .u8(p.get(f::deviceKind))
                .bytes(reportedText(p, f::firmwareVersion))
                .done();
        case TAG_MQTT_STATUS: {
            if (run.mqttState)
                return ItemBuilder(tag)
                    .bytes(*run.mqttState)
                    .bytes(p.bytes(f::mqttStatusExtra))
                    .done();
            const bool on = p.get(f::mqttEnable) != 0 && p.get(f::networkLinked) == 1;
            const bool subscribed = !p.text(f::mqttSubscribeTopic).empty();
            return ItemBuilder(tag)
                .u8(on)
                .u8(on)
                .u8(on ? (subscribed ? 1 : 2) : 0)
                .u8(on)
                .u8(on && p.get(f::mqttSsl) != 0)
                .bytes(p.bytes(f::mqttStatusExtra))
                .done();
        }
        case TAG_DEVICE_TEXT: {
            if (run.deviceText.empty()) return {};
            const std::size_t n = std::min<std::size_t>(run.deviceText.size(), 127);
            return ItemBuilder(tag).text(std::string_view(run.deviceText).substr(0, n)).done();
        }
        case 183:
            return ItemBuilder(tag)
                .u8(p.get(f::gpsSatellites))
                .u8(p.get(f::gpsByte1))
                .be16(p.get(f::gpsLatitudeDeg))
                .be32(p.get(f::gpsLatitudeFrac))
                .u8(p.get(f::gpsByte8))
                .be16(p.get(f::gpsLongitudeDeg))
                .be32(p.get(f::gpsLongitudeFrac))
                .be16(p.get(f::cellLatitudeDeg))
                .be32(p.get(f::cellLatitudeFrac))
                .be16(p.get(f::cellLongitudeDeg))
                .be32(p.get(f::cellLongitudeFrac))
                .be32(p.get(f::cellId))
                .be32(p.get(f::cellLac))
                .be32(p.get(f::cellMcc))
                .be32(p.get(f::cellMnc))
                .be32(p.get(f::cellErrCode))
                .u8(static_cast<std::uint8_t>(p.get(f::gpsBeidou)))
                .done();
        case 184:
            return ItemBuilder(tag)
                .be32(p.get(f::remoteConfigUuid))
                .be16(p.get(f::remoteConfigCount))
                .be16(p.get(f::remoteConfigTimeout))
                .bytes(reportedText(p, f::remoteConfigCurrentIp))
                .done();
        case TAG_PROBE:
            // Not interpreted by the tool; five bytes that say who answered.
            return ItemBuilder(tag)
                .text("OK")
                .u8(p.get(f::deviceKind))
                .u8(p.get(f::versionByte))
                .u8(p.get(f::signalQuality))
                .done();
        case TAG_DIAGNOSTICS:
            return diagnosticsItem(p, run);
        default:
            // The remaining settings travel in the layout of the save.
            return encodeSaveItem(tag, p);
    }
}

std::vector<std::uint8_t> readAnswer(std::span<const std::uint8_t> tags, const DeviceParams& image,
                                     const RunState& run) {
    std::vector<std::uint8_t> payload;
    for (const std::uint8_t tag : tags) {
        const auto item = readItem(tag, image, run);
        if (payload.size() + item.size() > kMaxPayload) continue;
        payload.insert(payload.end(), item.begin(), item.end());
    }
    return buildRequest(answerCode(CMD_READ), payload);
}

}  // namespace dtu::sim
