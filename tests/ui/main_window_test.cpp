#include "main_window.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <random>

#include "app_icon.h"
#include "click_label.h"
#include "files/param_file.h"
#include "lock_dialog.h"
#include "mqtt_dialog.h"
#include "params/field_table.h"
#include "pty_server.h"
#include "rtu_dialog.h"
#include "session.h"
#include "support/bound_record.h"
#include "support/bytes.h"
#include "text/gbk.h"
#include "window_fixture.h"

namespace dtu {
namespace {

namespace f = fields;

using uitest::waitFor;
using uitest::Window;
using uitest::WindowOnDevice;

TEST_F(WindowOnDevice, ReadEditSaveReachesTheDevice) {
    EXPECT_FALSE(find<QComboBox>("portCombo")->isEnabled()) << "port lists lock while open";
    EXPECT_EQ(find<QPushButton>("openButton")->text(), QStringLiteral("关闭"));
    read();
    EXPECT_EQ(find<QLineEdit>("serverAHost")->text(), QStringLiteral("test.example.com"));
    EXPECT_EQ(find<QLabel>("imei")->text(), QStringLiteral("861234050123457"));

    find<QCheckBox>("serverAEnable")->setChecked(true);
    type("serverAHost", QStringLiteral("demo.example.org"));
    type("serverAPort", QStringLiteral("9000"));
    click(find<QPushButton>("saveButton"));
    // The four commands wait for the answer.
    EXPECT_FALSE(find<QPushButton>("readButton")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("saveButton")->isEnabled());
    ASSERT_TRUE(receiveBoxHas(QStringLiteral("保存参数:成功")));
    EXPECT_TRUE(find<QPushButton>("saveButton")->isEnabled());
    const DeviceParams stored = device->image();
    EXPECT_EQ(stored.textView(f::serverAHost), "demo.example.org");
    EXPECT_EQ(stored.get(f::serverAPort), 9000);
    EXPECT_EQ(stored.get(f::serverAEnable), 1);
}

TEST_F(WindowOnDevice, EveryBoundControlCarriesItsFieldToTheDevice) {
    // Read, import, save: the imported values pass through every control to the device.
    QTemporaryDir dir;
    std::mt19937 rng(11);
    read();
    for (int round = 0; round < 6; ++round) {
        const bool hex = round % 2 == 1;
        find<QCheckBox>("heartbeatHex")->setChecked(hex);
        find<QCheckBox>("registerHex")->setChecked(hex);
        DeviceParams record = test::randomBoundRecord(rng, hex);
        record.set(f::configLockFlag, 0);  // a locked file is not shown
        const QString path = dir.filePath(QStringLiteral("r%1.cfg").arg(round));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(record.image().data()), kParamFileSize);
        file.close();
        ASSERT_TRUE(window->importFrom(path));
        const int before = receiveBox().count(QStringLiteral("保存参数:成功"));
        click(find<QPushButton>("saveButton"));
        ASSERT_TRUE(waitFor([&] {
            return receiveBox().count(QStringLiteral("保存参数:成功")) > before;
        })) << takeMessages().join('|').toStdString();
        const DeviceParams stored = device->image();
        for (const auto& fi : recordLayout()) {
            if (std::find(test::kBoundFields.begin(), test::kBoundFields.end(), fi.name) ==
                test::kBoundFields.end())
                continue;
            const auto want = std::span(record.image()).subspan(fi.offset, fi.size);
            const auto got = std::span(stored.image()).subspan(fi.offset, fi.size);
            EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()))
                << fi.name << " round " << round;
        }
    }
}

