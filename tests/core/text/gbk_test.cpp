#include "text/gbk.h"

#include <gtest/gtest.h>

#include <thread>

namespace dtu {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kWenduGbk{0xCE, 0xC2, 0xB6, 0xC8};                 // 温度
const Bytes kWenduDevice{0xE6, 0xB8, 0xA9, 0xE5, 0xBA, 0xA6};  // 温度, device form

TEST(Gbk, ConvertsBothWays) {
    EXPECT_EQ(gbkToUtf8(kWenduGbk), "温度");
    EXPECT_EQ(utf8ToGbk("温度"), kWenduGbk);
    EXPECT_EQ(utf8ToGbk("DTU-1 温度"),
              Bytes({'D', 'T', 'U', '-', '1', ' ', 0xCE, 0xC2, 0xB6, 0xC8}));
    EXPECT_EQ(gbkToUtf8(Bytes{0xA1, 0xA4}), "·");  // below U+0800: two UTF-8 bytes
    EXPECT_EQ(utf8ToGbk("€"), Bytes{0x80});        // the code page's one single-byte addition
    EXPECT_EQ(gbkToUtf8(Bytes()), "");
    EXPECT_EQ(utf8ToGbk(""), Bytes());
}

TEST(Gbk, RejectsBytesThatAreNotGbk) {
    const Bytes bad[] = {{0x81}, {0x41, 0xCE}, {0x81, 0x30}, {0x81, 0x7F}, {0x81, 0xFF}, {0xFF}};
    for (const Bytes& b : bad) EXPECT_FALSE(gbkToUtf8(b).has_value()) << int(b.back());
    // A failed conversion must not leave state behind for the next one.
    EXPECT_EQ(gbkToUtf8(kWenduGbk), "温度");
}

TEST(Gbk, RejectsTextGbkCannotCarry) {
    for (const char* text :
         {"\xE6\xB8", "\xC0\x80", "\xED\xA0\x80", "\xFF", "😀", "\u30FB", "a\u00ADb", "\uF8F5"})
        EXPECT_FALSE(utf8ToGbk(text).has_value()) << text;
}

TEST(Gbk, ConvertsOnEveryThread) {
    std::optional<std::string> seen;
    std::thread([&] { seen = gbkToUtf8(kWenduGbk); }).join();
    EXPECT_EQ(seen, "温度");
}

TEST(DeviceUtf8, WritesEveryGbkCharacterAsThreeBytes) {
    EXPECT_EQ(toDeviceUtf8(kWenduGbk), kWenduDevice);
    EXPECT_EQ(toDeviceUtf8(Bytes{'a', 0xA1, 0xA4, 'b'}), Bytes({'a', 0xE0, 0x82, 0xB7, 'b'}));
    EXPECT_EQ(toDeviceUtf8(Bytes()), Bytes());
}

TEST(DeviceUtf8, RefusesIncompleteOrUnknownPairs) {
    const Bytes bad[] = {{'a', 0xCE}, {0x80, 'a'}, {0x81, 0x30}, {0xFF, 'a'}, {0xCE, 0xC2, 0xB6}};
    for (const Bytes& b : bad) EXPECT_FALSE(toDeviceUtf8(b).has_value()) << int(b[0]);
}

TEST(DeviceUtf8, ReadsBackToGbk) {
    EXPECT_EQ(fromDeviceUtf8(kWenduDevice), kWenduGbk);
    EXPECT_EQ(fromDeviceUtf8(*toDeviceUtf8(Bytes{'x', 0xA1, 0xA4})), Bytes({'x', 0xA1, 0xA4}));
    // Only payload bits count: C6 B8 29 carries the same unit as E6 B8 A9.
    EXPECT_EQ(fromDeviceUtf8(Bytes{0xC6, 0xB8, 0x29}), Bytes({0xCE, 0xC2}));
}

TEST(DeviceUtf8, ReadingStopsAtZeroAndNeverFails) {
    EXPECT_EQ(fromDeviceUtf8(Bytes{'A', 0x00, 'B'}), Bytes{'A'});
    EXPECT_EQ(fromDeviceUtf8(Bytes{'A', 0xE6, 0xB8}), Bytes{'A'});     // truncated tail
    EXPECT_EQ(fromDeviceUtf8(Bytes{0xE6, 0x00, 0xA9, 'B'}), Bytes());  // zero inside a sequence
    EXPECT_EQ(fromDeviceUtf8(Bytes{0xE3, 0x83, 0xBB, 'B'}), Bytes({'?', 'B'}));  // U+30FB
    EXPECT_EQ(fromDeviceUtf8(Bytes{0xED, 0xA0, 0x80}), Bytes{'?'});              // lone surrogate
    EXPECT_EQ(fromDeviceUtf8(Bytes{0xE0, 0x82, 0xAD}), Bytes{'?'});  // U+00AD, no GBK form
}

}  // namespace
}  // namespace dtu
