#pragma once

#include <array>
#include <optional>
#include <string>

#include "params/device_params.h"
#include "rtu/rtu_settings.h"
#include "text/language.h"

namespace dtu {

inline constexpr int kInputTriggerCount = 4;  // falling, rising, any change, ignored
inline constexpr int kUploadConditionCount = 2;
inline constexpr int kUploadFormatCount = 10;
inline constexpr int kUploadContentBits = 4;  // inputs, outputs, ADC values, input counters
inline constexpr std::size_t kSmsMaxBytes = 32;

// An input trigger's item: "X1变高" / "X1RiseE".
std::string inputTriggerText(int input, int trigger, Language lang);

// Formats from this one on report by SMS or call, and the form shows the SMS texts.
inline constexpr int kFirstSmsFormat = 5;
inline bool showsSmsTexts(int format) {
    return format >= kFirstSmsFormat;
}

// The upload of one analogue channel, with its values as the edits hold them.
struct AdcUploadForm {
    bool enable = false;
    int range = -1;  // 0 raw ADC, 1 0-20 mA, 2 0-5 V, 3 0-10 V; -1 none
    std::string value1;
    std::string value2;
    int condition = -1;
    friend bool operator==(const AdcUploadForm&, const AdcUploadForm&) = default;
};

// The input upload form. Combos hold their selection (-1 for none), edits the UTF-8 text typed.
// Each channel's values follow that channel's own range, when shown and when read, so that an
// unchanged value survives OK unchanged.
struct InputUploadForm {
    bool inputsEnable = false;
    std::array<int, kRtuInputs> inputTriggers{};
    AdcUploadForm adc1;
    AdcUploadForm adc2;
    bool timedEnable = false;
    std::string timedInterval;
    int format = -1;
    std::array<bool, kUploadContentBits> content{};
    // X1 high, X1 low, .. X8 high, X8 low, then ADC1 high, ADC1 low, ADC2 high, ADC2 low.
    std::array<std::string, 2 * kRtuInputs + 4> smsTexts;

    void open(const DeviceParams& params);
    // Selects X1's trigger for all eight inputs.
    void cloneInputs();
    // Checks every edited SMS text first (at most 32 bytes in the device's character set); on a
    // refusal returns its message and leaves the record untouched, so that Cancel afterwards
    // cancels everything; otherwise writes the form and returns nullopt.
    std::optional<std::string> accept(DeviceParams& params, Language lang) const;

    friend bool operator==(const InputUploadForm&, const InputUploadForm&) = default;
};

}  // namespace dtu
