// The items of the parameter block as the decoder and the save frame share them: which field
// each simple item carries, the counted arrays, and the order of the save frame. Private to
// the item codec.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>

#include "params/field_table.h"

namespace dtu::itemTables {

namespace f = fields;

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

inline const CountedItem& countedItem(std::uint8_t tag) {
    const auto* it = std::find_if(std::begin(kCountedItems), std::end(kCountedItems),
                                  [tag](const CountedItem& c) { return c.tag == tag; });
    return *it;  // only called for the tags of the table
}

inline const SimpleItem* findSimple(std::uint8_t tag) {
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

}  // namespace dtu::itemTables
