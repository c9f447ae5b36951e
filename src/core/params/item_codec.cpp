// Writing the save frame: the record as items, in the device's order, within the frame's size.
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

}  // namespace

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
