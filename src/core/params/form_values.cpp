#include "params/form_values.h"

#include <algorithm>

#include "text/gbk.h"
#include "text/hex.h"

namespace dtu {

std::uint32_t formNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    return negative ? 0u - value : value;
}

std::string fieldText(const DeviceParams& params, TextField field) {
    return gbkToDisplay(params.text(field));
}

ShownText shownText(const DeviceParams& params, TextField field) {
    const auto bytes = params.text(field);
    return {{bytes.begin(), bytes.end()}, fieldText(params, field)};
}

ShownText shownBytes(std::span<const std::uint8_t> bytes, bool hex) {
    ShownText t{{bytes.begin(), bytes.end()}, {}};
    if (hex) {
        t.shown = formatHex(bytes);
    } else {
        const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
        t.shown = gbkToDisplay(bytes.first(static_cast<std::size_t>(end - bytes.begin())));
    }
    return t;
}

std::string tooLongMessage(FormLabel label, std::size_t maxBytes, Language lang) {
    if (lang == Language::English)
        return std::string(label.english) + ": at most " + std::to_string(maxBytes) +
               " bytes (a Chinese character takes 2)";
    return std::string(label.chinese) + "不能超过" + std::to_string(maxBytes) +
           "字节（一个汉字占2字节）";
}

std::string tooManyBytesMessage(FormLabel label, std::size_t maxBytes, Language lang) {
    if (lang == Language::English)
        return std::string(label.english) + ": at most " + std::to_string(maxBytes) + " bytes";
    return std::string(label.chinese) + "不能超过" + std::to_string(maxBytes) + "字节";
}

std::string notGbkMessage(FormLabel label, Language lang) {
    if (lang == Language::English)
        return std::string(label.english) +
               " holds characters the device cannot store (only GBK characters are allowed)";
    return std::string(label.chinese) + "含有设备无法保存的字符（只能使用GBK字符）";
}

FormText formText(std::string_view typed, std::size_t maxBytes, FormLabel label, Language lang,
                  std::string_view tooLong) {
    FormText result;
    auto gbk = utf8ToGbk(typed);
    if (!gbk)
        result.refusal = notGbkMessage(label, lang);
    else if (gbk->size() > maxBytes)
        result.refusal = tooLong.empty() ? tooLongMessage(label, maxBytes, lang) : tooLong;
    else
        result.gbk = std::move(*gbk);
    return result;
}

FormText formText(const ShownText& was, std::string_view typed, std::size_t maxBytes,
                  FormLabel label, Language lang, std::string_view tooLong) {
    if (!was.editedTo(typed)) return {was.stored, {}};
    return formText(typed, maxBytes, label, lang, tooLong);
}

}  // namespace dtu
