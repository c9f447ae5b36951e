// The forms of the data cache, GPS upload, relay, serial filter, timed send and remote
// configuration dialogs, on plain records; and what every form with texts does with stored
// bytes that have no clean text form.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "params/apn_form.h"
#include "params/cache_gps_form.h"
#include "params/form_values.h"
#include "params/http_form.h"
#include "params/item_codec.h"
#include "params/main_form.h"
#include "params/mqtt_form.h"
#include "params/relay_form.h"
#include "params/remote_config_form.h"
#include "params/serial_data_form.h"
#include "rtu/input_upload.h"
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

// --- data cache and GPS upload ---

TEST(DataCacheForm, StoresItsFourFieldsWithTheIntervalCutTo8Bits) {
    const DeviceParams before = noisyRecord(1);
    DeviceParams p = before;
    DataCacheForm d{"-1", "300", true, false};
    d.accept(p);
    expectOnlyTouched(
        before, p,
        {"dataCacheCount", "dataCacheIntervalMs", "dataCacheLengthPrefix", "dataCacheTimePrefix"});
    EXPECT_EQ(p.get(f::dataCacheIntervalMs), 44);  // 300 modulo 256
    EXPECT_EQ(p.get(f::dataCacheCount), 0xFFFFFFFFu);
    EXPECT_EQ(p.get(f::dataCacheLengthPrefix), 1);
    EXPECT_EQ(p.get(f::dataCacheTimePrefix), 0);

    DataCacheForm reopened;
    reopened.open(p);
    EXPECT_EQ(reopened, (DataCacheForm{"-1", "44", true, false}));  // shown as "%d"

    d.intervalMs = "ms";  // no digits
    d.accept(p);
    EXPECT_EQ(p.get(f::dataCacheIntervalMs), 0);
}

TEST(GpsUploadForm, IntervalKeepsItsLow16BitsAndAnUnknownModeStays) {
    const DeviceParams before = noisyRecord(2);
    DeviceParams p = before;
    for (const auto& [typed, stored] : {std::pair{"0", 0}, std::pair{"65535", 65535},
                                        std::pair{"65536", 0}, std::pair{"65537", 1}}) {
        GpsUploadForm{2, typed}.accept(p);
        EXPECT_EQ(p.get(f::gpsInterval), stored) << typed;
    }
    expectOnlyTouched(before, p, {"gpsMode", "gpsInterval"});
    EXPECT_EQ(p.get(f::gpsMode), 2);

    // A mode no entry stands for opens unselected and OK leaves it.
    p.set(f::gpsMode, 7);
    GpsUploadForm g;
    g.open(p);
    EXPECT_EQ(g.mode, -1);
    g.accept(p);
    EXPECT_EQ(p.get(f::gpsMode), 7);
    EXPECT_EQ(gpsModeEntries(Language::Chinese)[1], "开机上传一次");
    EXPECT_EQ(gpsModeEntries(Language::English)[2], "Periodic");
}

// --- relay ---

TEST(RelayForm, NeverTouchesTheRelayBoxAndSendsTheLow16BitsOfTheMinutes) {
    const DeviceParams before = noisyRecord(3);
    DeviceParams p = before;
    RelayForm r{true, "70000", 1};
    r.accept(p);
    expectOnlyTouched(before, p, {"relayOnNetLoss", "relayNetLossMinutes", "relayNetLossAction"});
    EXPECT_EQ(p.get(f::relayNetLossMinutes), 70000u);  // the record keeps what was typed
    // On the link: flag, be16 minutes (70000 & 0xFFFF = 4464 = 0x1170), action.
    EXPECT_EQ(toBytes(encodeSaveItem(27, p)), hex("1B 00 04 01 11 70 01"));

    RelayForm reopened;
    reopened.open(p);
    EXPECT_EQ(reopened, r);
    EXPECT_EQ(relayActionEntries(Language::English)[0], "Close");
    EXPECT_EQ(relayActionEntries(Language::Chinese)[1], "断开");
}

