#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "params/device_params.h"
#include "rtu/adc_values.h"
#include "rtu/rtu_settings.h"
#include "text/language.h"

namespace dtu {

// What a trigger does to one relay; the values are the two bits the device keeps per relay.
enum class RelayAction : std::uint8_t { Open = 0, Close = 1, Toggle = 2, Keep = 3 };
inline constexpr int kRelayActionCount = 4;

// The trigger sources, one rule entry each: X1..X8, then ADC1 and ADC2.
inline constexpr int kRuleRows = 10;
inline constexpr int kRuleRowAdc1 = 8;
inline constexpr int kRuleRowAdc2 = 9;
inline constexpr int kRuleConditionCount = 3;

// One rule entry as the device keeps it: byte 0 holds Y1..Y4, byte 1 Y5..Y8, relay k of a byte
// in bits 2k and 2k+1.
using RuleEntry = std::array<std::uint8_t, 2>;
RelayAction ruleAction(const RuleEntry& entry, int relay);  // relay 0..7
void setRuleAction(RuleEntry& entry, int relay, RelayAction action);

// An action list's item: "Y3闭合" / "Y3Close".
std::string actionItemText(int relay, RelayAction action, Language lang);
// A row's name: "X1".."X8", "ADC1", "ADC2".
std::string ruleRowName(int row);

// The analogue trigger of one channel, with its values as the edits hold them.
struct AdcTriggerForm {
    int range = -1;  // 0 raw ADC, 1 0-20 mA, 2 0-5 V, 3 0-10 V; -1 none
    std::string value1;
    std::string value2;
    int condition = -1;
    friend bool operator==(const AdcTriggerForm&, const AdcTriggerForm&) = default;
};

// The output rules form: for each trigger source the action on each relay, and the analogue
// triggers. Every action list always has a selection.
struct OutputRulesForm {
    std::array<std::array<RelayAction, kRtuRelays>, kRuleRows> actions{};
    AdcTriggerForm adc1;
    AdcTriggerForm adc2;

    void open(const DeviceParams& params);
    // Copies the row's Y1 action to its Y2..Y8.
    void cloneRow(int row);
    // Every list "unchanged", then the action on the diagonal X1-Y1 .. X8-Y8.
    void oneForOne(RelayAction action);
    // Writes the rules (clearing the reserved bytes beside each entry) and the triggers; each
    // channel's values are read by the range chosen for it. Nothing is refused (the result is
    // always nullopt).
    std::optional<std::string> accept(DeviceParams& params, Language lang) const;

    friend bool operator==(const OutputRulesForm&, const OutputRulesForm&) = default;
};

}  // namespace dtu
