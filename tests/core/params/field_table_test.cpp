#include "params/field_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dtu {
namespace {

struct MapRow {
    std::uint32_t offset;
    std::uint32_t size;
    const char* name;
};

// The map of the parameter file: offset, size, field. The certificate paths and blob fill the
// span after certChunkAcked that the device leaves to the tool.
// clang-format off
const MapRow kFileMap[] = {
    {0, 1, "dtuBaudIndex"}, {1, 1, "dtuParityIndex"}, {2, 1, "dtuStopBitsIndex"},
    {3, 1, "dtuDataBits"}, {4, 1, "workMode"}, {5, 1, "packTimeMs"}, {6, 1, "serverAEnable"},
    {7, 64, "serverAHost"}, {71, 1, "reserved"}, {72, 2, "serverAPort"}, {74, 1, "serverAProtocol"},
    {75, 1, "serverAConnMode"}, {76, 2, "serverATimeout"}, {78, 1, "serverBEnable"},
    {79, 64, "serverBHost"}, {143, 1, "reserved"}, {144, 2, "serverBPort"},
    {146, 1, "serverBProtocol"}, {147, 1, "serverBConnMode"}, {148, 2, "serverBTimeout"},
    {150, 1, "httpEnable"}, {151, 127, "httpHost"}, {278, 1, "httpHexToAscii"},
    {279, 1, "reserved"}, {280, 2, "httpPort"}, {282, 1, "httpMethod"}, {283, 200, "httpHeader"},
    {483, 1, "reserved"}, {484, 1, "heartbeatEnable"}, {485, 1, "heartbeatLength"},
    {486, 128, "heartbeatData"}, {614, 2, "reserved"}, {616, 4, "heartbeatInterval"},
    {620, 1, "registerEnable"}, {621, 1, "registerMode"}, {622, 1, "registerLength"},
    {623, 128, "registerData"}, {751, 1, "reserved"}, {752, 1, "serialSendEnable"},
    {753, 3, "reserved"}, {756, 4, "serialSendInterval"}, {760, 1, "serialSendLength"},
    {761, 32, "serialSendData"}, {793, 135, "reserved"}, {928, 1, "serialFilterEnable"},
    {929, 1, "serialFilterLength"}, {930, 16, "serialFilterData"}, {946, 2, "reserved"},
    {948, 64, "mqttHost"}, {1012, 4, "mqttPort"}, {1016, 1, "mqttEnable"},
    {1017, 128, "mqttUserName"}, {1145, 128, "mqttPassword"}, {1273, 128, "mqttClientId"},
    {1401, 1, "reserved"}, {1402, 2, "mqttKeepAlive"}, {1404, 1, "mqttQos"},
    {1405, 1, "mqttWillEnable"}, {1406, 65, "mqttWillMessage"}, {1471, 65, "mqttWillTopic"},
    {1536, 1, "mqttRetain"}, {1537, 65, "mqttSubscribeTopic"}, {1602, 65, "mqttPublishTopic1"},
    {1667, 65, "mqttPublishTopic2"}, {1732, 65, "mqttPublishTopic3"},
    {1797, 65, "mqttPublishTopic4"}, {1862, 1, "mqttSsl"}, {1863, 42, "reserved"},
    {1905, 1, "mqttCloudType"}, {1906, 65, "mqttProductKey"}, {1971, 65, "mqttDeviceName"},
    {2036, 65, "mqttDeviceSecret"}, {2101, 2183, "reserved"}, {4284, 1, "smsMode"},
    {4285, 160, "smsPhoneNumbers"}, {4445, 3, "reserved"}, {4448, 4, "noDataRebootMinutes"},
    {4452, 2, "rtuAddress"}, {4454, 1, "rtuInputDebounceMs"}, {4455, 1, "reserved"},
    {4456, 80, "xyRules"}, {4536, 2, "adc1RuleValue1"}, {4538, 2, "adc1RuleValue2"},
    {4540, 2, "adc2RuleValue1"}, {4542, 2, "adc2RuleValue2"}, {4544, 1, "adc1RuleCondition"},
    {4545, 1, "adc1RuleMode"}, {4546, 1, "adc2RuleCondition"}, {4547, 1, "adc2RuleMode"},
    {4548, 1, "counterMode"}, {4549, 1, "rtuLinkageEnable"}, {4550, 1, "rtuReportEnable"},
    {4551, 1, "uploadInputsEnable"}, {4552, 8, "uploadInputModes"}, {4560, 1, "uploadAdc1Enable"},
    {4561, 1, "uploadAdc2Enable"}, {4562, 2, "uploadAdc1Value1"}, {4564, 2, "uploadAdc1Value2"},
    {4566, 2, "uploadAdc2Value1"}, {4568, 2, "uploadAdc2Value2"}, {4570, 1, "uploadAdc1Type"},
    {4571, 1, "uploadAdc2Type"}, {4572, 1, "uploadAdc1Condition"}, {4573, 1, "uploadAdc2Condition"},
    {4574, 1, "uploadTimedEnable"}, {4575, 1, "reserved"}, {4576, 2, "uploadTimedInterval"},
    {4578, 1, "uploadFormat"}, {4579, 1, "uploadFormatBits"}, {4580, 528, "uploadTexts"},
    {5108, 132, "uploadTexts2"}, {5240, 396, "reserved"}, {5636, 3, "mqttStatusExtra"},
    {5639, 1, "rtuPowerOnRelays"}, {5640, 1, "rtuPowerOffSave"}, {5641, 3, "reserved"},
    {5644, 1, "edgeMode"}, {5645, 3, "reserved"}, {5648, 2, "modbusTimeout"},
    {5650, 2, "modbusPollInterval"}, {5652, 2, "modbusCommandDelayMs"},
    {5654, 2, "modbusUploadInterval"}, {5656, 1, "modbusUploadFormat"}, {5657, 3, "reserved"},
    {5660, 4, "modbusMapStart"}, {5664, 1, "modbusItemCount"}, {5665, 3, "reserved"},
    {5668, 5632, "modbusItems"}, {11300, 8, "reserved"}, {11308, 1, "modbusChangeUpload"},
    {11309, 1, "modbusRelayFollow"}, {11310, 1, "modbusTimeoutAction"},
    {11311, 1, "modbusTimestamp"}, {11312, 1, "modbusJsonArray"}, {11313, 128, "modbusPrefix"},
    {11441, 1, "uploadTarget"}, {11442, 2, "reserved"}, {11444, 1, "userCodeEnable"},
    {11445, 3, "reserved"}, {11448, 1, "relayEnable"}, {11449, 1, "relayOnNetLoss"},
    {11450, 2, "reserved"}, {11452, 4, "relayNetLossMinutes"}, {11456, 1, "relayNetLossAction"},
    {11457, 3, "reserved"}, {11460, 1, "dataCacheEnable"}, {11461, 3, "reserved"},
    {11464, 4, "dataCacheCount"}, {11468, 1, "dataCacheIntervalMs"},
    {11469, 1, "dataCacheTimePrefix"}, {11470, 1, "dataCacheLengthPrefix"}, {11471, 1, "apnEnable"},
    {11472, 1, "apnAuthType"}, {11473, 65, "apnName"}, {11538, 65, "apnUserName"},
    {11603, 65, "apnPassword"}, {11668, 1, "modbusTcpToRtu"}, {11669, 3, "reserved"},
    {11672, 1, "remoteConfigEnable"}, {11673, 3, "reserved"}, {11676, 4, "remoteConfigUuid"},
    {11680, 9, "remoteConfigPassword"}, {11689, 65, "remoteConfigServer"}, {11754, 2, "reserved"},
    {11756, 1, "tlsMode"}, {11757, 1, "gpsMode"}, {11758, 2, "gpsInterval"},
    {11760, 32, "macAddress"}, {11792, 64, "deviceModel"}, {11856, 64, "firmwareVersion"},
    {11920, 32, "iccid"}, {11952, 32, "imei"}, {11984, 1, "signalQuality"},
    {11985, 1, "serverALinked"}, {11986, 1, "serverBLinked"}, {11987, 1, "mqttLinked"},
    {11988, 1, "httpLinked"}, {11989, 1, "networkLinked"}, {11990, 1, "versionByte"},
    {11991, 1, "userCodeVersion"}, {11992, 4, "memUsed"}, {11996, 4, "memTotal"},
    {12000, 4, "flashSize"}, {12004, 4, "flashAddr"}, {12008, 1, "deviceKind"},
    {12009, 3, "reserved"}, {12012, 4, "systemTick"}, {12016, 4, "netBreakTime"},
    {12020, 1, "gpsSatellites"}, {12021, 1, "gpsByte1"}, {12022, 2, "gpsLatitudeDeg"},
    {12024, 4, "gpsLatitudeFrac"}, {12028, 1, "gpsByte8"}, {12029, 1, "reserved"},
    {12030, 2, "gpsLongitudeDeg"}, {12032, 4, "gpsLongitudeFrac"}, {12036, 2, "reserved"},
    {12038, 2, "cellLatitudeDeg"}, {12040, 4, "cellLatitudeFrac"}, {12044, 2, "reserved"},
    {12046, 2, "cellLongitudeDeg"}, {12048, 4, "cellLongitudeFrac"}, {12052, 4, "reserved"},
    {12056, 2, "remoteConfigCount"}, {12058, 2, "remoteConfigTimeout"},
    {12060, 65, "remoteConfigCurrentIp"}, {12125, 1, "reserved"}, {12126, 1, "certChunkAcked"},
    {12127, 256, "caPath"}, {12383, 256, "clientCertPath"}, {12639, 256, "clientKeyPath"},
    {12895, 8192, "certBlob"}, {21087, 1, "reserved"}, {21088, 6, "certChecksums"},
    {21094, 2, "reserved"},
    {21096, 1, "configLockFlag"}, {21097, 8, "configLockPassword"}, {21105, 1027, "reserved"},
    {22132, 4, "cellId"}, {22136, 4, "cellLac"}, {22140, 4, "cellMcc"}, {22144, 4, "cellMnc"},
    {22148, 4, "cellErrCode"}, {22152, 4, "gpsBeidou"}, {22156, 1, "cellLocationEnable"},
    {22157, 3, "reserved"},
};
// clang-format on

// Names of layout entries covering [offset, offset + size), checking there are no holes.
std::vector<const FieldInfo*> entriesIn(std::uint32_t offset, std::uint32_t size) {
    std::vector<const FieldInfo*> out;
    for (const auto& f : recordLayout()) {
        if (f.offset + f.size <= offset || f.offset >= offset + size) continue;
        out.push_back(&f);
    }
    return out;
}

TEST(RecordLayout, AccountsForEveryByteOnceInOffsetOrder) {
    std::uint32_t pos = 0;
    for (const auto& f : recordLayout()) {
        ASSERT_EQ(f.offset, pos) << f.name;
        ASSERT_GT(f.size, 0u) << f.name;
        pos += f.size;
        EXPECT_EQ(findField(f.name), &f) << f.name;
    }
    EXPECT_EQ(pos, kParamsSize);
}

TEST(RecordLayout, MatchesThePublishedFileMap) {
    for (const MapRow& row : kFileMap) {
        const std::string name = row.name;
        SCOPED_TRACE(name + " @" + std::to_string(row.offset));
        const auto covered = entriesIn(row.offset, row.size);
        ASSERT_FALSE(covered.empty());
        // No entry of ours may straddle a boundary of the map.
        EXPECT_GE(covered.front()->offset, row.offset);
        EXPECT_LE(covered.back()->offset + covered.back()->size, row.offset + row.size);

        if (name == "reserved") {
            for (const auto* f : covered) EXPECT_TRUE(f->reserved) << f->name;
        } else if (name == "macAddress") {
            // A 32-byte zone: six bytes of address, the rest cleared along with it.
            ASSERT_EQ(covered.size(), 2u);
            EXPECT_EQ(covered[0]->name, "macAddress");
            EXPECT_EQ(covered[0]->size, 6u);
            EXPECT_TRUE(covered[1]->reserved);
        } else if (const FieldInfo* f = findField(name)) {
            EXPECT_EQ(f->offset, row.offset);
            EXPECT_EQ(f->size, row.size);
            EXPECT_FALSE(f->reserved);
        } else {
            // An array (uploadTexts, xyRules, certChecksums) or the polling records: element 0
            // starts the row and the rest of it is elements and reserved bytes.
            const std::string first = name + "[0]";
            ASSERT_EQ(covered.front()->name.compare(0, first.size(), first), 0);
            for (const auto* e : covered) {
                EXPECT_TRUE(e->reserved || e->name.compare(0, name.size() + 1, name + "[") == 0)
                    << e->name;
            }
        }
    }
}

TEST(RecordLayout, ArraysAndPollingRecordsHaveTheirElements) {
    EXPECT_EQ(findField("uploadTexts[15]")->offset, 4580u + 15 * 33);
    EXPECT_EQ(findField("uploadTexts2[3]")->offset, 5108u + 3 * 33);
    EXPECT_EQ(findField("xyRules[9]")->offset, 4528u);
    EXPECT_EQ(findField("certChecksums[2]")->offset, 21092u);
    EXPECT_EQ(findField("modbusItems[0].slaveAddress")->offset, 5668u);
    const FieldInfo* last = findField("modbusItems[63].emergencyData");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->offset, 5668u + 63 * 88 + 84);
    EXPECT_EQ(last->modbusRecord, 63);
    EXPECT_EQ(findField("modbusItems[63].jsonName")->size, 58u);
    EXPECT_EQ(findField("modbusItems[64].slaveAddress"), nullptr);
    EXPECT_EQ(findField("uploadTexts[16]"), nullptr);
    EXPECT_EQ(findField("nosuchfield"), nullptr);
    EXPECT_TRUE(findField("reserved@71")->reserved);
}