TEST_F(WindowOnDevice, EnablingFollowsWorkModeBoxesAndDeviceKind) {
    read();
    QComboBox* workMode = find<QComboBox>("workMode");
    QCheckBox* serverA = find<QCheckBox>("serverAEnable");
    serverA->setChecked(true);
    workMode->setCurrentIndex(0);
    EXPECT_TRUE(find<QLineEdit>("serverAHost")->isEnabled());
    EXPECT_FALSE(find<QComboBox>("smsMode")->isEnabled());
    serverA->setChecked(false);
    EXPECT_FALSE(find<QLineEdit>("serverAHost")->isEnabled());
    // The MQTT and HTTP links follow their boxes.
    find<QCheckBox>("mqttEnable")->setChecked(true);
    find<QCheckBox>("httpEnable")->setChecked(false);
    EXPECT_TRUE(find<ClickLabel>("mqttLink")->isEnabled());
    EXPECT_FALSE(find<ClickLabel>("httpLink")->isEnabled());

    workMode->setCurrentIndex(1);  // SMS transparent
    for (const char* name : {"serverAEnable", "serverBEnable", "heartbeatEnable", "registerEnable",
                             "httpEnable", "mqttEnable", "mqttLink", "httpLink"})
        EXPECT_FALSE(find<QWidget>(name)->isEnabled()) << name;
    EXPECT_TRUE(find<QComboBox>("smsMode")->isEnabled());
    EXPECT_TRUE(find<QLineEdit>("phoneNumbers")->isEnabled());
    workMode->setCurrentIndex(0);
    EXPECT_TRUE(find<QCheckBox>("serverAEnable")->isEnabled());

    // The simulated DTU reports kind 1: relay box and its link on, RTU settings off.
    EXPECT_TRUE(find<QCheckBox>("relayEnable")->isEnabled());
    EXPECT_TRUE(find<ClickLabel>("relayLink")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("rtuButton")->isEnabled());
    EXPECT_TRUE(find<ClickLabel>("mqttLink")->isEnabled());
    // No rule switches these.
    for (const char* name : {"apnLink", "serialSendLink", "serialFilterLink", "dataCacheLink",
                             "remoteConfigLink", "userCodeLink", "gpsUploadLink", "certLink"})
        EXPECT_TRUE(find<ClickLabel>(name)->isEnabled()) << name;
    // An RTU has no single relay: the box and its link go off.
    session.params().set(fields::deviceKind, 2);
    workMode->setCurrentIndex(1);
    EXPECT_FALSE(find<QCheckBox>("relayEnable")->isEnabled());
    EXPECT_FALSE(find<ClickLabel>("relayLink")->isEnabled());
    EXPECT_TRUE(find<QPushButton>("rtuButton")->isEnabled());
}

TEST_F(WindowOnDevice, LanguageSwitchRelabelsClearsAndKeepsTheChoices) {
    read();
    find<QComboBox>("workMode")->setCurrentIndex(1);
    find<QComboBox>("edgeMode")->setCurrentIndex(2);
    menuAction(QStringLiteral("English"))->trigger();

    EXPECT_EQ(find<QPushButton>("readButton")->text(), QStringLiteral("Read"));
    EXPECT_EQ(find<QCheckBox>("serverAEnable")->text(), QStringLiteral("ServerA"));
    EXPECT_EQ(find<QPushButton>("openButton")->text(), QStringLiteral("Close"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("4G DTU&RTU Config   V169"));
    EXPECT_TRUE(receiveBox().isEmpty());
    EXPECT_EQ(find<QComboBox>("workMode")->currentIndex(), 1);
    EXPECT_EQ(find<QComboBox>("workMode")->currentText(), QStringLiteral("SMS"));
    EXPECT_EQ(find<QComboBox>("edgeMode")->currentIndex(), 2);
    EXPECT_EQ(find<QComboBox>("edgeMode")->currentText(), QString());
    EXPECT_EQ(find<QLabel>("operatorName")->text(), QStringLiteral("Chana Mobile"));
    EXPECT_EQ(window->pcSettings().language, 1);

    click(find<QPushButton>("readButton"));
    EXPECT_TRUE(receiveBoxHas(QStringLiteral("Read Successfully")));
    // The open button still closes the port.
    click(find<QPushButton>("openButton"));
    EXPECT_FALSE(session.isOpen());
    EXPECT_EQ(find<QPushButton>("openButton")->text(), QStringLiteral("Open"));
    EXPECT_TRUE(find<QComboBox>("portCombo")->isEnabled());
}

TEST_F(WindowOnDevice, KeepsItsWidthThroughAReadAndBothLanguages) {
    // Once the posted layout requests and the repaint they cause are handled, the window has
    // the size it keeps.
    const auto settledWidth = [&] {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        return window->width();
    };
    const int width = settledWidth();
    read();
    ASSERT_TRUE(waitFor([&] { return !find<QLabel>("gps")->text().isEmpty(); }));
    EXPECT_EQ(settledWidth(), width) << "the device's values elide";
    menuAction(QStringLiteral("English"))->trigger();
    EXPECT_EQ(settledWidth(), width);
    menuAction(QStringLiteral("中文"))->trigger();
    EXPECT_EQ(settledWidth(), width);
}

TEST_F(WindowOnDevice, ChecksBeforeSavingStopTheSaveWithTheirMessage) {
    read();
    const DeviceParams before = device->image();
    type("phoneNumbers", QString(160, QChar('1')));
    click(find<QPushButton>("saveButton"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("手机号不超过159")});
    EXPECT_TRUE(find<QPushButton>("saveButton")->isEnabled()) << "nothing was sent";

    // Bad hex in the heartbeat data is reported, and the save goes on with the old data.
    type("phoneNumbers", QStringLiteral("10086"));
    find<QCheckBox>("heartbeatEnable")->setChecked(true);
    find<QCheckBox>("heartbeatHex")->setChecked(true);
    type("heartbeatData", QStringLiteral("0x01"));
    saveAndWait();
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("请输入十六进制数")});
    EXPECT_EQ(device->image().get(f::heartbeatLength), before.get(f::heartbeatLength));
    EXPECT_EQ(device->image().textView(f::smsPhoneNumbers), "10086");
}

