#include "rtu/output_rules.h"

#include <algorithm>

#include "rtu/adc_values.h"
#include "rtu/rtu_texts.h"

namespace dtu {

namespace f = fields;

namespace {

struct AdcTriggerFields {
    U8Field mode;
    U16Field value1;
    U16Field value2;
    U8Field condition;
};
constexpr AdcTriggerFields kAdc1{f::adc1RuleMode, f::adc1RuleValue1, f::adc1RuleValue2,
                                 f::adc1RuleCondition};
constexpr AdcTriggerFields kAdc2{f::adc2RuleMode, f::adc2RuleValue1, f::adc2RuleValue2,
                                 f::adc2RuleCondition};

AdcTriggerForm openTrigger(const DeviceParams& p, const AdcTriggerFields& fl) {
    AdcTriggerForm t;
    const int mode = p.get(fl.mode);
    const int condition = p.get(fl.condition);
    t.range = mode < kAdcRangeCount ? mode : -1;
    t.condition = condition < kRuleConditionCount ? condition : -1;
    // The stored mode chooses how the values are shown, whatever the list can show.
    t.value1 = ruleValueText(p.get(fl.value1), mode != 0);
    t.value2 = ruleValueText(p.get(fl.value2), mode != 0);
    return t;
}

void acceptTrigger(const AdcTriggerForm& t, DeviceParams& p, const AdcTriggerFields& fl) {
    if (t.range >= 0) p.set(fl.mode, static_cast<std::uint8_t>(t.range));
    if (t.condition >= 0) p.set(fl.condition, static_cast<std::uint8_t>(t.condition));
    const bool physical = p.get(fl.mode) != 0;  // as just stored
    p.set(fl.value1, valueFromText(t.value1, physical));
    p.set(fl.value2, valueFromText(t.value2, physical));
}

}  // namespace

RelayAction ruleAction(const RuleEntry& entry, int relay) {
    const int shift = 2 * (relay % 4);
    return static_cast<RelayAction>((entry[static_cast<std::size_t>(relay / 4)] >> shift) & 3);
}

void setRuleAction(RuleEntry& entry, int relay, RelayAction action) {
    const int shift = 2 * (relay % 4);
    std::uint8_t& byte = entry[static_cast<std::size_t>(relay / 4)];
    byte = static_cast<std::uint8_t>((byte & ~(3u << shift)) |
                                     (static_cast<unsigned>(action) << shift));
}

std::string actionItemText(int relay, RelayAction action, Language lang) {
    return "Y" + std::to_string(relay + 1) +
           std::string(inLanguage(rtuText::kActions[static_cast<std::size_t>(action)], lang));
}

std::string ruleRowName(int row) {
    if (row == kRuleRowAdc1) return "ADC1";
    if (row == kRuleRowAdc2) return "ADC2";
    return "X" + std::to_string(row + 1);
}

void OutputRulesForm::open(const DeviceParams& params) {
    OutputRulesForm& form = *this;
    for (int row = 0; row < kRuleRows; ++row) {
        const auto stored = params.bytes(f::xyRules[static_cast<std::uint32_t>(row)]);
        const RuleEntry entry{stored[0], stored[1]};
        for (int relay = 0; relay < kRtuRelays; ++relay)
            form.actions[row][relay] = ruleAction(entry, relay);
    }
    form.adc1 = openTrigger(params, kAdc1);
    form.adc2 = openTrigger(params, kAdc2);
}

void OutputRulesForm::cloneRow(int row) {
    if (row < 0 || row >= kRuleRows) return;
    auto& r = actions[static_cast<std::size_t>(row)];
    r.fill(r[0]);
}

void OutputRulesForm::oneForOne(RelayAction action) {
    for (auto& row : actions) row.fill(RelayAction::Keep);
    for (int n = 0; n < kRtuInputs; ++n) actions[n][n] = action;
}

std::optional<std::string> OutputRulesForm::accept(DeviceParams& params, Language) const {
    // The entries with their reserved bytes: cleared as a whole, then each entry's bits.
    auto image = params.image();
    const std::uint32_t start = f::xyRules.first.offset;
    std::fill(image.begin() + start, image.begin() + start + f::xyRules.count * f::xyRules.stride,
              std::uint8_t{0});
    for (int row = 0; row < kRuleRows; ++row) {
        RuleEntry entry{};
        for (int relay = 0; relay < kRtuRelays; ++relay)
            setRuleAction(entry, relay, actions[row][relay]);
        params.setBytes(f::xyRules[static_cast<std::uint32_t>(row)], entry);
    }
    acceptTrigger(adc1, params, kAdc1);
    acceptTrigger(adc2, params, kAdc2);
    return std::nullopt;
}

}  // namespace dtu
