#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

// How the windows turn what the user typed into field values, and the messages of a refusal.

// A number edit: the leading decimal integer of the text the way C's atoi reads it (leading
// blanks, an optional sign, digits), 0 when there is none, kept modulo 2^32; the caller cuts it
// to the field's width, so "65536" in a 16-bit port gives 0 and "-1" gives 65535.
std::uint32_t formNumber(std::string_view text);

// A text field as an edit shows it: its GBK bytes in UTF-8 (bytes that are not GBK as "\xNN").
std::string fieldText(const DeviceParams& params, TextField field);

// Stored bytes as their edit shows them. The shown text is for showing only: while an edit still
// holds it, OK stores the bytes as they are (a byte that is no GBK character and shows as "\xNN",
// a character cut in half, bare line ends, a field filled to its last byte); only an edited text
// is converted and checked again.
struct ShownText {
    std::vector<std::uint8_t> stored;
    std::string shown;

    bool editedTo(std::string_view typed) const { return typed != shown; }
};

// A text field as fieldText shows it.
ShownText shownText(const DeviceParams& params, TextField field);
// A byte string with a HEX box: "%02x " for every byte, or the text up to the first zero.
ShownText shownBytes(std::span<const std::uint8_t> bytes, bool hex);

// Refusal texts naming the control (in the window's language) and the limit.
std::string tooLongMessage(FormLabel label, std::size_t maxBytes, Language lang);
std::string notGbkMessage(FormLabel label, Language lang);
// For bytes typed as hex digits, where every byte is one byte.
std::string tooManyBytesMessage(FormLabel label, std::size_t maxBytes, Language lang);

// What the user typed into a text edit, as the GBK bytes its field will hold, or why it cannot
// be held: a character GBK lacks (notGbkMessage), or more than maxBytes (the dialog's own
// message `tooLong` where it has one, otherwise tooLongMessage).
struct FormText {
    std::vector<std::uint8_t> gbk;
    std::string refusal;  // empty when the text is accepted
};
FormText formText(std::string_view typed, std::size_t maxBytes, FormLabel label, Language lang,
                  std::string_view tooLong = {});
// The same for an edit over stored bytes: those bytes, unchecked, while it is unedited.
FormText formText(const ShownText& was, std::string_view typed, std::size_t maxBytes,
                  FormLabel label, Language lang, std::string_view tooLong = {});

// Shown when hexadecimal entry holds a character that is not a hex digit.
inline constexpr FormLabel kHexEntryMessage{"请输入十六进制数", "Please type hex number"};

}  // namespace dtu
