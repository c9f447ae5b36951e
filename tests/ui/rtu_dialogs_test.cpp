// The RTU form with its live test panel, and the output rules and input upload forms it opens,
// driven offscreen against a simulated RTU on a pseudo-terminal.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <algorithm>

#include "click_label.h"
#include "input_upload_dialog.h"
#include "io_picture.h"
#include "output_rules_dialog.h"
#include "params/field_table.h"
#include "rtu_dialog.h"
#include "swatch_combo.h"
#include "window_fixture.h"

namespace dtu {
namespace {

namespace f = fields;
using uitest::waitFor;

// Waits for the device's moving inputs and counters are counted in seconds; these limits leave
// room for a loaded machine.
constexpr int kPatternLimitMs = 30000;

class RtuForms : public uitest::WindowOnDevice {
protected:
    void SetUp() override {
        kind = sim::DeviceKind::Rtu;
        WindowOnDevice::SetUp();
    }
    RtuDialog* openRtu() {
        read();
        auto* button = find<QPushButton>("rtuButton");
        EXPECT_TRUE(button->isEnabled());  // the device is an RTU
        click(button);
        auto* dialog = window->findChild<RtuDialog*>();
        EXPECT_TRUE(dialog && dialog->isVisible());
        return dialog;
    }
    template <typename D>
    D* openFrom(QWidget* rtu, const char* link) {
        click(in<ClickLabel>(rtu, link));
        auto* dialog = rtu->findChild<D*>();
        EXPECT_TRUE(dialog && dialog->isVisible()) << link;
        return dialog;
    }
    template <typename T>
    static T* in(QWidget* dialog, const QString& name) {
        T* w = dialog->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    template <typename T>
    static T* in(QWidget* dialog, const char* name) {
        return in<T>(dialog, QString::fromLatin1(name));
    }
    bool closeWith(QWidget* dialog, const char* button) {
        QPointer<QWidget> alive(dialog);
        click(in<QPushButton>(dialog, button));
        return waitFor([&] { return alive.isNull(); });
    }
    // The visible message box over the dialog, once there is one.
    QString waitForMessage(QWidget* over, int limitMs = 10000) {
        QStringList texts;
        waitFor(
            [&] {
                texts = takeMessages(over);
                return !texts.isEmpty();
            },
            limitMs);
        return texts.join(QStringLiteral("\n"));
    }
    static std::array<bool, 8> inputPictures(QWidget* rtu) {
        std::array<bool, 8> on{};
        for (int i = 0; i < 8; ++i)
            on[i] = in<IoPicture>(rtu, QStringLiteral("inputX%1").arg(i + 1))->isOn();
        return on;
    }
    static QString counter(QWidget* rtu, int input) {
        return in<QLabel>(rtu, QStringLiteral("counterX%1").arg(input))->text();
    }
    static void saveShot(QWidget* dialog, const char* name) {
        const QDir dir(QStringLiteral(DTU_ARTIFACTS_DIR));
        ASSERT_TRUE(dir.mkpath(QStringLiteral(".")));
        const QString path = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(dialog->grab().save(path)) << path.toStdString();
        std::printf("screenshot: %s\n", qPrintable(path));
    }
};

TEST_F(RtuForms, AutoRefreshShowsTheDeviceMovingARelaySwitchesAndCalibrationIsAcknowledged) {
    RtuDialog* rtu = openRtu();
    ASSERT_TRUE(rtu);
    in<QCheckBox>(rtu, "autoRefresh")->setChecked(true);
    // The first answer shown: X1 has counted 15 edges at least.
    ASSERT_TRUE(waitFor([&] { return counter(rtu, 1).toInt() >= 15; }, kPatternLimitMs));
    const std::array<bool, 8> inputs = inputPictures(rtu);
    const QString x1Count = counter(rtu, 1);
    EXPECT_TRUE(waitFor([&] { return inputPictures(rtu) != inputs; }, kPatternLimitMs));
    EXPECT_TRUE(waitFor([&] { return counter(rtu, 1) != x1Count; }, kPatternLimitMs));
    EXPECT_NE(in<QLabel>(rtu, "analog1")->text(), QStringLiteral("0.0"));

    // Y2: the picture turns at once, the device follows, and the next poll shows it.
    auto* y2 = in<IoPicture>(rtu, "relayY2");
    ASSERT_FALSE(y2->isOn());
    click(y2);
    EXPECT_TRUE(y2->isOn());
    ASSERT_TRUE(waitFor([&] { return y2->isEnabled(); }));  // the frame has gone out
    int polls = 0;
    auto c = QObject::connect(&session, &Session::decoded, [&] { ++polls; });
    EXPECT_TRUE(
        waitFor([&] { return polls > 0 && session.live().liveRelays[1] == 1; }, kPatternLimitMs));
    QObject::disconnect(c);
    EXPECT_TRUE(y2->isOn());

    // The hidden service buttons come with the eleventh click on X1.
    auto* calibrate = in<QPushButton>(rtu, "calibrate");
    auto* x1 = in<IoPicture>(rtu, "inputX1");
    for (int i = 0; i < 10; ++i) click(x1);
    EXPECT_FALSE(calibrate->isVisible());
    click(x1);
    ASSERT_TRUE(calibrate->isVisible());
    click(calibrate);
    EXPECT_EQ(waitForMessage(rtu), QStringLiteral("校准成功"));
    // The poll after the calibration brings its coefficients.
    ASSERT_TRUE(waitFor([&] { return session.live().liveAnalog[4] == 10012; }, kPatternLimitMs));
    click(in<QPushButton>(rtu, "viewCoefficients"));
    EXPECT_EQ(waitForMessage(rtu), QStringLiteral(" adc0: 10012 adc1: 9987"));
    EXPECT_TRUE(closeWith(rtu, "cancelButton"));
}

TEST_F(RtuForms, OpeningShowsTheDevicesStateWithoutAutoRefresh) {
    RtuDialog* rtu = openRtu();
    ASSERT_TRUE(rtu);
    // The answer to the opening's poll: the analogue readings leave their resting text.
    ASSERT_TRUE(waitFor([&] { return in<QLabel>(rtu, "analog1")->text() != "0.0"; }));
    auto* y2 = in<IoPicture>(rtu, "relayY2");
    click(y2);  // closes it on the device
    ASSERT_TRUE(waitFor([&] { return y2->isEnabled(); }));
    EXPECT_TRUE(closeWith(rtu, "cancelButton"));

    rtu = openRtu();
    ASSERT_TRUE(rtu);
    EXPECT_FALSE(in<QCheckBox>(rtu, "autoRefresh")->isChecked());
    EXPECT_TRUE(waitFor([&] { return in<IoPicture>(rtu, "relayY2")->isOn(); }));
    EXPECT_FALSE(in<IoPicture>(rtu, "relayY1")->isOn());
}

TEST_F(RtuForms, KeyboardFocusShowsOnALinkAndStaysOnAClickedRelay) {
    RtuDialog* rtu = openRtu();
    ASSERT_TRUE(rtu);
    QApplication::setActiveWindow(rtu);  // offscreen, the main window would stay the active one
    ASSERT_TRUE(QTest::qWaitForWindowActive(rtu));

    auto* link = in<ClickLabel>(rtu, "linkageRules");
    const QImage unfocused = link->grab().toImage();
    in<QCheckBox>(rtu, "linkage")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), link);
    EXPECT_NE(link->grab().toImage(), unfocused);  // its focus frame
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) {
        QTest::keyClick(link, key);
        auto* rules = rtu->findChild<OutputRulesDialog*>();
        ASSERT_TRUE(rules && rules->isVisible()) << key;
        ASSERT_TRUE(closeWith(rules, "cancelButton"));
    }