TEST_F(WindowOnDevice, CopiesIdentityFieldsWithTheirLine) {
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->setText(QStringLiteral("before"));
    click(find<ClickLabel>("imei"));  // empty before a read: nothing happens
    EXPECT_EQ(clipboard->text(), QStringLiteral("before"));
    EXPECT_FALSE(receiveBox().contains(QStringLiteral("复制成功")));
    read();
    click(find<ClickLabel>("imei"));
    EXPECT_EQ(clipboard->text(), QStringLiteral("861234050123457"));
    EXPECT_TRUE(receiveBox().contains(QStringLiteral("IMEI 复制成功\n")));
    click(find<ClickLabel>("mac"));
    EXPECT_EQ(clipboard->text(), find<QLabel>("mac")->text());
    EXPECT_EQ(clipboard->text().size(), 12);
    EXPECT_TRUE(receiveBox().contains(QStringLiteral("MAC 复制成功\n")));
}

TEST_F(WindowOnDevice, LockedFileIsWrittenByOneClickAndNeverShown) {
    read();
    QTemporaryDir dir;
    DeviceParams locked;
    locked.set(f::dtuBaudIndex, 4);  // the device keeps answering at 9600
    locked.set(f::dtuParityIndex, 1);
    locked.set(f::dtuStopBitsIndex, 1);
    locked.set(f::dtuDataBits, 8);
    locked.setText(f::serverAHost, std::string_view("locked.example.net"));
    locked.set(f::configLockFlag, 0x78);
    locked.setText(f::configLockPassword, std::string_view("pw123456"));
    const QString path = dir.filePath(QStringLiteral("locked.cfg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(locked.image().data()), kParamFileSize);
    file.close();

    ASSERT_TRUE(window->importFrom(path));
    EXPECT_FALSE(find<QPushButton>("saveButton")->isEnabled());
    EXPECT_TRUE(find<QPushButton>("oneClickButton")->isVisible());
    EXPECT_EQ(QDir::fromNativeSeparators(find<QLineEdit>("oneClickPath")->text()),
              QFileInfo(path).absoluteFilePath());
    EXPECT_EQ(session.params(), DeviceParams{});
    EXPECT_EQ(find<QLineEdit>("serverAHost")->text(), QStringLiteral("test.example.com"))
        << "the window still shows the last read";

    click(find<QPushButton>("oneClickButton"));
    EXPECT_EQ(session.params(), DeviceParams{});
    ASSERT_TRUE(receiveBoxHas(QStringLiteral("保存参数:成功")));
    EXPECT_TRUE(find<QPushButton>("saveButton")->isEnabled());
    EXPECT_TRUE(find<QPushButton>("oneClickButton")->isVisible());
    EXPECT_EQ(device->image().textView(f::serverAHost), "locked.example.net");
    EXPECT_EQ(device->image().get(f::configLockFlag), 0x78);
    EXPECT_EQ(find<QLineEdit>("serverAHost")->text(), QStringLiteral("test.example.com"));
}

// Whether a label shows its text as the characters it holds (Qt takes a text that looks like
// markup as rich text unless told otherwise).
bool showsAsPlainText(const QLabel* label) {
    return label->textFormat() == Qt::PlainText ||
           (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(label->text()));
}

class MarkupDevice : public WindowOnDevice {
protected:
    MarkupDevice() { simOptions.deviceText = "<b>ready</b> &amp; <i>waiting</i>"; }
};

TEST_F(MarkupDevice, DeviceTextsAndPathsShowAsTheCharactersTheyAre) {
    const QString deviceText = QStringLiteral("<b>ready</b> &amp; <i>waiting</i>");
    read();
    QTest::keyClick(window.get(), Qt::Key_T, Qt::AltModifier);
    ASSERT_TRUE(waitFor([&] { return !window->findChildren<QMessageBox*>().isEmpty(); }));
    auto* box = window->findChild<QMessageBox*>();
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), deviceText);
    EXPECT_TRUE(showsAsPlainText(label));
    takeMessages();

    // A path with markup in an export message (a name cannot hold "/", so no end tags), a device
    // model with markup in the status area.
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("<i>line 3 &amp; 4"));
    ASSERT_TRUE(QDir().mkpath(folder));
    DeviceParams record = device->image();
    record.setText(f::deviceModel, std::string_view("<b>DTU</b>"));
    session.params() = record;
    const QString path = folder + QStringLiteral("/<b>x.cfg");
    ASSERT_TRUE(window->exportTo(path));
    box = window->findChild<QMessageBox*>();
    label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    EXPECT_EQ(label->text(), QDir::toNativeSeparators(path));
    EXPECT_TRUE(showsAsPlainText(label));
    takeMessages();
    ASSERT_TRUE(window->importFrom(path));
    EXPECT_EQ(find<QLabel>("model")->text(), QStringLiteral("<b>DTU</b>"));
    EXPECT_TRUE(showsAsPlainText(find<QLabel>("model")));
}

