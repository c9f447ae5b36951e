#include "files/param_json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include "params/field_value.h"
#include "support/bytes.h"
#include "text/json.h"

namespace dtu {
namespace {

using test::Bytes;
using test::hex;
namespace f = fields;

TEST(ParamJson, AnyFileSurvivesTheTripThroughJsonByteForByte) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 20; ++round) {
        DeviceParams p;
        for (auto& b : p.image()) b = static_cast<std::uint8_t>(byte(rng));
        DeviceParams back;
        std::string error;
        ASSERT_TRUE(paramsFromJson(paramsToJson(p), back, error)) << error;
        ASSERT_TRUE(back == p) << "round " << round;
    }
    // And a sparse record, where the zero runs are left out.
    DeviceParams sparse;
    sparse.image()[71] = 1;
    sparse.image()[kParamsSize - 1] = 0x80;
    sparse.set(f::modbusItem(40).emergencyData, 3);
    DeviceParams back;
    std::string error;
    ASSERT_TRUE(paramsFromJson(paramsToJson(sparse), back, error)) << error;
    EXPECT_TRUE(back == sparse);
}

TEST(ParamJson, ValuesAreReadable) {
    DeviceParams p;
    p.set(f::serverAPort, 5000);
    p.setText(f::serverAHost, std::string_view("iot.example.com"));
    const Bytes gbk = hex("CE C2 B6 C8");  // two Chinese characters
    p.setText(f::mqttDeviceName, gbk);
    p.setText(f::httpHeader, std::string_view("Content-Type: text/plain\r\n"));
    p.set(f::heartbeatLength, 2);
    p.setBytes(f::heartbeatData, hex("AB CD"));
    p.set(f::modbusItemCount, 1);
    p.set(f::modbusItem(0).threshold1, -5);
    p.setBytes(f::macAddress, hex("A0 B1 C2 D3 E4 00"));

    const auto doc = parseJson(paramsToJson(p));
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->find("serverAPort")->integer(), 5000);
    EXPECT_EQ(doc->find("serverAHost")->string(), "iot.example.com");
    EXPECT_EQ(doc->find("mqttDeviceName")->string(), "\xE6\xB8\xA9\xE5\xBA\xA6");  // UTF-8
    EXPECT_EQ(doc->find("httpHeader")->string(), "Content-Type: text/plain\r\n");
    EXPECT_EQ(doc->find("heartbeatData")->string(), "ab cd");
    EXPECT_EQ(doc->find("macAddress")->string(), "a0 b1 c2 d3 e4 00");
    EXPECT_EQ(doc->find("modbusItems[0].threshold1")->integer(), -5);
    // Unused polling records and zero reserved runs are left out.
    EXPECT_EQ(doc->find("modbusItems[1].slaveAddress"), nullptr);
    EXPECT_EQ(doc->find("reserved@71"), nullptr);
    EXPECT_NE(doc->find("cellLocationEnable"), nullptr);
}

TEST(ParamJson, TextsThatAreNotCleanGbkTravelAsHex) {
    DeviceParams p;
    p.setText(f::apnName, hex("81"));  // a lead byte without its second byte
    p.setText(f::apnUserName, std::string_view("user"));
    p.image()[f::apnUserName.offset + 10] = 'x';  // bytes after the terminator
    const auto doc = parseJson(paramsToJson(p));
    ASSERT_TRUE(doc);
    const JsonValue* apn = doc->find("apnName");
    ASSERT_TRUE(apn && apn->isObject());
    EXPECT_EQ(apn->find("hex")->string(), "81");
    const JsonValue* user = doc->find("apnUserName");
    ASSERT_TRUE(user && user->isObject());
    EXPECT_EQ(user->find("hex")->string(), "75 73 65 72 00 00 00 00 00 00 78");
}

