#include "params/item_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "params/field_table.h"
#include "params/field_value.h"
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
    // A field's value as the JSON form writes it.
    std::string value(const char* name) const { return fieldValueJson(p, *findField(name)); }
    DeviceParams p;
    LiveState live;
};

struct Golden {
    std::uint8_t tag;
    const char* value;  // hex
    std::vector<std::pair<const char*, const char*>> fields;
};

// One item each, decoded onto an empty record: where every byte of the value lands.
// clang-format off
const Golden kGoldens[] = {
    {1, "04 01 08 01 14", {{"dtuBaudIndex", "4"}, {"dtuParityIndex", "1"}, {"dtuDataBits", "8"},
                           {"dtuStopBitsIndex", "1"}, {"packTimeMs", "20"}}},
    {6, "00 01 00 3C", {{"serverAProtocol", "0"}, {"serverAConnMode", "1"}, {"serverATimeout", "60"}}},
    {10, "01 00 01 2C", {{"serverBProtocol", "1"}, {"serverBConnMode", "0"}, {"serverBTimeout", "300"}}},
    {50, "07 5B", {{"mqttPort", "1883"}}},
    {12, "11 70", {{"heartbeatInterval", "4464"}}},
    {13, "31 32 33", {{"heartbeatLength", "3"}, {"heartbeatData", "\"31 32 33\""}}},
    {17, "01 00 3C 41 42", {{"serialSendEnable", "1"}, {"serialSendInterval", "60"},
                            {"serialSendLength", "2"}, {"serialSendData", "\"41 42\""}}},
    {21, "01 0D 0A", {{"serialFilterEnable", "1"}, {"serialFilterLength", "2"},
                      {"serialFilterData", "\"0d 0a\""}}},
    {20, "41 42 43 44 45 46 47 48", {{"remoteConfigPassword", "\"ABCDEFGH\""}}},
    {27, "01 00 1E 01", {{"relayOnNetLoss", "1"}, {"relayNetLossMinutes", "30"},
                         {"relayNetLossAction", "1"}}},
    {31, "02 01", {{"httpMethod", "2"}, {"httpHexToAscii", "1"}}},
    {39, "00 01 86 A0 0A 01 00", {{"dataCacheCount", "100000"}, {"dataCacheIntervalMs", "10"},
                                  {"dataCacheLengthPrefix", "1"}, {"dataCacheTimePrefix", "0"}}},
    {41, "02 00 1E 01", {{"gpsMode", "2"}, {"gpsInterval", "30"}, {"cellLocationEnable", "1"}}},
    {86, "32 81", {{"rtuInputDebounceMs", "50"}, {"rtuPowerOnRelays", "129"}}},
    {89, "02 11 22 33 44 FF FF FF FF FF FF FF FF FF FF FF FF",
     {{"xyRules[0]", "\"11 22\""}, {"xyRules[1]", "\"33 44\""}, {"xyRules[2]", "\"00 00\""}}},
    {90, "07 AA BB CC DD", {{"xyRules[8]", "\"aa bb\""}, {"xyRules[9]", "\"cc dd\""}}},
    {91, "02 01 01 F4 03 E8 02 03 00 0A 00 14 01",
     {{"adc1RuleMode", "1"}, {"adc1RuleValue1", "500"}, {"adc1RuleValue2", "1000"},
      {"adc1RuleCondition", "2"}, {"adc2RuleMode", "3"}, {"adc2RuleValue1", "10"},
      {"adc2RuleValue2", "20"}, {"adc2RuleCondition", "1"}}},
    {93, "01 00 01 02 03 00 01 02 03",
     {{"uploadInputsEnable", "1"}, {"uploadInputModes", "\"00 01 02 03 00 01 02 03\""}}},
    {94, "01 01 2C", {{"uploadTimedEnable", "1"}, {"uploadTimedInterval", "300"}}},
    {96, "01 02 00 0A 00 14 03", {{"uploadAdc2Enable", "1"}, {"uploadAdc2Type", "2"},
                                  {"uploadAdc2Value1", "10"}, {"uploadAdc2Value2", "20"},
                                  {"uploadAdc2Condition", "3"}}},
    {97, "05 0F", {{"uploadFormat", "5"}, {"uploadFormatBits", "15"}}},
    {118, "00 03 00 64 00 05 00 3C 9C 40 02",
     {{"modbusTimeout", "3"}, {"modbusCommandDelayMs", "100"}, {"modbusPollInterval", "5"},
      {"modbusUploadInterval", "60"}, {"modbusMapStart", "40000"}, {"modbusUploadFormat", "2"}}},
    {144, "78 31 32 33 34 35 36 37 38 55",
     {{"configLockFlag", "120"}, {"configLockPassword", "\"12345678\""}, {"uploadTarget", "85"}}},
    {176, "A0 B1 C2 D3 E4 F5 383631323334353637383930313233 3839383630303132333435363738393031323334",
     {{"macAddress", "\"a0 b1 c2 d3 e4 f5\""}, {"imei", "\"861234567890123\""},
      {"iccid", "\"89860012345678901234\""}}},
    {177, "17 01 00 01 00 01", {{"signalQuality", "23"}, {"serverALinked", "1"}, {"serverBLinked", "0"},
                                {"networkLinked", "1"}, {"httpLinked", "0"}, {"mqttLinked", "1"}}},
    {179, "17 01 56 32 2E 33",
     {{"versionByte", "23"}, {"deviceKind", "1"}, {"firmwareVersion", "\"V2.3\""}}},
    {183, "08 07 00 1E 00 07 A1 20 09 00 78 00 01 86 A0 00 1F 00 00 00 01 00 79 00 00 00 02"
          "00 00 30 39 00 00 00 0A 00 00 01 CC 00 00 00 00 00 00 00 00 01",
     {{"gpsSatellites", "8"}, {"gpsByte1", "7"}, {"gpsLatitudeDeg", "30"},
      {"gpsLatitudeFrac", "500000"}, {"gpsByte8", "9"}, {"gpsLongitudeDeg", "120"},
      {"gpsLongitudeFrac", "100000"}, {"cellLatitudeDeg", "31"}, {"cellLatitudeFrac", "1"},
      {"cellLongitudeDeg", "121"}, {"cellLongitudeFrac", "2"}, {"cellId", "12345"},
      {"cellLac", "10"}, {"cellMcc", "460"}, {"cellMnc", "0"}, {"cellErrCode", "0"},
      {"gpsBeidou", "1"}}},
    {184, "00 00 00 2A 00 05 00 1E 31 30 2E 30 2E 30 2E 31",
     {{"remoteConfigUuid", "42"}, {"remoteConfigCount", "5"}, {"remoteConfigTimeout", "30"},
      {"remoteConfigCurrentIp", "\"10.0.0.1\""}}},
    {186, "02 12 34 AB CD 00 01", {{"tlsMode", "2"}, {"certChecksums[0]", "4660"},
                                   {"certChecksums[1]", "43981"}, {"certChecksums[2]", "1"}}},
};
// clang-format on

