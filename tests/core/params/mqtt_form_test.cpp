#include <gtest/gtest.h>

#include <string>

#include "params/field_table.h"
#include "params/form_values.h"
#include "params/mqtt_form.h"
#include "support/bytes.h"
#include "support/form_checks.h"

namespace dtu {
namespace {

namespace f = fields;
using test::Bytes;
using test::expectOnlyTouched;
using test::hex;
using test::noisyRecord;
using test::toBytes;

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

const std::vector<std::string_view> kMqttFields = {
    "mqttHost",          "mqttPort",          "mqttUserName",      "mqttPassword",
    "mqttClientId",      "mqttKeepAlive",     "mqttQos",           "mqttWillEnable",
    "mqttWillMessage",   "mqttWillTopic",     "mqttRetain",        "mqttSubscribeTopic",
    "mqttPublishTopic1", "mqttPublishTopic2", "mqttPublishTopic3", "mqttPublishTopic4",
    "mqttSsl",           "mqttCloudType",     "mqttProductKey",    "mqttDeviceName",
    "mqttDeviceSecret"};

MqttForm filledMqttForm() {
    MqttForm m;
    m.host = "broker.example.net";
    m.port = "8883";
    m.ssl = true;
    m.userName = "用户";
    m.password = "pw";
    m.clientId = "dev-7";
    m.keepAlive = "120";
    m.qos = 2;
    m.will = true;
    m.willTopic = "dev/7/will";
    m.willMessage = "gone";
    m.retain = true;
    m.subscribeTopic = "dev/7/in";
    m.publishTopics = {"dev/7/a", "dev/7/b", "dev/7/c", "dev/7/d"};
    m.makerCloud = true;
    m.productKey = "pk";
    m.deviceName = "name";
    m.deviceSecret = "secret";
    return m;
}

TEST(MqttForm, OkWritesTheMqttFieldsOnlyAndReopensAsTyped) {
    DeviceParams p = noisyRecord(3);
    p.setText(f::firmwareVersion, std::string_view("V24061"));  // not counter firmware
    const DeviceParams opened = p;
    MqttForm typed = filledMqttForm();
    // Counter values typed on a device that has no counter firmware are not stored.
    typed.debounce = {"1", "2", "3", "4"};
    typed.adjustment = "-5";
    typed.counterMode = 3;
    typed.circumference = "314";
    ASSERT_EQ(typed.accept(p, Language::Chinese), std::nullopt);
    expectOnlyTouched(opened, p, kMqttFields);
    EXPECT_EQ(p.get(f::mqttPort), 8883u);
    EXPECT_EQ(p.get(f::mqttCloudType), 2);
    EXPECT_EQ(toBytes(p.text(f::mqttUserName)), hex("D3 C3 BB A7"));  // GBK

    MqttForm reopened;
    reopened.open(p);
    EXPECT_EQ(reopened, filledMqttForm());
}

TEST(MqttForm, TextsAreRefusedOneByteOverTheirLimitInTheDialogsOrder) {
    struct Case {
        std::string MqttForm::*member;
        std::size_t limit;
        std::string message;
    };
    // The server's own limit of 127 is more than its field can give back: 63 it is.
    const Case cases[] = {
        {&MqttForm::host, 63, tooLongMessage({"服务器IP", "Server"}, 63, Language::Chinese)},
        {&MqttForm::userName, 127, "用户名长度超过 127"},
        {&MqttForm::password, 127, "密码长度超过 127"},
        {&MqttForm::clientId, 127, "设备ID超过 127"},
        {&MqttForm::willMessage, 64, "遗嘱MSG 65"},
        {&MqttForm::willTopic, 64, "遗嘱TOPIC 长度超过 65"},
        {&MqttForm::subscribeTopic, 64, "订阅TOPIC长度超过 65"},
        {&MqttForm::productKey, 64, "PRODUCT KEY 长度超过 65"},
        {&MqttForm::deviceName, 64, "DEVICE NAME长度超过 65"},
        {&MqttForm::deviceSecret, 64, "DEVICE SECRET长度超过 65"},
    };
    for (const Case& c : cases) {
        DeviceParams p;
        MqttForm m = filledMqttForm();
        m.*c.member = std::string(c.limit, 'a');
        EXPECT_EQ(m.accept(p, Language::Chinese), std::nullopt) << c.message;
        EXPECT_EQ(p.text(f::mqttHost).size(), m.host.size());

        const DeviceParams untouched = p;
        m.*c.member = std::string(c.limit + 1, 'a');
        EXPECT_EQ(m.accept(p, Language::Chinese), c.message);
        EXPECT_EQ(p, untouched) << c.message;  // a private copy: nothing is written
    }
    for (std::size_t i = 0; i < 4; ++i) {
        DeviceParams p;
        MqttForm m = filledMqttForm();
        m.publishTopics[i] = std::string(65, 't');
        EXPECT_EQ(m.accept(p, Language::Chinese), "发布TOPIC长度超过 65") << i;
        EXPECT_EQ(p, DeviceParams());
    }

    // Bytes of GBK are counted: 32 Chinese characters fill a topic, one letter more is too many.
    DeviceParams p;
    MqttForm m = filledMqttForm();
    m.willTopic = repeat("中", 32);
    EXPECT_EQ(m.accept(p, Language::Chinese), std::nullopt);
    m.willTopic += "a";
    EXPECT_EQ(m.accept(p, Language::Chinese), "遗嘱TOPIC 长度超过 65");

    // The first failing check speaks; a character GBK lacks is refused in the window's language.
    m = filledMqttForm();
    m.host = std::string(64, 'h');
    m.deviceSecret = std::string(65, 's');
    EXPECT_EQ(m.accept(p, Language::English),
              tooLongMessage({"服务器IP", "Server"}, 63, Language::English));
    m = filledMqttForm();
    m.password = "pw\xF0\x9F\x98\x80";  // an emoji
    EXPECT_EQ(m.accept(p, Language::English), notGbkMessage({"密码", "UserPw"}, Language::English));
}

TEST(MqttForm, CloudBoxesStandForTypesOneAndTwoAndNothingElse) {
    for (const auto& [stored, platform, maker] :
         {std::tuple{0, false, false}, std::tuple{1, true, false}, std::tuple{2, false, true},
          std::tuple{3, false, false}}) {
        DeviceParams p;
        p.set(f::mqttCloudType, static_cast<std::uint8_t>(stored));
        MqttForm m;
        m.open(p);
        EXPECT_EQ(m.platformCloud, platform) << stored;
        EXPECT_EQ(m.makerCloud, maker) << stored;
        ASSERT_EQ(m.accept(p, Language::Chinese), std::nullopt);
        // Left as opened, type 3 is saved as none.
        EXPECT_EQ(p.get(f::mqttCloudType), stored == 3 ? 0 : stored);
    }
}

TEST(MqttForm, ListsWithoutASelectionLeaveTheirFields) {
    DeviceParams p;
    p.set(f::mqttQos, 9);  // no entry stands for it
    MqttForm m;
    m.open(p);
    EXPECT_EQ(m.qos, -1);
    ASSERT_EQ(m.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(p.get(f::mqttQos), 9);
}

TEST(MqttForm, DeviceNameStartingNonAsciiTravelsAsUtf8AndShowsAsTyped) {
    DeviceParams p;
    MqttForm m;
    m.deviceName = "中文abc";
    ASSERT_EQ(m.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(toBytes(p.text(f::mqttDeviceName)), hex("E4 B8 AD E6 96 87 61 62 63"));
    MqttForm reopened;
    reopened.open(p);
    EXPECT_EQ(reopened.deviceName, "中文abc");

    // A name that starts with an ASCII letter stays GBK, Chinese further on or not.
    m.deviceName = "abc中文";
    ASSERT_EQ(m.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(toBytes(p.text(f::mqttDeviceName)), hex("61 62 63 D6 D0 CE C4"));
    reopened.open(p);
    EXPECT_EQ(reopened.deviceName, "abc中文");
}

TEST(MqttForm, DeviceNameWhoseUtf8FormOverflowsIsRefusedWhole) {
    // 21 characters and a letter take 43 GBK bytes but exactly 64 as UTF-8: accepted.
    DeviceParams p;
    MqttForm m;
    m.deviceName = repeat("云", 21) + "a";
    ASSERT_EQ(m.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(p.text(f::mqttDeviceName).size(), 64u);

    // One letter more fits in GBK (44 bytes) but not as UTF-8 (65): refused, nothing written
    // and certainly not a name cut inside a character.
    const DeviceParams before = p;
    m.deviceName += "b";
    const auto refusal = m.accept(p, Language::Chinese);
    ASSERT_TRUE(refusal);
    EXPECT_NE(refusal->find("65"), std::string::npos) << *refusal;
    EXPECT_NE(refusal->find("64"), std::string::npos) << *refusal;
    EXPECT_EQ(p, before);
    EXPECT_NE(m.accept(p, Language::English)->find("UTF-8"), std::string::npos);
}

TEST(MqttForm, CounterFirmwareStoresItsSettingsOnOkOnly) {
    DeviceParams p = noisyRecord(11);
    p.setText(f::firmwareVersion, std::string_view("C2.05"));
    ASSERT_EQ(filledMqttForm().accept(p, Language::Chinese), std::nullopt);  // clean texts
    const auto extra = toBytes(p.bytes(f::serialSendData).subspan(4));
    const DeviceParams opened = p;

    MqttForm m;
    m.open(p);
    ASSERT_TRUE(m.counter);
    m.counterMode = 5;
    m.debounce = {"20", "0", "255", "300"};  // cut to 8 bits like every number
    m.adjustment = "-5";
    m.countsPerCircumference = "1000";
    m.circumference = "314";
    ASSERT_EQ(m.accept(p, Language::Chinese), std::nullopt);

    EXPECT_EQ(p.get(f::counterMode), 5);
    EXPECT_EQ(toBytes(p.bytes(f::uploadInputModes).first(5)), hex("14 00 FF 2C 85"));
    EXPECT_EQ(p.get(f::serialSendInterval), 1000u);
    EXPECT_EQ(toBytes(p.bytes(f::serialSendData).first(4)), hex("00 00 01 3A"));
    EXPECT_EQ(toBytes(p.bytes(f::serialSendData).subspan(4)), extra);
    EXPECT_EQ(p.get(f::serialSendLength), 4);
    std::vector<std::string_view> counterFields = kMqttFields;
    counterFields.insert(counterFields.end(),
                         {"counterMode", "uploadInputModes", "serialSendInterval", "serialSendData",
                          "serialSendLength"});
    expectOnlyTouched(opened, p, counterFields);

    MqttForm reopened;
    reopened.open(p);
    EXPECT_EQ(reopened.adjustment, "-5");
    EXPECT_EQ(reopened.debounce[3], "44");
    EXPECT_EQ(reopened.circumference, "314");
    EXPECT_EQ(reopened.countsPerCircumference, "1000");
    EXPECT_EQ(reopened.counterMode, 5);

    for (const auto& [typed, stored] : {std::pair{"5", 0x05}, std::pair{"0", 0x00},
                                        std::pair{"-0", 0x80}, std::pair{"-127", 0xFF}}) {
        m.adjustment = typed;
        ASSERT_EQ(m.accept(p, Language::Chinese), std::nullopt);
        EXPECT_EQ(p.bytes(f::uploadInputModes)[4], stored) << typed;
    }
}

TEST(MqttForm, CounterFirmwareIsTheVersionStartingWithC) {
    DeviceParams p;
    EXPECT_FALSE(isCounterFirmware(p));
    p.setText(f::firmwareVersion, std::string_view("C"));
    EXPECT_TRUE(isCounterFirmware(p));
    p.setText(f::firmwareVersion, std::string_view("c1"));
    EXPECT_FALSE(isCounterFirmware(p));
    p.setText(f::firmwareVersion, std::string_view("VC1"));
    EXPECT_FALSE(isCounterFirmware(p));
}

TEST(MqttForm, MakerCloudHelpNamesTheConfiguredServer) {
    const std::string help = makerCloudHelp("mqtt.line3.example.net", Language::Chinese);
    EXPECT_NE(help.find("2.服务器:mqtt.line3.example.net\r\n3.端口：1883 \r\n"), std::string::npos)
        << help;
    EXPECT_TRUE(help.starts_with("必须设置的参数 \r\n1.启用MQTT \r\n"));
}

}  // namespace
}  // namespace dtu
