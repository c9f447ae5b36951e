#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dtu {

// The ranges of an analogue channel: 0 raw ADC, 1 0-20 mA, 2 0-5 V, 3 0-10 V.
inline constexpr int kAdcRangeCount = 4;

// The value edits of the analogue triggers and uploads. A channel on its raw range ("ADC")
// keeps raw readings; on a physical range (0-20 mA, 0-5 V, 0-10 V) it keeps hundredths of the
// range's unit, so 4.5 mA is stored as 450.

// How the output rules show a value: "%.2f" of value / 100 on a physical range, "%d" otherwise.
std::string ruleValueText(std::uint16_t value, bool physical);
// How the input upload shows a value: "%f" of value / 100 (six decimals) on a physical range.
std::string uploadValueText(std::uint16_t value, bool physical);

// A typed value: on a physical range the decimal text's hundredths, truncated toward zero and
// read exactly from the digits (a binary float would turn "0.29" into 28 and make every OK
// change an unchanged value); otherwise the text's leading integer. Both keep their low 16 bits.
std::uint16_t valueFromText(std::string_view text, bool physical);

}  // namespace dtu