    // While its frame is on its way the relay is disabled; the focus comes back to it after.
    auto* y3 = in<IoPicture>(rtu, "relayY3");
    click(y3);
    ASSERT_TRUE(waitFor([&] { return y3->isEnabled(); }));
    EXPECT_EQ(rtu->focusWidget(), y3);
}

TEST_F(RtuForms, SettingsReachTheDeviceWithTheSaveAndCancelKeepsNothing) {
    RtuDialog* rtu = openRtu();
    ASSERT_TRUE(rtu);
    const DeviceParams before = session.params();
    in<QLineEdit>(rtu, "address")->setText(QStringLiteral("70000"));
    in<QCheckBox>(rtu, "powerOnY8")->setChecked(true);
    EXPECT_TRUE(closeWith(rtu, "cancelButton"));
    EXPECT_EQ(session.params(), before);

    click(find<QPushButton>("rtuButton"));
    rtu = window->findChild<RtuDialog*>();
    ASSERT_TRUE(rtu);
    EXPECT_EQ(in<QLineEdit>(rtu, "address")->text(), QStringLiteral("1"));
    in<QLineEdit>(rtu, "address")->setText(QStringLiteral("70000"));
    in<QCheckBox>(rtu, "powerOnY8")->setChecked(true);
    in<QComboBox>(rtu, "powerOffSave")->setCurrentIndex(2);
    EXPECT_TRUE(closeWith(rtu, "okButton"));
    saveAndWait();
    const DeviceParams stored = device->image();
    EXPECT_EQ(stored.get(f::rtuAddress), 4464);
    EXPECT_EQ(stored.get(f::rtuPowerOnRelays), 0x80);
    EXPECT_EQ(stored.get(f::rtuPowerOffSave), 2);
}

