// Reading a parameter block: each item of an answer into the record and the live state.
#include "params/item_codec.h"

#include <algorithm>
#include <iterator>
#include <tuple>
#include <utility>

#include "params/field_table.h"
#include "params/item_tables.h"

namespace dtu {

namespace f = fields;
using namespace itemTables;

namespace {

// The value of one item. Every read is bounds-checked against the item: the length rules make
// out-of-range reads impossible on the paths that store, and this keeps it so by construction.
class ItemValue {
public:
    explicit ItemValue(std::span<const std::uint8_t> v) : m_v(v) {}
    std::size_t size() const { return m_v.size(); }
    std::uint8_t u8(std::size_t i) const { return i < m_v.size() ? m_v[i] : 0; }
    std::uint16_t be16(std::size_t i) const {
        return static_cast<std::uint16_t>(u8(i) << 8 | u8(i + 1));
    }
    std::uint32_t be32(std::size_t i) const { return std::uint32_t(be16(i)) << 16 | be16(i + 2); }
    // Up to n bytes from offset i, clipped to the item.
    std::span<const std::uint8_t> bytes(std::size_t i, std::size_t n) const {
        if (i >= m_v.size()) return {};
        return m_v.subspan(i, std::min(n, m_v.size() - i));
    }
    std::span<const std::uint8_t> from(std::size_t i) const { return bytes(i, m_v.size()); }

private:
    std::span<const std::uint8_t> m_v;
};

// The zones of item 176 are wider than the values they hold; the whole zone is cleared.
constexpr BytesField kMacZone{11760, 32};
constexpr std::size_t kMacSize = 6;
constexpr std::size_t kImeiSize = 15;
constexpr std::size_t kIccidSize = 20;
constexpr std::size_t kDeviceTextMax = 127;

// Stores a device-reported text, cut to leave room for the terminator.
void storeReportedText(DeviceParams& p, TextField fld, std::span<const std::uint8_t> text) {
    p.setText(fld, text.first(std::min<std::size_t>(text.size(), fld.size - 1)));
}

void storeCounted(DeviceParams& p, U8Field length, BytesField data,
                  std::span<const std::uint8_t> bytes) {
    p.set(length, static_cast<std::uint8_t>(bytes.size()));
    p.setBytes(data, bytes);
}

// The xyRules entries are two bytes each.
void storeRule(DeviceParams& p, std::uint32_t entry, std::uint8_t b0, std::uint8_t b1) {
    auto dest = p.bytes(f::xyRules[entry]);
    dest[0] = b0;
    dest[1] = b1;
}

Diagnostics parseDiagnostics(const ItemValue& v) {
    Diagnostics d;
    d.memTotal = v.be32(0);
    d.memUsed = v.be32(4);
    d.flashAddr = v.be32(8);
    d.flashSize = v.be32(12);
    d.systemTick = v.be32(16);
    d.netBreakTime = v.be32(20);
    d.flashPointer = v.be32(24);
    for (std::size_t a = 0; a < d.cache.size(); ++a) {
        const std::size_t base = 28 + 16 * a;
        d.cache[a] = {v.be32(base), v.be32(base + 4), v.be32(base + 8), v.be32(base + 12)};
    }
    d.flightModeTime = v.be32(92);
    d.netState = v.u8(96);
    d.simState = v.u8(97);
    d.regState = v.u8(98);
    auto text = [&](std::size_t at, std::size_t n) {
        const auto b = v.bytes(at, n);
        const auto end = std::find(b.begin(), b.end(), std::uint8_t{0});
        return std::string(b.begin(), end);
    };
    d.encid = text(99, 15);
    d.coreVersion = text(114, 7);
    return d;
}

// Validates item 119 as a whole before anything is stored, so that a malformed table never
// leaves the record half-updated.
bool pollTableValid(const ItemValue& v) {
    const std::size_t count = v.u8(0);
    if (count > kModbusItemCapacity) return false;
    std::size_t pos = 1;
    for (std::size_t r = 0; r < count; ++r) {
        if (pos >= v.size()) return false;
        const std::size_t recLen = v.u8(pos);
        const std::size_t end = pos + 1 + recLen;
        if (end > v.size()) return false;
        // slave, function, start(2), count(2), type, decimals, name length
        if (recLen < 9) return false;
        const std::size_t m = v.u8(pos + 9);
        if (m > kJsonNameMax) return false;
        // The name and the thresholds and emergency byte must lie inside the record.
        if (m + 18 > recLen) return false;
        pos = end;
    }
    return true;
}

void storePollTable(DeviceParams& p, const ItemValue& v) {
    const std::uint8_t count = v.u8(0);
    p.set(f::modbusItemCount, count);
    std::size_t pos = 1;
    for (std::uint32_t r = 0; r < count; ++r) {
        const std::size_t recLen = v.u8(pos);
        const std::size_t m = v.u8(pos + 9);
        const auto rec = f::modbusItem(r);
        std::size_t at = pos + 1;
        p.set(rec.slaveAddress, v.u8(at));
        p.set(rec.functionCode, v.u8(at + 1));
        p.set(rec.startRegister, v.be16(at + 2));
        p.set(rec.registerCount, v.be16(at + 4));
        p.set(rec.dataType, v.u8(at + 6));
        p.set(rec.decimals, v.u8(at + 7));
        p.setText(rec.jsonName, v.bytes(at + 9, m));
        at += 9 + m;
        p.set(rec.threshold1, static_cast<std::int32_t>(v.be32(at)));
        p.set(rec.threshold2, static_cast<std::int32_t>(v.be32(at + 4)));
        p.set(rec.emergencyData, v.u8(at + 8));
        // Older firmware sends records without coefficient and offset (R = 18 + m); they are
        // read only when the record holds both whole.
        const bool hasScale = recLen >= m + 26;
        p.set(rec.scaleK, hasScale ? v.be32(at + 9) : 0u);
        p.set(rec.offsetB, hasScale ? v.be32(at + 13) : 0u);
        pos += 1 + recLen;
    }
}

// Items that carry settings and nothing the device reports: those a save sends, and the remote
// configuration password, which is read but never saved. Items 24, 98 and 186 carry both.
bool carriesSettingsOnly(std::uint8_t tag) {
    if (tag == 24 || tag == 98 || tag == 186) return false;
    return tag == 20 ||
           std::find(std::begin(kSaveOrder), std::end(kSaveOrder), tag) != std::end(kSaveOrder);
}

// Stores one item whose value lies within the block, or says why it was left alone: its length
// breaks the tag's rule, the tag is not one the device reports, or it carries settings and the
// block is not to change them.
enum class Outcome { Stored, BadLength, UnknownTag, Skipped };

Outcome decodeItem(std::uint8_t tag, const ItemValue& v, DeviceParams& p, LiveState& live,
                   DecodeResult& result, bool settings) {
    const std::size_t n = v.size();
    if (!settings && carriesSettingsOnly(tag)) return Outcome::Skipped;

    switch (tag) {
        case 1:
            if (n != 5) return Outcome::BadLength;
            p.set(f::dtuBaudIndex, v.u8(0));
            p.set(f::dtuParityIndex, v.u8(1));
            p.set(f::dtuDataBits, v.u8(2));
            p.set(f::dtuStopBitsIndex, v.u8(3));
            p.set(f::packTimeMs, v.u8(4));
            result.sawItem1 = true;
            return Outcome::Stored;
        case 6:
        case 10: {
            if (n != 4) return Outcome::BadLength;
            const bool a = tag == 6;
            p.set(a ? f::serverAProtocol : f::serverBProtocol, v.u8(0));
            p.set(a ? f::serverAConnMode : f::serverBConnMode, v.u8(1));
            p.set(a ? f::serverATimeout : f::serverBTimeout, v.be16(2));
            return Outcome::Stored;
        }
        case 13:
        case 16:
        case 17:
        case 21: {
            const CountedItem& c = countedItem(tag);
            if (n < c.lead || n > c.readMax) return Outcome::BadLength;
            if (tag == 17) {
                p.set(f::serialSendEnable, v.u8(0));
                p.set(f::serialSendInterval, v.be16(1));
            } else if (tag == 21) {
                p.set(f::serialFilterEnable, v.u8(0));
            }
            storeCounted(p, c.length, c.data, v.from(c.lead));
            return Outcome::Stored;
        }
        case 20:
            if (n != 8) return Outcome::BadLength;
            p.setText(f::remoteConfigPassword, v.from(0));
            return Outcome::Stored;
        case 24:
            if (n < 1) return Outcome::BadLength;
            if (settings) p.set(f::userCodeEnable, v.u8(0));
            if (n >= 2) p.set(f::userCodeVersion, v.u8(1));
            return Outcome::Stored;
        case 27:
            if (n != 4) return Outcome::BadLength;
            p.set(f::relayOnNetLoss, v.u8(0));
            p.set(f::relayNetLossMinutes, v.be16(1));
            p.set(f::relayNetLossAction, v.u8(3));
            return Outcome::Stored;
        case 31:
            if (n != 1 && n != 2) return Outcome::BadLength;
            p.set(f::httpMethod, v.u8(0));
            if (n == 2) p.set(f::httpHexToAscii, v.u8(1));
            return Outcome::Stored;
        case 39:
            if (n != 7) return Outcome::BadLength;
            p.set(f::dataCacheCount, v.be32(0));
            p.set(f::dataCacheIntervalMs, v.u8(4));
            p.set(f::dataCacheLengthPrefix, v.u8(5));
            p.set(f::dataCacheTimePrefix, v.u8(6));
            return Outcome::Stored;
        case 41:
            if (n < 3) return Outcome::BadLength;
            p.set(f::gpsMode, v.u8(0));
            p.set(f::gpsInterval, v.be16(1));
            if (n >= 4) p.set(f::cellLocationEnable, v.u8(3));
            return Outcome::Stored;
        case 80: {
            if (n >= live.liveInputs.size()) return Outcome::BadLength;
            const auto b = v.from(0);
            std::copy(b.begin(), b.end(), live.liveInputs.begin());
            live.liveInputsFresh = true;
            return Outcome::Stored;
        }
        case 81: {
            if (n >= live.liveRelays.size()) return Outcome::BadLength;
            const auto b = v.from(0);
            std::copy(b.begin(), b.end(), live.liveRelays.begin());
            if (n > 0) live.liveRelaysFresh = true;
            return Outcome::Stored;
        }
        case 82:
            if (n < 24 || n >= 32) return Outcome::BadLength;
            for (std::size_t i = 0; i < live.liveAnalog.size(); ++i)
                live.liveAnalog[i] = v.be32(4 * i);
            live.liveAnalogFresh = true;
            return Outcome::Stored;
        case 83:
            if (n < 32) return Outcome::BadLength;
            for (std::size_t i = 0; i < live.liveCounters.size(); ++i)
                live.liveCounters[i] = v.be32(4 * i);
            live.liveCountersFresh = true;
            return Outcome::Stored;
        case 86:
            if (n < 2) return Outcome::BadLength;
            p.set(f::rtuInputDebounceMs, v.u8(0));
            p.set(f::rtuPowerOnRelays, v.u8(1));
            return Outcome::Stored;
        case 89: {
            if (n != 17) return Outcome::BadLength;
            const std::uint32_t count = v.u8(0);
            if (count > 8) return Outcome::BadLength;
            for (std::uint32_t i = 0; i < count; ++i)
                storeRule(p, i, v.u8(1 + 2 * i), v.u8(2 + 2 * i));
            return Outcome::Stored;
        }
        case 90:
            if (n != 5) return Outcome::BadLength;
            storeRule(p, 8, v.u8(1), v.u8(2));
            storeRule(p, 9, v.u8(3), v.u8(4));
            return Outcome::Stored;
        case 91:
            if (n < 13) return Outcome::BadLength;
            p.set(f::adc1RuleMode, v.u8(1));
            p.set(f::adc1RuleValue1, v.be16(2));
            p.set(f::adc1RuleValue2, v.be16(4));
            p.set(f::adc1RuleCondition, v.u8(6));
            p.set(f::adc2RuleMode, v.u8(7));
            p.set(f::adc2RuleValue1, v.be16(8));
            p.set(f::adc2RuleValue2, v.be16(10));
            p.set(f::adc2RuleCondition, v.u8(12));
            return Outcome::Stored;
        case 93:
            if (n < 9) return Outcome::BadLength;
            p.set(f::uploadInputsEnable, v.u8(0));
            p.setBytes(f::uploadInputModes, v.bytes(1, 8));
            return Outcome::Stored;
        case 94:
            if (n < 3) return Outcome::BadLength;
            p.set(f::uploadTimedEnable, v.u8(0));
            p.set(f::uploadTimedInterval, v.be16(1));
            return Outcome::Stored;
        case 95:
        case 96: {
            if (n < 7) return Outcome::BadLength;
            const bool one = tag == 95;
            p.set(one ? f::uploadAdc1Enable : f::uploadAdc2Enable, v.u8(0));
            p.set(one ? f::uploadAdc1Type : f::uploadAdc2Type, v.u8(1));
            p.set(one ? f::uploadAdc1Value1 : f::uploadAdc2Value1, v.be16(2));
            p.set(one ? f::uploadAdc1Value2 : f::uploadAdc2Value2, v.be16(4));
            p.set(one ? f::uploadAdc1Condition : f::uploadAdc2Condition, v.u8(6));
            return Outcome::Stored;
        }
        case 97:
            if (n < 1) return Outcome::BadLength;
            p.set(f::uploadFormat, v.u8(0));
            if (n >= 2) p.set(f::uploadFormatBits, v.u8(1));
            return Outcome::Stored;
        case 98:
            if (n < 1) return Outcome::BadLength;
            if (settings) p.set(f::rtuPowerOffSave, v.u8(0));
            if (n >= 2) live.simInserted = v.u8(1);
            // Firmware that does not report the registration state sends fewer than 3 bytes.
            live.netRegState = n >= 3 ? v.u8(2) : kNetRegStateUnknown;
            return Outcome::Stored;
        case 118:
            if (n < 11) return Outcome::BadLength;
            p.set(f::modbusTimeout, v.be16(0));
            p.set(f::modbusCommandDelayMs, v.be16(2));
            p.set(f::modbusPollInterval, v.be16(4));
            p.set(f::modbusUploadInterval, v.be16(6));
            p.set(f::modbusMapStart, v.be16(8));
            p.set(f::modbusUploadFormat, v.u8(10));
            return Outcome::Stored;
        case 119:
            if (n < 6 || !pollTableValid(v)) return Outcome::BadLength;
            storePollTable(p, v);
            return Outcome::Stored;
        case 144:
            if (n < 9) return Outcome::BadLength;
            p.set(f::configLockFlag, v.u8(0));
            p.setText(f::configLockPassword, v.bytes(1, 8));
            if (n >= 10) p.set(f::uploadTarget, v.u8(9));
            return Outcome::Stored;
        case 176: {
            if (n != 41) return Outcome::BadLength;
            auto mac = p.bytes(kMacZone);
            std::fill(mac.begin(), mac.end(), 0);
            const auto src = v.bytes(0, kMacSize);
            std::copy(src.begin(), src.end(), mac.begin());
            p.setText(f::imei, v.bytes(6, kImeiSize));
            p.setText(f::iccid, v.bytes(21, kIccidSize));
            return Outcome::Stored;
        }
        case 177:
            if (n != 6) return Outcome::BadLength;
            p.set(f::signalQuality, v.u8(0));
            p.set(f::serverALinked, v.u8(1));
            p.set(f::serverBLinked, v.u8(2));
            p.set(f::networkLinked, v.u8(3));
            p.set(f::httpLinked, v.u8(4));
            p.set(f::mqttLinked, v.u8(5));
            return Outcome::Stored;
        case 178:
            if (n < 1) return Outcome::BadLength;
            storeReportedText(p, f::deviceModel, v.from(0));
            return Outcome::Stored;
        case 179:
            if (n < 2) return Outcome::BadLength;
            p.set(f::versionByte, v.u8(0));
            p.set(f::deviceKind, v.u8(1));
            storeReportedText(p, f::firmwareVersion, v.from(2));
            return Outcome::Stored;
        case 180: {
            if (n < 8) return Outcome::BadLength;
            live.mqttStatusTcp = v.u8(0);
            live.mqttStatusConnect = v.u8(1);
            live.mqttStatusTopic = v.u8(2);
            live.mqttStatusServer = v.u8(3);
            live.mqttStatusSsl = v.u8(4);
            live.mqttStatusFresh = true;
            p.setBytes(f::mqttStatusExtra, v.bytes(5, 3));
            return Outcome::Stored;
        }
        case 181: {
            if (n < 1) return Outcome::BadLength;
            const auto b = v.bytes(0, kDeviceTextMax);
            const auto end = std::find(b.begin(), b.end(), std::uint8_t{0});
            result.deviceText = std::string(b.begin(), end);
            return Outcome::Stored;
        }
        case 183: {
            if (n < 11) return Outcome::BadLength;
            // A short item stores the fields it carries whole; the others keep their values.
            auto u8At = [&](std::size_t i, U8Field fld) {
                if (i + 1 <= n) p.set(fld, v.u8(i));
            };
            auto u16At = [&](std::size_t i, U16Field fld) {
                if (i + 2 <= n) p.set(fld, v.be16(i));
            };
            auto u32At = [&](std::size_t i, U32Field fld) {
                if (i + 4 <= n) p.set(fld, v.be32(i));
            };
            u8At(0, f::gpsSatellites);
            u8At(1, f::gpsByte1);
            u16At(2, f::gpsLatitudeDeg);
            u32At(4, f::gpsLatitudeFrac);
            u8At(8, f::gpsByte8);
            u16At(9, f::gpsLongitudeDeg);
            u32At(11, f::gpsLongitudeFrac);
            u16At(15, f::cellLatitudeDeg);
            u32At(17, f::cellLatitudeFrac);
            u16At(21, f::cellLongitudeDeg);
            u32At(23, f::cellLongitudeFrac);
            u32At(27, f::cellId);
            u32At(31, f::cellLac);
            u32At(35, f::cellMcc);
            u32At(39, f::cellMnc);
            u32At(43, f::cellErrCode);
            if (n >= 48) p.set(f::gpsBeidou, v.u8(47));
            return Outcome::Stored;
        }
        case 184:
            if (n < 6) return Outcome::BadLength;
            p.set(f::remoteConfigUuid, v.be32(0));
            p.set(f::remoteConfigCount, v.be16(4));
            // The address is cleared by every item taken, also one too short to carry it; the
            // time-out, when missing, keeps its value.
            storeReportedText(p, f::remoteConfigCurrentIp, v.from(8));
            if (n >= 8) p.set(f::remoteConfigTimeout, v.be16(6));
            return Outcome::Stored;
        case 186:
            if (n < 7) return Outcome::BadLength;
            if (settings) p.set(f::tlsMode, v.u8(0));
            for (std::uint32_t i = 0; i < 3; ++i) p.set(f::certChecksums[i], v.be16(1 + 2 * i));
            return Outcome::Stored;
        case 254:
            if (n != 5) return Outcome::BadLength;
            result.probeAnswered = true;
            return Outcome::Stored;
        case 255: {
            if (n < 8) return Outcome::BadLength;
            result.diagnostics = parseDiagnostics(v);
            const Diagnostics& d = *result.diagnostics;
            auto store = [&](std::size_t at, U32Field fld, std::uint32_t value) {
                if (at + 4 <= n) p.set(fld, value);
            };
            store(0, f::memTotal, d.memTotal);
            store(4, f::memUsed, d.memUsed);
            store(8, f::flashAddr, d.flashAddr);
            store(12, f::flashSize, d.flashSize);
            store(16, f::systemTick, d.systemTick);
            store(20, f::netBreakTime, d.netBreakTime);
            return Outcome::Stored;
        }
        default:
            break;
    }

    const SimpleItem* item = findSimple(tag);
    if (!item) return Outcome::UnknownTag;
    switch (item->shape) {
        case Shape::Byte:
            if (n != 1) return Outcome::BadLength;
            p.set(U8Field{item->offset, 1}, v.u8(0));
            return Outcome::Stored;
        case Shape::Word:
            if (n != 2) return Outcome::BadLength;
            if (item->size == 4)
                p.set(U32Field{item->offset, 4}, v.be16(0));
            else
                p.set(U16Field{item->offset, 2}, v.be16(0));
            return Outcome::Stored;
        case Shape::Text:
            if (n > textReadMax(*item)) return Outcome::BadLength;
            p.setText(TextField{item->offset, item->size}, v.from(0));
            return Outcome::Stored;
    }
    return Outcome::UnknownTag;
}

// Calls visit(tag, value) for each whole item of a parameter block; false when the block ends
// inside an item. The block ends at its declared length or at the end of what arrived,
// whichever is first.
template <typename Visit>
bool forEachItem(std::span<const std::uint8_t> block, Visit&& visit) {
    if (block.size() < 2) return true;
    const std::size_t declared = std::size_t(block[0]) << 8 | block[1];
    const auto items = block.subspan(2, std::min(declared, block.size() - 2));
    std::size_t pos = 0;
    while (pos < items.size()) {
        if (items.size() - pos < 3) return false;
        const std::uint8_t tag = items[pos];
        const std::size_t len = std::size_t(items[pos + 1]) << 8 | items[pos + 2];
        if (len > items.size() - pos - 3) return false;
        visit(tag, items.subspan(pos + 3, len));
        pos += 3 + len;
    }
    return true;
}

}  // namespace

bool isFullReadBlock(std::span<const std::uint8_t> block) {
    bool full = false;
    forEachItem(block, [&](std::uint8_t tag, std::span<const std::uint8_t> value) {
        if (tag == 1 && value.size() == 5) full = true;
    });
    return full;
}

DecodeResult decodeParamBlock(std::span<const std::uint8_t> block, DeviceParams& params,
                              LiveState& live, DecodeScope scope) {
    DecodeResult result;
    const bool settings = scope == DecodeScope::Everything || isFullReadBlock(block);
    result.truncated =
        !forEachItem(block, [&](std::uint8_t tag, std::span<const std::uint8_t> value) {
            const auto len = static_cast<std::uint16_t>(value.size());
            switch (decodeItem(tag, ItemValue(value), params, live, result, settings)) {
                case Outcome::Stored:
                    ++result.applied;
                    break;
                case Outcome::BadLength:
                    result.ignored.push_back({tag, len, false});
                    break;
                case Outcome::UnknownTag:
                    result.ignored.push_back({tag, len, true});
                    break;
                case Outcome::Skipped:
                    break;
            }
        });
    return result;
}
}  // namespace dtu
