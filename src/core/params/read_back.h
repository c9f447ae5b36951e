#pragma once

#include <string>
#include <vector>

#include "params/device_params.h"
#include "params/field_table.h"

namespace dtu {

// A field the device gave back with another value than the save sent.
struct ReadBackMismatch {
    const FieldInfo* field = nullptr;
    std::string saved;     // as fieldValueJson writes it
    std::string readBack;  // likewise
};

// Compares a saved record with what a read of the device gave back, field by field, for every
// field the save carries. A field counts only where its difference changes what the save sends:
// the device's own part of a saved item (the user code version, the certificate checksums),
// bytes after a text's terminator and the high half of a number the save sends 16 bits of are
// not the device's to keep, so they are not compared.
std::vector<ReadBackMismatch> compareReadBack(const DeviceParams& saved,
                                              const DeviceParams& readBack);

}  // namespace dtu
