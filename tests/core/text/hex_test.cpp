#include "text/hex.h"

#include <gtest/gtest.h>

namespace dtu {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Hex, ParsesPairsIgnoringBlanks) {
    EXPECT_EQ(parseHex("0A ff 1 2"), Bytes({0x0A, 0xFF, 0x12}));
    EXPECT_EQ(parseHex("  dead BEEF  "), Bytes({0xDE, 0xAD, 0xBE, 0xEF}));
    // A lone last digit is a byte of its own value, not a high nibble.
    EXPECT_EQ(parseHex("ABC"), Bytes({0xAB, 0x0C}));
    EXPECT_EQ(parseHex("f"), Bytes({0x0F}));
    EXPECT_EQ(parseHex(""), Bytes());
    EXPECT_EQ(parseHex("   "), Bytes());
}

TEST(Hex, RejectsAnythingButDigitsAndBlanks) {
    for (const char* text : {"0G", "0a\t1", "0x12", "12,34", "-1", "12\n", "ａ1"})
        EXPECT_FALSE(parseHex(text).has_value()) << text;
}

TEST(Hex, FormatsLowerCasePairs) {
    const Bytes bytes{0x0A, 0xFF, 0x00};
    EXPECT_EQ(formatHex(bytes), "0a ff 00 ");
    EXPECT_EQ(formatHexPairs(bytes), "0a ff 00");
    EXPECT_EQ(formatHex(Bytes()), "");
    EXPECT_EQ(formatHexPairs(Bytes()), "");
    EXPECT_EQ(formatHexPairs(Bytes{0x7E}), "7e");
}

TEST(Hex, DisplayFormParsesBackForEveryByte) {
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(parseHex(formatHex(all)), all);
    EXPECT_EQ(parseHex(formatHexPairs(all)), all);
}

}  // namespace
}  // namespace dtu