TEST_F(RtuForms, OutputRulesShortcutsAndCloneWriteTheRecordOnOk) {
    RtuDialog* rtu = openRtu();
    ASSERT_TRUE(rtu);
    auto* rules = openFrom<OutputRulesDialog>(rtu, "linkageRules");
    ASSERT_TRUE(rules);
    auto* x3y1 = in<SwatchCombo>(rules, "ruleX3Y1");
    EXPECT_EQ(x3y1->itemText(1), QStringLiteral("Y1闭合"));
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(x3y1->itemIcon(i).isNull());

    click(in<QPushButton>(rules, "oneForOneClose"));
    EXPECT_EQ(in<QComboBox>(rules, "ruleX3Y3")->currentIndex(), 1);
    EXPECT_EQ(in<QComboBox>(rules, "ruleX3Y4")->currentIndex(), 3);
    x3y1->setCurrentIndex(2);
    click(in<QPushButton>(rules, "cloneX3"));
    EXPECT_EQ(in<QComboBox>(rules, "ruleX3Y8")->currentIndex(), 2);
    EXPECT_EQ(in<QComboBox>(rules, "ruleX4Y4")->currentIndex(), 1);
    in<QComboBox>(rules, "adc1Range")->setCurrentIndex(1);
    in<QLineEdit>(rules, "adc1Value1")->setText(QStringLiteral("4.5"));
    EXPECT_TRUE(closeWith(rules, "okButton"));

    const DeviceParams& p = session.params();
    EXPECT_EQ(p.bytes(f::xyRules[0])[0], 0xFD);
    EXPECT_EQ(p.bytes(f::xyRules[2])[0], 0xAA);
    EXPECT_EQ(p.bytes(f::xyRules[2])[1], 0xAA);
    EXPECT_EQ(p.get(f::adc1RuleValue1), 450);
    // The rules stay, whatever the RTU form does.
    EXPECT_TRUE(closeWith(rtu, "cancelButton"));
    EXPECT_EQ(session.params().get(f::adc1RuleMode), 1);
}

