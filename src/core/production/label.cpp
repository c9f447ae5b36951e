#include "production/label.h"

#include <algorithm>
#include <cstdio>

#include "text/gbk.h"
#include "text/hex.h"

namespace dtu {

namespace f = fields;

namespace {

constexpr std::string_view kSetup =
    "SPEED 6\r\n"
    "DENSITY 8\r\n"
    "SET PEEL OFF\r\n"
    "SET CUTTER OFF\r\n"
    "SET PARTIAL_CUTTER OFF\r\n"
    "SET TEAR ON\r\n"
    "DIRECTION 1\r\n"
    "SIZE 40.00 mm,30.00 mm\r\n"
    "GAP 2.00 mm,0.00 mm\r\n"
    "OFFSET 0.00 mm\r\n"
    "SHIFT 0\r\n"
    "REFERENCE 0,0\r\n";
static_assert(kSetup.size() == 185);

std::string macDigits(const std::array<std::uint8_t, 6>& mac) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02x%02x%02x%02x%02x%02x", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return buf;
}

bool startsWith(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view word) {
    if (bytes.size() - at < word.size()) return false;
    return std::equal(word.begin(), word.end(), bytes.begin() + std::ptrdiff_t(at),
                      [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

bool english(Language lang) {
    return lang == Language::English;
}

}  // namespace

LabelRequest labelRequest(const DeviceParams& params, std::string_view model, bool withLogo) {
    LabelRequest r;
    const auto mac = params.bytes(f::macAddress);
    std::copy(mac.begin(), mac.end(), r.mac.begin());
    r.model = std::string(model);
    r.imei = gbkToDisplay(params.text(f::imei));
    r.version = gbkToDisplay(params.text(f::firmwareVersion));
    r.withLogo = withLogo;
    return r;
}

std::string_view templateFile(bool withLogo) {
    return withLogo ? productionFile::kTemplate : productionFile::kTemplateNoLogo;
}

std::string_view printerSetup() {
    return kSetup;
}

std::optional<std::vector<std::uint8_t>> decodeLogo(std::span<const std::uint8_t> text) {
    std::string digits;
    digits.reserve(text.size());
    for (std::uint8_t b : text)
        if (b != '\r' && b != '\n') digits += static_cast<char>(b);
    return parseHex(digits);
}

std::optional<std::string> logoDatagram(std::span<const std::uint8_t> logo) {
    std::string d = "DOWNLOAD \"LOGO.PCX\"," + std::to_string(logo.size()) + ",";
    if (d.size() + logo.size() + 2 > kDatagramLimit) return std::nullopt;
    d.append(logo.begin(), logo.end());
    d += "\r\n";
    return d;
}

std::optional<std::string> fillTemplate(std::span<const std::uint8_t> labelTemplate,
                                        const LabelRequest& request) {
    std::string out;
    std::size_t i = 0;
    while (i < labelTemplate.size()) {
        std::string value;
        if (startsWith(labelTemplate, i, "imei")) {
            value = "IMEI:" + request.imei + "\"\r\n";
        } else if (startsWith(labelTemplate, i, "mac")) {
            value = "MAC(SN):" + macDigits(request.mac) + "\"\r\n";
        } else if (startsWith(labelTemplate, i, "model")) {
            value = "Model:" + request.model + "\"\r\n";
        }
        if (value.empty()) {
            out += static_cast<char>(labelTemplate[i++]);
        } else {
            out += value;
            const auto lf = std::find(labelTemplate.begin() + std::ptrdiff_t(i),
                                      labelTemplate.end(), std::uint8_t('\n'));
            i = lf == labelTemplate.end() ? labelTemplate.size()
                                          : std::size_t(lf - labelTemplate.begin()) + 1;
        }
        if (out.size() > kDatagramLimit) return std::nullopt;
    }
    return out;
}

LabelPlan planLabel(const LabelRequest& request, const LabelFiles& files) {
    LabelPlan plan;
    auto refuse = [&](LabelRefusal why) {
        plan.refusal = why;
        plan.logo.clear();
        plan.datagrams.clear();
        return plan;
    };
    if (request.model.size() > kModelNameLimit) return refuse(LabelRefusal::ModelTooLong);

    if (!files.logoText) return refuse(LabelRefusal::LogoMissing);
    if (files.logoText->size() > kLabelFileLimit) return refuse(LabelRefusal::LogoTooLong);
    auto logo = decodeLogo(*files.logoText);
    if (!logo) return refuse(LabelRefusal::LogoNotHex);
    if (logo->empty()) return refuse(LabelRefusal::LogoEmpty);
    plan.logoBytes = logo->size();
    auto download = logoDatagram(*logo);
    if (!download) return refuse(LabelRefusal::LogoTooLarge);

    if (!files.labelTemplate) return refuse(LabelRefusal::TemplateMissing);
    if (files.labelTemplate->size() > kLabelFileLimit) return refuse(LabelRefusal::TemplateTooLong);
    auto label = fillTemplate(*files.labelTemplate, request);
    if (!label) return refuse(LabelRefusal::TemplateTooLarge);

    plan.logo = std::move(*logo);
    plan.datagrams.emplace_back(printerSetup());
    plan.datagrams.push_back(std::move(*download));
    if (!label->empty()) plan.datagrams.push_back(std::move(*label));
    return plan;
}

std::string labelRefusalText(const LabelPlan& plan, bool withLogo, Language lang) {
    const bool en = english(lang);
    const std::string limit = std::to_string(kLabelFileLimit);
    const std::string datagram = std::to_string(kDatagramLimit);
    const std::string logoText(productionFile::kLogoText);
    const std::string labelTemplate(templateFile(withLogo));
    switch (plan.refusal) {
        case LabelRefusal::None:
            return {};
        case LabelRefusal::ModelTooLong:
            return en ? "The model name is longer than " + std::to_string(kModelNameLimit) +
                            " bytes; nothing was printed."
                      : "型号名称超过 " + std::to_string(kModelNameLimit) + " 字节，未打印。";
        case LabelRefusal::LogoMissing:
            return "not found logo.pcx";
        case LabelRefusal::LogoTooLong:
            return en ? logoText + " is longer than " + limit + " bytes; nothing was printed."
                      : logoText + " 超过 " + limit + " 字节，未打印。";
        case LabelRefusal::LogoNotHex:
            return en ? logoText +
                            " holds characters that are not hexadecimal digits; nothing was "
                            "printed."
                      : logoText + " 中有非十六进制字符，未打印。";
        case LabelRefusal::LogoEmpty:
            return en ? logoText + " holds no picture bytes; nothing was printed."
                      : logoText + " 中没有图像数据，未打印。";
        case LabelRefusal::LogoTooLarge:
            return en ? "The logo has " + std::to_string(plan.logoBytes) +
                            " bytes and does not fit one " + datagram +
                            "-byte datagram; nothing was printed."
                      : "LOGO 图像有 " + std::to_string(plan.logoBytes) + " 字节，超出 " +
                            datagram + " 字节的数据包，未打印。";
        case LabelRefusal::TemplateMissing:
            // The message names the template as it always has, without its second hyphen.
            return withLogo ? "label-dtu.txt" : "label-dtunologo.txt";
        case LabelRefusal::TemplateTooLong:
            return en ? labelTemplate + " is longer than " + limit + " bytes; nothing was printed."
                      : labelTemplate + " 超过 " + limit + " 字节，未打印。";
        case LabelRefusal::TemplateTooLarge:
            return en ? "The label filled from " + labelTemplate + " does not fit one " + datagram +
                            "-byte datagram; nothing was printed."
                      : "由 " + labelTemplate + " 填好的标签超出 " + datagram +
                            " 字节的数据包，未打印。";
    }
    return {};
}

}  // namespace dtu
