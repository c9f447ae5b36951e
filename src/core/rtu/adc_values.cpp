#include "rtu/adc_values.h"

#include <cstdio>

#include "params/form_values.h"

namespace dtu {

std::string ruleValueText(std::uint16_t value, bool physical) {
    char buf[32];
    if (physical)
        std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(float(value) / 100.0f));
    else
        std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(value));
    return buf;
}

std::string uploadValueText(std::uint16_t value, bool physical) {
    char buf[32];
    if (physical)
        std::snprintf(buf, sizeof buf, "%f", value / 100.0);
    else
        std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(value));
    return buf;
}

std::uint16_t valueFromText(std::string_view text, bool physical) {
    if (!physical) return static_cast<std::uint16_t>(formNumber(text));
    // Read like a decimal number typed into an edit: leading blanks, a sign, digits, a point and
    // more digits; whatever follows is ignored, and no digits at all read as 0. Only the low 16
    // bits are kept, so the arithmetic may wrap.
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::uint32_t hundredths = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        hundredths = hundredths * 10u + static_cast<std::uint32_t>(text[i] - '0');
    hundredths *= 100u;
    if (i < text.size() && text[i] == '.') {
        ++i;
        std::uint32_t scale = 10u;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (scale > 0) hundredths += scale * static_cast<std::uint32_t>(text[i] - '0');
            scale /= 10u;
        }
    }
    return static_cast<std::uint16_t>(negative ? 0u - hundredths : hundredths);
}

}  // namespace dtu
