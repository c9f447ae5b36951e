#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

// The APN dialog's controls as values. The dialog edits the record in place and has no Cancel
// button (its close box stores nothing).
struct ApnForm {
    int authType = -1;  // entry of apnAuthEntries(), -1 for none
    std::string name;
    std::string userName;
    std::string password;

    void open(const DeviceParams& params);
    // Refuses an edited text its field cannot carry, naming the limit, before anything is stored;
    // nullopt once all is stored.
    std::optional<std::string> accept(DeviceParams& params, Language lang) const;

    friend bool operator==(const ApnForm&, const ApnForm&) = default;
};

// The authentication list: no encryption, PAP, CHAP, public-network APN (stored value = entry).
std::array<std::string_view, 4> apnAuthEntries(Language lang);

}  // namespace dtu
