#pragma once

#include <array>
#include <optional>
#include <string>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

inline constexpr int kRtuInputs = 8;  // X1..X8
inline constexpr int kRtuRelays = 8;  // Y1..Y8
inline constexpr int kPowerOffModeCount = 5;

// The settings half of the RTU form: the device's RTU address, the input debounce, the relays
// closed at power-on, the power-off save mode and the two switches of the output rules and the
// input upload. Edits hold the text as typed; the combo holds its selection (-1 for none).
struct RtuSettingsForm {
    std::string address;
    std::string debounceMs;
    bool linkage = false;
    bool report = false;
    int powerOffSave = -1;
    std::array<bool, kRtuRelays> powerOnRelays{};

    void open(const DeviceParams& params);
    // Writes the record. Nothing typed here is refused (the result is always nullopt):
    // non-numeric text reads as 0, numbers keep their low bits. A combo without a selection
    // leaves its field as it is.
    std::optional<std::string> accept(DeviceParams& params, Language lang) const;

    friend bool operator==(const RtuSettingsForm&, const RtuSettingsForm&) = default;
};

}  // namespace dtu
