#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dtu {

// Hexadecimal entry as the forms take it: blanks (spaces) are removed, any other character that
// is not 0-9, A-F or a-f fails the whole text, pairs of digits form bytes (first digit high
// nibble) and a lone last digit forms one more byte of its own value ("ABC" gives AB 0C).
std::optional<std::vector<std::uint8_t>> parseHex(std::string_view text);

// Display form: "%02x " for every byte, so each byte is followed by a blank ("0a ff ").
std::string formatHex(std::span<const std::uint8_t> bytes);

// Lower-case byte pairs separated by single blanks, nothing trailing ("0a ff").
std::string formatHexPairs(std::span<const std::uint8_t> bytes);

}  // namespace dtu
