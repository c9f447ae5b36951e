#include "params/item_codec.h"

#include <algorithm>
#include <iterator>
#include <tuple>
#include <utility>

#include "params/field_table.h"

namespace dtu {

namespace f = fields;

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

// Items that are a single byte, a big-endian 16-bit number or a text into one field. The
// 16-bit items stored in a 32-bit field carry its low half; reading zero-extends.
enum class Shape : std::uint8_t { Byte, Word, Text };

struct SimpleItem {
    std::uint8_t tag;
    Shape shape;
    std::uint32_t offset;
    std::uint32_t size;
};

constexpr SimpleItem byteItem(std::uint8_t tag, U8Field fld) {
    return {tag, Shape::Byte, fld.offset, fld.size};
}
template <FieldKind K>
constexpr SimpleItem wordItem(std::uint8_t tag, Field<K> fld) {
    static_assert(K == FieldKind::U16 || K == FieldKind::U32);
    return {tag, Shape::Word, fld.offset, fld.size};
}
constexpr SimpleItem textItem(std::uint8_t tag, TextField fld) {
    return {tag, Shape::Text, fld.offset, fld.size};
}

constexpr SimpleItem kSimpleItems[] = {
    byteItem(2, f::workMode),
    byteItem(3, f::serverAEnable),
    textItem(4, f::serverAHost),
    wordItem(5, f::serverAPort),
    byteItem(7, f::serverBEnable),
    textItem(8, f::serverBHost),
    wordItem(9, f::serverBPort),
    byteItem(11, f::heartbeatEnable),
    wordItem(12, f::heartbeatInterval),
    byteItem(14, f::registerEnable),
    byteItem(15, f::registerMode),
    byteItem(18, f::remoteConfigEnable),
    textItem(19, f::remoteConfigServer),
    byteItem(22, f::smsMode),
    textItem(23, f::smsPhoneNumbers),
    wordItem(25, f::noDataRebootMinutes),
    byteItem(26, f::relayEnable),
    byteItem(28, f::httpEnable),
    textItem(29, f::httpHost),
    wordItem(30, f::httpPort),
    textItem(32, f::httpHeader),
    byteItem(33, f::apnEnable),
    byteItem(34, f::apnAuthType),
    textItem(35, f::apnName),
    textItem(36, f::apnUserName),
    textItem(37, f::apnPassword),
    byteItem(38, f::dataCacheEnable),
    byteItem(40, f::modbusTcpToRtu),
    byteItem(48, f::mqttEnable),
    textItem(49, f::mqttHost),
    wordItem(50, f::mqttPort),
    textItem(51, f::mqttUserName),
    textItem(52, f::mqttPassword),
    textItem(53, f::mqttClientId),
    wordItem(54, f::mqttKeepAlive),
    byteItem(55, f::mqttQos),
    byteItem(56, f::mqttWillEnable),
    textItem(57, f::mqttWillMessage),
    textItem(58, f::mqttSubscribeTopic),
    textItem(59, f::mqttPublishTopic1),
    byteItem(60, f::mqttCloudType),
    textItem(61, f::mqttProductKey),
    textItem(62, f::mqttDeviceName),
    textItem(63, f::mqttDeviceSecret),
    byteItem(64, f::mqttRetain),
    textItem(65, f::mqttWillTopic),
    byteItem(66, f::mqttSsl),
    textItem(67, f::mqttPublishTopic2),
    textItem(68, f::mqttPublishTopic3),
    textItem(69, f::mqttPublishTopic4),
    wordItem(85, f::rtuAddress),
    byteItem(87, f::rtuLinkageEnable),
    byteItem(88, f::counterMode),
    byteItem(92, f::rtuReportEnable),
    textItem(99, f::uploadTexts[0]),
    textItem(100, f::uploadTexts[1]),
    textItem(101, f::uploadTexts[2]),
    textItem(102, f::uploadTexts[3]),
    textItem(103, f::uploadTexts[4]),
    textItem(104, f::uploadTexts[5]),
    textItem(105, f::uploadTexts[6]),
    textItem(106, f::uploadTexts[7]),
    textItem(107, f::uploadTexts[8]),
    textItem(108, f::uploadTexts[9]),
    textItem(109, f::uploadTexts[10]),
    textItem(110, f::uploadTexts[11]),
    textItem(111, f::uploadTexts[12]),
    textItem(112, f::uploadTexts[13]),
    textItem(113, f::uploadTexts[14]),
    textItem(114, f::uploadTexts[15]),
    byteItem(117, f::edgeMode),
    byteItem(120, f::modbusChangeUpload),
    byteItem(121, f::modbusRelayFollow),
    byteItem(122, f::modbusTimeoutAction),
    byteItem(123, f::modbusTimestamp),
    byteItem(124, f::modbusJsonArray),
    textItem(125, f::uploadTexts2[0]),
    textItem(126, f::uploadTexts2[1]),
    textItem(127, f::uploadTexts2[2]),
    textItem(128, f::uploadTexts2[3]),
    textItem(129, f::modbusPrefix),
};

// A text item is read only while it leaves room for the terminator.
constexpr std::uint32_t textReadMax(const SimpleItem& item) {
    return item.size - 1;
}

// Items whose value ends in a counted array: `lead` fixed bytes, then the array's first
// `length` bytes. A read takes such an item only from `lead` up to `readMax` value bytes.
struct CountedItem {
    std::uint8_t tag;
    std::uint32_t lead;
    U8Field length;
    BytesField data;
    std::uint32_t readMax;
};

constexpr CountedItem kCountedItems[] = {
    // The packets are read only below their array's size.
    {13, 0, f::heartbeatLength, f::heartbeatData, f::heartbeatData.size - 1},
    {16, 0, f::registerLength, f::registerData, f::registerData.size - 1},
    {17, 3, f::serialSendLength, f::serialSendData, 3 + f::serialSendData.size},
    {21, 1, f::serialFilterLength, f::serialFilterData, 1 + f::serialFilterData.size},
};

const CountedItem& countedItem(std::uint8_t tag) {
    const auto* it = std::find_if(std::begin(kCountedItems), std::end(kCountedItems),
                                  [tag](const CountedItem& c) { return c.tag == tag; });
    return *it;  // only called for the tags of the table
}

const SimpleItem* findSimple(std::uint8_t tag) {
    static const auto index = [] {
        std::array<const SimpleItem*, 256> idx{};
        for (const auto& item : kSimpleItems) idx[item.tag] = &item;
        return idx;
    }();
    return index[tag];
}

constexpr std::uint8_t kSaveOrder[] = {
    1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  14,  15,  16,  17,  18,
    19,  21,  22,  23,  24,  25,  26,  27,  28,  29,  30,  31,  32,  33,  34,  35,  36,  37,
    38,  39,  40,  41,  48,  49,  50,  51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,
    62,  63,  64,  65,  66,  67,  68,  69,  85,  86,  87,  88,  89,  90,  91,  92,  93,  94,
    95,  96,  97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112,
    113, 114, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128, 129, 144, 186,
};
static_assert(std::size(kSaveOrder) == 107);

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

// Writes the save frame into a fixed buffer; any write that would pass its end marks the frame
// as too large instead.
class FrameWriter {
public:
    explicit FrameWriter(std::span<std::uint8_t> buf) : m_buf(buf) {}

