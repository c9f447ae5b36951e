#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

// The main window's parameter controls as plain values: combo boxes as the selected entry
// (-1 for none), check boxes as ticked or not, edits as the UTF-8 text they hold. The window
// only copies between its widgets and this struct; showing, collecting, checking and the
// enabling rules are the functions below.

struct ServerForm {
    bool enable = false;
    std::string host;
    std::string port;
    int protocol = -1;    // 0 TCP, 1 UDP
    int connMode = -1;    // hidden: 0 long, 1 short connection
    std::string timeout;  // hidden
    friend bool operator==(const ServerForm&, const ServerForm&) = default;
};

// Heartbeat or registration packet data with its HEX box, which is not stored: it chooses
// whether the edit holds the bytes as text or as hex digits.
struct PacketForm {
    std::string data;
    bool hex = false;
    friend bool operator==(const PacketForm&, const PacketForm&) = default;
};

struct MainForm {
    int workMode = -1;  // 0 network transparent, 1 SMS transparent
    ServerForm serverA;
    ServerForm serverB;
    bool httpEnable = false;
    bool mqttEnable = false;
    bool heartbeatEnable = false;
    std::string heartbeatInterval;
    PacketForm heartbeat;
    bool registerEnable = false;
    int registerMode = 0;
    PacketForm registration;
    // The device's own serial port; the combos list the values that are stored as index + 1.
    int dtuBaud = -1;
    int dtuParity = -1;
    int dtuStopBits = -1;
    std::string packTime;
    int smsMode = -1;
    std::string phoneNumbers;
    bool serialSendEnable = false;
    bool serialFilterEnable = false;
    bool relayEnable = false;
    bool dataCacheEnable = false;
    bool modbusTcpToRtu = false;
    int edgeMode = -1;
    int tlsMode = 0;
    bool apnEnable = false;
    bool remoteConfigEnable = false;
    bool userCodeEnable = false;
    bool configLock = false;  // the lock the device is to carry
    std::string noDataRebootMinutes;
    bool cellLocation = false;  // base-station positioning, in the status area
    friend bool operator==(const MainForm&, const MainForm&) = default;
};

// Entries of the combo boxes whose contents never change with the language.
inline constexpr std::array<const char*, 11> kDeviceBaudEntries = {
    "1200",  "2400",  "4800",   "9600",   "14400", "19200",
    "38400", "57600", "115200", "230400", "460800"};
inline constexpr std::array<const char*, 3> kParityEntries = {"NONE", "ODD", "EVEN"};
inline constexpr std::array<const char*, 3> kStopBitsEntries = {"1", "1.5", "2"};
inline constexpr std::array<const char*, 2> kProtocolEntries = {"TCP", "UDP"};
inline constexpr std::array<const char*, 2> kConnModeEntries = {"长连接", "短连接"};

inline constexpr int kWorkModeCount = 2;
inline constexpr int kSmsModeCount = 3;
inline constexpr int kRegisterModeCount = 3;
inline constexpr int kEdgeModeCount = 3;
inline constexpr int kTlsModeCount = 3;

// Redisplay: every control from the record. The HEX boxes are kept as they are in `form` and
// choose how the packet data is shown. A stored value no combo entry stands for shows as no
// selection.
void showMainForm(const DeviceParams& params, MainForm& form);

struct CollectResult {
    bool ok = true;
    // Message boxes to show, in order (a hex entry error does not stop the collection).
    std::vector<std::string> messages;
};

// Copies the controls into the record before a save, in the device's documented order, with
// the checks. A failing check stops the collection: fields collected before it keep their new
// values, nothing after it is touched. A combo without a selection leaves its field as it is.
CollectResult collectMainForm(const MainForm& form, DeviceParams& params, Language lang);

// Which controls the window enables. The controls that only the work mode switches are left
// as they are (no value) while the work mode is neither network nor SMS transparent.
struct MainEnabling {
    bool serverAFields = false;  // address, port, connection type of server A
    bool serverBFields = false;
    bool heartbeatFields = false;  // interval and data
    bool registerFields = false;   // mode and data
    // The server, heartbeat, registration, HTTP and MQTT boxes.
    std::optional<bool> linkBoxes = std::nullopt;
    std::optional<bool> httpLink = std::nullopt;
    std::optional<bool> mqttLink = std::nullopt;
    std::optional<bool> smsMode = std::nullopt;  // the phone numbers stay enabled in every mode
    bool relay = false;  // relay box and its action link; device kind 1 has them instead of
                         // the RTU settings
    bool rtuButton = false;
    bool edgeLink = false;
    friend bool operator==(const MainEnabling&, const MainEnabling&) = default;
};

MainEnabling mainEnabling(const MainForm& form, std::uint8_t deviceKind);

}  // namespace dtu
