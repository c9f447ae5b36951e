// The MQTT, HTTP and APN dialogs, opened from the main window's links and driven against the
// simulated device on a pseudo-terminal: what OK and Cancel leave in the record, what a save
// then leaves in the device, and the live MQTT status.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "apn_dialog.h"
#include "http_dialog.h"
#include "lock_dialog.h"
#include "mqtt_dialog.h"
#include "params/field_table.h"
#include "params/form_values.h"
#include "window_fixture.h"

namespace dtu {
namespace {

namespace f = fields;
using uitest::waitFor;

class FeatureDialogs : public uitest::DialogsOnDevice {};

TEST_F(FeatureDialogs, MqttOkReachesTheDeviceWithTheSaveAndCancelKeepsNothing) {
    read();
    auto* dialog = open<MqttDialog>("mqttLink", "mqttEnable");
    ASSERT_TRUE(dialog);
    typeIn(dialog, "host", QStringLiteral("broker.example.net"));
    typeIn(dialog, "port", QStringLiteral("8883"));
    in<QComboBox>(dialog, "qos")->setCurrentIndex(1);
    click(in<QCheckBox>(dialog, "ssl"));
    typeIn(dialog, "subscribeTopic", QStringLiteral("dev/in"));
    typeIn(dialog, "publishTopic4", QStringLiteral("dev/out4"));
    typeIn(dialog, "deviceName", QStringLiteral("设备一号"));
    // The two cloud boxes clear each other.
    click(in<QCheckBox>(dialog, "platformCloud"));
    click(in<QCheckBox>(dialog, "makerCloud"));
    EXPECT_FALSE(in<QCheckBox>(dialog, "platformCloud")->isChecked());
    ASSERT_TRUE(closeWith(dialog, "okButton"));
    EXPECT_EQ(session.params().textView(f::mqttHost), "broker.example.net");

    // Cancel leaves the record as OK left it.
    dialog = open<MqttDialog>("mqttLink");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(in<QLineEdit>(dialog, "deviceName")->text(), QStringLiteral("设备一号"));
    typeIn(dialog, "host", QStringLiteral("other.example.net"));
    ASSERT_TRUE(closeWith(dialog, "cancelButton"));
    EXPECT_EQ(session.params().textView(f::mqttHost), "broker.example.net");

    saveAndWait();
    const DeviceParams kept = device->image();
    EXPECT_EQ(kept.textView(f::mqttHost), "broker.example.net");
    EXPECT_EQ(kept.get(f::mqttPort), 8883u);
    EXPECT_EQ(kept.get(f::mqttQos), 1);
    EXPECT_EQ(kept.get(f::mqttSsl), 1);
    EXPECT_EQ(kept.get(f::mqttEnable), 1);
    EXPECT_EQ(kept.get(f::mqttCloudType), 2);
    EXPECT_EQ(kept.textView(f::mqttPublishTopic4), "dev/out4");
    // The name starts with a Chinese character: the device keeps its UTF-8 form.
    EXPECT_EQ(kept.textView(f::mqttDeviceName), "设备一号");

    // Read back from the device, the dialog shows what it keeps.
    session.params().setText(f::mqttHost, std::string_view());
    read();
    dialog = open<MqttDialog>("mqttLink");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(in<QLineEdit>(dialog, "host")->text(), QStringLiteral("broker.example.net"));
    EXPECT_EQ(in<QLineEdit>(dialog, "deviceName")->text(), QStringLiteral("设备一号"));
    EXPECT_TRUE(in<QCheckBox>(dialog, "makerCloud")->isChecked());
}

TEST_F(FeatureDialogs, MqttRefusalKeepsTheDialogOpenAndTheRecordUnchanged) {
    read();
    const DeviceParams before = session.params();
    auto* dialog = open<MqttDialog>("mqttLink", "mqttEnable");
    ASSERT_TRUE(dialog);
    typeIn(dialog, "userName", QString(128, QLatin1Char('u')));
    click(in<QPushButton>(dialog, "okButton"));
    EXPECT_EQ(takeMessages(dialog), QStringList{QStringLiteral("用户名长度超过 127")});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(session.params(), before);
}

class MqttStatus : public FeatureDialogs {
protected:
    MqttStatus() { simOptions.mqttState = std::array<std::uint8_t, 5>{1, 1, 2, 0, 7}; }
};

TEST_F(MqttStatus, TheDevicesStateShowsInTheDialogsLines) {
    auto* dialog = open<MqttDialog>("mqttLink");
    ASSERT_TRUE(dialog);
    auto* button = in<QPushButton>(dialog, "statusButton");
    click(button);
    EXPECT_FALSE(button->isEnabled());
    ASSERT_TRUE(waitFor([&] { return button->isEnabled(); }));
    auto line = [&](const char* name) { return in<QLabel>(dialog, name)->text(); };
    // An answer from the device within the first 500 ms at 9600 baud is no race: if it came
    // late, the first tick shows the time-out and the next one the answer.
    ASSERT_TRUE(waitFor([&] { return line("statusTcp") == QStringLiteral("TCP 成功"); }))
        << line("statusTcp").toStdString();
    EXPECT_EQ(line("statusSsl"), QString());  // state 7: no text stands for it
    EXPECT_EQ(line("statusMqtt"), QStringLiteral("MQTT 成功"));
    EXPECT_EQ(line("statusTopic"), QStringLiteral("无订阅主题"));
    EXPECT_EQ(line("statusServer"), QStringLiteral("服务器 失败"));
    EXPECT_TRUE(session.live().mqttStatusFresh);
    saveShot(dialog, "mqtt-dialog-status-zh.png");
}

TEST_F(FeatureDialogs, CounterFirmwareWritesItsSettingsStraightIntoTheRecord) {
    read();
    // The device reports counter firmware.
    session.params().setText(f::firmwareVersion, std::string_view("C24061"));
    auto* dialog = open<MqttDialog>("mqttLink", "mqttEnable");
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(in<QGroupBox>(dialog, "counterBox")->isVisible());
    EXPECT_FALSE(in<QCheckBox>(dialog, "platformCloud")->isVisible());
    saveShot(dialog, "mqtt-dialog-counter-zh.png");
    in<QComboBox>(dialog, "counterMode")->setCurrentIndex(4);
    typeIn(dialog, "debounce2", QStringLiteral("30"));
    typeIn(dialog, "adjustment", QStringLiteral("-5"));
    typeIn(dialog, "countsPerCircumference", QStringLiteral("600"));
    typeIn(dialog, "circumference", QStringLiteral("1000"));
    ASSERT_TRUE(closeWith(dialog, "okButton"));

    saveAndWait();
    const DeviceParams kept = device->image();
    EXPECT_EQ(kept.get(f::counterMode), 4);
    EXPECT_EQ(kept.bytes(f::uploadInputModes)[1], 30);
    EXPECT_EQ(kept.bytes(f::uploadInputModes)[4], 0x85);
    EXPECT_EQ(kept.get(f::serialSendInterval), 600u);
    EXPECT_EQ(kept.get(f::serialSendLength), 4);
    EXPECT_EQ(kept.bytes(f::serialSendData)[2], 0x03);  // 1000 = 00 00 03 E8
    EXPECT_EQ(kept.bytes(f::serialSendData)[3], 0xE8);

    dialog = open<MqttDialog>("mqttLink");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(in<QLineEdit>(dialog, "adjustment")->text(), QStringLiteral("-5"));
}

TEST_F(FeatureDialogs, HttpOkReachesTheDeviceAndADemoThenCancelChangesNothing) {
    read();
    auto* dialog = open<HttpDialog>("httpLink", "httpEnable");
    ASSERT_TRUE(dialog);
    auto* header = in<QPlainTextEdit>(dialog, "header");
    const QString stored = header->toPlainText();
    click(in<QPushButton>(dialog, "getDemo"));
    EXPECT_EQ(header->toPlainText(), QStringLiteral("GET /http-test.php?"));
    ASSERT_TRUE(closeWith(dialog, "cancelButton"));
    EXPECT_EQ(QString::fromStdString(std::string(session.params().textView(f::httpHeader))),
              stored);

    dialog = open<HttpDialog>("httpLink");
    ASSERT_TRUE(dialog);
    typeIn(dialog, "host", QStringLiteral("api.example.org"));
    typeIn(dialog, "port", QStringLiteral("8080"));
    in<QComboBox>(dialog, "method")->setCurrentIndex(2);
    click(in<QCheckBox>(dialog, "hexToAscii"));
    click(in<QPushButton>(dialog, "postDemo"));
    header = in<QPlainTextEdit>(dialog, "header");
    header->setFocus();
    header->moveCursor(QTextCursor::End);
    QTest::keyClick(header, Qt::Key_Return);  // Enter breaks the line, it does not close
    QTest::keyClicks(header, QStringLiteral("Host: api.example.org"));
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_TRUE(closeWith(dialog, "okButton"));

    saveAndWait();
    const DeviceParams kept = device->image();
    EXPECT_EQ(kept.textView(f::httpHost), "api.example.org");
    EXPECT_EQ(kept.get(f::httpPort), 8080);
    EXPECT_EQ(kept.get(f::httpMethod), 2);
    EXPECT_EQ(kept.get(f::httpHexToAscii), 1);
    EXPECT_EQ(kept.textView(f::httpHeader), "POST /http-test.php\r\nHost: api.example.org");
}

TEST_F(FeatureDialogs, HttpOkWithoutAnEditSavesTheStoredBytesAsTheyAre) {
    read();
    // A UTF-8 address with an odd byte count; a header with a byte that is no GBK character
    // and a bare line end beside a CR LF one.
    const std::string host = "dev/\xE4\xB8\xAD";
    const std::string head = "GET /\xFF\nHost: a\r\nX: 1";
    session.params().setText(f::httpHost, host);
    session.params().setText(f::httpHeader, head);
    auto* dialog = open<HttpDialog>("httpLink", "httpEnable");
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(in<QLineEdit>(dialog, "host")->text().endsWith(QStringLiteral("\\xAD")));
    ASSERT_TRUE(closeWith(dialog, "okButton"));
    EXPECT_EQ(session.params().textView(f::httpHost), host);
    EXPECT_EQ(session.params().textView(f::httpHeader), head);

    saveAndWait();
    const DeviceParams kept = device->image();
    EXPECT_EQ(kept.textView(f::httpHost), host);
    EXPECT_EQ(kept.textView(f::httpHeader), head);
}

TEST(LockPasswordDialog, AnUntouchedPasswordKeepsBytesThatAreNoGbkText) {
    const LockPassword stored = {'a', 0xFF, 0x81, 0x7F, 'b', 'c', 'd', 'e'};
    LockDialog dialog(stored, Language::Chinese);
    dialog.show();
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.password(), stored);
}

TEST_F(FeatureDialogs, ApnHasNoCancelAndItsOkReachesTheDevice) {
    read();
    menuAction(QStringLiteral("English"))->trigger();
    auto* dialog = open<ApnDialog>("apnLink");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->findChild<QPushButton*>(QStringLiteral("cancelButton")), nullptr);
    EXPECT_EQ(in<QPushButton>(dialog, "okButton")->text(), QStringLiteral("Ok"));
    auto* auth = in<QComboBox>(dialog, "authType");
    EXPECT_EQ(auth->itemText(0), QStringLiteral("Disable"));
    EXPECT_EQ(auth->itemText(3), QStringLiteral("APN"));
    auth->setCurrentIndex(3);
    typeIn(dialog, "name", QStringLiteral("cmnet"));
    typeIn(dialog, "password", QString(65, QLatin1Char('p')));
    click(in<QPushButton>(dialog, "okButton"));
    EXPECT_EQ(takeMessages(dialog), QStringList{QString::fromStdString(tooLongMessage(
                                        {"PASSWORD", "PASSWORD"}, 64, Language::English))});
    typeIn(dialog, "password", QStringLiteral("secret"));
    ASSERT_TRUE(closeWith(dialog, "okButton"));

