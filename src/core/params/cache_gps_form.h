#pragma once

#include <array>
#include <string>
#include <string_view>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

// The data cache dialog's controls as values. It edits the record in place; nothing it takes
// is refused: the send interval keeps its low 8 bits.
struct DataCacheForm {
    std::string count;
    std::string intervalMs;
    bool lengthPrefix = false;  // a 2-byte length before each packet
    bool timePrefix = false;    // a 4-byte relative time in seconds before each packet

    void open(const DeviceParams& params);
    void accept(DeviceParams& params) const;

    friend bool operator==(const DataCacheForm&, const DataCacheForm&) = default;
};

// The GPS upload dialog's controls as values, edited in place. The interval keeps its low 16
// bits: the range its label names is not checked.
struct GpsUploadForm {
    int mode = -1;  // entry of gpsModeEntries(), -1 for none
    std::string interval;

    void open(const DeviceParams& params);
    void accept(DeviceParams& params) const;

    friend bool operator==(const GpsUploadForm&, const GpsUploadForm&) = default;
};

// Off, once at power-on, periodic (stored value = entry).
std::array<std::string_view, 3> gpsModeEntries(Language lang);

}  // namespace dtu
