#include "status/status_report.h"

#include <gtest/gtest.h>

#include <string>

#include "params/item_codec.h"
#include "support/bytes.h"

namespace dtu {
namespace {

using test::Block;
using test::hex;
namespace f = fields;

// The status fields as a read answer leaves them.
class Status : public ::testing::Test {
protected:
    void decode(const Block& block) {
        ASSERT_GT(decodeParamBlock(block.bytes(), p, live).applied, 0);
    }
    StatusReport report(Language lang) const { return buildStatusReport(p, live, lang); }
    DeviceParams p;
    LiveState live;
};

TEST(OperatorName, ReadsIccidCharactersFiveAndSix) {
    // Nothing read yet: an empty pair reads as 0.
    EXPECT_EQ(operatorName("", Language::Chinese), "中国移动");
    EXPECT_EQ(operatorName("", Language::English), "Chana Mobile");
    EXPECT_EQ(operatorName("89861118123456789012", Language::Chinese), "中国电信");
    EXPECT_EQ(operatorName("89860118123456789012", Language::Chinese), "中国联通");
    EXPECT_EQ(operatorName("89860918123456789012", Language::English), "China Unicom");
    EXPECT_EQ(operatorName("8986xy18123456789012", Language::Chinese), "中国移动");
    EXPECT_EQ(operatorName("89866", Language::Chinese), "中国联通");  // a lone 5th character
    EXPECT_EQ(operatorName("89862018123456789012", Language::Chinese), "");
}

TEST_F(Status, IdentityAndLinksFromTheirItems) {
    const std::string ident =
        std::string("\x0A\x1B\x2C\x3D\x4E\xFF") + "861234567890123" + "89861118000000000001";
    p.set(f::serverAEnable, 0);
    p.set(f::serverBEnable, 1);
    p.set(f::httpEnable, 1);
    p.set(f::mqttEnable, 0);
    decode(Block()
               .item(176, ident)
               .item(177, hex("17 01 00 01 00 01"))
               .item(178, "DTU-X4")
               .item(179, hex("05 01 56 32 2E 31"))
               .item(184, hex("FF FF FF FF 00 02"))
               .item(186, hex("01 00 AB 12 34 FF FF"))
               .item(24, hex("01 07"))
               .item(98, hex("00 01 01")));
    const StatusReport zh = report(Language::Chinese);
    EXPECT_EQ(zh.model, "DTU-X4");
    EXPECT_EQ(zh.version, "V2.1");
    EXPECT_EQ(zh.imei, "861234567890123");
    EXPECT_EQ(zh.iccid, "89861118000000000001");
    EXPECT_EQ(zh.operatorName, "中国电信");
    EXPECT_EQ(zh.mac, "0a1b2c3d4eff");
    EXPECT_EQ(zh.signal, "23");
    EXPECT_EQ(zh.network, "已连接");
    EXPECT_EQ(zh.serverA, "已连接");  // connected shows whatever the enable flag says
    EXPECT_EQ(zh.serverB, "未连接");  // enabled, not connected
    EXPECT_EQ(zh.http, "未连接");
    EXPECT_EQ(zh.mqtt, "已连接");
    EXPECT_EQ(zh.sim, "已插卡; 已注册，本地网");
    EXPECT_EQ(zh.remoteConfigUuid, "-1");  // printed as a signed 32-bit number
    EXPECT_EQ(zh.userCode, "(V007)");
    EXPECT_EQ(zh.certChecksums, "(00ab;1234;ffff)");

    const StatusReport en = report(Language::English);
    EXPECT_EQ(en.serverB, "NotConnected");
    EXPECT_EQ(en.network, "Connected");
    EXPECT_EQ(en.sim, "SIM inserted; Registered, home network");
}

TEST_F(Status, LinkTextFollowsEnableFlagWhileNotConnected) {
    EXPECT_EQ(report(Language::Chinese).serverA, "");
    EXPECT_EQ(report(Language::English).network, "NotConnected");  // always shown
    p.set(f::serverAEnable, 1);
    EXPECT_EQ(report(Language::Chinese).serverA, "未连接");
    p.set(f::serverALinked, 2);  // only 1 means connected
    EXPECT_EQ(report(Language::English).serverA, "NotConnected");
    p.set(f::serverALinked, 1);
    p.set(f::serverAEnable, 0);
    EXPECT_EQ(report(Language::English).serverA, "Connected");
}

TEST_F(Status, EmptyRecordAndOldFirmware) {
    live.netRegState = kNetRegStateUnknown;
    const StatusReport r = report(Language::Chinese);
    EXPECT_EQ(r.operatorName, "中国移动");
    EXPECT_EQ(r.mac, "000000000000");
    EXPECT_EQ(r.sim, "版本低于V23084,无法获取");
    EXPECT_EQ(r.gps, "卫星数:0,纬度:0.000000,经度:0.000000");

    EXPECT_EQ(simLine(2, 5, Language::Chinese), "未插卡; 已注册漫游");  // only 1 means inserted
    EXPECT_EQ(simLine(1, 7, Language::Chinese), "版本低于V23084,无法获取");
    decode(Block().item(98, hex("00 01")));  // a two-byte item does not carry the state
    EXPECT_EQ(report(Language::English).sim, "Needs firmware V23084 or later");
}

TEST_F(Status, GpsAndCellLines) {
    // 8 satellites, 22.000005 N, 113.999999 E; cell position 22.543210, 114.057000.
    decode(Block().item(183, hex("08 00 00 16 00 00 00 05 00 00 71 00 0F 42 3F"
                                 "00 16 00 08 49 EA 00 72 00 00 DE A8"
                                 "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                                 "00")));
    EXPECT_EQ(report(Language::English).gps, "satellite:8,latitude:22.000005,longitude:113.999999");
    EXPECT_EQ(report(Language::Chinese).gps, "卫星数:8,纬度:22.000005,经度:113.999999");
    EXPECT_EQ(report(Language::Chinese).cell, "纬度:22.543210,经度:114.057000");
    EXPECT_EQ(report(Language::English).cell, "latitude:22.543210,longitude:114.057000");

    p.set(f::gpsBeidou, 1);
    EXPECT_EQ(report(Language::Chinese).gps, "北斗数:8,纬度:22.000005,经度:113.999999");
    EXPECT_EQ(report(Language::English).gps, "satellite:8,latitude:22.000005,longitude:113.999999");

    p.set(f::gpsSatellites, 255);
    EXPECT_EQ(report(Language::English).gps, "No gps");
    EXPECT_EQ(report(Language::Chinese).gps, "无GPS模块");
    EXPECT_EQ(report(Language::English).cell, "latitude:22.543210,longitude:114.057000");
}

TEST_F(Status, TextsThatAreNotCleanGbkStillShow) {
    // "温度" in GBK, then a byte no GBK text holds, then a lead byte cut off by the field end.
    ASSERT_TRUE(p.setText(f::deviceModel, std::string("\xCE\xC2\xB6\xC8-\xFF-X\xCE")));
    ASSERT_TRUE(p.setText(f::firmwareVersion, std::string("V1\x80\x81\x30")));
    const StatusReport r = report(Language::Chinese);
    EXPECT_EQ(r.model, "温度-\\xFF-X\\xCE");
    EXPECT_EQ(r.version, "V1€\\x810");

    // A full field has no terminator: all 64 bytes show, nothing beyond.
    ASSERT_TRUE(p.setText(f::deviceModel, std::string(64, 'M')));
    EXPECT_EQ(report(Language::Chinese).model, std::string(64, 'M'));
}

TEST(MemoryLine, KilobytesAndFlashWindow) {
    DeviceParams p;
    p.set(f::memTotal, 1024 * 1024 + 1023);
    p.set(f::memUsed, 300 * 1024 + 5);
    p.set(f::flashAddr, 0x1A0000);
    p.set(f::flashSize, 0x60000);
    EXPECT_EQ(memoryLine(p),
              "Memery:Total 1024kb    used 300kb free 724kb    addr 0x1a0000  size 0x60000");
    p.set(f::memUsed, 2048 * 1024);  // more used than total: the difference goes negative
    EXPECT_EQ(memoryLine(p),
              "Memery:Total 1024kb    used 2048kb free -1024kb    addr 0x1a0000  size 0x60000");
}

TEST(CellInfoMessage, ExactTextWithSignedValues) {
    DeviceParams p;
    p.set(fields::cellMcc, 460);
    p.set(fields::cellMnc, 1);
    p.set(fields::cellLac, 0x1234);
    p.set(fields::cellId, 0xFFFFFFFF);
    p.set(fields::cellErrCode, 0);
    EXPECT_EQ(cellInfoMessage(p),
              "mcc:460 \r\nmnc:1 \r\nlac:4660 \r\ncellid:-1  \r\n  err_code:0");
}

TEST(DiagnosticsMessage, ExactTextWithUnknownStates) {
    Diagnostics d;
    d.memTotal = 2048;
    d.memUsed = 1536;
    d.flashAddr = 0x1A0000;
    d.flashSize = 0x60000;
    d.systemTick = 3600;
    d.netBreakTime = 12;
    d.flashPointer = 4096;
    d.cache = {{{100, 1, 2, 3}, {200, 4, 5, 6}, {300, 7, 8, 9}, {400, 10, 11, 0xFFFFFFFF}}};
    d.flightModeTime = 0;
    d.netState = 7;
    d.simState = 2;
    d.regState = 9;
    d.encid = "ABCDEFGHIJKLMNO";
    d.coreVersion = "V1\xFF";
    EXPECT_EQ(diagnosticsMessage(d),
              "memery total  :2048kb\r\nmemery used   :1536kb\r\nflash addr    :1a0000\r\n"
              "flash size    :60000\r\nsystem tick   :3600s\r\nnet break time:12s\r\n"
              "cur flash ptr:4096 \r\nCACHE \r\n"
              "\tA size 100   item:1  start: 2 end: 3 \r\n"
              "\tB size 200   item:4  start: 5 end: 6 \r\n"
              "\tM size 300   item:7  start: 8 end: 9 \r\n"
              "\tH size 400   item:10  start: 11 end: -1 \r\n"
              "fly mode time:0\r\nreg info:9\r\nnet status:\r\nsim status:\r\n"
              "encid:ABCDEFGHIJKLMNO\r\ncore ver:V1\\xFF\r\n");

    d.netState = 3;
    d.simState = 1;
    d.regState = 5;
    const std::string msg = diagnosticsMessage(d);
    EXPECT_NE(msg.find("\r\nreg info:已注册漫游\r\nnet status:OPENAT_NETWORK_LINKED \r\n"
                       "sim status:已插卡 \r\n"),
              std::string::npos);
}

TEST(DeviceText, ConvertsCutsAndKeepsBadBytes) {
    EXPECT_EQ(deviceTextMessage("\xCE\xC2\xB6\xC8 25C\r\nok"), "温度 25C\r\nok");
    EXPECT_EQ(deviceTextMessage(std::string("abc\0def", 7)), "abc");
    EXPECT_EQ(deviceTextMessage("a\xFF\xFE"), "a\\xFF\\xFE");
    EXPECT_EQ(deviceTextMessage(std::string(200, 'x')), std::string(127, 'x'));
    EXPECT_EQ(deviceTextMessage(""), "");
}

}  // namespace
}  // namespace dtu