    menuAction(QStringLiteral("中文"))->trigger();
    saveAndWait();
    const DeviceParams kept = device->image();
    EXPECT_EQ(kept.get(f::apnAuthType), 3);
    EXPECT_EQ(kept.textView(f::apnName), "cmnet");
    EXPECT_EQ(kept.textView(f::apnPassword), "secret");
}

// Pictures of each dialog in both languages, for people to look at; kept with the build's
// test output.
TEST_F(FeatureDialogs, ScreenshotsInBothLanguages) {
    read();
    for (const auto& [menu, suffix] : {std::pair{"中文", "zh"}, std::pair{"English", "en"}}) {
        menuAction(QString::fromUtf8(menu))->trigger();
        const std::string s(suffix);
        QWidget* dialogs[] = {open<MqttDialog>("mqttLink", "mqttEnable"), nullptr, nullptr};
        saveShot(dialogs[0], ("mqtt-dialog-" + s + ".png").c_str());
        ASSERT_TRUE(closeWith(dialogs[0], "cancelButton"));
        dialogs[1] = open<HttpDialog>("httpLink", "httpEnable");
        saveShot(dialogs[1], ("http-dialog-" + s + ".png").c_str());
        ASSERT_TRUE(closeWith(dialogs[1], "cancelButton"));
        dialogs[2] = open<ApnDialog>("apnLink");
        saveShot(dialogs[2], ("apn-dialog-" + s + ".png").c_str());
        ASSERT_TRUE(closeWith(dialogs[2], nullptr));
    }
    session.params().setText(f::firmwareVersion, std::string_view("C24061"));
    saveShot(open<MqttDialog>("mqttLink"), "mqtt-dialog-counter-en.png");
}

}  // namespace
}  // namespace dtu
