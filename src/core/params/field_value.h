#pragma once

#include <span>
#include <string>
#include <string_view>

#include "params/device_params.h"
#include "params/field_table.h"
#include "params/item_codec.h"
#include "text/json.h"

namespace dtu {

// The most bytes a text given as text (a JSON string, `set`, a plan) may hold: what the save
// sends and a read takes back for a text the save carries; any other text keeps its
// terminator, so a reader that stops at the first zero never runs into the next field.
std::size_t givenTextLimit(const FieldInfo& field);

// A field's value as a JSON literal: numbers as numbers; texts as strings when they are GBK
// text within givenTextLimit followed only by zero padding, otherwise {"hex": "..."} (the
// bytes as they are); byte data as a hex string.
// Byte data longer than 8 bytes drops its trailing zero bytes. Together with setFieldValue
// this carries every byte of the field unchanged.
std::string fieldValueJson(const DeviceParams& params, const FieldInfo& field);

// Stores a JSON value into the field: a text given as a string is held to givenTextLimit, one
// given as {"hex": ...} is taken as the bytes it names. Returns an empty string on success,
// otherwise a short English reason (the field is then unchanged).
std::string setFieldValue(DeviceParams& params, const FieldInfo& field, const JsonValue& value);

// A value as a person types it for a field (a command-line argument, a CSV cell): JSON when it
// reads as JSON the field can take (a number for a number, a string or {"hex": ...} for a
// text, a string for byte data), otherwise the text itself. So `6000` is a port number, and
// the same 6000 a host name or the hex bytes 60 00, without quotes.
JsonValue fieldValueFromText(const FieldInfo& field, std::string_view text);

// One value for one field.
struct FieldAssignment {
    const FieldInfo* field = nullptr;
    JsonValue value;
};

// Checks values before any of them goes to a device: each must fit its field, and none may be
// one the device could not give back. An empty string when all are fine, otherwise the reason
// for the first that is not, starting with the field's name.
std::string refuseAssignments(std::span<const FieldAssignment> assignments);

// "NAME: N bytes; ..." for a value the save refuses because a read would not take it back.
std::string notReadBackText(const UnsendableValue& value);

}  // namespace dtu
