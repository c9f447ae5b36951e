#pragma once

#include <string>

#include "params/device_params.h"
#include "params/field_table.h"
#include "text/json.h"

namespace dtu {

// A field's value as a JSON literal: numbers as numbers; texts as strings when they are GBK
// text followed only by zero padding, otherwise {"hex": "..."}; byte data as a hex string.
// Byte data longer than 8 bytes drops its trailing zero bytes. Together with setFieldValue
// this carries every byte of the field unchanged.
std::string fieldValueJson(const DeviceParams& params, const FieldInfo& field);

// Stores a JSON value into the field. Returns an empty string on success, otherwise a short
// English reason (the field is then unchanged).
std::string setFieldValue(DeviceParams& params, const FieldInfo& field, const JsonValue& value);

}  // namespace dtu