TEST(ParamJson, CertificatePathsAndBlobAreFieldsOfTheFile) {
    DeviceParams p;
    p.setText(f::caPath, hex("2F 64 2F D3 C3 BB A7 2F 63 61 2E 63 72 74"));  // "/d/用户/ca.crt"
    p.setText(f::clientKeyPath, hex("2F 6B 2F FF"));  // bytes that are not GBK
    p.setBytes(f::certBlob, hex("41 42 00 3B 00 3B"));
    p.image()[21087] = 0x01;  // the byte before the checksums stays reserved

    // The parameter file holds them at their offsets.
    EXPECT_EQ(p.image()[12127], 0x2F);
    EXPECT_EQ(p.image()[12639 + 3], 0xFF);
    EXPECT_EQ(p.image()[12895], 0x41);

    const std::string json = paramsToJson(p);
    const auto doc = parseJson(json);
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->find("caPath")->string(), "/d/\xE7\x94\xA8\xE6\x88\xB7/ca.crt");
    EXPECT_EQ(doc->find("clientCertPath")->string(), "");
    EXPECT_EQ(doc->find("clientKeyPath")->find("hex")->string(), "2f 6b 2f ff");
    EXPECT_EQ(doc->find("certBlob")->string(), "41 42 00 3b 00 3b");
    EXPECT_NE(doc->find("reserved@21087"), nullptr);
    DeviceParams back;
    std::string error;
    ASSERT_TRUE(paramsFromJson(json, back, error)) << error;
    EXPECT_TRUE(back == p);

    const auto lines = paramsToLines(p);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "certBlob = \"41 42 00 3b 00 3b\""),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "clientCertPath = \"\""), lines.end());

    // A file from before they were named has zeros there: empty paths, no blob.
    std::string olderError;
    DeviceParams older;
    ASSERT_TRUE(paramsFromJson(R"({"serverAPort": 1})", older, olderError)) << olderError;
    EXPECT_EQ(older.textView(f::caPath), "");
    EXPECT_EQ(paramsToJson(older).find("\"certBlob\": \"\"") != std::string::npos, true);
}

TEST(ParamJson, HandWrittenFilesStartFromZeros) {
    DeviceParams p;
    std::string error;
    ASSERT_TRUE(paramsFromJson(R"({"serverAHost": "10.0.0.9", "serverAPort": 9000,
                                   "uploadTexts[3]": "门开", "apnName": {"hex": "61 62"},
                                   "modbusItems[5].threshold2": -2147483648,
                                   "reserved@71": "01"})",
                               p, error))
        << error;
    EXPECT_EQ(p.textView(f::serverAHost), "10.0.0.9");
    EXPECT_EQ(p.get(f::serverAPort), 9000);
    EXPECT_EQ(test::toBytes(p.text(f::uploadTexts[3])), hex("C3 C5 BF AA"));
    EXPECT_EQ(p.textView(f::apnName), "ab");
    EXPECT_EQ(p.get(f::modbusItem(5).threshold2), INT32_MIN);
    EXPECT_EQ(p.image()[71], 1);
    EXPECT_EQ(p.get(f::dtuBaudIndex), 0);
}

TEST(ParamJson, BadDocumentsAreRefusedAndLeaveTheRecordAlone) {
    DeviceParams p;
    p.set(f::serverAPort, 1);
    const DeviceParams before = p;
    const std::pair<const char*, const char*> cases[] = {
        {R"({"noSuchField": 1})", "unknown field: noSuchField"},
        {R"({"serverAPort": 1, "serverAPort": 2})", "given twice"},
        {R"({"serverAPort": 65536})", "out of range"},
        {R"({"serverAPort": -1})", "out of range"},
        {R"({"serverAPort": 1.5})", "expected an integer"},
        {R"({"serverAPort": "80"})", "expected an integer"},
        {R"({"modbusItems[0].threshold1": 2147483648})", "out of range"},
        {R"({"workMode": 256})", "out of range"},
        {R"({"serverAHost": 5})", "expected a string"},
        {R"({"heartbeatData": "0x01"})", "not hexadecimal"},
        {R"({"macAddress": "01 02 03 04 05 06 07"})", "do not fit"},
        {R"({"apnName": {"hex": "zz"}})", "not hexadecimal"},
        {R"({"apnName": {"hex": "61", "extra": 1}})", "expected a string"},
        {R"([1, 2])", "expected a JSON object"},
        {R"({"serverAPort": 1)", "invalid JSON"},
    };
    for (const auto& [json, why] : cases) {
        std::string error;
        EXPECT_FALSE(paramsFromJson(json, p, error)) << json;
        EXPECT_NE(error.find(why), std::string::npos) << json << " -> " << error;
        EXPECT_TRUE(p == before) << json;
    }
    std::string error;
    EXPECT_FALSE(paramsFromJson(R"({"serverAHost": "😀"})", p, error));  // not in GBK
}