TEST_F(Decode, EveryByteOfAnItemLandsInItsField) {
    for (const Golden& g : kGoldens) {
        SCOPED_TRACE("item " + std::to_string(g.tag));
        p = DeviceParams{};
        const auto r = decode(Block().item(g.tag, hex(g.value)));
        ASSERT_EQ(r.applied, 1);
        for (const auto& [name, expected] : g.fields) EXPECT_EQ(value(name), expected) << name;
    }
}

TEST_F(Decode, OnlyTheSerialSettingsMarkTheParametersRead) {
    EXPECT_TRUE(decode(Block().item(1, hex("04 01 08 01 14"))).sawItem1);
    const auto r = decode(Block().item(2, hex("01")));
    EXPECT_FALSE(r.sawItem1);
    EXPECT_EQ(p.get(f::workMode), 1);
}

TEST_F(Decode, ItemsBreakingTheirRuleOrUnknownAreSkippedByTheirLength) {
    p.set(f::serverAPort, 502);
    const auto r = decode(Block()
                              .item(5, hex("13 88 00"))      // port of 3 bytes
                              .item(0x73, Bytes(10, 0xEE))   // not an item we know
                              .item(31, hex("01 01 01"))     // method: 1 or 2 bytes
                              .item(6, hex("00 01 00 3C"))   // decoded after them
                              .item(176, Bytes(40, 0x30)));  // identity: exactly 41
    EXPECT_EQ(p.get(f::serverAPort), 502);
    EXPECT_EQ(p.get(f::serverATimeout), 60);
    EXPECT_EQ(r.applied, 1);
    ASSERT_EQ(r.ignored.size(), 4u);
    EXPECT_EQ(r.ignored[0].tag, 5);
    EXPECT_FALSE(r.ignored[0].unknownTag);
    EXPECT_EQ(r.ignored[1].tag, 0x73);
    EXPECT_TRUE(r.ignored[1].unknownTag);
    EXPECT_EQ(r.ignored[1].length, 10);
    EXPECT_FALSE(r.truncated);

    // Lengths just outside each rule.
    const auto bad = decode(Block()
                                .item(17, Bytes(36, 1))    // data over 32 bytes
                                .item(17, hex("01 00"))    // under 3 bytes
                                .item(21, Bytes(18, 1))    // filter over 16 bytes
                                .item(21, Bytes{})         // empty
                                .item(16, Bytes(128, 1))   // no room left for 128 bytes
                                .item(82, Bytes(23, 1))    // six numbers need 24
                                .item(83, Bytes(31, 1))    // eight numbers need 32
                                .item(89, Bytes(17, 9))    // a rule count above 8
                                .item(96, Bytes(5, 1))     // 7 bytes at least
                                .item(183, Bytes(10, 1))   // 11 bytes at least
                                .item(186, hex("01"))      // the save's 1 byte is not an answer
                                .item(254, Bytes(4, 1))    // exactly 5
                                .item(255, Bytes(7, 1)));  // 8 bytes at least
    EXPECT_EQ(bad.applied, 0);
    EXPECT_EQ(bad.ignored.size(), 13u);
    EXPECT_TRUE(p == [] {
        DeviceParams q;
        q.set(f::serverAPort, 502);
        q.set(f::serverAConnMode, 1);
        q.set(f::serverATimeout, 60);
        return q;
    }());
}

