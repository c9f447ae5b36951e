#pragma once

#include <optional>
#include <string>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

// The serial filter and timed send dialogs: a short byte string of the record, shown and typed
// as text or as hex digits as the HEX box says. The box is a choice of the PC (a PC setting,
// kept whichever button closes the dialog); ticking it does not convert what is shown, the
// edit is read the way the box says when OK is pressed. Both work on a private copy: a refusal
// (a text the field cannot hold, a character that is no hex digit) stores nothing.

// The serial data filter's pattern.
struct SerialFilterForm {
    bool hex = false;
    std::string data;

    void open(const DeviceParams& params, bool hexView);
    std::optional<std::string> accept(DeviceParams& params, Language lang) const;

    friend bool operator==(const SerialFilterForm&, const SerialFilterForm&) = default;
};

// What the device writes to its own serial port, and how often. The interval keeps all 32 bits
// in the record; the link carries their low 16 bits.
struct TimedSendForm {
    std::string interval;  // seconds
    bool hex = false;
    std::string data;

    void open(const DeviceParams& params, bool hexView);
    std::optional<std::string> accept(DeviceParams& params, Language lang) const;

    friend bool operator==(const TimedSendForm&, const TimedSendForm&) = default;
};

}  // namespace dtu