// --- serial filter and timed send ---

constexpr Language kZh = Language::Chinese;
constexpr Language kEn = Language::English;

Bytes filterBytes(const DeviceParams& p) {
    return toBytes(p.bytes(f::serialFilterData).first(p.get(f::serialFilterLength)));
}

TEST(SerialFilterForm, HexTakesBlankSeparatedDigitsAndALoneLastDigit) {
    DeviceParams p;
    SerialFilterForm{true, "1 2 3"}.accept(p, kZh);
    EXPECT_EQ(filterBytes(p), hex("12 03"));
    SerialFilterForm{true, "ABC"}.accept(p, kZh);
    EXPECT_EQ(filterBytes(p), hex("AB 0C"));
    // Shown again as "%02x " per byte, which reads back as the same bytes.
    SerialFilterForm shown;
    shown.open(p, true);
    EXPECT_EQ(shown, (SerialFilterForm{true, "ab 0c "}));
    EXPECT_EQ(shown.accept(p, kZh), std::nullopt);
    EXPECT_EQ(filterBytes(p), hex("AB 0C"));
}

TEST(SerialFilterForm, AnythingButHexDigitsAndBlanksIsRefusedAndKeepsTheOldBytes) {
    DeviceParams p;
    SerialFilterForm{false, "AT"}.accept(p, kZh);
    const DeviceParams before = p;
    for (const char* typed : {"0g", "0a\t1", "0x12", "12,34", "１２"}) {
        EXPECT_EQ(SerialFilterForm({true, typed}).accept(p, kEn),
                  std::string(kHexEntryMessage.english))
            << typed;
        EXPECT_EQ(p, before) << typed;
    }
}

TEST(SerialFilterForm, TextAndHexOfTheSameBytesStoreTheSameAndReopenAsTyped) {
    const DeviceParams noisy = noisyRecord(4);
    DeviceParams a = noisy;
    DeviceParams b = noisy;
    ASSERT_EQ(SerialFilterForm({false, "AT"}).accept(a, kZh), std::nullopt);
    ASSERT_EQ(SerialFilterForm({true, "41 54"}).accept(b, kZh), std::nullopt);
    EXPECT_EQ(a, b);
    expectOnlyTouched(noisy, a, {"serialFilterLength", "serialFilterData"});
    // The rest of the array is cleared, so the text ends where it should.
    Bytes cleared = hex("41 54");
    cleared.resize(16, 0);
    EXPECT_EQ(toBytes(a.bytes(f::serialFilterData)), cleared);
    SerialFilterForm reopened;
    reopened.open(a, false);
    EXPECT_EQ(reopened.data, "AT");

    // The box is read as it stands at OK: hex digits typed with the box clear are text.
    ASSERT_EQ(SerialFilterForm({false, "41 54"}).accept(a, kZh), std::nullopt);
    EXPECT_EQ(filterBytes(a), (Bytes{'4', '1', ' ', '5', '4'}));

    // An empty edit stores no bytes at all.
    ASSERT_EQ(SerialFilterForm({true, ""}).accept(a, kZh), std::nullopt);
    EXPECT_EQ(a.get(f::serialFilterLength), 0);
    EXPECT_EQ(toBytes(a.bytes(f::serialFilterData)), Bytes(16, 0));
}

TEST(SerialFilterForm, RefusesMoreThanItsSixteenBytesInEitherForm) {
    DeviceParams p;
    ASSERT_EQ(SerialFilterForm({false, std::string(16, 'x')}).accept(p, kZh), std::nullopt);
    ASSERT_EQ(SerialFilterForm({false, "八个汉字八个汉字"}).accept(p, kZh), std::nullopt);
    EXPECT_EQ(p.get(f::serialFilterLength), 16);
    const DeviceParams before = p;
    EXPECT_EQ(SerialFilterForm({false, std::string(17, 'x')}).accept(p, kEn),
              tooLongMessage({"过滤数据", "FilterData"}, 16, kEn));
    EXPECT_EQ(SerialFilterForm({false, "九个汉字九个汉字九"}).accept(p, kZh),
              tooLongMessage({"过滤数据", "FilterData"}, 16, kZh));
    EXPECT_EQ(SerialFilterForm({true, std::string(33, '1')}).accept(p, kZh),
              "过滤数据不能超过16字节");
    EXPECT_EQ(p, before);
}

