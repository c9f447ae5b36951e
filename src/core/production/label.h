#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

// Labels go as printer command text, in UDP datagrams, to the print service on this PC.
inline constexpr std::string_view kPrintServiceHost = "127.0.0.1";
inline constexpr std::uint16_t kPrintServicePort = 12345;
// One datagram: the set-up, the logo download or the filled label.
inline constexpr std::size_t kDatagramLimit = 10240;
// The logo text and the templates are refused beyond this size.
inline constexpr std::size_t kLabelFileLimit = 40240;
// The model name as the label and the history carry it.
inline constexpr std::size_t kModelNameLimit = 63;

// The files of the production folder.
namespace productionFile {
inline constexpr std::string_view kModels = "model.txt";
inline constexpr std::string_view kLogoText = "logo.txt";
inline constexpr std::string_view kLogo = "logo.pcx";
inline constexpr std::string_view kTemplate = "label-dtu.txt";
inline constexpr std::string_view kTemplateNoLogo = "label-dtu-nologo.txt";
inline constexpr std::string_view kHistory = "history.txt";
}  // namespace productionFile

// What one label shows. The model name is kept as the model list's bytes; the IMEI and the
// version are the device's texts in readable form.
struct LabelRequest {
    std::array<std::uint8_t, 6> mac{};
    std::string model;
    std::string imei;
    std::string version;
    bool withLogo = true;
};

LabelRequest labelRequest(const DeviceParams& params, std::string_view model, bool withLogo);

// The template a print uses.
std::string_view templateFile(bool withLogo);

// The fixed printer set-up sent first: twelve command lines, each ended by CR LF (185 bytes).
std::string_view printerSetup();

// The logo from its hexadecimal text: blanks, CR and LF are dropped, pairs of digits form
// bytes and a lone last digit a byte of its own value. nullopt when any other character is
// there; an empty result when there were no digits.
std::optional<std::vector<std::uint8_t>> decodeLogo(std::span<const std::uint8_t> text);

// "DOWNLOAD "LOGO.PCX",<count>," then the logo bytes, then CR LF; nullopt when that does not
// fit one datagram.
std::optional<std::string> logoDatagram(std::span<const std::uint8_t> logo);

// The template with its placeholders filled. At each position "imei", then "mac", then
// "model" is looked for; a placeholder is replaced by its value line (closing quote and CR LF
// included) and the rest of its template line, up to and including the LF, is dropped.
// nullopt when the result does not fit one datagram.
std::optional<std::string> fillTemplate(std::span<const std::uint8_t> labelTemplate,
                                        const LabelRequest& request);

enum class LabelRefusal : std::uint8_t {
    None,
    ModelTooLong,
    LogoMissing,       // logo.txt could not be opened
    LogoTooLong,       // logo.txt is longer than kLabelFileLimit
    LogoNotHex,        // logo.txt holds a character that is not a hex digit
    LogoEmpty,         // logo.txt holds no digits
    LogoTooLarge,      // the logo download does not fit a datagram
    TemplateMissing,   // the template could not be opened
    TemplateTooLong,   // the template is longer than kLabelFileLimit
    TemplateTooLarge,  // the filled label does not fit a datagram
};

// The files a print reads, as far as they were read: nullopt when a file could not be opened.
// Each is read up to kLabelFileLimit + 1 bytes, so that a longer file shows as such.
struct LabelFiles {
    std::optional<std::vector<std::uint8_t>> logoText;
    std::optional<std::vector<std::uint8_t>> labelTemplate;
};

// A print worked out before anything is sent or written: either refused, or the logo for
// logo.pcx and the datagrams in their order (set-up, logo, then the label unless the filled
// template is empty). A print is whole or nothing: a refusal sends nothing and records nothing.
struct LabelPlan {
    LabelRefusal refusal = LabelRefusal::None;
    std::size_t logoBytes = 0;  // the decoded logo's size, also when it is refused
    std::vector<std::uint8_t> logo;
    std::vector<std::string> datagrams;
};

LabelPlan planLabel(const LabelRequest& request, const LabelFiles& files);

// Why a print was refused, for a message box or the terminal.
std::string labelRefusalText(const LabelPlan& plan, bool withLogo, Language lang);

}  // namespace dtu