TEST_F(RtuForms, InputUploadShowsTheSmsTextsForSmsFormatsAndRefusesALongOne) {
    RtuDialog* rtu = openRtu();
    ASSERT_TRUE(rtu);
    auto* upload = openFrom<InputUploadDialog>(rtu, "reportRules");
    ASSERT_TRUE(upload);
    auto* format = in<QComboBox>(upload, "format");
    auto* sms = in<QWidget>(upload, "smsSection");
    format->setCurrentIndex(2);  // modbus rtu
    EXPECT_FALSE(sms->isVisible());
    const int small = upload->height();
    format->setCurrentIndex(5);  // SMS
    EXPECT_TRUE(sms->isVisible());
    EXPECT_GT(upload->height(), small);
    format->setCurrentIndex(2);
    EXPECT_FALSE(sms->isVisible());
    EXPECT_EQ(upload->height(), small);
    format->setCurrentIndex(9);  // json with IMEI and timestamp
    EXPECT_TRUE(sms->isVisible());

    const DeviceParams before = session.params();
    in<QLineEdit>(upload, "smsX1High")->setText(QString(33, QLatin1Char('a')));
    click(in<QPushButton>(upload, "okButton"));
    EXPECT_EQ(waitForMessage(upload), QStringLiteral("短信最大32字节"));
    EXPECT_TRUE(upload->isVisible());
    EXPECT_EQ(session.params(), before);

    in<QLineEdit>(upload, "smsX1High")->setText(QStringLiteral("X1 高"));
    in<QComboBox>(upload, "triggerX1")->setCurrentIndex(1);
    click(in<QPushButton>(upload, "cloneTriggers"));
    EXPECT_TRUE(closeWith(upload, "okButton"));
    EXPECT_EQ(session.params().get(f::uploadFormat), 9);
    EXPECT_EQ(session.params().bytes(f::uploadInputModes)[7], 1);
    EXPECT_TRUE(closeWith(rtu, "cancelButton"));
}

// Pictures of the three forms in both languages, for people to look at.
TEST_F(RtuForms, ScreenshotsInBothLanguages) {
    read();
    // Values that show every part of the forms.
    session.params().set(f::uploadFormat, 5);
    session.params().set(f::adc1RuleMode, 2);
    session.params().set(f::adc1RuleValue1, 250);
    session.params().setText(f::uploadTexts[0],
                             "\xca\xe4\xc8\xeb"
                             "1 on");  // GBK "输入"
    for (const auto& [lang, suffix] :
         {std::pair{Language::Chinese, "zh"}, std::pair{Language::English, "en"}}) {
        window->setLanguage(lang);
        click(find<QPushButton>("rtuButton"));
        auto* rtu = window->findChild<RtuDialog*>();
        ASSERT_TRUE(rtu);
        in<QCheckBox>(rtu, "autoRefresh")->setChecked(true);
        ASSERT_TRUE(waitFor([&] { return counter(rtu, 1).toInt() >= 15; }, kPatternLimitMs));
        click(in<IoPicture>(rtu, "relayY3"));
        ASSERT_TRUE(waitFor([&] { return in<IoPicture>(rtu, "relayY3")->isEnabled(); }));
        saveShot(rtu, qPrintable(QStringLiteral("rtu-%1.png").arg(QLatin1String(suffix))));

        auto* rules = openFrom<OutputRulesDialog>(rtu, "linkageRules");
        ASSERT_TRUE(rules);
        click(in<QPushButton>(rules, "oneForOneTurn"));
        saveShot(rules,
                 qPrintable(QStringLiteral("output-rules-%1.png").arg(QLatin1String(suffix))));
        ASSERT_TRUE(closeWith(rules, "cancelButton"));

        auto* upload = openFrom<InputUploadDialog>(rtu, "reportRules");
        ASSERT_TRUE(upload);
        saveShot(upload,
                 qPrintable(QStringLiteral("input-upload-%1.png").arg(QLatin1String(suffix))));
        ASSERT_TRUE(closeWith(upload, "cancelButton"));
        ASSERT_TRUE(closeWith(rtu, "cancelButton"));
    }
}

}  // namespace
}  // namespace dtu
