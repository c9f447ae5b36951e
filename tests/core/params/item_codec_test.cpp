#include "params/item_codec.h"

#include <gtest/gtest.h>

#include <string>

#include "support/bytes.h"

namespace dtu {
namespace {

using test::Block;
using test::Bytes;
using test::hex;
using test::toBytes;
namespace f = fields;

class Decode : public ::testing::Test {
protected:
    DecodeResult decode(const Block& block) { return decodeParamBlock(block.bytes(), p, live); }
    DeviceParams p;
    LiveState live;
};

TEST_F(Decode, SerialSettingsMarkTheParametersRead) {
    const auto r = decode(Block().item(1, hex("04 01 08 01 14")));
    EXPECT_TRUE(r.sawItem1);
    EXPECT_EQ(p.get(f::dtuBaudIndex), 4);  // 9600
    EXPECT_EQ(p.get(f::dtuParityIndex), 1);
    EXPECT_EQ(p.get(f::dtuDataBits), 8);
    EXPECT_EQ(p.get(f::dtuStopBitsIndex), 1);
    EXPECT_EQ(p.get(f::packTimeMs), 20);

    // Any other item alone does not.
    DeviceParams other;
    const auto r2 = decodeParamBlock(Block().item(2, hex("01")).bytes(), other, live);
    EXPECT_FALSE(r2.sawItem1);
    EXPECT_EQ(other.get(f::workMode), 1);
    EXPECT_EQ(other.image()[0], 0);
}

TEST_F(Decode, ItemsBreakingTheirRuleOrUnknownAreSkippedByTheirLength) {
    p.set(f::serverAPort, 502);
    const auto r = decode(Block()
                              .item(5, hex("13 88 00"))                       // port of 3 bytes
                              .item(0x73, Bytes(10, 0xEE))                    // not an item we know
                              .item(31, hex("01 01 01"))                      // method: 1 or 2 bytes
                              .item(6, hex("00 01 00 3C"))                    // decoded after them
                              .item(176, Bytes(40, 0x30)));                   // identity: exactly 41
    EXPECT_EQ(p.get(f::serverAPort), 502);
    EXPECT_EQ(p.get(f::serverAProtocol), 0);  // TCP
    EXPECT_EQ(p.get(f::serverAConnMode), 1);  // short connection
    EXPECT_EQ(p.get(f::serverATimeout), 60);
    EXPECT_EQ(r.applied, 1);
    ASSERT_EQ(r.ignored.size(), 4u);
    EXPECT_EQ(r.ignored[0].tag, 5);
    EXPECT_FALSE(r.ignored[0].unknownTag);
    EXPECT_EQ(r.ignored[1].tag, 0x73);
    EXPECT_TRUE(r.ignored[1].unknownTag);
    EXPECT_EQ(r.ignored[1].length, 10);
    EXPECT_FALSE(r.truncated);
}

TEST_F(Decode, StopsAtTheBlockEndAndNeverReadsPastIt) {
    // An item running past the block: the items before it stay applied.
    Bytes b = Block().item(2, hex("01")).item(3, hex("01")).bytes();
    b.push_back(4);
    b.push_back(0x00);
    b.push_back(0x20);  // 32 bytes announced, 2 present
    b.push_back('a');
    b.push_back('b');
    b[1] = static_cast<std::uint8_t>(b.size() - 2);
    p.setText(f::serverAHost, std::string_view("keep"));
    const auto r = decodeParamBlock(b, p, live);
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(p.get(f::workMode), 1);
    EXPECT_EQ(p.get(f::serverAEnable), 1);
    EXPECT_EQ(p.textView(f::serverAHost), "keep");

    // The block length bounds decoding even when more bytes follow (the frame tail, a second
    // frame in the same burst).
    Bytes two = Block().item(2, hex("01")).bytes();
    const Bytes more = {3, 0, 1, 1, 0x45, 0x2E};
    two.insert(two.end(), more.begin(), more.end());
    DeviceParams q;
    decodeParamBlock(two, q, live);
    EXPECT_EQ(q.get(f::workMode), 1);
    EXPECT_EQ(q.get(f::serverAEnable), 0);

    // Fewer than three bytes left: not an item.
    DeviceParams e;
    EXPECT_TRUE(decodeParamBlock(hex("00 02 05 00"), e, live).truncated);
    EXPECT_EQ(decodeParamBlock(hex("00"), e, live).applied, 0);
    EXPECT_EQ(decodeParamBlock({}, e, live).applied, 0);
}

TEST_F(Decode, TextsReplaceTheWholeFieldAndMustLeaveRoomForTheTerminator) {
    p.setText(f::mqttHost, std::string_view("old.example.com"));
    decode(Block().item(49, std::string(63, 'h')));
    EXPECT_EQ(p.textView(f::mqttHost), std::string(63, 'h'));
    decode(Block().item(49, std::string(64, 'x')));
    EXPECT_EQ(p.textView(f::mqttHost), std::string(63, 'h'));
    decode(Block().item(49, ""));
    EXPECT_EQ(p.textView(f::mqttHost), "");
    EXPECT_EQ(p.image()[948 + 62], 0);

    decode(Block().item(23, std::string(159, '1')).item(114, std::string(33, 'z')));
    EXPECT_EQ(p.textView(f::smsPhoneNumbers).size(), 159u);
    EXPECT_EQ(p.textView(f::uploadTexts[15]), "");
    decode(Block().item(114, std::string(32, 'z')).item(128, "adc2 low"));
    EXPECT_EQ(p.textView(f::uploadTexts[15]), std::string(32, 'z'));
    EXPECT_EQ(p.textView(f::uploadTexts2[3]), "adc2 low");
}

TEST_F(Decode, CountedBytesClearTheirArrayFirst) {
    p.set(f::heartbeatLength, 5);
    p.setBytes(f::heartbeatData, hex("FF FF FF FF FF"));
    decode(Block().item(13, hex("31 32 33")));
    EXPECT_EQ(p.get(f::heartbeatLength), 3);
    Bytes expected = hex("31 32 33");
    expected.resize(128, 0);
    EXPECT_EQ(toBytes(p.bytes(f::heartbeatData)), expected);

    decode(Block().item(16, Bytes(128, 1)));  // 128 bytes or more are refused
    EXPECT_EQ(p.get(f::registerLength), 0);

    decode(Block().item(17, hex("01 00 3C 41 42")).item(21, hex("01 0D 0A")));
    EXPECT_EQ(p.get(f::serialSendEnable), 1);
    EXPECT_EQ(p.get(f::serialSendInterval), 60u);
    EXPECT_EQ(p.get(f::serialSendLength), 2);
    EXPECT_EQ(toBytes(p.bytes(f::serialSendData).first(3)), hex("41 42 00"));
    EXPECT_EQ(p.get(f::serialFilterLength), 2);

    const auto r = decode(Block()
                              .item(17, Bytes(36, 1))   // data over 32 bytes
                              .item(17, hex("01 00"))   // under 3 bytes
                              .item(21, Bytes(18, 1))   // filter over 16 bytes
                              .item(21, Bytes{}));      // empty
    EXPECT_EQ(r.ignored.size(), 4u);
    EXPECT_EQ(p.get(f::serialSendLength), 2);
    EXPECT_EQ(p.get(f::serialFilterLength), 2);
}

TEST_F(Decode, ItemsCarryingOptionalBytesStoreOnlyWhatIsPresent) {
    p.set(f::httpHexToAscii, 1);
    decode(Block().item(31, hex("01")));
    EXPECT_EQ(p.get(f::httpMethod), 1);  // GET
    EXPECT_EQ(p.get(f::httpHexToAscii), 1);

    p.set(f::cellLocationEnable, 0x55);
    decode(Block().item(41, hex("02 00 1E")));
    EXPECT_EQ(p.get(f::gpsMode), 2);
    EXPECT_EQ(p.get(f::gpsInterval), 30);
    EXPECT_EQ(p.get(f::cellLocationEnable), 0x55);
    decode(Block().item(41, hex("02 00 1E 01")));
    EXPECT_EQ(p.get(f::cellLocationEnable), 1);

    p.set(f::userCodeVersion, 7);
    decode(Block().item(24, hex("01")));
    EXPECT_EQ(p.get(f::userCodeEnable), 1);
    EXPECT_EQ(p.get(f::userCodeVersion), 7);
    decode(Block().item(24, hex("00 0C")));
    EXPECT_EQ(p.get(f::userCodeVersion), 12);

    p.set(f::uploadTarget, 0x57);
    decode(Block().item(144, hex("78 31 32 33 34 35 36 37 38")));
    EXPECT_EQ(p.get(f::configLockFlag), 0x78);
    EXPECT_EQ(p.textView(f::configLockPassword), "12345678");
    EXPECT_EQ(p.get(f::uploadTarget), 0x57);
    decode(Block().item(144, hex("78 31 32 33 34 35 36 37 38 55")));
    EXPECT_EQ(p.get(f::uploadTarget), 0x55);

    p.set(f::remoteConfigTimeout, 99);
    p.setText(f::remoteConfigCurrentIp, std::string_view("10.0.0.1"));
    decode(Block().item(184, hex("00 00 00 2A 00 05")));
    EXPECT_EQ(p.get(f::remoteConfigUuid), 42u);
    EXPECT_EQ(p.get(f::remoteConfigCount), 5);
    EXPECT_EQ(p.get(f::remoteConfigTimeout), 99);
    EXPECT_EQ(p.textView(f::remoteConfigCurrentIp), "10.0.0.1");
    Bytes full = hex("00 00 00 2A 00 05 00 1E");
    const std::string ip = "192.168.1.20";
    full.insert(full.end(), ip.begin(), ip.end());
    decode(Block().item(184, full));
    EXPECT_EQ(p.get(f::remoteConfigTimeout), 30);
    EXPECT_EQ(p.textView(f::remoteConfigCurrentIp), ip);
}

TEST_F(Decode, NumbersAreBigEndianOnTheLinkAndSixteenBitItemsZeroExtend) {
    p.set(f::mqttPort, 0xFFFF0000u);
    decode(Block()
               .item(50, hex("07 5B"))
               .item(12, hex("11 70"))
               .item(39, hex("00 01 86 A0 0A 01 00"))
               .item(118, hex("00 03 00 64 00 05 00 3C 9C 40 02")));
    EXPECT_EQ(p.get(f::mqttPort), 1883u);
    EXPECT_EQ(p.get(f::heartbeatInterval), 4464u);
    EXPECT_EQ(p.get(f::dataCacheCount), 100000u);
    EXPECT_EQ(p.get(f::dataCacheIntervalMs), 10);
    EXPECT_EQ(p.get(f::dataCacheLengthPrefix), 1);
    EXPECT_EQ(p.get(f::dataCacheTimePrefix), 0);
    EXPECT_EQ(p.get(f::modbusTimeout), 3);
    EXPECT_EQ(p.get(f::modbusCommandDelayMs), 100);
    EXPECT_EQ(p.get(f::modbusPollInterval), 5);
    EXPECT_EQ(p.get(f::modbusUploadInterval), 60);
    EXPECT_EQ(p.get(f::modbusMapStart), 40000u);
    EXPECT_EQ(p.get(f::modbusUploadFormat), 2);
}

TEST_F(Decode, OutputRulesAndAnalogueTriggers) {
    decode(Block().item(89, hex("02 11 22 33 44 FF FF FF FF FF FF FF FF FF FF FF FF")));
    EXPECT_EQ(toBytes(p.bytes(f::xyRules[0])), hex("11 22"));
    EXPECT_EQ(toBytes(p.bytes(f::xyRules[1])), hex("33 44"));
    EXPECT_EQ(toBytes(p.bytes(f::xyRules[2])), hex("00 00"));  // beyond the count
    decode(Block().item(89, Bytes(17, 9)));  // a count above 8
    EXPECT_EQ(toBytes(p.bytes(f::xyRules[0])), hex("11 22"));

    decode(Block().item(90, hex("07 AA BB CC DD")));
    EXPECT_EQ(toBytes(p.bytes(f::xyRules[8])), hex("AA BB"));
    EXPECT_EQ(toBytes(p.bytes(f::xyRules[9])), hex("CC DD"));
    EXPECT_EQ(p.image()[4528 + 2], 0);  // the reserved bytes after an entry stay

    decode(Block().item(91, hex("02 01 01 F4 03 E8 02 00 00 0A 00 14 01")));
    EXPECT_EQ(p.get(f::adc1RuleMode), 1);
    EXPECT_EQ(p.get(f::adc1RuleValue1), 500);
    EXPECT_EQ(p.get(f::adc1RuleValue2), 1000);
    EXPECT_EQ(p.get(f::adc1RuleCondition), 2);
    EXPECT_EQ(p.get(f::adc2RuleValue2), 20);
    EXPECT_EQ(p.get(f::adc2RuleCondition), 1);

    decode(Block().item(95, hex("01 02 00 0A 00 14 03")).item(96, hex("01 02 00 0A 00")));
    EXPECT_EQ(p.get(f::uploadAdc1Type), 2);
    EXPECT_EQ(p.get(f::uploadAdc1Value2), 20);
    EXPECT_EQ(p.get(f::uploadAdc1Condition), 3);
    EXPECT_EQ(p.get(f::uploadAdc2Enable), 0);  // 5 bytes: ignored
}

Bytes pollRecord(std::uint8_t slave, const std::string& name, bool withScale) {
    Bytes rec = {slave, 3, 0x00, 0x10, 0x00, 0x02, 4, 1, static_cast<std::uint8_t>(name.size())};
    rec.insert(rec.end(), name.begin(), name.end());
    const Bytes tail = hex("FF FF FF 9C 00 00 01 F4 01");  // -100, 500, emergency
    rec.insert(rec.end(), tail.begin(), tail.end());
    if (withScale) {
        const Bytes scale = hex("00 00 27 10 80 00 3A 98");  // 1.0000, -1.5000
        rec.insert(rec.end(), scale.begin(), scale.end());
    }
    rec.insert(rec.begin(), static_cast<std::uint8_t>(rec.size()));
    return rec;
}

TEST_F(Decode, PollingTableRecordsWithAndWithoutCoefficients) {
    p.set(f::modbusItem(0).scaleK, 777);
    p.setText(f::modbusItem(2).jsonName, std::string_view("untouched"));
    Bytes item = {2};
    for (const auto& rec : {pollRecord(7, "temp", true), pollRecord(9, "k1", false)})
        item.insert(item.end(), rec.begin(), rec.end());
    decode(Block().item(119, item));

    EXPECT_EQ(p.get(f::modbusItemCount), 2);
    const auto r0 = f::modbusItem(0);
    EXPECT_EQ(p.get(r0.slaveAddress), 7);
    EXPECT_EQ(p.get(r0.functionCode), 3);
    EXPECT_EQ(p.get(r0.startRegister), 16);
    EXPECT_EQ(p.get(r0.registerCount), 2);
    EXPECT_EQ(p.get(r0.dataType), 4);
    EXPECT_EQ(p.get(r0.decimals), 1);
    EXPECT_EQ(p.textView(r0.jsonName), "temp");
    EXPECT_EQ(p.get(r0.threshold1), -100);
    EXPECT_EQ(p.get(r0.threshold2), 500);
    EXPECT_EQ(p.get(r0.emergencyData), 1);
    EXPECT_EQ(p.get(r0.scaleK), 10000u);
    EXPECT_EQ(p.get(r0.offsetB), 0x80003A98u);
    // Older firmware: no coefficient and offset, both read as 0.
    EXPECT_EQ(p.get(f::modbusItem(1).slaveAddress), 9);
    EXPECT_EQ(p.get(f::modbusItem(1).scaleK), 0u);
    EXPECT_EQ(p.get(f::modbusItem(1).offsetB), 0u);
    // Records beyond the count keep their contents.
    EXPECT_EQ(p.textView(f::modbusItem(2).jsonName), "untouched");
}

TEST_F(Decode, MalformedPollingTablesAreIgnoredWhole) {
    p.set(f::modbusItemCount, 3);
    p.set(f::modbusItem(0).slaveAddress, 5);
    const Bytes good = pollRecord(7, "ok", true);

    Bytes pastEnd = {2};  // two records announced, one present
    pastEnd.insert(pastEnd.end(), good.begin(), good.end());
    Bytes longName = {1};
    const auto bad = pollRecord(7, std::string(58, 'n'), true);
    longName.insert(longName.end(), bad.begin(), bad.end());
    Bytes tooMany = {65};
    tooMany.insert(tooMany.end(), good.begin(), good.end());
    Bytes nameOutside = {1, 10, 1, 3, 0, 0, 0, 1, 0, 0, 40};  // name length past the record

    const auto r = decode(Block()
                              .item(119, hex("00"))  // as a saved empty table echoes back
                              .item(119, pastEnd)
                              .item(119, longName)
                              .item(119, tooMany)
                              .item(119, nameOutside));
    EXPECT_EQ(r.applied, 0);
    EXPECT_EQ(r.ignored.size(), 5u);
    EXPECT_EQ(p.get(f::modbusItemCount), 3);
    EXPECT_EQ(p.get(f::modbusItem(0).slaveAddress), 5);
}

TEST_F(Decode, IdentityAndLinkStatus) {
    p.image()[11760 + 20] = 0xEE;  // inside the MAC zone
    Bytes id = hex("A0 B1 C2 D3 E4 F5");
    const std::string imei = "861234567890123", iccid = "89860012345678901234";
    id.insert(id.end(), imei.begin(), imei.end());
    id.insert(id.end(), iccid.begin(), iccid.end());
    decode(Block().item(176, id).item(177, hex("17 01 00 01 00 01")));
    EXPECT_EQ(toBytes(p.bytes(f::macAddress)), hex("A0 B1 C2 D3 E4 F5"));
    EXPECT_EQ(p.image()[11760 + 20], 0);
    EXPECT_EQ(p.textView(f::imei), imei);
    EXPECT_EQ(p.textView(f::iccid), iccid);
    EXPECT_EQ(p.get(f::signalQuality), 23);
    EXPECT_EQ(p.get(f::serverALinked), 1);
    EXPECT_EQ(p.get(f::serverBLinked), 0);
    EXPECT_EQ(p.get(f::networkLinked), 1);
    EXPECT_EQ(p.get(f::httpLinked), 0);
    EXPECT_EQ(p.get(f::mqttLinked), 1);
}

TEST_F(Decode, ReportedTextsAreCutToTheirFieldNeverPastIt) {
    p.set(U8Field{11856, 1}, 0x33);  // first byte after deviceModel
    decode(Block().item(178, std::string(200, 'M')));
    EXPECT_EQ(p.textView(f::deviceModel), std::string(63, 'M'));
    EXPECT_EQ(p.image()[11792 + 63], 0);
    EXPECT_EQ(p.image()[11856], 0x33);

    Bytes ver = {0x17, 1};
    const std::string v = "V2.3.1-build7";
    ver.insert(ver.end(), v.begin(), v.end());
    decode(Block().item(179, ver));
    EXPECT_EQ(p.get(f::versionByte), 0x17);
    EXPECT_EQ(p.get(f::deviceKind), 1);
    EXPECT_EQ(p.textView(f::firmwareVersion), v);

    Bytes longVer = {0, 2};
    longVer.resize(2 + 300, 'v');
    p.set(U8Field{11920, 1}, 0x38);  // first byte after firmwareVersion
    decode(Block().item(179, longVer));
    EXPECT_EQ(p.textView(f::firmwareVersion).size(), 63u);
    EXPECT_EQ(p.image()[11920], 0x38);  // the next field is untouched

    const auto r = decode(Block().item(181, std::string(300, 'T')));
    ASSERT_TRUE(r.deviceText);
    EXPECT_EQ(*r.deviceText, std::string(127, 'T'));
}

TEST_F(Decode, GpsAndCellPositionIncludingShortItems) {
    Bytes gps = hex("08 00 00 1E 00 07 A1 20 00 00 78 00 01 86 A0");  // 8 sats, 30.500000, 120.100000
    gps.resize(48, 0);
    gps[27] = 0x00; gps[28] = 0x00; gps[29] = 0x30; gps[30] = 0x39;  // cell 12345
    gps[47] = 1;
    decode(Block().item(183, gps));
    EXPECT_EQ(p.get(f::gpsSatellites), 8);
    EXPECT_EQ(p.get(f::gpsLatitudeDeg), 30);
    EXPECT_EQ(p.get(f::gpsLatitudeFrac), 500000u);
    EXPECT_EQ(p.get(f::gpsLongitudeDeg), 120);
    EXPECT_EQ(p.get(f::gpsLongitudeFrac), 100000u);
    EXPECT_EQ(p.get(f::cellId), 12345u);
    EXPECT_EQ(p.get(f::gpsBeidou), 1u);

    // 11 bytes carry the fields up to the longitude degrees; the rest keeps its values.
    decode(Block().item(183, hex("FF 00 00 05 00 00 00 01 00 00 09")));
    EXPECT_EQ(p.get(f::gpsSatellites), 255);
    EXPECT_EQ(p.get(f::gpsLatitudeDeg), 5);
    EXPECT_EQ(p.get(f::gpsLongitudeDeg), 9);
    EXPECT_EQ(p.get(f::gpsLongitudeFrac), 100000u);
    EXPECT_EQ(p.get(f::cellId), 12345u);
    decode(Block().item(183, Bytes(10, 0)));
    EXPECT_EQ(p.get(f::gpsSatellites), 255);
}

TEST_F(Decode, RunTimeValuesGoBesideTheRecord) {
    const DeviceParams before = p;
    const auto r = decode(Block()
                              .item(80, hex("01 00 01 00 00 00 00 01"))
                              .item(81, Bytes{})
                              .item(82, Bytes(24, 0x01))
                              .item(83, Bytes(32, 0x02))
                              .item(254, hex("01 02 03 04 05")));
    EXPECT_TRUE(live.liveInputsFresh);
    EXPECT_EQ(live.liveInputs[2], 1);
    EXPECT_FALSE(live.liveRelaysFresh);  // an empty relay item is no news
    EXPECT_TRUE(live.liveAnalogFresh);
    EXPECT_EQ(live.liveAnalog[5], 0x01010101u);
    EXPECT_TRUE(live.liveCountersFresh);
    EXPECT_EQ(live.liveCounters[7], 0x02020202u);
    EXPECT_TRUE(r.probeAnswered);
    EXPECT_TRUE(p == before);

    LiveState fresh;
    const auto r2 = decodeParamBlock(Block()
                                         .item(82, Bytes(23, 1))
                                         .item(83, Bytes(31, 1))
                                         .item(254, hex("01 02 03 04"))
                                         .bytes(),
                                     p, fresh);
    EXPECT_FALSE(fresh.liveAnalogFresh);
    EXPECT_FALSE(fresh.liveCountersFresh);
    EXPECT_FALSE(r2.probeAnswered);

    decode(Block().item(180, hex("01 01 02 01 00 AA BB CC")));
    EXPECT_TRUE(live.mqttStatusFresh);
    EXPECT_EQ(live.mqttStatusTopic, 2);
    EXPECT_EQ(toBytes(p.bytes(f::mqttStatusExtra)), hex("AA BB CC"));
}

TEST_F(Decode, PowerOffSaveAndRegistrationState) {
    live.simInserted = 1;
    live.netRegState = 1;
    decode(Block().item(98, hex("02")));
    EXPECT_EQ(p.get(f::rtuPowerOffSave), 2);
    EXPECT_EQ(live.simInserted, 1);
    EXPECT_EQ(live.netRegState, kNetRegStateUnknown);

    decode(Block().item(98, hex("03 00")));
    EXPECT_EQ(live.simInserted, 0);
    EXPECT_EQ(live.netRegState, kNetRegStateUnknown);

    decode(Block().item(98, hex("03 01 05")));
    EXPECT_EQ(live.simInserted, 1);
    EXPECT_EQ(live.netRegState, 5);
}

TEST_F(Decode, TlsChecksumsNeedTheFullItem) {
    decode(Block().item(186, hex("01")));
    EXPECT_EQ(p.get(f::tlsMode), 0);
    decode(Block().item(186, hex("02 12 34 AB CD 00 01")));
    EXPECT_EQ(p.get(f::tlsMode), 2);
    EXPECT_EQ(p.get(f::certChecksums[0]), 0x1234);
    EXPECT_EQ(p.get(f::certChecksums[1]), 0xABCD);
    EXPECT_EQ(p.get(f::certChecksums[2]), 0x0001);
}

TEST_F(Decode, DiagnosticsStoreTheMemoryFieldsAndReportEverything) {
    Bytes d(121, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) d[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    };
    put32(0, 4096);
    put32(4, 1024);
    put32(8, 0x90000);
    put32(12, 0x70000);
    put32(16, 3600);
    put32(20, 12);
    put32(28 + 16 * 3 + 12, 77);  // H cache end
    d[96] = 1;
    d[97] = 1;
    d[98] = 9;
    const std::string encid = "ABCDEFGHIJKLMNO", core = "V1.2.3x";
    std::copy(encid.begin(), encid.end(), d.begin() + 99);
    std::copy(core.begin(), core.end(), d.begin() + 114);
    const auto r = decode(Block().item(255, d));
    ASSERT_TRUE(r.diagnostics);
    EXPECT_EQ(r.diagnostics->memTotal, 4096u);
    EXPECT_EQ(r.diagnostics->cache[3].end, 77u);
    EXPECT_EQ(r.diagnostics->regState, 9);
    EXPECT_EQ(r.diagnostics->encid, encid);
    EXPECT_EQ(r.diagnostics->coreVersion, core);
    EXPECT_EQ(p.get(f::memTotal), 4096u);
    EXPECT_EQ(p.get(f::memUsed), 1024u);
    EXPECT_EQ(p.get(f::flashAddr), 0x90000u);
    EXPECT_EQ(p.get(f::flashSize), 0x70000u);
    EXPECT_EQ(p.get(f::systemTick), 3600u);
    EXPECT_EQ(p.get(f::netBreakTime), 12u);

    // Eight bytes: the two memory numbers; nothing is taken from beyond the item.
    DeviceParams q;
    q.set(f::systemTick, 5);
    const auto r2 = decodeParamBlock(Block().item(255, hex("00 00 00 10 00 00 00 08")).bytes(), q, live);
    ASSERT_TRUE(r2.diagnostics);
    EXPECT_EQ(r2.diagnostics->memUsed, 8u);
    EXPECT_EQ(r2.diagnostics->systemTick, 0u);
    EXPECT_EQ(q.get(f::memTotal), 16u);
    EXPECT_EQ(q.get(f::systemTick), 5u);
    EXPECT_FALSE(decodeParamBlock(Block().item(255, Bytes(7, 1)).bytes(), q, live).diagnostics);
}

}  // namespace
}  // namespace dtu