TEST_F(WindowOnDevice, StatusRequestsAndHelpBoxes) {
    read();
    QTest::keyClick(window.get(), Qt::Key_T, Qt::AltModifier);
    ASSERT_TRUE(waitFor([&] { return !window->findChildren<QMessageBox*>().isEmpty(); }));
    EXPECT_TRUE(takeMessages().at(0).contains(QStringLiteral("ready")));
    click(find<ClickLabel>("cellInfoLink"));
    EXPECT_TRUE(takeMessages().at(0).startsWith(QStringLiteral("mcc:")));
    click(find<ClickLabel>("phoneHelpLink"));
    EXPECT_TRUE(takeMessages().at(0).contains(QStringLiteral("10086;10010")));
    ClickLabel* memory = find<ClickLabel>("memoryLine");
    for (int i = 0; i < 9; ++i) click(memory);
    EXPECT_TRUE(memory->text().isEmpty());
    click(memory);
    EXPECT_TRUE(memory->text().startsWith(QStringLiteral("Memery:Total ")));
}

class RtuWindow : public WindowOnDevice {
protected:
    RtuWindow() { kind = sim::DeviceKind::Rtu; }
};

TEST_F(RtuWindow, OffersRtuSettingsInsteadOfTheRelay) {
    read();
    EXPECT_FALSE(find<QCheckBox>("relayEnable")->isEnabled());
    EXPECT_TRUE(find<QPushButton>("rtuButton")->isEnabled());
}

class LiveAnswers : public uitest::DialogsOnDevice {
protected:
    LiveAnswers() { kind = sim::DeviceKind::Rtu; }
};

