#include "rtu/rtu_settings.h"

#include "params/form_values.h"

namespace dtu {

namespace f = fields;

void RtuSettingsForm::open(const DeviceParams& params) {
    RtuSettingsForm& form = *this;
    form.address = std::to_string(params.get(f::rtuAddress));
    form.debounceMs = std::to_string(params.get(f::rtuInputDebounceMs));
    form.linkage = params.get(f::rtuLinkageEnable) != 0;
    form.report = params.get(f::rtuReportEnable) != 0;
    const int mode = params.get(f::rtuPowerOffSave);
    form.powerOffSave = mode < kPowerOffModeCount ? mode : -1;
    const std::uint8_t powerOn = params.get(f::rtuPowerOnRelays);
    for (int i = 0; i < kRtuRelays; ++i) form.powerOnRelays[i] = (powerOn >> i) & 1;
}

std::optional<std::string> RtuSettingsForm::accept(DeviceParams& params, Language) const {
    params.set(f::rtuAddress, static_cast<std::uint16_t>(formNumber(address)));
    params.set(f::rtuInputDebounceMs, static_cast<std::uint8_t>(formNumber(debounceMs)));
    params.set(f::rtuLinkageEnable, linkage ? 1 : 0);
    params.set(f::rtuReportEnable, report ? 1 : 0);
    std::uint8_t powerOn = 0;
    for (int i = 0; i < kRtuRelays; ++i)
        if (powerOnRelays[i]) powerOn |= static_cast<std::uint8_t>(1u << i);
    params.set(f::rtuPowerOnRelays, powerOn);
    if (powerOffSave >= 0 && powerOffSave < kPowerOffModeCount)
        params.set(f::rtuPowerOffSave, static_cast<std::uint8_t>(powerOffSave));
    return std::nullopt;
}

}  // namespace dtu