    void u8(std::uint8_t b) {
        if (m_pos < m_buf.size())
            m_buf[m_pos] = b;
        else
            m_overflow = true;
        ++m_pos;
    }
    void be16(std::uint32_t v) {
        u8(static_cast<std::uint8_t>(v >> 8));
        u8(static_cast<std::uint8_t>(v));
    }
    void be32(std::uint32_t v) {
        be16(v >> 16);
        be16(v & 0xFFFF);
    }
    void bytes(std::span<const std::uint8_t> b) {
        for (auto x : b) u8(x);
    }
    // Starts an item; the returned mark is handed to endItem to fill in its length.
    std::size_t beginItem(std::uint8_t tag) {
        u8(tag);
        const std::size_t mark = m_pos;
        be16(0);
        return mark;
    }
    void endItem(std::size_t mark) { patch16(mark, m_pos - mark - 2); }
    void patch16(std::size_t at, std::size_t v) {
        if (at + 1 < m_buf.size()) {
            m_buf[at] = static_cast<std::uint8_t>(v >> 8);
            m_buf[at + 1] = static_cast<std::uint8_t>(v);
        }
    }
    std::size_t pos() const { return m_pos; }
    bool overflow() const { return m_overflow; }

private:
    std::span<std::uint8_t> m_buf;
    std::size_t m_pos = 0;
    bool m_overflow = false;
};

// The first `length` bytes of a counted array, never more than the array holds.
std::span<const std::uint8_t> countedBytes(const DeviceParams& p, U8Field length, BytesField data) {
    const auto all = p.bytes(data);
    return all.first(std::min<std::size_t>(p.get(length), all.size()));
}

void encodeItem(std::uint8_t tag, const DeviceParams& p, FrameWriter& w) {
    const std::size_t mark = w.beginItem(tag);
    switch (tag) {
        case 1:
            w.u8(p.get(f::dtuBaudIndex));
            w.u8(p.get(f::dtuParityIndex));
            w.u8(8);  // the device always runs 8 data bits
            w.u8(p.get(f::dtuStopBitsIndex));
            w.u8(p.get(f::packTimeMs));
            break;
        case 6:
        case 10: {
            const bool a = tag == 6;
            w.u8(p.get(a ? f::serverAProtocol : f::serverBProtocol));
            w.u8(p.get(a ? f::serverAConnMode : f::serverBConnMode));
            w.be16(p.get(a ? f::serverATimeout : f::serverBTimeout));
            break;
        }
        case 13:
            w.bytes(countedBytes(p, f::heartbeatLength, f::heartbeatData));
            break;
        case 16:
            w.bytes(countedBytes(p, f::registerLength, f::registerData));
            break;
        case 17:
            w.u8(p.get(f::serialSendEnable));
            w.be16(p.get(f::serialSendInterval) & 0xFFFF);
            w.bytes(countedBytes(p, f::serialSendLength, f::serialSendData));
            break;
        case 21:
            w.u8(p.get(f::serialFilterEnable));
            w.bytes(countedBytes(p, f::serialFilterLength, f::serialFilterData));
            break;
        case 24:
            w.u8(p.get(f::userCodeEnable));
            break;
        case 27:
            w.u8(p.get(f::relayOnNetLoss));
            w.be16(p.get(f::relayNetLossMinutes) & 0xFFFF);
            w.u8(p.get(f::relayNetLossAction));
            break;
        case 31:
            w.u8(p.get(f::httpMethod));
            w.u8(p.get(f::httpHexToAscii));
            break;
        case 39:
            w.be32(p.get(f::dataCacheCount));
            w.u8(p.get(f::dataCacheIntervalMs));
            w.u8(p.get(f::dataCacheLengthPrefix));
            w.u8(p.get(f::dataCacheTimePrefix));
            break;
        case 41:
            w.u8(p.get(f::gpsMode));
            w.be16(p.get(f::gpsInterval));
            w.u8(p.get(f::cellLocationEnable));
            break;
        case 86:
            w.u8(p.get(f::rtuInputDebounceMs));
            w.u8(p.get(f::rtuPowerOnRelays));
            break;
        case 89:
            w.u8(8);
            for (std::uint32_t i = 0; i < 8; ++i) w.bytes(p.bytes(f::xyRules[i]));
            break;
        case 90:
            w.u8(2);
            w.bytes(p.bytes(f::xyRules[8]));
            w.bytes(p.bytes(f::xyRules[9]));
            break;
        case 91:
            w.u8(2);
            w.u8(p.get(f::adc1RuleMode));
            w.be16(p.get(f::adc1RuleValue1));
            w.be16(p.get(f::adc1RuleValue2));
            w.u8(p.get(f::adc1RuleCondition));
            w.u8(p.get(f::adc2RuleMode));
            w.be16(p.get(f::adc2RuleValue1));
            w.be16(p.get(f::adc2RuleValue2));
            w.u8(p.get(f::adc2RuleCondition));
            break;
        case 93:
            w.u8(p.get(f::uploadInputsEnable));
            w.bytes(p.bytes(f::uploadInputModes));
            break;
        case 94:
            w.u8(p.get(f::uploadTimedEnable));
            w.be16(p.get(f::uploadTimedInterval));
            break;
        case 95:
        case 96: {
            const bool one = tag == 95;
            w.u8(p.get(one ? f::uploadAdc1Enable : f::uploadAdc2Enable));
            w.u8(p.get(one ? f::uploadAdc1Type : f::uploadAdc2Type));
            w.be16(p.get(one ? f::uploadAdc1Value1 : f::uploadAdc2Value1));
            w.be16(p.get(one ? f::uploadAdc1Value2 : f::uploadAdc2Value2));
            w.u8(p.get(one ? f::uploadAdc1Condition : f::uploadAdc2Condition));
            break;
        }
        case 97:
            w.u8(p.get(f::uploadFormat));
            w.u8(p.get(f::uploadFormatBits));
            break;
        case 98:
            w.u8(p.get(f::rtuPowerOffSave));
            break;
        case 118:
            w.be16(p.get(f::modbusTimeout));
            w.be16(p.get(f::modbusCommandDelayMs));
            w.be16(p.get(f::modbusPollInterval));
            w.be16(p.get(f::modbusUploadInterval));
            w.be16(p.get(f::modbusMapStart) & 0xFFFF);
            w.u8(p.get(f::modbusUploadFormat));
            break;
        case 119: {
            // The caller has checked the count and the names.
            const std::uint8_t count = p.get(f::modbusItemCount);
            w.u8(count);
            for (std::uint32_t r = 0; r < count; ++r) {
                const auto rec = f::modbusItem(r);
                const auto name = p.text(rec.jsonName);
                w.u8(static_cast<std::uint8_t>(26 + name.size()));
                w.u8(p.get(rec.slaveAddress));
                w.u8(p.get(rec.functionCode));
                w.be16(p.get(rec.startRegister));
                w.be16(p.get(rec.registerCount));
                w.u8(p.get(rec.dataType));
                w.u8(p.get(rec.decimals));
                w.u8(static_cast<std::uint8_t>(name.size()));
                w.bytes(name);
                w.be32(static_cast<std::uint32_t>(p.get(rec.threshold1)));
                w.be32(static_cast<std::uint32_t>(p.get(rec.threshold2)));
                w.u8(p.get(rec.emergencyData));
                w.be32(p.get(rec.scaleK));
                w.be32(p.get(rec.offsetB));
            }
            break;
        }
        case 144:
            w.u8(p.get(f::configLockFlag));
            w.bytes(p.bytes(f::configLockPassword));
            w.u8(p.get(f::uploadTarget));
            break;
        case 186:
            w.u8(p.get(f::tlsMode));
            break;
        default: {
            const SimpleItem* item = findSimple(tag);
            switch (item->shape) {
                case Shape::Byte:
                    w.u8(p.get(U8Field{item->offset, 1}));
                    break;
                case Shape::Word:
                    w.be16(item->size == 4 ? p.get(U32Field{item->offset, 4}) & 0xFFFF
                                           : p.get(U16Field{item->offset, 2}));
                    break;
                case Shape::Text:
                    w.bytes(p.text(TextField{item->offset, item->size}));
                    break;
            }
            break;
        }
    }
    w.endItem(mark);
}

// The most value bytes a read takes back for a saved text or packet at this offset.
std::optional<std::size_t> readBackLimit(std::uint32_t offset, std::uint32_t size) {
    for (const SimpleItem& item : kSimpleItems)
        if (item.shape == Shape::Text && item.offset == offset && item.size == size)
            return textReadMax(item);
    for (const CountedItem& c : kCountedItems)
        if (c.data.offset == offset && c.data.size == size)
            return std::min<std::size_t>(c.readMax - c.lead, size);
    return std::nullopt;
}

// Whether the polling table can be sent: a count within capacity and names that leave room for
// their terminator. With PollNameTooLong, the record at fault.
std::pair<SaveFrameError, int> pollTableError(const DeviceParams& p) {
    const std::uint8_t count = p.get(f::modbusItemCount);
    if (count > kModbusItemCapacity) return {SaveFrameError::PollCountTooLarge, -1};
    for (std::uint32_t r = 0; r < count; ++r)
        if (p.text(f::modbusItem(r).jsonName).size() > kJsonNameMax)
            return {SaveFrameError::PollNameTooLong, static_cast<int>(r)};
    return {SaveFrameError::None, -1};
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

std::span<const std::uint8_t> saveItemOrder() {
    return kSaveOrder;
}

bool isSaveItem(std::uint8_t tag) {
    return std::find(std::begin(kSaveOrder), std::end(kSaveOrder), tag) != std::end(kSaveOrder);
}

std::vector<std::uint8_t> encodeSaveItem(std::uint8_t tag, const DeviceParams& params) {
    if (!isSaveItem(tag)) return {};
    // The same table checks as the save frame: a record that would not decode is not sent.
    if (tag == 119 && pollTableError(params).first != SaveFrameError::None) return {};
    // Room for the largest item, a full polling table with the longest names.
    constexpr std::size_t kMaxItem = 3 + 1 + kModbusItemCapacity * (1 + 26 + kJsonNameMax);
    std::vector<std::uint8_t> buf(kMaxItem);
    FrameWriter w(buf);
    encodeItem(tag, params, w);
    if (w.overflow()) return {};
    buf.resize(w.pos());
    return buf;
}

std::size_t sendableBytes(TextField field) {
    if (field.size == kJsonNameMax + 1 && field.offset >= kModbusItemsOffset) {
        const std::uint32_t at = field.offset - kModbusItemsOffset;
        if (at < kModbusItemCapacity * kModbusItemSize &&
            at % kModbusItemSize == f::modbusItem(0).jsonName.offset - kModbusItemsOffset)
            return kJsonNameMax;
    }
    return readBackLimit(field.offset, field.size).value_or(field.size);
}

std::size_t sendableBytes(BytesField data) {
    return readBackLimit(data.offset, data.size).value_or(data.size);
}

std::optional<UnsendableValue> findUnsendable(const DeviceParams& params) {
    auto check = [](std::uint32_t offset, std::size_t length,
                    std::size_t limit) -> std::optional<UnsendableValue> {
        if (length <= limit) return std::nullopt;
        return UnsendableValue{fieldAt(offset), limit, length};
    };
    for (const std::uint8_t tag : kSaveOrder) {
        std::optional<UnsendableValue> bad;
        if (const SimpleItem* item = findSimple(tag); item && item->shape == Shape::Text) {
            bad = check(item->offset, params.text(TextField{item->offset, item->size}).size(),
                        textReadMax(*item));
        } else if (tag == 13 || tag == 16 || tag == 17 || tag == 21) {
            const CountedItem& c = countedItem(tag);
            bad = check(c.data.offset, countedBytes(params, c.length, c.data).size(),
                        c.readMax - c.lead);
        }
        if (bad) return bad;
    }
    return std::nullopt;
}

SaveFrame buildSaveFrame(const DeviceParams& params, const Lock& lock) {
    SaveFrame frame;
    std::tie(frame.error, frame.badPollRecord) = pollTableError(params);
    if (frame.error != SaveFrameError::None) return frame;
    const auto unsendable = findUnsendable(params);

    FrameWriter w(frame.bytes);
    w.u8(FRAME_HEAD_1);
    w.u8(FRAME_HEAD_2);
    w.u8(CMD_WRITE);
    w.be16(0);  // block length, filled in below
    for (const std::uint8_t tag : kSaveOrder) encodeItem(tag, params, w);
    w.patch16(3, w.pos() - 5);
    w.u8(FRAME_TAIL_1);
    w.u8(FRAME_TAIL_2);
    if (lock) w.bytes(lockSuffix(*lock));

    frame.needed = w.pos();
    if (unsendable || w.overflow()) {
        frame.error = unsendable ? SaveFrameError::NotReadBack : SaveFrameError::TooLarge;
        if (unsendable) frame.unsendable = *unsendable;
        frame.bytes.fill(0);
        return frame;
    }
    frame.size = w.pos();
    return frame;
}

}  // namespace dtu