TEST_F(LiveAnswers, LeaveTheUnsavedEditsOfTheWindowForTheSave) {
    read();
    find<QCheckBox>("mqttEnable")->setChecked(true);
    type("serverAHost", QStringLiteral("edited.example.org"));

    // Three polls of the RTU form's auto refresh.
    int answers = 0;
    QObject::connect(&session, &Session::decoded, [&] { ++answers; });
    click(find<QPushButton>("rtuButton"));
    auto* rtu = window->findChild<RtuDialog*>();
    ASSERT_TRUE(rtu);
    in<QCheckBox>(rtu, "autoRefresh")->setChecked(true);
    ASSERT_TRUE(waitFor([&] { return answers >= 3; }, 30000));
    in<QCheckBox>(rtu, "autoRefresh")->setChecked(false);
    ASSERT_TRUE(closeWith(rtu, "cancelButton"));

    // The MQTT status, asked for from the MQTT form.
    auto* mqtt = open<MqttDialog>("mqttLink");
    ASSERT_TRUE(mqtt);
    auto* status = in<QPushButton>(mqtt, "statusButton");
    click(status);
    ASSERT_TRUE(waitFor([&] { return session.live().mqttStatusFresh && status->isEnabled(); }));
    ASSERT_TRUE(closeWith(mqtt, "cancelButton"));

    EXPECT_TRUE(find<QCheckBox>("mqttEnable")->isChecked());
    EXPECT_EQ(find<QLineEdit>("serverAHost")->text(), QStringLiteral("edited.example.org"));
    saveAndWait();
    const DeviceParams stored = device->image();
    EXPECT_EQ(stored.get(f::mqttEnable), 1);
    EXPECT_EQ(stored.textView(f::serverAHost), "edited.example.org");
    read();
    EXPECT_TRUE(find<QCheckBox>("mqttEnable")->isChecked());
    EXPECT_EQ(find<QLineEdit>("serverAHost")->text(), QStringLiteral("edited.example.org"));
}

// The terminal against a bare pseudo-terminal, to see the exact bytes.
class Terminal : public Window {
protected:
    void SetUp() override {
        Window::SetUp();
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(m_master, 0);
        ASSERT_EQ(grantpt(m_master), 0);
        ASSERT_EQ(unlockpt(m_master), 0);
        ASSERT_EQ(fcntl(m_master, F_SETFL, O_NONBLOCK), 0);
        window->choosePort(QString::fromLatin1(ptsname(m_master)), 4);
        window->togglePort();
        ASSERT_TRUE(session.isOpen());
    }
    void TearDown() override {
        Window::TearDown();
        ::close(m_master);
    }
    std::string received(std::size_t n) {
        std::string out;
        waitFor([&] {
            char buf[256];
            const ssize_t k = ::read(m_master, buf, sizeof buf);
            if (k > 0) out.append(buf, static_cast<std::size_t>(k));
            return out.size() >= n;
        });
        return out;
    }
    void sendLine(const QString& text, bool hex) {
        find<QCheckBox>("sendHex")->setChecked(hex);
        type("sendEdit", text);
        click(find<QPushButton>("sendButton"));
    }
    int m_master = -1;
};

TEST_F(Terminal, SendsTextAndHexAndShowsWhatComesBack) {
    sendLine(QStringLiteral("01 02 0a"), true);
    EXPECT_EQ(received(3), std::string("\x01\x02\x0a", 3));
    sendLine(QStringLiteral("ABC"), true);
    EXPECT_EQ(received(2), std::string("\xab\x0c", 2));
    sendLine(QStringLiteral("AT+中"), false);
    EXPECT_EQ(received(5), std::string("AT+\xd6\xd0"));  // GBK on the line
    sendLine(QStringLiteral("0x12"), true);
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("请输入十六进制数")});
    sendLine(QString(1025, QChar('a')), false);
    EXPECT_EQ(takeMessages().size(), 1) << "more than the send buffer is refused";

    ASSERT_EQ(::write(m_master, "<b>hello</b>", 12), 12);
    EXPECT_TRUE(receiveBoxHas(QStringLiteral("数据:<b>hello</b>")));  // as it came, not as markup
    find<QCheckBox>("receiveHex")->setChecked(true);
    ASSERT_EQ(::write(m_master, "\x01\xff", 2), 2);
    EXPECT_TRUE(receiveBoxHas(QStringLiteral("01 ff")));
    click(find<ClickLabel>("clearLink"));
    EXPECT_TRUE(receiveBox().isEmpty());
}

