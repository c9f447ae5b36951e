#pragma once

#include <string>
#include <string_view>

#include "files/ini.h"
#include "params/mqtt_form.h"
#include "production/label.h"
#include "production/registration.h"

namespace dtu {

// The one section of the PC settings file: 17 asterisks, "pc serial", 16 asterisks.
inline constexpr std::string_view kPcSettingsSection = "*****************pc serial****************";

// The tool's own choices kept between runs; none of them is sent to the device. List indices
// are the selected entries (-1 for none) and may lie beyond the list; boxes are 1 or 0.
struct PcSettings {
    int portIndex = 0;    // index i is COM(i+1) / the i-th port found
    int baudIndex = 4;    // "9600"
    int parityIndex = 0;  // "NONE"
    int dataBitsIndex = 0;
    int stopBitsIndex = 0;
    int language = 0;  // 0 Chinese, 1 English
    int hexTimedSend = 0;
    int hexSerialFilter = 0;
    int hexRegister = 0;
    int hexHeartbeat = 0;
    int printerModel = 0;
    int utf8Names = 0;
    int factoryResetAfterUpgrade = 0;
    // The production folder (model list, logo, templates, history, production record); empty
    // means the default folder of this PC's user.
    std::string productionDir;
    std::string printHost = std::string(kPrintServiceHost);
    int printPort = kPrintServicePort;
    std::string cloudHost = std::string(kDefaultCloudHost);
    int cloudPort = kCloudPort;
    // The maker's MQTT cloud server that the MQTT dialog's help names.
    std::string mqttCloudServer = std::string(kDefaultMakerCloudServer);
    // Whether every read and save of a device is kept in the parameter history, and the
    // record it is kept in (a file or a postgresql:// address; empty means the provisioning
    // record in the production folder).
    int paramHistory = 1;
    std::string record;

    friend bool operator==(const PcSettings&, const PcSettings&) = default;
};

// Each key with its default when missing. The data-bits choice always starts at its first
// entry whatever the file says: it is written for the record but never read back.
PcSettings loadPcSettings(const IniDocument& doc);

// A fresh document holding only the known keys, in their fixed order; anything else an
// earlier file held is dropped.
IniDocument savePcSettings(const PcSettings& settings);

}  // namespace dtu
