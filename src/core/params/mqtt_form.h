#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

// The MQTT dialog's controls as values (the pattern every feature dialog follows is described
// in ui/mqtt_dialog.h). The dialog works on a private copy: open() copies the fields in, and
// only an accepted OK writes them back, all of them at once.
struct MqttForm {
    std::string host;
    std::string port;
    bool ssl = false;
    std::string userName;
    std::string password;
    std::string clientId;
    std::string keepAlive;
    int qos = -1;  // entry of kMqttQosEntries, -1 for none
    bool will = false;
    std::string willTopic;
    std::string willMessage;
    bool retain = false;
    std::string subscribeTopic;
    std::array<std::string, 4> publishTopics;
    // The two cloud boxes; ticking one clears the other, both may be clear.
    bool platformCloud = false;  // cloud type 1
    bool makerCloud = false;     // cloud type 2
    std::string productKey;
    std::string deviceName;  // as the user reads it, whatever form the record keeps it in
    std::string deviceSecret;

    // Counter firmware only (firmware version starting with "C"): the counter and meter
    // settings, written straight into the record on OK.
    bool counter = false;
    int counterMode = -1;                 // entry of counterModeEntries(), -1 for none
    std::array<std::string, 4> debounce;  // inputs x1..x4
    std::string adjustment;               // "-5" subtracts 5, "5" adds 5, "0" neither
    std::string countsPerCircumference;
    std::string circumference;  // millimetres

    void open(const DeviceParams& params);
    // The checks in the dialog's order; the first that fails gives its message and leaves the
    // record as it was. Otherwise every field is written and nullopt returned.
    std::optional<std::string> accept(DeviceParams& params, Language lang) const;

    friend bool operator==(const MqttForm&, const MqttForm&) = default;
};

// Counter firmware: the firmware version text starts with "C".
bool isCounterFirmware(const DeviceParams& params);

inline constexpr std::array<const char*, 3> kMqttQosEntries = {"0", "1", "2"};

// The machine types of counter firmware (stored value = entry).
std::array<std::string_view, 7> counterModeEntries(Language lang);

// Help of the "?" beside each cloud group; they exist in Chinese only. The maker's cloud
// server is a deployment value kept in the PC settings; until a site sets it, the help names
// a placeholder that points nowhere.
inline constexpr std::string_view kDefaultMakerCloudServer = "mqtt.example.com";
std::string platformCloudHelp(Language lang);
std::string makerCloudHelp(std::string_view server, Language lang);

}  // namespace dtu