TEST_F(Window, StartsAsRememberedAndReportsAFailedOpen) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("4G DTU&RTU 配置软件  V169"));
    EXPECT_TRUE(receiveBox().startsWith(QStringLiteral("一般操作流程：")));
    EXPECT_EQ(find<QComboBox>("baudCombo")->currentText(), QStringLiteral("9600"));
    // Before a read the parameter combos choose nothing, apart from two that show entry 0.
    for (const char* name :
         {"workMode", "smsMode", "edgeMode", "dtuBaud", "dtuParity", "dtuDataBits", "dtuStopBits",
          "serverAProtocol", "serverBProtocol", "serverAConnMode", "serverBConnMode"}) {
        EXPECT_EQ(find<QComboBox>(name)->currentIndex(), -1) << name;
        EXPECT_TRUE(find<QComboBox>(name)->currentText().isEmpty()) << name;
    }
    EXPECT_EQ(find<QComboBox>("registerMode")->currentIndex(), 0);
    EXPECT_EQ(find<QComboBox>("tlsMode")->currentIndex(), 0);
    EXPECT_TRUE(find<QLabel>("operatorName")->text().isEmpty()) << "no status before a read";

    window->choosePort(QStringLiteral("/dev/no-such-port"), 4);
    click(find<QPushButton>("openButton"));
    EXPECT_TRUE(receiveBox().contains(QStringLiteral("打开:失败\n")));
    EXPECT_FALSE(session.isOpen());
    EXPECT_TRUE(find<QComboBox>("portCombo")->isEnabled());

    // Commands with the port closed say so.
    click(find<QPushButton>("readButton"));
    EXPECT_TRUE(receiveBox().contains(QStringLiteral("串口未打开！！")));
}

TEST_F(Window, AutoFindsTheDeviceRateAndReadsAtIt) {
    std::string error;
    sim::SimOptions options;
    options.baud = 19200;
    auto device = sim::PtyServer::start(options, error);
    ASSERT_TRUE(device) << error;
    window->choosePort(QString::fromStdString(device->path()), 0);  // "AUTO"
    EXPECT_EQ(find<QComboBox>("baudCombo")->currentText(), QStringLiteral("AUTO"));
    click(find<QPushButton>("openButton"));
    EXPECT_FALSE(find<QPushButton>("openButton")->isEnabled()) << "no close while probing";
    ASSERT_TRUE(receiveBoxHas(QStringLiteral("当前波特率：19200")));
    EXPECT_TRUE(find<QPushButton>("openButton")->isEnabled());
    click(find<QPushButton>("readButton"));
    EXPECT_TRUE(receiveBoxHas(QStringLiteral("获取参数:成功")));
    click(find<QPushButton>("openButton"));
    EXPECT_FALSE(session.isOpen());
}

TEST(WindowSettings, StartsInTheRememberedLanguageAndGivesTheChoicesBack) {
    Session session;
    PcSettings remembered;
    remembered.language = 1;
    remembered.baudIndex = 9;
    remembered.stopBitsIndex = 2;
    remembered.hexHeartbeat = 1;
    remembered.factoryResetAfterUpgrade = 1;  // owned by another window, kept as it is
    MainWindow window(session, remembered);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("4G DTU&RTU Config   V169"));
    EXPECT_TRUE(window.findChild<QPlainTextEdit*>(QStringLiteral("receiveBox"))
                    ->toPlainText()
                    .startsWith(QStringLiteral("General operation process:")));
    PcSettings closing;
    QObject::connect(&window, &MainWindow::closing, [&](const PcSettings& s) { closing = s; });
    window.close();
    EXPECT_EQ(closing.language, 1);
    EXPECT_EQ(closing.baudIndex, 9);
    EXPECT_EQ(closing.stopBitsIndex, 2);
    EXPECT_EQ(closing.hexHeartbeat, 1);
    EXPECT_EQ(closing.hexRegister, 0);
    EXPECT_EQ(closing.factoryResetAfterUpgrade, 1);
}

