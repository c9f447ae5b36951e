#include "files/pc_settings.h"

#include <string>

namespace dtu {

namespace {

// Keys in the order they are written, with the member each one holds.
struct Key {
    std::string_view name;
    int PcSettings::*member;
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
};

}  // namespace

PcSettings loadPcSettings(const IniDocument& doc) {
    const PcSettings defaults;
    PcSettings s;
    for (const Key& k : kKeys) {
        if (k.member == &PcSettings::dataBitsIndex) continue;
        s.*k.member = doc.intValue(kPcSettingsSection, k.name, defaults.*k.member);
    }
    return s;
}

IniDocument savePcSettings(const PcSettings& settings) {
    IniDocument doc;
    for (const Key& k : kKeys)
        doc.set(kPcSettingsSection, k.name, std::to_string(settings.*k.member));
    return doc;
}

}  // namespace dtu