TEST(SerialFilterForm, AnUnchangedEditKeepsBytesThatHaveNoTextForm) {
    DeviceParams p;
    const Bytes binary = hex("41 00 81 FF");
    p.setBytes(f::serialFilterData, binary);
    p.set(f::serialFilterLength, 4);
    SerialFilterForm text;
    text.open(p, false);
    EXPECT_EQ(text.data, "A");  // the text ends at the zero byte
    ASSERT_EQ(text.accept(p, kZh), std::nullopt);
    EXPECT_EQ(filterBytes(p), binary);

    // Edited, the text is what is stored.
    text.data = "B";
    ASSERT_EQ(text.accept(p, kZh), std::nullopt);
    EXPECT_EQ(filterBytes(p), hex("42"));
}

TEST(SerialFilterForm, ALengthBeyondTheArrayShowsTheArrayOnly) {
    DeviceParams p;
    p.setBytes(f::serialFilterData, Bytes(16, 0x31));
    p.set(f::serialFilterLength, 200);
    SerialFilterForm h;
    h.open(p, true);
    EXPECT_EQ(parseHex(h.data), Bytes(16, 0x31));
}

Bytes sendBytes(const DeviceParams& p) {
    return toBytes(p.bytes(f::serialSendData).first(p.get(f::serialSendLength)));
}

TEST(TimedSendForm, StoresIntervalAndThirtyTwoBytesAndTheLinkCarriesTheLow16Bits) {
    const DeviceParams noisy = noisyRecord(6);
    DeviceParams p = noisy;
    p.set(f::serialSendEnable, 1);
    const std::string data(32, 'd');
    ASSERT_EQ(TimedSendForm({"70000", false, data}).accept(p, kZh), std::nullopt);
    expectOnlyTouched(
        noisy, p, {"serialSendEnable", "serialSendInterval", "serialSendLength", "serialSendData"});
    EXPECT_EQ(p.get(f::serialSendInterval), 70000u);
    // Tag 17, length 35: enable, be16 interval (70000 & 0xFFFF = 0x1170), the 32 bytes.
    const Bytes item = encodeSaveItem(17, p);
    Bytes expected = hex("11 00 23 01 11 70");
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(item, expected);

    TimedSendForm reopened;
    reopened.open(p, false);
    EXPECT_EQ(reopened, (TimedSendForm{"70000", false, data}));
}

TEST(TimedSendForm, ARefusalStoresNeitherDataNorInterval) {
    DeviceParams p;
    ASSERT_EQ(TimedSendForm({"10", true, "01 ab"}).accept(p, kZh), std::nullopt);
    EXPECT_EQ(sendBytes(p), hex("01 AB"));
    const DeviceParams before = p;
    EXPECT_EQ(TimedSendForm({"20", false, std::string(33, 'x')}).accept(p, kZh),
              tooLongMessage({"数据", "Data"}, 32, kZh));
    EXPECT_EQ(TimedSendForm({"20", true, "zz"}).accept(p, kZh), "请输入十六进制数");
    EXPECT_EQ(TimedSendForm({"20", true, std::string(66, 'f')}).accept(p, kEn),
              "Data: at most 32 bytes");
    EXPECT_EQ(p, before);
    // An interval without digits is 0.
    ASSERT_EQ(TimedSendForm({"s", true, "01"}).accept(p, kZh), std::nullopt);
    EXPECT_EQ(p.get(f::serialSendInterval), 0u);
}

// --- remote configuration ---

