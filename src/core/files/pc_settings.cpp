#include "files/pc_settings.h"

#include <string>
#include <variant>

namespace dtu {

namespace {

// Keys in the order they are written, with the member each one holds.
struct Key {
    std::string_view name;
    std::variant<int PcSettings::*, std::string PcSettings::*> member;
};

constexpr Key kKeys[] = {
    {"serial", &PcSettings::portIndex},
    {"bitrate", &PcSettings::baudIndex},
    {"check", &PcSettings::parityIndex},
    {"len", &PcSettings::dataBitsIndex},
    {"stop", &PcSettings::stopBitsIndex},
    {"lang", &PcSettings::language},
    {"hexserialtimedata", &PcSettings::hexTimedSend},
    {"hexserialfilterdata", &PcSettings::hexSerialFilter},
    {"hexhbdata", &PcSettings::hexHeartbeat},
    {"hexregdata", &PcSettings::hexRegister},
    {"model", &PcSettings::printerModel},
    {"utf8", &PcSettings::utf8Names},
    {"factory", &PcSettings::factoryResetAfterUpgrade},
    {"productiondir", &PcSettings::productionDir},
    {"printhost", &PcSettings::printHost},
    {"printport", &PcSettings::printPort},
    {"cloudhost", &PcSettings::cloudHost},
    {"cloudport", &PcSettings::cloudPort},
    {"mqttcloudserver", &PcSettings::mqttCloudServer},
    {"paramhistory", &PcSettings::paramHistory},
    {"record", &PcSettings::record},
};

}  // namespace

PcSettings loadPcSettings(const IniDocument& doc) {
    const PcSettings defaults;
    PcSettings s;
    for (const Key& k : kKeys) {
        if (const auto* number = std::get_if<int PcSettings::*>(&k.member)) {
            if (*number == &PcSettings::dataBitsIndex) continue;
            s.** number = doc.intValue(kPcSettingsSection, k.name, defaults.**number);
        } else {
            // An empty text is as good as a missing one.
            const auto text = std::get<std::string PcSettings::*>(k.member);
            const auto value = doc.value(kPcSettingsSection, k.name);
            s.*text = value && !value->empty() ? *value : defaults.*text;
        }
    }
    return s;
}

IniDocument savePcSettings(const PcSettings& settings) {
    IniDocument doc;
    for (const Key& k : kKeys) {
        if (const auto* number = std::get_if<int PcSettings::*>(&k.member))
            doc.set(kPcSettingsSection, k.name, std::to_string(settings.**number));
        else
            doc.set(kPcSettingsSection, k.name,
                    settings.*std::get<std::string PcSettings::*>(k.member));
    }
    return doc;
}

}  // namespace dtu
