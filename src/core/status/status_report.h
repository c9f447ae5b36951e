#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "params/device_params.h"
#include "params/live_state.h"
#include "text/language.h"

namespace dtu {

// What each status display of the main window shows, in UTF-8.
struct StatusReport {
    std::string model;
    std::string version;
    std::string iccid;
    std::string imei;
    std::string signal;
    std::string operatorName;
    std::string mac;
    std::string network;  // cell network link
    std::string serverA;  // link texts: empty while the link is off and not connected
    std::string serverB;
    std::string http;
    std::string mqtt;
    std::string sim;   // SIM and network registration
    std::string gps;   // satellite fix
    std::string cell;  // position from the cell network
    std::string remoteConfigUuid;
    std::string userCode;
    std::string certChecksums;

    friend bool operator==(const StatusReport&, const StatusReport&) = default;
};

StatusReport buildStatusReport(const DeviceParams& params, const LiveState& live, Language lang);

// The network operator from the 5th and 6th ICCID characters read as a decimal number; an
// empty or non-numeric pair reads as 0. Unknown numbers give an empty text.
std::string operatorName(std::string_view iccid, Language lang);

// The network registration state 0..6 as text (as the diagnostics report names it); any other
// value as its decimal number.
std::string registrationText(std::uint8_t state);

// SIM presence and registration. A state outside 0..6 (0xFF: the firmware does not report it)
// replaces the whole line by a note that the firmware is too old.
std::string simLine(std::uint8_t simInserted, std::uint8_t netRegState, Language lang);

// The MAC as 12 lower-case hex digits; it also names the device in the production files.
std::string macText(const DeviceParams& params);

// The hidden memory line: totals in kb, flash window in hex.
std::string memoryLine(const DeviceParams& params);

// The cell information message box: country, network, area and cell of the serving cell.
std::string cellInfoMessage(const DeviceParams& params);

// The diagnostics answer as shown in its message box, lines ending "\r\n".
std::string diagnosticsMessage(const Diagnostics& diag);

// The device's free text for its message box: up to the first zero byte, at most 127 bytes.
std::string deviceTextMessage(std::string_view gbk);

}  // namespace dtu
