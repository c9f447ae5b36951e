#pragma once

#include <array>
#include <string>
#include <string_view>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

// The relay dialog's settings as values: what the relay Y1 does once the network has been lost
// for some minutes. The dialog works on a private copy that OK writes back; it never changes
// whether the relay function is on (the main window's box). The minutes keep all 32 bits in the
// record; the link carries their low 16 bits.
struct RelayForm {
    bool onNetLoss = false;
    std::string minutes;
    int action = -1;  // entry of relayActionEntries(), -1 for none

    void open(const DeviceParams& params);
    void accept(DeviceParams& params) const;

    friend bool operator==(const RelayForm&, const RelayForm&) = default;
};

// Close the relay, open it (stored value = entry).
std::array<std::string_view, 2> relayActionEntries(Language lang);

}  // namespace dtu