TEST(ParamJson, TextsGivenAsTextKeepTheirTerminatorAndHexBytesStayAsTheyAre) {
    // What a save sends and a read takes back; a text no save carries leaves its terminator.
    // The lock password is the one text that fills its field.
    const std::pair<const char*, std::size_t> limits[] = {
        {"serverAHost", 63}, {"remoteConfigPassword", 8}, {"modbusItems[9].jsonName", 57},
        {"deviceModel", 63}, {"configLockPassword", 8},   {"caPath", 255},
    };
    for (const auto& [name, limit] : limits) {
        auto doc = [&](std::size_t n) {
            return std::string("{\"") + name + "\": \"" + std::string(n, 'a') + "\"}";
        };
        DeviceParams p;
        std::string error;
        EXPECT_TRUE(paramsFromJson(doc(limit), p, error)) << name << ": " << error;
        EXPECT_EQ(p.textView(TextField{findField(name)->offset, findField(name)->size}).size(),
                  limit);
        EXPECT_FALSE(paramsFromJson(doc(limit + 1), p, error)) << name;
        EXPECT_NE(error.find("at most " + std::to_string(limit)), std::string::npos) << error;
    }

    // `set` and the plans take values by the same rule.
    const FieldAssignment nine{findField("remoteConfigPassword"),
                               JsonValue::makeString("123456789")};
    EXPECT_EQ(refuseAssignments(std::span(&nine, 1)),
              "remoteConfigPassword: 9 bytes; at most 8 fit before the terminator");

    // Bytes that fill a field, as an older file or a device may hold them, travel as hex and
    // come back whole.
    DeviceParams full;
    full.setText(f::serverAHost, std::string(64, 'h'));
    full.setText(f::remoteConfigPassword, std::string_view("123456789"));
    const auto doc = parseJson(paramsToJson(full));
    ASSERT_TRUE(doc && doc->find("serverAHost")->isObject());
    DeviceParams back;
    std::string error;
    ASSERT_TRUE(paramsFromJson(paramsToJson(full), back, error)) << error;
    EXPECT_TRUE(back == full);
}

TEST(ParamJson, ALockedConfigurationShowsOnlyThatItIsLockedAndWhereItCameFrom) {
    DeviceParams p;
    p.setText(f::serverAHost, std::string_view("secret.example.com"));
    p.setText(f::configLockPassword, std::string_view("pw123456"));
    p.set(f::configLockFlag, 0x78);
    p.setText(f::deviceModel, std::string_view("DTU-4G"));
    p.setText(f::imei, std::string_view("860000000000001"));
    const auto lines = lockedParamsToLines(p);
    EXPECT_EQ(lines.front(), "locked = true");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "deviceModel = \"DTU-4G\""), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "imei = \"860000000000001\""), lines.end());
    const std::string json = lockedParamsToJson(p);
    for (const std::string& shown : {json, [&] {
                                         std::string all;
                                         for (const auto& l : lines) all += l + "\n";
                                         return all;
                                     }()}) {
        EXPECT_EQ(shown.find("secret"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("pw123456"), std::string::npos) << shown;
    }
    // No reader takes it for a parameter set.
    DeviceParams back;
    std::string error;
    EXPECT_FALSE(paramsFromJson(json, back, error));
}

TEST(ParamJson, LinesAndDifferencesNameTheFields) {
    DeviceParams a;
    DeviceParams b = a;
    b.set(f::serverAPort, 8080);
    b.setText(f::apnName, std::string_view("cmnet"));
    b.image()[793] = 7;                    // reserved
    b.set(f::modbusItem(63).decimals, 2);  // a record past the count
    const auto diffs = diffParams(a, b);
    ASSERT_EQ(diffs.size(), 4u);
    EXPECT_EQ(diffs[0].field->name, "serverAPort");
    EXPECT_EQ(diffs[0].before, "0");
    EXPECT_EQ(diffs[0].after, "8080");
    EXPECT_EQ(diffs[1].field->name, "reserved@793");
    EXPECT_EQ(diffs[2].field->name, "modbusItems[63].decimals");
    EXPECT_EQ(diffs[3].field->name, "apnName");
    EXPECT_EQ(diffs[3].after, "\"cmnet\"");
    EXPECT_TRUE(diffParams(a, a).empty());

    const auto lines = paramsToLines(b);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "serverAPort = 8080"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "apnName = \"cmnet\""), lines.end());
    // Records up to the last one holding data are shown.
    EXPECT_NE(std::find(lines.begin(), lines.end(), "modbusItems[63].decimals = 2"), lines.end());
}

}  // namespace
}  // namespace dtu
