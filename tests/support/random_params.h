#pragma once

// Records with random content in the fields a save carries, for round trips through the save
// frame and the read answer.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>

#include "params/device_params.h"
#include "params/field_table.h"
#include "params/item_codec.h"
#include "support/bytes.h"

namespace dtu::test {

// Fields a save carries and the device keeps as sent. The user code version and the
// certificate checksums ride on saved items but belong to the device.
inline bool savedField(const FieldInfo& fi) {
    if (fi.reserved || !isSaveItem(fi.tag)) return false;
    return fi.name != "userCodeVersion" && fi.name.rfind("certChecksums", 0) != 0;
}

// Random content in every field include() accepts and in minRecords to 6 polling records, with
// texts short enough for the whole record to fit one save frame. Values that travel in fewer
// bits than their field, and counted arrays, hold only what the link can carry back.
inline DeviceParams randomSavedRecord(std::mt19937& rng,
                                      const std::function<bool(const FieldInfo&)>& include,
                                      std::uint32_t minRecords) {
    namespace f = fields;
    auto pick = [&](std::uint32_t lo, std::uint32_t hi) {
        return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng);
    };
    const auto records = pick(minRecords, 6);
    DeviceParams p;
    for (const auto& fi : recordLayout()) {
        if (!include(fi) || fi.modbusRecord >= static_cast<int>(records)) continue;
        if (fi.kind == FieldKind::Text) {
            std::string s(pick(0, std::min<std::uint32_t>(fi.size - 1, 20)), ' ');
            for (auto& c : s) c = static_cast<char>(pick(0x21, 0x7E));
            p.setText(TextField{fi.offset, fi.size}, s);
        } else {
            for (std::uint32_t i = 0; i < fi.size; ++i)
                p.image()[fi.offset + i] = static_cast<std::uint8_t>(pick(0, 255));
        }
    }
    p.set(f::modbusItemCount, static_cast<std::uint8_t>(records));
    for (auto fld : {f::heartbeatInterval, f::serialSendInterval, f::noDataRebootMinutes,
                     f::relayNetLossMinutes, f::mqttPort, f::modbusMapStart})
        p.set(fld, p.get(fld) & 0xFFFF);
    auto counted = [&](U8Field len, BytesField data, std::uint32_t max) {
        const auto n = pick(0, max);
        p.set(len, static_cast<std::uint8_t>(n));
        Bytes keep = toBytes(p.bytes(data));
        std::fill(keep.begin() + n, keep.end(), 0);
        p.setBytes(data, keep);
    };
    counted(f::heartbeatLength, f::heartbeatData, 127);
    counted(f::registerLength, f::registerData, 127);
    counted(f::serialSendLength, f::serialSendData, 32);
    counted(f::serialFilterLength, f::serialFilterData, 16);
    return p;
}

}  // namespace dtu::test
