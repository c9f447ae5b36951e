#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

// The HTTP dialog's controls as values. The dialog edits the record in place: OK stores the
// address, port and method before it looks at the header, so a refused header leaves those
// three stored (also when the dialog is then cancelled).
struct HttpForm {
    std::string host;
    std::string port;
    int method = -1;  // entry of kHttpMethodEntries, -1 for none
    bool hexToAscii = false;
    std::string header;  // lines separated by "\n"; an edited header is stored with "\r\n"

    void open(const DeviceParams& params);
    // Stores step by step; the message of the first refusal, or nullopt when all is stored.
    std::optional<std::string> accept(DeviceParams& params, Language lang) const;

    friend bool operator==(const HttpForm&, const HttpForm&) = default;
};

inline constexpr std::array<const char*, 3> kHttpMethodEntries = {"POST ", "GET",
                                                                  "POST(TYPE:JSON)"};
// What the two demo buttons put into the header.
inline constexpr std::string_view kHttpPostDemo = "POST /http-test.php";
inline constexpr std::string_view kHttpGetDemo = "GET /http-test.php?";

}  // namespace dtu