TEST(RemoteConfigForm, PasswordMustBeEightBytesAndServerFitItsItem) {
    const DeviceParams noisy = noisyRecord(7);
    DeviceParams p = noisy;
    for (const char* pw : {"1234567", "123456789", "", "密码密码密"}) {
        EXPECT_EQ(RemoteConfigForm({"cfg.example.com", pw, {}}).accept(p, kZh),
                  std::string(kRemoteConfigPasswordWrong))
            << pw;
    }
    EXPECT_EQ(RemoteConfigForm({std::string(65, 's'), "12345678", {}}).accept(p, kEn),
              tooLongMessage({"配置服务器", "Ip"}, 64, kEn));
    EXPECT_EQ(p, noisy);  // a refusal of either text stores neither

    ASSERT_EQ(RemoteConfigForm({std::string(64, 's'), "        ", {}}).accept(p, kZh),
              std::nullopt);
    ASSERT_EQ(RemoteConfigForm({"cfg.example.com", "密码密码", {}}).accept(p, kZh), std::nullopt);
    expectOnlyTouched(noisy, p, {"remoteConfigServer", "remoteConfigPassword"});
    EXPECT_EQ(p.textView(f::remoteConfigServer), "cfg.example.com");
    EXPECT_EQ(toBytes(p.bytes(f::remoteConfigServer)).back(), 0);
    // Eight GBK bytes, then the terminator.
    EXPECT_EQ(toBytes(p.bytes(f::remoteConfigPassword)), hex("C3 DC C2 EB C3 DC C2 EB 00"));
    // The save leaves the password on the PC.
    EXPECT_FALSE(isSaveItem(20));

    RemoteConfigForm reopened;
    reopened.open(p, kZh);
    EXPECT_EQ(reopened.password, "密码密码");
    EXPECT_EQ(reopened.server, "cfg.example.com");
}

TEST(RemoteConfigForm, StateLineInEachLanguage) {
    DeviceParams p;
    p.set(f::remoteConfigUuid, 0xFFFFFFFEu);  // printed with "%d"
    p.set(f::remoteConfigCount, 65535);
    p.set(f::remoteConfigTimeout, 300);
    p.setText(f::remoteConfigCurrentIp, std::string_view("203.0.113.10"));
    EXPECT_EQ(remoteConfigStatusLine(p, kZh),
              "uuid:-2 远程配置次数:65535 timeout:300 curip:203.0.113.10");
    EXPECT_EQ(remoteConfigStatusLine(p, kEn),
              "uuid:-2 cfg cnt:65535 timeout:300 curip:203.0.113.10");
    RemoteConfigForm r;
    r.open(p, kEn);
    EXPECT_EQ(r.status, remoteConfigStatusLine(p, kEn));
}

// --- texts left as they were ---

std::optional<std::string> mainFormOk(DeviceParams& p, bool hexPackets) {
    MainForm form;
    form.heartbeat.hex = form.registration.hex = hexPackets;
    showMainForm(p, form);
    const CollectResult r = collectMainForm(form, p, kZh);
    if (r.ok && r.messages.empty()) return std::nullopt;
    return r.messages.empty() ? "refused" : r.messages.front();
}

template <typename Form>
std::optional<std::string> okUnedited(DeviceParams& p) {
    Form form;
    if constexpr (std::is_same_v<Form, RemoteConfigForm>)
        form.open(p, kZh);
    else
        form.open(p);
    return form.accept(p, kZh);
}