TEST(RecordLayout, ArrayElementsReportTheItemThatCarriesThem) {
    // Each upload text travels in an item of its own; the output rules in two items.
    EXPECT_EQ(findField("uploadTexts[0]")->tag, 99);
    EXPECT_EQ(findField("uploadTexts[15]")->tag, 114);
    EXPECT_EQ(findField("uploadTexts2[0]")->tag, 125);
    EXPECT_EQ(findField("uploadTexts2[3]")->tag, 128);
    EXPECT_EQ(findField("xyRules[0]")->tag, 89);
    EXPECT_EQ(findField("xyRules[7]")->tag, 89);
    EXPECT_EQ(findField("xyRules[8]")->tag, 90);
    EXPECT_EQ(findField("xyRules[9]")->tag, 90);
    EXPECT_EQ(findField("certChecksums[2]")->tag, 186);
    EXPECT_EQ(findField("modbusItems[5].jsonName")->tag, 119);
    EXPECT_EQ(findField("caPath")->tag, 0);
}

TEST(DeviceParams, StoresNumbersLittleEndianAtTheirOffsets) {
    DeviceParams p;
    p.set(fields::serverAPort, 0x1234);
    p.set(fields::heartbeatInterval, 0x11223344u);
    p.set(fields::modbusItem(1).threshold1, -2);
    const auto img = p.image();
    EXPECT_EQ(img[72], 0x34);
    EXPECT_EQ(img[73], 0x12);
    EXPECT_EQ(img[616], 0x44);
    EXPECT_EQ(img[619], 0x11);
    const std::size_t t1 = 5668 + 88 + 76;
    EXPECT_EQ(img[t1], 0xFE);
    EXPECT_EQ(img[t1 + 3], 0xFF);
    EXPECT_EQ(p.get(fields::modbusItem(1).threshold1), -2);
}

TEST(DeviceParams, TextsAreZeroPaddedAndNeverOverflowTheirField) {
    DeviceParams p;
    p.image()[71] = 0x5A;  // the reserved byte after serverAHost
    ASSERT_TRUE(p.setText(fields::serverAHost, std::string(10, 'x')));
    ASSERT_TRUE(p.setText(fields::serverAHost, std::string_view("abc")));
    EXPECT_EQ(p.textView(fields::serverAHost), "abc");
    EXPECT_EQ(p.image()[7 + 3], 0);
    EXPECT_EQ(p.image()[7 + 9], 0);  // the longer text before is gone

    // A text that fills the field exactly is kept whole; its end is the field's end.
    ASSERT_TRUE(p.setText(fields::serverAHost, std::string(64, 'h')));
    EXPECT_EQ(p.textView(fields::serverAHost).size(), 64u);
    EXPECT_EQ(p.image()[71], 0x5A);

    EXPECT_FALSE(p.setText(fields::serverAHost, std::string(65, 'y')));
    EXPECT_EQ(p.textView(fields::serverAHost), std::string(64, 'h'));
    EXPECT_EQ(p.image()[71], 0x5A);
}

}  // namespace
}  // namespace dtu
