#include "rtu/modbus_item.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/bytes.h"

namespace dtu {
namespace {

using test::hex;

std::string bytesText(const test::Bytes& b) {
    return {b.begin(), b.end()};
}

std::string repeat(std::string_view s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST(ModbusScale, ShowsAndReadsExactDecimals) {
    // A single-precision division would show 1234.5677 and drift on every edit.
    EXPECT_EQ(scaleKText(12345678), "1234.5678");
    EXPECT_EQ(scaleKFromText("1234.5678"), 12345678u);
    // 0.57 * 10000.0 in binary floating point truncates to 5699.
    EXPECT_EQ(scaleKFromText("0.57"), 5700u);
    EXPECT_EQ(scaleKText(5700), "0.5700");
    EXPECT_EQ(scaleKText(0), "0.0000");
    EXPECT_EQ(scaleKText(0xFFFFFFFF), "429496.7295");

    EXPECT_EQ(offsetBFromText("-1.5"), 0x80003A98u);
    EXPECT_EQ(offsetBText(0x80003A98), "-1.5000");
    EXPECT_EQ(offsetBFromText("-0"), 0x80000000u);
    EXPECT_EQ(offsetBText(0x80000000), "-0.0000");
    EXPECT_EQ(offsetBFromText("2.25"), 22500u);
}

TEST(ModbusScale, EveryStoredValueReadsBackFromItsText) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<std::uint32_t> any;
    for (std::uint32_t v : {0u, 1u, 9999u, 10000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(scaleKFromText(scaleKText(v)), v);
        EXPECT_EQ(offsetBFromText(offsetBText(v)), v);
    }
    for (int i = 0; i < 20000; ++i) {
        const std::uint32_t v = any(rng);
        ASSERT_EQ(scaleKFromText(scaleKText(v)), v) << v;
        ASSERT_EQ(offsetBFromText(offsetBText(v)), v) << v;
        ASSERT_EQ(parseScaleK(scaleKText(v)), v) << v;
        ASSERT_EQ(parseOffsetB(offsetBText(v)), v) << v;
    }
}

TEST(ModbusScale, TableCellsNeverFail) {
    EXPECT_EQ(scaleKFromText("abc"), 0u);
    EXPECT_EQ(scaleKFromText(""), 0u);
    EXPECT_EQ(scaleKFromText("  12.34567xyz"), 123456u);  // further places are dropped
    EXPECT_EQ(scaleKFromText(".5"), 5000u);
    EXPECT_EQ(scaleKFromText("+3"), 30000u);
    EXPECT_EQ(scaleKFromText("-1"), 0xFFFFD8F0u);  // low 32 bits of -10000
    // b keeps its sign in bit 31 and the low 31 bits of the magnitude.
    EXPECT_EQ(offsetBFromText("300000"), 3000000000u & 0x7FFFFFFFu);
    EXPECT_EQ(offsetBFromText("-300000"), 0x80000000u | (3000000000u & 0x7FFFFFFFu));
    EXPECT_EQ(offsetBFromText("x"), 0u);
    EXPECT_EQ(offsetBFromText(std::string(255, ' ') + "7"), 0u);  // beyond the counted part
}

TEST(ModbusScale, FilesTakeOnlyValuesTheFieldHolds) {
    EXPECT_EQ(parseScaleK(" 2.5 "), 25000u);
    EXPECT_EQ(parseScaleK("429496.7295"), 0xFFFFFFFFu);
    EXPECT_EQ(parseScaleK("429496.7296"), std::nullopt);
    EXPECT_EQ(parseScaleK("1.23456"), std::nullopt);
    EXPECT_EQ(parseScaleK("-1"), std::nullopt);
    for (const char* bad : {"", "1.", ".5", "1e3", "1,5", "abc", "1 2", "99999999999999999999"})
        EXPECT_EQ(parseScaleK(bad), std::nullopt) << bad;
    EXPECT_EQ(parseOffsetB("-214748.3647"), 0xFFFFFFFFu);
    EXPECT_EQ(parseOffsetB("214748.3647"), 0x7FFFFFFFu);
    EXPECT_EQ(parseOffsetB("214748.3648"), std::nullopt);
    EXPECT_EQ(parseOffsetB("-0"), 0x80000000u);
    EXPECT_EQ(parseOffsetB("--1"), std::nullopt);
}

TEST(ModbusDataTypes, ACellShowsAndReadsTheNameInEitherLanguage) {
    for (std::size_t i = 0; i < kModbusDataTypes.size(); ++i) {
        const auto type = static_cast<std::uint8_t>(i);
        EXPECT_EQ(dataTypeFromText(dataTypeText(type, Language::English)), i);
        EXPECT_EQ(dataTypeFromText(dataTypeText(type)), i);
        EXPECT_EQ(dataTypeText(type), kModbusDataTypes[i].chinese);
        EXPECT_EQ(findDataType(kModbusDataTypes[i].english), i);
        EXPECT_EQ(findDataType(kModbusDataTypes[i].chinese), i);
    }
    EXPECT_EQ(dataTypeText(2, Language::English), "Float(ABCD)");
    EXPECT_EQ(dataTypeFromText("whatever"), 0);
    // A newer device's type beyond the eleven shows as its number and a file keeps it.
    EXPECT_EQ(dataTypeText(11), "11");
    EXPECT_EQ(findDataType("11"), 11);
    EXPECT_EQ(findDataType("255"), 255);
    EXPECT_EQ(findDataType("256"), std::nullopt);
    EXPECT_EQ(findDataType("float"), std::nullopt);
}

TEST(ModbusCache, RegistersTakeTwoBytesCoilsOneBit) {
    auto item = [](std::uint8_t function, std::uint16_t count) {
        ModbusItem it;
        it.functionCode = function;
        it.registerCount = count;
        return it;
    };
    EXPECT_EQ(cacheAddresses(std::vector{item(1, 10), item(3, 1)}),
              (std::vector<std::uint32_t>{0, 2}));
    EXPECT_EQ(cacheAddresses(std::vector{item(3, 10), item(3, 1)}),
              (std::vector<std::uint32_t>{0, 20}));
    EXPECT_EQ(
        cacheAddresses(std::vector{item(4, 3), item(2, 9), item(1, 0), item(5, 8), item(3, 1)}),
        (std::vector<std::uint32_t>{0, 6, 8, 8, 9}));
    // The largest table cannot overflow the running offset.
    std::vector<ModbusItem> full(64, item(3, 65535));
    EXPECT_EQ(cacheAddresses(full).back(), 63u * 2 * 65535);
}

TEST(ModbusNames, StoredInGbkOrTheDevicesUtf8) {
    const auto utf8 = encodeName("温度", NameEncoding::DeviceUtf8, 57);
    ASSERT_EQ(utf8.error, NameError::None);
    EXPECT_EQ(utf8.bytes, bytesText(hex("E6 B8 A9 E5 BA A6")));
    EXPECT_EQ(storedNameText(utf8.bytes, NameEncoding::DeviceUtf8), "温度");
    const auto gbk = encodeName("温度", NameEncoding::Gbk, 57);
    ASSERT_EQ(gbk.error, NameError::None);
    EXPECT_EQ(gbk.bytes, bytesText(hex("CE C2 B6 C8")));
    EXPECT_EQ(storedNameText(gbk.bytes, NameEncoding::Gbk), "温度");
}

TEST(ModbusNames, RefusedWhenTheyDoNotFitNeverCut) {
    struct Case {
        std::string text;
        NameEncoding enc;
        NameError want;
    };
    const Case cases[] = {
        {std::string(57, 'a'), NameEncoding::Gbk, NameError::None},
        {std::string(58, 'a'), NameEncoding::Gbk, NameError::TooLong},
        {repeat("温", 28) + "a", NameEncoding::Gbk, NameError::None},               // 57 bytes
        {repeat("温", 29), NameEncoding::Gbk, NameError::TooLong},                  // 58 bytes
        {repeat("温", 19), NameEncoding::DeviceUtf8, NameError::None},              // 57 bytes
        {repeat("温", 18) + "abcd", NameEncoding::DeviceUtf8, NameError::TooLong},  // 58
        {"a😀", NameEncoding::Gbk, NameError::NotGbk},
        {"a😀", NameEncoding::DeviceUtf8, NameError::NotGbk},
        {std::string("a\0b", 3), NameEncoding::Gbk, NameError::NotGbk},  // would end at a
    };
    for (const Case& c : cases) {
        const EncodedName e = encodeName(c.text, c.enc, 57);
        EXPECT_EQ(e.error, c.want) << c.text;
        if (e.error != NameError::None) {
            EXPECT_TRUE(e.bytes.empty()) << c.text;
        }
    }
    EXPECT_EQ(nameRefusal(NameError::TooLong, "json名", "JsonName", 57, NameEncoding::DeviceUtf8,
                          Language::Chinese),
              "json名不能超过57字节（一个汉字占3字节）");
    EXPECT_EQ(nameRefusal(NameError::TooLong, "json名", "JsonName", 57, NameEncoding::Gbk,
                          Language::English),
              "JsonName: at most 57 bytes (a Chinese character takes 2)");
}

TEST(ModbusNames, BytesThatAreNoTextAreShownNotTaken) {
    const std::string junk = bytesText(hex("41 FF 42"));
    EXPECT_EQ(storedNameText(junk, NameEncoding::Gbk), std::nullopt);
    EXPECT_EQ(storedNameDisplay(junk, NameEncoding::Gbk), "A\\xFFB");
    // GBK bytes read as the device's UTF-8 do not convert back to themselves.
    EXPECT_EQ(storedNameText(bytesText(hex("CE C2 B6 C8")), NameEncoding::DeviceUtf8),
              std::nullopt);
}

TEST(ModbusItemRecord, ReadsAndWritesEveryFieldAndLeavesTheUnusedBytes) {
    DeviceParams p;
    std::fill(p.image().begin(), p.image().end(), std::uint8_t{0xA5});
    ModbusItem it;
    it.slaveAddress = 7;
    it.functionCode = 4;
    it.startRegister = 0x1234;
    it.registerCount = 0x0102;
    it.dataType = 9;
    it.decimals = 2;
    it.jsonName = "flow";
    it.scaleK = 0xDEADBEEF;
    it.offsetB = 0x80000001;
    it.threshold1 = -5;
    it.threshold2 = 1 << 30;
    it.emergencyData = 1;
    ASSERT_TRUE(writeModbusItem(p, 63, it));
    EXPECT_EQ(readModbusItem(p, 63), it);
    const std::uint32_t base = kModbusItemsOffset + 63 * kModbusItemSize;
    for (std::uint32_t unused : {6u, 7u, 85u, 86u, 87u}) EXPECT_EQ(p.image()[base + unused], 0xA5);
    EXPECT_EQ(p.image()[base + 10 + 4], 0);  // the name's terminator and padding
    EXPECT_EQ(p.image()[base + 67], 0);

    const DeviceParams before = p;
    it.jsonName = std::string(58, 'x');
    EXPECT_FALSE(writeModbusItem(p, 63, it));
    EXPECT_EQ(p, before);
}

}  // namespace
}  // namespace dtu
