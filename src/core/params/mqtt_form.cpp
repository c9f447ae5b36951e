#include "params/mqtt_form.h"

#include <algorithm>
#include <vector>

#include "params/form_values.h"
#include "params/item_codec.h"
#include "text/gbk.h"

namespace dtu {

namespace f = fields;

namespace {

constexpr std::uint8_t kCloudPlatform = 1;
constexpr std::uint8_t kCloudMaker = 2;
constexpr std::uint8_t kSubtract = 0x80;  // the adjustment's sign bit
constexpr std::uint8_t kNonAscii = 0x80;

// The record keeps a device name that starts with a non-ASCII byte in the device's UTF-8 form.
bool storedAsUtf8(std::span<const std::uint8_t> name) {
    return !name.empty() && name[0] >= kNonAscii;
}

// One text check of the OK button: the dialog's own limit and message, or the field's, when
// the field cannot carry as much as the dialog would take.
struct TextStep {
    TextField field;
    const std::string& typed;
    FormLabel label;
    std::size_t dialogLimit;
    FormLabel dialogMessage;
};

// A field as its edit shows it; the device name in the form the user reads.
ShownText shown(const DeviceParams& p, TextField field) {
    ShownText t = shownText(p, field);
    if (field.offset == f::mqttDeviceName.offset && storedAsUtf8(t.stored))
        t.shown = gbkToDisplay(fromDeviceUtf8(t.stored));
    return t;
}

FormText check(const ShownText& was, const TextStep& s, Language lang) {
    const std::size_t fieldLimit = sendableBytes(s.field);
    if (fieldLimit < s.dialogLimit) return formText(was, s.typed, fieldLimit, s.label, lang);
    return formText(was, s.typed, s.dialogLimit, s.label, lang, inLanguage(s.dialogMessage, lang));
}

std::string deviceNameTooLong(std::size_t utf8Bytes, std::size_t limit, Language lang) {
    if (lang == Language::English)
        return "Device Name takes " + std::to_string(utf8Bytes) +
               " bytes in the device's UTF-8 form, more than " + std::to_string(limit);
    return "DEVICE NAME 转为 UTF-8 后占 " + std::to_string(utf8Bytes) + " 字节，超过 " +
           std::to_string(limit) + " 字节";
}

int comboIndex(int value, std::size_t count) {
    return value >= 0 && static_cast<std::size_t>(value) < count ? value : -1;
}

}  // namespace

bool isCounterFirmware(const DeviceParams& params) {
    const auto version = params.text(f::firmwareVersion);
    return !version.empty() && version[0] == 'C';
}

std::array<std::string_view, 7> counterModeEntries(Language lang) {
    if (lang == Language::English)
        return {"Type 1: count input x1 only",
                "Type 2: count input x1 and running input x2",
                "Type 3: count input x1, running input x2 and paper detect x3",
                "Type 4: count input x1 and paper detect x3",
                "Meter 1: pulse input x1",
                "Meter 2: pulse input x1 and running input x2",
                "Meter 3: pulse input x1, running input x2 and paper detect x3"};
    return {"1 类机型:只有计数输入点x1",
            "2 类机型:计数输入点x1 和 设备运行输入点x2",
            "3 类机型:计数输入点x1 和 设备运行输入点x2 和 纸张检测点x3",
            "4 类机型:计数输入点x1 和 纸张检测点x3",
            "计米1:脉冲输入点x1",
            "计米2:脉冲输入点x1 和 设备运行输入点x2",
            "计米3:脉冲输入点x1 和 设备运行输入点x2 和 纸张检测点x3"};
}

std::string platformCloudHelp(Language lang) {
    if (lang == Language::English)
        return "Settings it needs: 1. MQTT enabled 2. server 3. port 4. keepalive 60 5. subscribe "
               "topic 6. publish topic\r\n"
               "Its topics take the form /product key/device name/user/topic: write the subscribe "
               "and publish topics that way";
    return "必须设置的参数1.启用 MQTT 2.服务器 3. 端口 4.keepalive 60 5.订阅TOPIC 6.发布TOPIC\r\n"
           "阿里云topic规则:/product key/device name/user/topic ,请按照此方式填写 订阅topic 和 "
           "发布topic";
}

std::string makerCloudHelp(std::string_view server, Language lang) {
    if (lang == Language::English)
        return "Settings it needs: \r\n1. MQTT enabled \r\n2. server: " + std::string(server) +
               "\r\n3. port: 1883 \r\n4. user name: the device's SN  \r\n5. password: the "
               "communication password\r\n6. keepalive: 120  \r\n";
    return "必须设置的参数 \r\n1.启用MQTT \r\n2.服务器:" + std::string(server) +
           "\r\n3.端口：1883 \r\n4.用户名：设备SN  \r\n5.密码：通讯密码\r\n6.KEEPALIVE:120  \r\n";
}

void MqttForm::open(const DeviceParams& p) {
    host = fieldText(p, f::mqttHost);
    port = std::to_string(p.get(f::mqttPort) & 0xFFFFu);  // the port travels in 16 bits
    ssl = p.get(f::mqttSsl) == 1;
    userName = fieldText(p, f::mqttUserName);
    password = fieldText(p, f::mqttPassword);
    clientId = fieldText(p, f::mqttClientId);
    keepAlive = std::to_string(p.get(f::mqttKeepAlive));
    qos = comboIndex(p.get(f::mqttQos), kMqttQosEntries.size());
    will = p.get(f::mqttWillEnable) == 1;
    willTopic = fieldText(p, f::mqttWillTopic);
    willMessage = fieldText(p, f::mqttWillMessage);
    retain = p.get(f::mqttRetain) == 1;
    subscribeTopic = fieldText(p, f::mqttSubscribeTopic);
    const TextField topics[] = {f::mqttPublishTopic1, f::mqttPublishTopic2, f::mqttPublishTopic3,
                                f::mqttPublishTopic4};
    for (std::size_t i = 0; i < publishTopics.size(); ++i)
        publishTopics[i] = fieldText(p, topics[i]);
    const std::uint8_t cloud = p.get(f::mqttCloudType);
    platformCloud = cloud == kCloudPlatform;
    makerCloud = cloud == kCloudMaker;
    productKey = fieldText(p, f::mqttProductKey);
    deviceName = shown(p, f::mqttDeviceName).shown;
    deviceSecret = fieldText(p, f::mqttDeviceSecret);

    counter = isCounterFirmware(p);
    if (!counter) return;
    counterMode = comboIndex(p.get(f::counterMode), counterModeEntries(Language::Chinese).size());
    const auto modes = p.bytes(f::uploadInputModes);
    for (std::size_t i = 0; i < debounce.size(); ++i) debounce[i] = std::to_string(modes[i]);
    const std::uint8_t adjust = modes[4];
    adjustment = (adjust & kSubtract ? "-" : "") + std::to_string(adjust & 0x7F);
    countsPerCircumference =
        std::to_string(static_cast<std::int32_t>(p.get(f::serialSendInterval)));
    const auto data = p.bytes(f::serialSendData);
    const std::uint32_t mm = std::uint32_t(data[0]) << 24 | std::uint32_t(data[1]) << 16 |
                             std::uint32_t(data[2]) << 8 | data[3];
    circumference = std::to_string(static_cast<std::int32_t>(mm));
}

std::optional<std::string> MqttForm::accept(DeviceParams& p, Language lang) const {
    // Every check runs before anything is written: a refusal leaves the record as it was.
    constexpr FormLabel kPublishTooLong{"发布TOPIC长度超过 65",
                                        "A publish topic is longer than 64 bytes"};
    // clang-format off
    const TextStep steps[] = {
        {f::mqttHost, host, {"服务器IP", "Server"}, 127,
         {"服务器IP长度超过127", "The server is longer than 127 bytes"}},
        {f::mqttUserName, userName, {"用户名", "UserName"}, 127,
         {"用户名长度超过 127", "The user name is longer than 127 bytes"}},
        {f::mqttPassword, password, {"密码", "UserPw"}, 127,
         {"密码长度超过 127", "The password is longer than 127 bytes"}},
        {f::mqttClientId, clientId, {"设备ID", "ID"}, 127,
         {"设备ID超过 127", "The ID is longer than 127 bytes"}},
        {f::mqttWillMessage, willMessage, {"遗嘱MSG", "Will Msg"}, 64,
         {"遗嘱MSG 65", "The will message is longer than 64 bytes"}},
        {f::mqttWillTopic, willTopic, {"遗嘱TOPIC", "Will Topic"}, 64,
         {"遗嘱TOPIC 长度超过 65", "The will topic is longer than 64 bytes"}},
        {f::mqttSubscribeTopic, subscribeTopic, {"订阅TOPIC", "SubTopic"}, 64,
         {"订阅TOPIC长度超过 65", "The subscribe topic is longer than 64 bytes"}},
        {f::mqttPublishTopic1, publishTopics[0], {"发布TOPIC", "PubTopic"}, 64, kPublishTooLong},
        {f::mqttPublishTopic2, publishTopics[1], {"发布TOPIC2", "PubTopic2"}, 64, kPublishTooLong},
        {f::mqttPublishTopic3, publishTopics[2], {"发布TOPIC3", "PubTopic3"}, 64, kPublishTooLong},
        {f::mqttPublishTopic4, publishTopics[3], {"发布TOPIC4", "PubTopic4"}, 64, kPublishTooLong},
        {f::mqttProductKey, productKey, {"PRODUCT KEY", "Product Key"}, 64,
         {"PRODUCT KEY 长度超过 65", "The product key is longer than 64 bytes"}},
        {f::mqttDeviceName, deviceName, {"DEVICE NAME", "Device Name"}, 64,
         {"DEVICE NAME长度超过 65", "The device name is longer than 64 bytes"}},
        {f::mqttDeviceSecret, deviceSecret, {"DEVICE SECRET", "Device Secret"}, 64,
         {"DEVICE SECRET长度超过 65", "The device secret is longer than 64 bytes"}},
    };
    // clang-format on
    constexpr std::size_t kDeviceNameStep = 12;
    std::vector<FormText> texts;
    for (const TextStep& step : steps) {
        texts.push_back(check(shown(p, step.field), step, lang));
        if (!texts.back().refusal.empty()) return texts.back().refusal;
    }
    // A name that starts with a non-ASCII character goes to the device as its UTF-8 form, three
    // bytes for every two; that form must fit the field whole. An untouched name is in the
    // form it is stored in.
    std::vector<std::uint8_t>& name = texts[kDeviceNameStep].gbk;
    if (shown(p, f::mqttDeviceName).editedTo(deviceName) && storedAsUtf8(name)) {
        const auto utf8 = toDeviceUtf8(name);
        const std::size_t limit = sendableBytes(f::mqttDeviceName);
        if (!utf8) return notGbkMessage({"DEVICE NAME", "Device Name"}, lang);
        if (utf8->size() > limit) return deviceNameTooLong(utf8->size(), limit, lang);
        name = *utf8;
    }

    for (std::size_t i = 0; i < texts.size(); ++i) p.setText(steps[i].field, texts[i].gbk);
    p.set(f::mqttPort, formNumber(port) & 0xFFFFu);
    p.set(f::mqttKeepAlive, static_cast<std::uint16_t>(formNumber(keepAlive)));
    if (qos >= 0) p.set(f::mqttQos, static_cast<std::uint8_t>(qos));
    p.set(f::mqttWillEnable, will ? 1 : 0);
    p.set(f::mqttRetain, retain ? 1 : 0);
    p.set(f::mqttSsl, ssl ? 1 : 0);
    p.set(f::mqttCloudType, platformCloud ? kCloudPlatform : makerCloud ? kCloudMaker : 0);

    if (!counter) return std::nullopt;
    if (counterMode >= 0) p.set(f::counterMode, static_cast<std::uint8_t>(counterMode));
    const auto modes = p.bytes(f::uploadInputModes);
    for (std::size_t i = 0; i < debounce.size(); ++i)
        modes[i] = static_cast<std::uint8_t>(formNumber(debounce[i]));
    // Sign and magnitude: a leading "-" sets the sign bit over the number that follows it.
    modes[4] = adjustment.starts_with('-')
                   ? static_cast<std::uint8_t>(formNumber(adjustment.substr(1)) | kSubtract)
                   : static_cast<std::uint8_t>(formNumber(adjustment));
    // Counter firmware takes its meter settings from the timed serial send's item.
    p.set(f::serialSendInterval, formNumber(countsPerCircumference));
    const std::uint32_t mm = formNumber(circumference);
    const auto data = p.bytes(f::serialSendData);
    for (std::size_t i = 0; i < 4; ++i) data[i] = static_cast<std::uint8_t>(mm >> (24 - 8 * i));
    p.set(f::serialSendLength, 4);
    return std::nullopt;
}

}  // namespace dtu