TEST_F(Window, LockPasswordDialogsTakeExactlyEightBytes) {
    click(find<ClickLabel>("accessPasswordLink"));
    auto* dialog = window->findChild<LockDialog*>();
    ASSERT_NE(dialog, nullptr);
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
    QTest::keyClicks(edit, QStringLiteral("1234567"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("密码必须是8位")});
    EXPECT_TRUE(dialog->isVisible());
    QTest::keyClicks(edit, QStringLiteral("8"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
    const LockPassword want = {'1', '2', '3', '4', '5', '6', '7', '8'};
    EXPECT_EQ(session.accessPassword(), want);
    EXPECT_EQ(session.params(), DeviceParams{}) << "the access password is not in the record";

    QCoreApplication::processEvents();
    click(find<ClickLabel>("configLockLink"));
    dialog = window->findChild<LockDialog*>();
    ASSERT_NE(dialog, nullptr);
    edit = dialog->findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
    EXPECT_TRUE(edit->text().isEmpty());
    QTest::keyClicks(edit, QStringLiteral("        "));  // 8 blanks are a password
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(session.params().textView(f::configLockPassword), "        ");
}

TEST_F(Window, ImportAndOneClickAddTheDeviceToTheProductionRecord) {
    QTemporaryDir records;
    session.setFactoryRecordDir(records.path());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("line.cfg"));
    auto writeFile = [&](const std::string& mac) {
        DeviceParams record;
        record.setBytes(f::macAddress, test::hex(mac));
        record.setText(f::deviceModel, std::string_view("DTU-4G-C1"));
        record.setText(f::imei, std::string_view("861234050123457"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(record.image().data()), kParamFileSize);
    };
    auto recorded = [&](const char* prefix) {
        QByteArray all;
        for (const QFileInfo& fi :
             QDir(records.path())
                 .entryInfoList({QString::fromLatin1(prefix) + QStringLiteral("-*.ini")})) {
            QFile file(fi.filePath());
            if (file.open(QIODevice::ReadOnly)) all += file.readAll();
        }
        return all;
    };

    writeFile("02 11 22 33 44 55");
    ASSERT_TRUE(window->importFrom(path));
    EXPECT_TRUE(recorded("factory").contains("021122334455=model:DTU-4G-C1 imei:861234050123457"));
    EXPECT_TRUE(recorded("print").contains("021122334455"));

    // One-click configuration of a file that carries no lock shows it, and so records it too.
    writeFile("02 66 77 88 99 aa");
    window->oneClickConfigure();
    EXPECT_TRUE(recorded("factory").contains("0266778899aa=model:DTU-4G-C1"));
    EXPECT_TRUE(recorded("print").contains("0266778899aa"));
    EXPECT_TRUE(recorded("print").contains("021122334455"));
}

TEST_F(Window, ExportWritesTheRecordAndImportBringsItBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("4g-dtu-rtu.cfg"));
    ASSERT_TRUE(window->exportTo(path));
    EXPECT_EQ(takeMessages(), QStringList{QDir::toNativeSeparators(path)});
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(kParamFileSize, '\0')) << "nothing read yet: zeros";
    file.close();

    std::mt19937 rng(3);
    DeviceParams record = test::randomBoundRecord(rng, false);
    record.set(f::configLockFlag, 0);
    record.setText(f::imei, std::string_view("861234050199999"));
    session.params() = record;
    ASSERT_TRUE(window->exportTo(path));
    takeMessages();
    session.params().clear();
    ASSERT_TRUE(window->importFrom(path));
    EXPECT_EQ(session.params(), record);
    EXPECT_EQ(find<QLabel>("imei")->text(), QStringLiteral("861234050199999"));
    // The record holds GBK; the edit shows it as text.
    EXPECT_EQ(find<QLineEdit>("serverAHost")->text().toStdString(),
              *gbkToUtf8(record.text(f::serverAHost)));

    // A file that cannot be read says so and leaves the record alone.
    EXPECT_FALSE(window->importFrom(dir.filePath(QStringLiteral("missing.cfg"))));
    EXPECT_EQ(takeMessages().size(), 1);
    EXPECT_EQ(session.params(), record);
    EXPECT_FALSE(window->exportTo(dir.filePath(QStringLiteral("no/such/dir/x.cfg"))));
    EXPECT_EQ(takeMessages().size(), 1);
}

TEST(ApplicationIcon, HasItsPictureAtEverySizeAWindowManagerAsksFor) {
    const QIcon icon = applicationIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        const QImage picture = icon.pixmap(QSize(size, size)).toImage();
        ASSERT_EQ(picture.size(), QSize(size, size)) << size;
        // The terminal fills the lower middle; the top left corner stays clear.
        EXPECT_EQ(qAlpha(picture.pixel(size / 2, size * 3 / 4)), 255) << size;
        EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0) << size;
    }
}

}  // namespace
}  // namespace dtu
