#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dtu {

// Texts in the record and on the link are 8-bit GBK (the Chinese ANSI code page 936); the
// windows and the command line work in Unicode. Both directions are strict: they fail rather
// than substitute, so a caller can tell text that does not survive the trip from text that does.

// GBK bytes to UTF-8. Fails on a byte sequence that is not GBK, or that would not convert
// back to exactly the same bytes.
std::optional<std::string> gbkToUtf8(std::span<const std::uint8_t> gbk);

// GBK bytes for display, never failing: a byte that is not part of a GBK character shows as
// "\xNN", so line noise and damaged fields stay visible, byte values included, beside the
// readable rest.
std::string gbkToDisplay(std::span<const std::uint8_t> gbk);
std::string gbkToDisplay(std::string_view gbk);

// UTF-8 to GBK bytes. Fails on malformed UTF-8 or a character GBK cannot hold.
std::optional<std::vector<std::uint8_t>> utf8ToGbk(std::string_view utf8);

// Where well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF) ends:
// the offset of the first byte that breaks it, or npos for a text that is UTF-8 throughout.
std::size_t firstNonUtf8(std::string_view text);

// The device's own UTF-8 form of a GBK text (cloud device names, JSON names and prefixes):
// a byte below 0x80 is copied; any other byte starts a two-byte GBK character, which becomes
// one UTF-16 code unit and is written as exactly three bytes 1110xxxx 10xxxxxx 10xxxxxx.
// Fails when a lead byte has no second byte or the pair is not a GBK character.
std::optional<std::vector<std::uint8_t>> toDeviceUtf8(std::span<const std::uint8_t> gbk);

// The reverse, for display: a byte 0x01..0x7F is copied; any other byte starts a three-byte
// sequence whose payload bits form one UTF-16 code unit, written in GBK. A zero byte ends the
// text. Never fails: a truncated last sequence is dropped and a code unit GBK cannot hold
// becomes '?'.
std::vector<std::uint8_t> fromDeviceUtf8(std::span<const std::uint8_t> bytes);

}  // namespace dtu
