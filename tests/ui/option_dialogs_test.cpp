// The data cache, GPS upload, user settings, relay, serial filter, timed send and remote
// configuration dialogs, opened from the main window's links against the simulated device:
// what OK and Cancel leave in the record and the PC settings, and what a save then leaves in
// the device.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include "data_cache_dialog.h"
#include "params/form_values.h"
#include "params/remote_config_form.h"
#include "relay_dialog.h"
#include "relay_switch.h"
#include "remote_config_dialog.h"
#include "serial_data_dialogs.h"
#include "window_fixture.h"

namespace dtu {
namespace {

namespace f = fields;
using uitest::waitFor;

class OptionDialogs : public uitest::DialogsOnDevice {};

TEST_F(OptionDialogs, DataCacheAndGpsOkReachTheDeviceAndTheirCloseBoxesKeepNothing) {
    read();
    auto* cache = open<DataCacheDialog>("dataCacheLink");
    ASSERT_TRUE(cache);
    EXPECT_EQ(in<QLineEdit>(cache, "count")->text(), QStringLiteral("100"));  // from the device
    EXPECT_EQ(cache->findChild<QPushButton*>(QStringLiteral("cancelButton")), nullptr);
    typeIn(cache, "count", QStringLiteral("5000"));
    ASSERT_TRUE(closeWith(cache, nullptr));
    EXPECT_EQ(session.params().get(f::dataCacheCount), 100u);

    cache = open<DataCacheDialog>("dataCacheLink");
    ASSERT_TRUE(cache);
    typeIn(cache, "count", QStringLiteral("5000"));
    typeIn(cache, "interval", QStringLiteral("300"));
    click(in<QCheckBox>(cache, "timePrefix"));
    ASSERT_TRUE(closeWith(cache, "okButton"));

    auto* gps = open<GpsDialog>("gpsUploadLink");
    ASSERT_TRUE(gps);
    in<QComboBox>(gps, "mode")->setCurrentIndex(2);
    typeIn(gps, "interval", QStringLiteral("120"));
    ASSERT_TRUE(closeWith(gps, "okButton"));
    gps = open<GpsDialog>("gpsUploadLink");
    ASSERT_TRUE(gps);
    typeIn(gps, "interval", QStringLiteral("9"));
    ASSERT_TRUE(closeWith(gps, nullptr));

    saveAndWait();
    const DeviceParams kept = device->image();
    EXPECT_EQ(kept.get(f::dataCacheCount), 5000u);
    EXPECT_EQ(kept.get(f::dataCacheIntervalMs), 44);  // 300 modulo 256
    EXPECT_EQ(kept.get(f::dataCacheTimePrefix), 1);
    EXPECT_EQ(kept.get(f::dataCacheLengthPrefix), 0);
    EXPECT_EQ(kept.get(f::gpsMode), 2);
    EXPECT_EQ(kept.get(f::gpsInterval), 120);
}

TEST_F(OptionDialogs, UserSettingsOffersNothingItCannotDo) {
    read();
    const DeviceParams before = session.params();
    auto* dialog = open<UserSettingsDialog>("userCodeLink");
    ASSERT_TRUE(dialog);
    for (const char* name : {"readButton", "writeButton"}) {
        auto* button = in<QPushButton>(dialog, name);
        EXPECT_FALSE(button->isEnabled()) << name;
        EXPECT_FALSE(button->toolTip().isEmpty()) << name;
    }
    EXPECT_TRUE(in<QLineEdit>(dialog, "readData")->text().isEmpty());
    ASSERT_TRUE(closeWith(dialog, "closeButton"));
    EXPECT_EQ(session.params(), before);
}

TEST_F(OptionDialogs, RelayOkReachesTheDeviceCancelKeepsNothingAndTheBoxStaysTheWindows) {
    read();
    const std::uint8_t relayBox = session.params().get(f::relayEnable);
    auto* dialog = open<RelayDialog>("relayLink");
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(in<RelaySwitch>(dialog, "testSwitch")->isClosed());
    click(in<QCheckBox>(dialog, "onNetLoss"));
    typeIn(dialog, "minutes", QStringLiteral("70000"));
    in<QComboBox>(dialog, "action")->setCurrentIndex(1);
    ASSERT_TRUE(closeWith(dialog, "okButton"));
    EXPECT_EQ(session.params().get(f::relayNetLossMinutes), 70000u);

    dialog = open<RelayDialog>("relayLink");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(in<QLineEdit>(dialog, "minutes")->text(), QStringLiteral("70000"));
    typeIn(dialog, "minutes", QStringLiteral("5"));
    in<QComboBox>(dialog, "action")->setCurrentIndex(0);
    ASSERT_TRUE(closeWith(dialog, "cancelButton"));
    EXPECT_EQ(session.params().get(f::relayNetLossMinutes), 70000u);
    EXPECT_EQ(session.params().get(f::relayNetLossAction), 1);
    EXPECT_EQ(session.params().get(f::relayEnable), relayBox);

    saveAndWait();
    const DeviceParams kept = device->image();
    EXPECT_EQ(kept.get(f::relayOnNetLoss), 1);
    EXPECT_EQ(kept.get(f::relayNetLossMinutes), 4464u);  // the link carries the low 16 bits
    EXPECT_EQ(kept.get(f::relayNetLossAction), 1);
}

TEST_F(OptionDialogs, RelayTestSwitchesTheDevicesRelayWhichCancelDoesNotUndo) {
    read();
    device->takeLog();
    const QString log = receiveBox();
    const DeviceParams before = session.params();
    QSignalSpy acks(&session, &Session::writeAnswer);
    auto* dialog = open<RelayDialog>("relayLink");
    ASSERT_TRUE(dialog);
    auto* face = in<RelaySwitch>(dialog, "testSwitch");
    click(face);
    ASSERT_TRUE(waitFor([&] { return acks.count() == 1; }));
    EXPECT_EQ(acks[0], (QList<QVariant>{quint8{0x51}, quint8{0}}));
    EXPECT_EQ(device->takeLog(), std::vector<std::string>{"relays Y1-Y8: 1 0 0 0 0 0 0 0"});
    ASSERT_TRUE(waitFor([&] { return face->isEnabled(); }));
    click(face);
    ASSERT_TRUE(waitFor([&] { return acks.count() == 2; }));
    EXPECT_EQ(device->takeLog(), std::vector<std::string>{"relays Y1-Y8: 0 0 0 0 0 0 0 0"});
    ASSERT_TRUE(waitFor([&] { return face->isEnabled(); }));
    click(face);
    ASSERT_TRUE(waitFor([&] { return acks.count() == 3; }));
    ASSERT_TRUE(closeWith(dialog, "cancelButton"));
    // The device's answers are no command's: the receive box says nothing of them.
    EXPECT_EQ(receiveBox(), log);
    EXPECT_TRUE(find<QPushButton>("saveButton")->isEnabled());
    EXPECT_EQ(device->takeLog(), std::vector<std::string>{"relays Y1-Y8: 1 0 0 0 0 0 0 0"});
    EXPECT_EQ(session.params(), before);
}

TEST_F(OptionDialogs, RelayTestOnAClosedPortFlipsTheFaceAndSendsNothing) {
    read();  // a single-relay device: the relay link is on
    // Then the port is closed.
    click(find<QPushButton>("openButton"));
    ASSERT_FALSE(session.isOpen());
    const auto sent = device->counters().bytesIn;
    auto* dialog = open<RelayDialog>("relayLink");
    ASSERT_TRUE(dialog);
    auto* face = in<RelaySwitch>(dialog, "testSwitch");
    click(face);
    EXPECT_TRUE(face->isClosed());
    EXPECT_FALSE(face->isEnabled());
    ASSERT_TRUE(waitFor([&] { return face->isEnabled(); }));
    click(face);
    EXPECT_FALSE(face->isClosed());
    EXPECT_EQ(device->counters().bytesIn, sent);
}

TEST_F(OptionDialogs, SerialFilterKeepsItsHexBoxOnCancelAndRefusesWhatItCannotStore) {
    read();
    auto* dialog = open<SerialFilterDialog>("serialFilterLink");
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(in<QCheckBox>(dialog, "hexBox")->isChecked());
    click(in<QCheckBox>(dialog, "hexBox"));
    typeIn(dialog, "data", QStringLiteral("aa bb"));
    ASSERT_TRUE(closeWith(dialog, "cancelButton"));
    // The box is the PC's choice: kept, and written to the settings file, though cancelled.
    EXPECT_EQ(window->pcSettings().hexSerialFilter, 1);
    EXPECT_EQ(session.params().get(f::serialFilterLength), 0);

    dialog = open<SerialFilterDialog>("serialFilterLink");
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(in<QCheckBox>(dialog, "hexBox")->isChecked());
    typeIn(dialog, "data", QStringLiteral("0g"));
    click(in<QPushButton>(dialog, "okButton"));
    EXPECT_EQ(takeMessages(dialog),
              QStringList{QString::fromUtf8(kHexEntryMessage.chinese.data())});
    EXPECT_TRUE(dialog->isVisible());
    typeIn(dialog, "data", QString(17 * 2, QLatin1Char('1')));
    click(in<QPushButton>(dialog, "okButton"));
    EXPECT_EQ(takeMessages(dialog), QStringList{QStringLiteral("过滤数据不能超过16字节")});
    typeIn(dialog, "data", QStringLiteral("0d 0a 7e"));
    ASSERT_TRUE(closeWith(dialog, "okButton"));

    find<QCheckBox>("serialFilterEnable")->setChecked(true);
    saveAndWait();
    const DeviceParams kept = device->image();
    EXPECT_EQ(kept.get(f::serialFilterEnable), 1);
    EXPECT_EQ(kept.get(f::serialFilterLength), 3);
    EXPECT_EQ(kept.bytes(f::serialFilterData)[2], 0x7E);
}

TEST_F(OptionDialogs, TimedSendOkReachesTheDeviceAndItsHexBoxIsKeptLikeTheFilters) {
    read();
    auto* dialog = open<TimedSendDialog>("serialSendLink");
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(in<QCheckBox>(dialog, "hexBox")->isChecked());
    typeIn(dialog, "interval", QStringLiteral("30"));
    typeIn(dialog, "data", QStringLiteral("AT+CSQ"));
    ASSERT_TRUE(closeWith(dialog, "okButton"));
    EXPECT_EQ(window->pcSettings().hexTimedSend, 0);

    // Reopened in hex, the same bytes as digits; the window keeps the box for next time.
    dialog = open<TimedSendDialog>("serialSendLink");
    ASSERT_TRUE(dialog);
    click(in<QCheckBox>(dialog, "hexBox"));
    ASSERT_TRUE(closeWith(dialog, nullptr));
    EXPECT_EQ(window->pcSettings().hexTimedSend, 1);
    dialog = open<TimedSendDialog>("serialSendLink");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(in<QLineEdit>(dialog, "data")->text(), QStringLiteral("41 54 2b 43 53 51 "));
    ASSERT_TRUE(closeWith(dialog, "cancelButton"));

    find<QCheckBox>("serialSendEnable")->setChecked(true);
    saveAndWait();
    const DeviceParams kept = device->image();
    EXPECT_EQ(kept.get(f::serialSendEnable), 1);
    EXPECT_EQ(kept.get(f::serialSendInterval), 30u);
    EXPECT_EQ(kept.get(f::serialSendLength), 6);
    EXPECT_EQ(kept.bytes(f::serialSendData)[5], 'Q');
}

TEST_F(OptionDialogs, RemoteConfigShowsTheDevicesStateAndKeepsThePasswordOnThePc) {
    read();
    auto* dialog = open<RemoteConfigDialog>("remoteConfigLink");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(in<QLabel>(dialog, "status")->text(),
              QStringLiteral("uuid:20517 远程配置次数:2 timeout:300 curip:203.0.113.10"));
    typeIn(dialog, "server", QStringLiteral("cfg.example.com"));
    typeIn(dialog, "password", QStringLiteral("1234567"));
    click(in<QPushButton>(dialog, "okButton"));
    EXPECT_EQ(takeMessages(dialog), QStringList{QStringLiteral("PASSWORD WRONG")});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(session.params().textView(f::remoteConfigServer), "");
    typeIn(dialog, "password", QStringLiteral("pass2024"));
    ASSERT_TRUE(closeWith(dialog, "okButton"));

    find<QCheckBox>("remoteConfigEnable")->setChecked(true);
    saveAndWait();
    const DeviceParams kept = device->image();
    EXPECT_EQ(kept.get(f::remoteConfigEnable), 1);
    EXPECT_EQ(kept.textView(f::remoteConfigServer), "cfg.example.com");
    EXPECT_EQ(kept.textView(f::remoteConfigPassword), "");  // never sent

    dialog = open<RemoteConfigDialog>("remoteConfigLink");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(in<QLineEdit>(dialog, "password")->text(), QStringLiteral("pass2024"));
}

// Pictures of each dialog in both languages, for people to look at; kept with the build's
// test output.
TEST_F(OptionDialogs, ScreenshotsInBothLanguages) {
    read();
    for (const auto& [menu, suffix] : {std::pair{"中文", "zh"}, std::pair{"English", "en"}}) {
        menuAction(QString::fromUtf8(menu))->trigger();
        const std::string s(suffix);
        auto shoot = [&](QWidget* dialog, const char* name, const char* closeButton) {
            ASSERT_TRUE(dialog) << name;
            saveShot(dialog, (std::string(name) + "-" + s + ".png").c_str());
            ASSERT_TRUE(closeWith(dialog, closeButton));
        };
        shoot(open<DataCacheDialog>("dataCacheLink"), "data-cache-dialog", nullptr);
        shoot(open<GpsDialog>("gpsUploadLink"), "gps-dialog", nullptr);
        shoot(open<UserSettingsDialog>("userCodeLink"), "user-settings-dialog", nullptr);
        auto* relay = open<RelayDialog>("relayLink");
        shoot(relay, "relay-dialog-open", nullptr);
        relay = open<RelayDialog>("relayLink");
        click(in<RelaySwitch>(relay, "testSwitch"));
        ASSERT_TRUE(waitFor([&] { return in<RelaySwitch>(relay, "testSwitch")->isEnabled(); }));
        relay->resize(relay->width() * 2, relay->height() * 2);  // the face at a larger size
        shoot(relay, "relay-dialog-closed", "cancelButton");
        shoot(open<SerialFilterDialog>("serialFilterLink"), "serial-filter-dialog", "cancelButton");
        shoot(open<TimedSendDialog>("serialSendLink"), "timed-send-dialog", "cancelButton");
        shoot(open<RemoteConfigDialog>("remoteConfigLink"), "remote-config-dialog", nullptr);
    }
}

}  // namespace
}  // namespace dtu
