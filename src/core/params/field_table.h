#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "params/device_params.h"

namespace dtu {

// One entry of the record's layout: a named field, or a run of reserved bytes between fields
// (named "reserved@<offset>"). Array elements are named "uploadTexts[3]", polling record
// fields "modbusItems[2].jsonName".
struct FieldInfo {
    std::string name;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    FieldKind kind = FieldKind::Bytes;
    std::uint8_t tag = 0;   // item carrying the field, 0 for none
    bool reserved = false;  // bytes no parameter uses
    int modbusRecord = -1;  // polling record the field belongs to, -1 for none
};

// The whole record in offset order: every byte belongs to exactly one entry.
std::span<const FieldInfo> recordLayout();

// An entry of the layout by name, or nullptr.
const FieldInfo* findField(std::string_view name);

// The named field (not a reserved run) that starts at offset, or nullptr.
const FieldInfo* fieldAt(std::uint32_t offset);

}  // namespace dtu
