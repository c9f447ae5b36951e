#include "rtu/input_upload.h"

#include <optional>
#include <vector>

#include "params/form_values.h"
#include "rtu/adc_values.h"
#include "rtu/rtu_texts.h"

namespace dtu {

namespace f = fields;

namespace {

struct AdcUploadFields {
    U8Field enable;
    U8Field type;
    U16Field value1;
    U16Field value2;
    U8Field condition;
};
constexpr AdcUploadFields kAdc1{f::uploadAdc1Enable, f::uploadAdc1Type, f::uploadAdc1Value1,
                                f::uploadAdc1Value2, f::uploadAdc1Condition};
constexpr AdcUploadFields kAdc2{f::uploadAdc2Enable, f::uploadAdc2Type, f::uploadAdc2Value1,
                                f::uploadAdc2Value2, f::uploadAdc2Condition};

int selection(int stored, int count) {
    return stored < count ? stored : -1;
}

AdcUploadForm openChannel(const DeviceParams& p, const AdcUploadFields& fl) {
    AdcUploadForm c;
    c.enable = p.get(fl.enable) != 0;
    const int type = p.get(fl.type);
    c.range = selection(type, kAdcRangeCount);
    c.condition = selection(p.get(fl.condition), kUploadConditionCount);
    c.value1 = uploadValueText(p.get(fl.value1), type != 0);
    c.value2 = uploadValueText(p.get(fl.value2), type != 0);
    return c;
}

void acceptChannel(const AdcUploadForm& c, DeviceParams& p, const AdcUploadFields& fl) {
    if (c.range >= 0) p.set(fl.type, static_cast<std::uint8_t>(c.range));
    if (c.condition >= 0) p.set(fl.condition, static_cast<std::uint8_t>(c.condition));
    p.set(fl.enable, c.enable ? 1 : 0);
    const bool physical = p.get(fl.type) != 0;  // as just stored
    p.set(fl.value1, valueFromText(c.value1, physical));
    p.set(fl.value2, valueFromText(c.value2, physical));
}

TextField smsField(std::size_t i) {
    const auto n = static_cast<std::uint32_t>(i);
    return i < 2 * kRtuInputs ? f::uploadTexts[n] : f::uploadTexts2[n - 2 * kRtuInputs];
}

// The SMS section's own name for text i, for the message on a character the device cannot keep.
std::string smsLabel(std::size_t i, Language lang) {
    const std::size_t source = i / 2;
    const std::string name = source < kRtuInputs ? "X" + std::to_string(source + 1)
                                                 : "ADC" + std::to_string(source - kRtuInputs + 1);
    return name + " " +
           std::string(inLanguage(i % 2 == 0 ? rtuText::kHighSms : rtuText::kLowSms, lang));
}

}  // namespace

std::string inputTriggerText(int input, int trigger, Language lang) {
    return "X" + std::to_string(input + 1) +
           std::string(
               inLanguage(rtuText::kInputTriggers[static_cast<std::size_t>(trigger)], lang));
}

void InputUploadForm::open(const DeviceParams& params) {
    InputUploadForm& form = *this;
    form.inputsEnable = params.get(f::uploadInputsEnable) != 0;
    const auto modes = params.bytes(f::uploadInputModes);
    for (int i = 0; i < kRtuInputs; ++i)
        form.inputTriggers[i] = selection(modes[static_cast<std::size_t>(i)], kInputTriggerCount);
    form.adc1 = openChannel(params, kAdc1);
    form.adc2 = openChannel(params, kAdc2);
    form.timedEnable = params.get(f::uploadTimedEnable) != 0;
    form.timedInterval = std::to_string(params.get(f::uploadTimedInterval));
    form.format = selection(params.get(f::uploadFormat), kUploadFormatCount);
    const std::uint8_t bits = params.get(f::uploadFormatBits);
    for (int b = 0; b < kUploadContentBits; ++b) form.content[b] = (bits >> b) & 1;
    for (std::size_t i = 0; i < form.smsTexts.size(); ++i)
        form.smsTexts[i] = fieldText(params, smsField(i));
}

void InputUploadForm::cloneInputs() {
    inputTriggers.fill(inputTriggers[0]);
}

std::optional<std::string> InputUploadForm::accept(DeviceParams& params, Language lang) const {
    std::vector<std::vector<std::uint8_t>> sms;
    for (std::size_t i = 0; i < smsTexts.size(); ++i) {
        const std::string label = smsLabel(i, lang);
        FormText text =
            formText(shownText(params, smsField(i)), smsTexts[i], kSmsMaxBytes,
                     FormLabel{label, label}, lang, inLanguage(rtuText::kSmsTooLong, lang));
        if (!text.refusal.empty()) return text.refusal;
        sms.push_back(std::move(text.gbk));
    }

    auto modes = params.bytes(f::uploadInputModes);
    for (int i = 0; i < kRtuInputs; ++i)
        if (inputTriggers[i] >= 0 && inputTriggers[i] < kInputTriggerCount)
            modes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(inputTriggers[i]);
    if (format >= 0) params.set(f::uploadFormat, static_cast<std::uint8_t>(format));
    params.set(f::uploadInputsEnable, inputsEnable ? 1 : 0);
    params.set(f::uploadTimedEnable, timedEnable ? 1 : 0);
    params.set(f::uploadTimedInterval, static_cast<std::uint16_t>(formNumber(timedInterval)));
    acceptChannel(adc1, params, kAdc1);
    acceptChannel(adc2, params, kAdc2);
    std::uint8_t bits = 0;
    for (int b = 0; b < kUploadContentBits; ++b)
        if (content[b]) bits |= static_cast<std::uint8_t>(1u << b);
    params.set(f::uploadFormatBits, bits);
    for (std::size_t i = 0; i < sms.size(); ++i) params.setText(smsField(i), sms[i]);
    return std::nullopt;
}

}  // namespace dtu
