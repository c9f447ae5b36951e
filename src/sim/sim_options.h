#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device.h"
#include "link/frame.h"

namespace dtu::sim {

// Faults applied to the Nth answer the device would send (1-based).
enum class FaultKind {
    Drop,     // not sent
    Corrupt,  // sent with everything after the head replaced by noise
    Delay,    // sent delayMs late
    HangUp,   // first half sent, then the line is closed for good
};

struct Fault {
    FaultKind kind = FaultKind::Drop;
    int answer = 0;
    int delayMs = 0;
};

struct SimOptions {
    int baud = 9600;
    DeviceKind kind = DeviceKind::Dtu;
    bool lineRate = false;  // pace both directions to 10 bits per byte at `baud`
    std::optional<LockPassword> lock;
    std::vector<Fault> faults;
    std::string linkPath;                   // a symbolic link to the slave side, made at start
    std::optional<std::string> deviceText;  // item 181 instead of the model's own, GBK
    std::optional<std::string> imei;        // 15 digits instead of the model's own
    std::optional<std::array<std::uint8_t, 5>> mqttState;  // item 180: TCP, MQTT, topic,
                                                           // server, SSL
};

// Parses the simulator's options (without the program name). On failure returns nothing and
// sets error to a one-line reason.
std::optional<SimOptions> parseSimOptions(const std::vector<std::string>& args, std::string& error);

// The option summary, as printed by --help.
std::string simUsage();

}  // namespace dtu::sim