TEST_F(Decode, StopsAtTheBlockEndAndNeverReadsPastIt) {
    // An item running past the block: the items before it stay applied.
    Bytes b = Block().item(2, hex("01")).item(3, hex("01")).bytes();
    const Bytes cut = {4, 0x00, 0x20, 'a', 'b'};  // 32 bytes announced, 2 present
    b.insert(b.end(), cut.begin(), cut.end());
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

TEST_F(Decode, TextsAndArraysAreClearedBeforeTheValueIsCopied) {
    p.setText(f::mqttHost, std::string_view("old.example.com"));
    decode(Block().item(49, std::string(63, 'h')));
    EXPECT_EQ(p.textView(f::mqttHost), std::string(63, 'h'));
    decode(Block().item(49, std::string(64, 'x')));  // no room for the terminator
    EXPECT_EQ(p.textView(f::mqttHost), std::string(63, 'h'));
    decode(Block().item(49, ""));
    EXPECT_EQ(toBytes(p.bytes(TextField{948, 64})), Bytes(64, 0));

    decode(Block().item(114, std::string(32, 'z')).item(128, "adc2 low"));
    EXPECT_EQ(p.textView(f::uploadTexts[15]), std::string(32, 'z'));
    EXPECT_EQ(p.textView(f::uploadTexts2[3]), "adc2 low");

    p.setBytes(f::heartbeatData, Bytes(128, 0xFF));
    decode(Block().item(13, hex("31 32 33")));
    Bytes expected = hex("31 32 33");
    expected.resize(128, 0);
    EXPECT_EQ(toBytes(p.bytes(f::heartbeatData)), expected);

    p.image()[11760 + 20] = 0xEE;  // inside the 32-byte MAC zone
    decode(Block().item(176, Bytes(41, 0x31)));
    EXPECT_EQ(p.image()[11760 + 20], 0);
}

TEST_F(Decode, ShortItemsStoreOnlyWhatTheyCarry) {
    p.set(f::httpHexToAscii, 1);
    p.set(f::cellLocationEnable, 0x55);
    p.set(f::userCodeVersion, 7);
    p.set(f::uploadTarget, 0x57);
    p.set(f::remoteConfigTimeout, 99);
    p.set(f::gpsLongitudeFrac, 100000);
    p.set(f::systemTick, 5);
    decode(Block()
               .item(31, hex("01"))
               .item(41, hex("02 00 1E"))
               .item(24, hex("01"))
               .item(144, hex("78 31 32 33 34 35 36 37 38"))
               .item(184, hex("00 00 00 2A 00 05"))
               .item(183, hex("FF 00 00 05 00 00 00 01 00 00 09"))
               .item(255, hex("00 00 00 10 00 00 00 08")));
    EXPECT_EQ(p.get(f::httpMethod), 1);
    EXPECT_EQ(p.get(f::httpHexToAscii), 1);
    EXPECT_EQ(p.get(f::gpsInterval), 30);
    EXPECT_EQ(p.get(f::cellLocationEnable), 0x55);
    EXPECT_EQ(p.get(f::userCodeEnable), 1);
    EXPECT_EQ(p.get(f::userCodeVersion), 7);
    EXPECT_EQ(p.get(f::configLockFlag), 0x78);
    EXPECT_EQ(p.get(f::uploadTarget), 0x57);
    EXPECT_EQ(p.get(f::remoteConfigCount), 5);
    EXPECT_EQ(p.get(f::remoteConfigTimeout), 99);
    // Eleven GPS bytes reach the longitude degrees, not its fraction.
    EXPECT_EQ(p.get(f::gpsSatellites), 255);
    EXPECT_EQ(p.get(f::gpsLongitudeDeg), 9);
    EXPECT_EQ(p.get(f::gpsLongitudeFrac), 100000u);
    EXPECT_EQ(p.get(f::memUsed), 8u);
    EXPECT_EQ(p.get(f::systemTick), 5u);
}

TEST_F(Decode, RemoteConfigStateClearsTheAddressWheneverItIsTaken) {
    // Six or seven bytes carry no address: the one shown before is gone all the same, while the
    // time-out the item does not reach keeps its value.
    for (const char* state : {"00 00 00 2A 00 05", "00 00 00 2A 00 05 00"}) {
        SCOPED_TRACE(state);
        p.set(f::remoteConfigTimeout, 99);
        p.setText(f::remoteConfigCurrentIp, std::string_view("10.0.0.1"));
        ASSERT_EQ(decode(Block().item(184, hex(state))).applied, 1);
        EXPECT_EQ(toBytes(p.bytes(f::remoteConfigCurrentIp)), Bytes(65, 0));
        EXPECT_EQ(value("remoteConfigUuid"), "42");
        EXPECT_EQ(value("remoteConfigCount"), "5");
        EXPECT_EQ(value("remoteConfigTimeout"), "99");
    }
    // With eight bytes the address is there, empty.
    p.setText(f::remoteConfigCurrentIp, std::string_view("10.0.0.1"));
    decode(Block().item(184, hex("00 00 00 2A 00 05 00 1E")));
    EXPECT_EQ(value("remoteConfigCurrentIp"), "\"\"");
    EXPECT_EQ(value("remoteConfigTimeout"), "30");
    // Five bytes break the rule: the item is not taken and the address stays.
    p.setText(f::remoteConfigCurrentIp, std::string_view("10.0.0.1"));
    EXPECT_EQ(decode(Block().item(184, hex("00 00 00 2A 00"))).applied, 0);
    EXPECT_EQ(p.textView(f::remoteConfigCurrentIp), "10.0.0.1");
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
    const std::pair<const char*, const char*> expected[] = {
        {"slaveAddress", "7"},    {"functionCode", "3"},  {"startRegister", "16"},
        {"registerCount", "2"},   {"dataType", "4"},      {"decimals", "1"},
        {"jsonName", "\"temp\""}, {"threshold1", "-100"}, {"threshold2", "500"},
        {"emergencyData", "1"},   {"scaleK", "10000"},    {"offsetB", "2147498648"},
    };
    for (const auto& [name, v] : expected)
        EXPECT_EQ(value(("modbusItems[0]." + std::string(name)).c_str()), v) << name;
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

TEST_F(Decode, ReportedTextsAreCutToTheirFieldNeverPastIt) {
    p.set(U8Field{11856, 1}, 0x33);  // first byte after deviceModel
    decode(Block().item(178, std::string(200, 'M')));
    EXPECT_EQ(p.textView(f::deviceModel), std::string(63, 'M'));
    EXPECT_EQ(p.image()[11856], 0x33);

    Bytes longVer = {0, 2};
    longVer.resize(2 + 300, 'v');
    p.set(U8Field{11920, 1}, 0x38);  // first byte after firmwareVersion
    decode(Block().item(179, longVer));
    EXPECT_EQ(p.textView(f::firmwareVersion).size(), 63u);
    EXPECT_EQ(p.image()[11920], 0x38);

    const auto r = decode(Block().item(181, std::string(300, 'T')));
    ASSERT_TRUE(r.deviceText);
    EXPECT_EQ(*r.deviceText, std::string(127, 'T'));
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

    decode(Block().item(180, hex("01 01 02 01 00 AA BB CC")));
    EXPECT_TRUE(live.mqttStatusFresh);
    EXPECT_EQ(live.mqttStatusTopic, 2);
    EXPECT_EQ(toBytes(p.bytes(f::mqttStatusExtra)), hex("AA BB CC"));

    // Power-off save mode with the SIM and registration states, which older firmware leaves
    // out.
    live.simInserted = 1;
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

TEST_F(Decode, DiagnosticsStoreTheMemoryFieldsAndReportEverything) {
    Bytes d(121, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) d[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    };
    const std::uint32_t numbers[] = {4096, 1024, 0x90000, 0x70000, 3600, 12};
    for (std::size_t i = 0; i < 6; ++i) put32(4 * i, numbers[i]);
    put32(28 + 16 * 3 + 12, 77);  // H cache end
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
    const char* stored[] = {"memTotal",  "memUsed",    "flashAddr",
                            "flashSize", "systemTick", "netBreakTime"};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(value(stored[i]), std::to_string(numbers[i]));

    // Eight bytes: the report reads nothing from beyond the item.
    const auto shortItem = decode(Block().item(255, hex("00 00 00 10 00 00 00 08")));
    ASSERT_TRUE(shortItem.diagnostics);
    EXPECT_EQ(shortItem.diagnostics->memUsed, 8u);
    EXPECT_EQ(shortItem.diagnostics->systemTick, 0u);
    EXPECT_TRUE(shortItem.diagnostics->encid.empty());
}

}  // namespace
}  // namespace dtu
