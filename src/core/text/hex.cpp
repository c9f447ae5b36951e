#include "text/hex.h"

namespace dtu {

namespace {

constexpr char kDigits[] = "0123456789abcdef";

int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void appendByte(std::string& out, std::uint8_t b) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
}

}  // namespace

std::optional<std::vector<std::uint8_t>> parseHex(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2 + 1);
    int high = -1;  // pending first digit of a pair
    for (char c : text) {
        // Only the blank is a separator; a tab or comma is a typing error the user must see.
        if (c == ' ') continue;
        const int v = nibble(c);
        if (v < 0) return std::nullopt;
        if (high < 0) {
            high = v;
        } else {
            bytes.push_back(static_cast<std::uint8_t>((high << 4) | v));
            high = -1;
        }
    }
    if (high >= 0) bytes.push_back(static_cast<std::uint8_t>(high));
    return bytes;
}

std::string formatHex(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::uint8_t b : bytes) {
        appendByte(out, b);
        out += ' ';
    }
    return out;
}

std::string formatHexPairs(std::span<const std::uint8_t> bytes) {
    std::string out;
    if (bytes.empty()) return out;
    out.reserve(bytes.size() * 3 - 1);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) out += ' ';
        appendByte(out, bytes[i]);
    }
    return out;
}

}  // namespace dtu
