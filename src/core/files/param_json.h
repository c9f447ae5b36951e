#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "params/device_params.h"
#include "params/field_table.h"

namespace dtu {

// The readable forms of a parameter set. Every entry of the record layout appears, in offset
// order, except reserved runs that are all zero and polling records past both the record count
// and the last record holding anything. Reading back starts from an all-zero record, so the
// JSON form carries every byte: file -> JSON -> file is byte-identical.
std::string paramsToJson(const DeviceParams& params);

// Reads a JSON object of field names and values. Unknown names, repeated names, values of the
// wrong type or out of range are errors; on error `out` is unchanged and `error` says why.
bool paramsFromJson(std::string_view json, DeviceParams& out, std::string& error);

// "name = value" lines, the values written as in the JSON form.
std::vector<std::string> paramsToLines(const DeviceParams& params);

// What a locked configuration shows: that it is locked, and the identity of the device it
// came from (model, firmware, IMEI, ICCID, MAC); never a parameter. Lines as paramsToLines
// writes them, or a JSON object with "locked": true that no reader takes for a parameter set.
std::vector<std::string> lockedParamsToLines(const DeviceParams& params);
std::string lockedParamsToJson(const DeviceParams& params);

struct FieldDifference {
    const FieldInfo* field;
    std::string before;
    std::string after;
};

// Every layout entry whose bytes differ, reserved runs and unused polling records included.
std::vector<FieldDifference> diffParams(const DeviceParams& a, const DeviceParams& b);

}  // namespace dtu