// Every form that holds texts, opened on a record whose texts are no clean GBK text and closed
// with OK without an edit, leaves the record byte for byte as it was.
TEST(UntouchedTexts, KeepTheirExactBytesInEveryForm) {
    struct Row {
        const char* form;
        std::vector<TextField> texts;
        std::function<std::optional<std::string>(DeviceParams&)> ok;
    };
    std::vector<TextField> sms;
    for (std::uint32_t i = 0; i < 16; ++i) sms.push_back(f::uploadTexts[i]);
    for (std::uint32_t i = 0; i < 4; ++i) sms.push_back(f::uploadTexts2[i]);
    const std::vector<Row> rows = {
        {"MQTT",
         {f::mqttHost, f::mqttUserName, f::mqttPassword, f::mqttClientId, f::mqttWillTopic,
          f::mqttWillMessage, f::mqttSubscribeTopic, f::mqttPublishTopic1, f::mqttPublishTopic2,
          f::mqttPublishTopic3, f::mqttPublishTopic4, f::mqttProductKey, f::mqttDeviceName,
          f::mqttDeviceSecret},
         okUnedited<MqttForm>},
        {"HTTP", {f::httpHost, f::httpHeader}, okUnedited<HttpForm>},
        {"APN", {f::apnName, f::apnUserName, f::apnPassword}, okUnedited<ApnForm>},
        {"remote configuration",
         {f::remoteConfigServer, f::remoteConfigPassword},
         okUnedited<RemoteConfigForm>},
        {"input upload", sms, okUnedited<InputUploadForm>},
        {"main window",
         {f::serverAHost, f::serverBHost, f::smsPhoneNumbers},
         [](DeviceParams& p) { return mainFormOk(p, false); }},
    };
    // A UTF-8 text with an odd byte count, bytes that are no GBK character beside bare and
    // CR LF line ends, and a field filled to its last byte (the password takes exactly 8).
    const auto plants = [](const TextField& field) {
        std::vector<Bytes> v = {hex("64 65 76 2F E4 B8 AD 21"), hex("61 FF 0A 81 7F 62 0D 0A")};
        if (field.offset != f::remoteConfigPassword.offset) {
            Bytes full(field.size, 'x');
            full.front() = 0xFF;
            full.back() = 0xAD;
            v.push_back(full);
        }
        return v;
    };
    for (const Row& row : rows) {
        DeviceParams clean;
        clean.setText(f::remoteConfigPassword, std::string_view("12345678"));
        ASSERT_EQ(row.ok(clean), std::nullopt) << row.form;  // the rest of the record settles
        for (const TextField& field : row.texts) {
            for (const Bytes& bytes : plants(field)) {
                DeviceParams p = clean;
                p.setText(field, bytes);
                const DeviceParams before = p;
                EXPECT_EQ(row.ok(p), std::nullopt) << row.form << " " << field.offset;
                EXPECT_EQ(toBytes(p.bytes(field)), toBytes(before.bytes(field)))
                    << row.form << " " << field.offset << " " << formatHex(bytes);
                EXPECT_TRUE(p == before) << row.form;
            }
        }
    }

    // The window's packet data, shown as text or as hex digits: bytes after a zero and bytes
    // that are no GBK character stay, and so does the length.
    for (const bool hexShown : {false, true}) {
        DeviceParams p;
        ASSERT_EQ(mainFormOk(p, hexShown), std::nullopt);
        p.setBytes(f::heartbeatData, hex("41 00 FF"));
        p.set(f::heartbeatLength, 3);
        p.setBytes(f::registerData, hex("64 65 76 2F E4 B8 AD"));
        p.set(f::registerLength, 7);
        const DeviceParams before = p;
        EXPECT_EQ(mainFormOk(p, hexShown), std::nullopt);
        EXPECT_TRUE(p == before) << hexShown;
    }

    // Edited, a text is converted and checked as typed.
    DeviceParams p;
    p.setText(f::apnName, hex("61 FF"));
    ApnForm apn;
    apn.open(p);
    EXPECT_EQ(apn.name, "a\\xFF");
    apn.name = "a\xC3\xBF";  // "aÿ": GBK has no ÿ
    EXPECT_EQ(apn.accept(p, kZh), notGbkMessage({"APN", "APN"}, kZh));
    apn.name = "cmnet";
    ASSERT_EQ(apn.accept(p, kZh), std::nullopt);
    EXPECT_EQ(p.textView(f::apnName), "cmnet");
}

}  // namespace
}  // namespace dtu
