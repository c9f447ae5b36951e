// The firmware and TLS dialogs, opened from the main window and driven against the simulated
// device on a pseudo-terminal.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>

#include "click_label.h"
#include "firmware_dialog.h"
#include "params/field_table.h"
#include "support/bytes.h"
#include "tls_dialog.h"
#include "transfer/cert_transfer.h"
#include "transfer_receiver.h"
#include "window_fixture.h"

namespace dtu {
namespace {

namespace f = fields;
using uitest::waitFor;

class Dialogs : public uitest::WindowOnDevice {
protected:
    // A firmware file: 15 unused bytes, the type, the size big-endian, then the image.
    QString firmwareFile(const char* name, std::uint32_t size, std::uint8_t type,
                         std::uint32_t claimed = 0) {
        image.resize(size);
        for (std::uint32_t i = 0; i < size; ++i)
            image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
        if (claimed == 0) claimed = size;
        QByteArray bytes(15, 'h');
        bytes.append(static_cast<char>(type));
        for (int shift : {24, 16, 8, 0}) bytes.append(static_cast<char>(claimed >> shift));
        bytes.append(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(size));
        return write(name, bytes);
    }
    QString write(const char* name, const QByteArray& bytes) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    FirmwareDialog* openFirmwareDialog() {
        menuAction(QStringLiteral("固件升级"))->trigger();
        auto* dialog = window->findChild<FirmwareDialog*>();
        EXPECT_TRUE(dialog && dialog->isVisible());
        return dialog;
    }
    TlsDialog* openTlsDialog() {
        auto* link = find<ClickLabel>("certLink");
        EXPECT_TRUE(link->isEnabled());
        click(link);
        auto* dialog = window->findChild<TlsDialog*>();
        EXPECT_TRUE(dialog && dialog->isVisible());
        return dialog;
    }
    template <typename T>
    static T* in(QWidget* dialog, const char* name) {
        T* w = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static QString statusOf(QWidget* dialog, const char* name) {
        return in<QLabel>(dialog, name)->text();
    }
    // A picture of a dialog for people to look at, kept with the build's test output.
    static void saveShot(QWidget* dialog, const char* name) {
        const QDir dir(QStringLiteral(DTU_ARTIFACTS_DIR));
        ASSERT_TRUE(dir.mkpath(QStringLiteral(".")));
        const QString path = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(dialog->grab().save(path)) << path.toStdString();
    }
    static void closeDialog(QWidget* dialog) {
        QPointer<QWidget> alive(dialog);
        dialog->close();
        EXPECT_TRUE(waitFor([&] { return alive.isNull(); }));
    }

    QTemporaryDir dir;
    std::vector<std::uint8_t> image;
};

TEST_F(Dialogs, FirmwareUpgradeFromTheMenuSwitchesTheLineAndGivesItBack) {
    FirmwareDialog* dialog = openFirmwareDialog();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(in<QLineEdit>(dialog, "firmwarePath")->text().isEmpty());
    EXPECT_FALSE(in<QCheckBox>(dialog, "factoryReset")->isChecked());
    EXPECT_EQ(in<QProgressBar>(dialog, "firmwareProgress")->value(), 0);
    EXPECT_TRUE(statusOf(dialog, "firmwareStatus").isEmpty());

    const QString path = firmwareFile("fw.bin", 5000, 0x21);
    dialog->chooseFile(path);
    in<QCheckBox>(dialog, "factoryReset")->setChecked(true);
    auto* start = in<QPushButton>(dialog, "startUpgrade");
    click(start);
    EXPECT_FALSE(start->isEnabled()) << "one upgrade at a time";
    ASSERT_TRUE(waitFor([&] { return statusOf(dialog, "firmwareStatus") == "升级成功"; }, 30000))
        << statusOf(dialog, "firmwareStatus").toStdString();
    EXPECT_TRUE(start->isEnabled());
    auto* progress = in<QProgressBar>(dialog, "firmwareProgress");
    EXPECT_EQ(progress->maximum(), 5);  // 5000 bytes: four full blocks and the last
    EXPECT_EQ(progress->value(), 5);
    EXPECT_TRUE(in<QLabel>(dialog, "resetDone")->isVisible());
    EXPECT_FALSE(in<QLabel>(dialog, "resetNotDone")->isVisible());
    EXPECT_EQ(device->image().textView(f::firmwareVersion), sim::installedVersion(0x21, image));
    EXPECT_EQ(session.lineBaud(), 9600);
    saveShot(dialog, "firmware-dialog.png");

    closeDialog(dialog);
    // The main window has the line again, at its own rate.
    read();
    EXPECT_EQ(find<QLabel>("version")->text().toStdString(), sim::installedVersion(0x21, image));
    // The path stays for the run, the check box in the settings.
    EXPECT_EQ(window->pcSettings().factoryResetAfterUpgrade, 1);
    dialog = openFirmwareDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->path(), path);
    EXPECT_TRUE(in<QCheckBox>(dialog, "factoryReset")->isChecked());
    EXPECT_TRUE(statusOf(dialog, "firmwareStatus").isEmpty());
    EXPECT_FALSE(in<QLabel>(dialog, "resetDone")->isVisible());
}

TEST_F(Dialogs, WhileTheFirmwareDialogIsOpenTheMainWindowHearsNothing) {
    // The device's text answer normally opens a message box over the main window.
    auto messageShown = [&] { return !window->findChildren<QMessageBox*>().isEmpty(); };
    FirmwareDialog* dialog = openFirmwareDialog();
    ASSERT_TRUE(dialog);
    const auto sent = device->counters().bytesOut;
    session.flow().requestDeviceText();
    ASSERT_TRUE(waitFor([&] { return device->counters().bytesOut > sent; }));
    QTest::qWait(300);  // well past the end of the burst
    EXPECT_FALSE(messageShown());

    closeDialog(dialog);
    session.flow().requestDeviceText();
    ASSERT_TRUE(waitFor(messageShown));
    EXPECT_TRUE(takeMessages().at(0).contains(QStringLiteral("ready")));
}

TEST_F(Dialogs, FirmwareFilesThatCannotBeSentAreRefusedBeforeAnything) {
    FirmwareDialog* dialog = openFirmwareDialog();
    ASSERT_TRUE(dialog);
    auto* start = in<QPushButton>(dialog, "startUpgrade");
    const auto before = device->counters().bytesIn;

    click(start);  // no file chosen: nothing happens
    EXPECT_TRUE(takeMessages(dialog).isEmpty());

    dialog->chooseFile(write("huge.bin", QByteArray(10485761, 'x')));
    click(start);
    EXPECT_EQ(takeMessages(dialog), QStringList{QStringLiteral("file is huge!!!")});

    dialog->chooseFile(firmwareFile("short.bin", 3000, 0x21, 4000));
    click(start);
    const QStringList truncated = takeMessages(dialog);
    ASSERT_EQ(truncated.size(), 1);
    EXPECT_TRUE(truncated[0].contains(QStringLiteral("4000"))) << truncated[0].toStdString();

    dialog->chooseFile(dir.filePath(QStringLiteral("gone.bin")));
    click(start);
    EXPECT_EQ(takeMessages(dialog), QStringList{QStringLiteral("open failed")});

    EXPECT_TRUE(start->isEnabled());
    QCoreApplication::processEvents();
    EXPECT_EQ(device->counters().bytesIn, before) << "nothing reached the device";
}

// Block 1's acknowledgement comes long after its repetition (twice the block's time-out); the
// answer to the repetition then names a block the tool has passed.
class LateAcknowledgement : public Dialogs {
protected:
    LateAcknowledgement() { simOptions.faults.push_back({sim::FaultKind::Delay, 4, 6000}); }
};

TEST_F(LateAcknowledgement, AWrongBlockNumberStopsTheUpgradeAndTheButtonStaysOff) {
    FirmwareDialog* dialog = openFirmwareDialog();
    ASSERT_TRUE(dialog);
    dialog->chooseFile(firmwareFile("fw.bin", 6000, 0x11));
    click(in<QPushButton>(dialog, "startUpgrade"));
    ASSERT_TRUE(
        waitFor([&] { return statusOf(dialog, "firmwareStatus") == "升级失败 bad number"; }, 30000))
        << statusOf(dialog, "firmwareStatus").toStdString();
    EXPECT_FALSE(in<QPushButton>(dialog, "startUpgrade")->isEnabled());
    EXPECT_FALSE(in<QLabel>(dialog, "resetNotDone")->isVisible());
    EXPECT_EQ(session.lineBaud(), 9600);
}

TEST_F(Dialogs, ClosingTheFirmwareDialogStopsTheUpgrade) {
    FirmwareDialog* dialog = openFirmwareDialog();
    ASSERT_TRUE(dialog);
    dialog->chooseFile(firmwareFile("big.bin", 200 * 1024, 0x11));
    click(in<QPushButton>(dialog, "startUpgrade"));
    const std::string version(device->image().textView(f::firmwareVersion));
    auto* progress = in<QProgressBar>(dialog, "firmwareProgress");
    ASSERT_TRUE(waitFor([&] { return progress->value() >= 3; }, 30000));
    click(in<QPushButton>(dialog, "exitFirmware"));
    ASSERT_TRUE(waitFor([&] { return window->findChild<FirmwareDialog*>() == nullptr; }));
    EXPECT_EQ(session.lineBaud(), 9600);
    EXPECT_TRUE(session.isOpen());
    // Once the frame on its way has arrived, nothing more goes out, even past a block's answer
    // time: no timer was left behind.
    auto arrived = [&] {
        const auto before = device->counters().bytesIn;
        QTest::qWait(200);
        return device->counters().bytesIn == before;
    };
    ASSERT_TRUE(waitFor(arrived));
    const auto sent = device->counters().bytesIn;
    QTest::qWait(3500);
    EXPECT_EQ(device->counters().bytesIn, sent);
    EXPECT_EQ(device->image().textView(f::firmwareVersion), version);
}

TEST_F(Dialogs, CertificatesFromTheLinkAreSavedAndTheirChecksumsReadBack) {
    TlsDialog* dialog = openTlsDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("TLS(目前仅支持MQTT)"));
    EXPECT_EQ(statusOf(dialog, "caDeviceChecksum"), QStringLiteral("0000"));

    const QString ca = write("ca.crt", QByteArray(1000, 'c'));
    const QString key = write("client.key", QByteArray(4000, 'k'));
    const QString huge = write("huge.crt", QByteArray(4001, 'h'));
    ASSERT_TRUE(dialog->importFile(CertFile::Ca, ca));
    EXPECT_EQ(statusOf(dialog, "caPath"), ca);
    EXPECT_EQ(session.params().textView(f::caPath), ca.toStdString()) << "kept in the record";
    EXPECT_EQ(statusOf(dialog, "caFileChecksum"),
              QStringLiteral("%1").arg(1000 * 'c' % 65536, 4, 16, QLatin1Char('0')));
    EXPECT_FALSE(dialog->importFile(CertFile::ClientCert, huge));
    EXPECT_EQ(takeMessages(dialog), QStringList{QStringLiteral("file is huge!!!")});
    EXPECT_FALSE(dialog->importFile(CertFile::ClientCert, dir.filePath("none.crt")));
    EXPECT_EQ(takeMessages(dialog), QStringList{QStringLiteral("open failed")});
    EXPECT_TRUE(statusOf(dialog, "clientCertPath").isEmpty()) << "a refused file is not kept";
    EXPECT_EQ(session.params().textView(f::clientCertPath), "");
    ASSERT_TRUE(dialog->importFile(CertFile::ClientKey, key));
    EXPECT_EQ(session.params().textView(f::clientKeyPath), key.toStdString());

    auto* save = in<QPushButton>(dialog, "saveCertificates");
    auto* readSums = in<QPushButton>(dialog, "readChecksums");
    click(save);
    EXPECT_FALSE(save->isEnabled());
    EXPECT_FALSE(readSums->isEnabled());
    ASSERT_TRUE(waitFor([&] { return statusOf(dialog, "certStatus") == "保存成功"; }, 30000))
        << statusOf(dialog, "certStatus").toStdString();
    EXPECT_TRUE(save->isEnabled());
    auto* progress = in<QProgressBar>(dialog, "certProgress");
    EXPECT_EQ(progress->value(), 10);  // 1000 + 2 + 2 + 4000 bytes in chunks of 512
    EXPECT_EQ(progress->maximum(), 10);
    // The blob sent is kept in the record, and so in an exported file.
    const auto blob = session.params().bytes(f::certBlob);
    EXPECT_EQ(std::count(blob.begin(), blob.begin() + 1000, 'c'), 1000);
    EXPECT_EQ(test::toBytes(blob.subspan(1000, 4)), test::hex("00 3B 00 3B"));
    EXPECT_EQ(std::count(blob.begin() + 1004, blob.begin() + 5004, 'k'), 4000);

    click(readSums);
    ASSERT_TRUE(waitFor([&] { return statusOf(dialog, "certStatus") == "读取成功"; }))
        << statusOf(dialog, "certStatus").toStdString();
    EXPECT_EQ(statusOf(dialog, "caDeviceChecksum"), statusOf(dialog, "caFileChecksum"));
    EXPECT_EQ(statusOf(dialog, "clientCertDeviceChecksum"), QStringLiteral("0000"));
    EXPECT_EQ(statusOf(dialog, "clientKeyDeviceChecksum"),
              statusOf(dialog, "clientKeyFileChecksum"));
    EXPECT_TRUE(readSums->isEnabled());
    const DeviceParams stored = device->image();
    EXPECT_EQ(stored.get(f::certChecksums[0]), 1000 * 'c' % 65536);
    EXPECT_EQ(stored.get(f::certChecksums[2]), 4000 * 'k' % 65536);
    saveShot(dialog, "tls-dialog.png");

    // The paths and the device's checksums are there when the dialog comes back.
    click(in<QPushButton>(dialog, "closeButton"));
    ASSERT_TRUE(waitFor([&] { return window->findChild<TlsDialog*>() == nullptr; }));
    dialog = openTlsDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(statusOf(dialog, "caPath"), ca);
    EXPECT_EQ(statusOf(dialog, "clientKeyPath"), key);
    EXPECT_EQ(statusOf(dialog, "caFileChecksum"), statusOf(dialog, "caDeviceChecksum"));
    EXPECT_EQ(statusOf(dialog, "clientKeyDeviceChecksum"),
              statusOf(dialog, "clientKeyFileChecksum"));
}

TEST_F(Dialogs, TheDialogShowsAndEditsThePathsOfTheRecord) {
    // As an imported parameter file leaves them: a CA whose file is gone, no client
    // certificate, a key that is there.
    const QString key = write("client.key", QByteArray(10, 'k'));
    const std::string gone = dir.filePath("gone.crt").toStdString();
    ASSERT_TRUE(setCertPath(session.params(), CertFile::Ca, gone));
    ASSERT_TRUE(setCertPath(session.params(), CertFile::ClientKey, key.toStdString()));
    TlsDialog* dialog = openTlsDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(statusOf(dialog, "caPath").toStdString(), gone);
    EXPECT_EQ(statusOf(dialog, "caFileChecksum"), QStringLiteral("0000"));
    EXPECT_TRUE(statusOf(dialog, "clientCertPath").isEmpty());
    EXPECT_TRUE(statusOf(dialog, "clientCertFileChecksum").isEmpty());
    EXPECT_EQ(statusOf(dialog, "clientKeyFileChecksum"),
              QStringLiteral("%1").arg(10 * 'k', 4, 16, QLatin1Char('0')));

    // An empty CA is refused when it is imported, saying so; the record keeps its path.
    EXPECT_FALSE(dialog->importFile(CertFile::Ca, write("empty.crt", {})));
    EXPECT_EQ(takeMessages(dialog),
              QStringList{QStringLiteral("CA文件是空的，请导入有内容的CA文件！！！")});
    EXPECT_EQ(session.params().textView(f::caPath), gone);

    const QString ca = write("ca.crt", QByteArray(20, 'c'));
    ASSERT_TRUE(dialog->importFile(CertFile::Ca, ca));
    EXPECT_EQ(session.params().textView(f::caPath), ca.toStdString());
}

TEST_F(Dialogs, ACertificateSaveWithoutCaSendsNothing) {
    TlsDialog* dialog = openTlsDialog();
    ASSERT_TRUE(dialog);
    auto* save = in<QPushButton>(dialog, "saveCertificates");
    ASSERT_TRUE(dialog->importFile(CertFile::ClientKey, write("client.key", QByteArray(10, 'k'))));
    const auto before = device->counters().bytesIn;
    click(save);
    EXPECT_EQ(takeMessages(dialog), QStringList{QStringLiteral("CA文件是必需的，请导入！！！")});
    EXPECT_TRUE(save->isEnabled());
    EXPECT_TRUE(in<QPushButton>(dialog, "readChecksums")->isEnabled());
    QCoreApplication::processEvents();
    EXPECT_EQ(device->counters().bytesIn, before);
}

// The device acknowledges the first chunk and not the second.
class MuteAfterOneChunk : public Dialogs {
protected:
    MuteAfterOneChunk() { simOptions.faults.push_back({sim::FaultKind::Drop, 2, 0}); }
};

TEST_F(MuteAfterOneChunk, AnUnacknowledgedChunkEndsTheSaveWithoutRepetition) {
    TlsDialog* dialog = openTlsDialog();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(dialog->importFile(CertFile::Ca, write("ca.crt", QByteArray(1500, 'c'))));
    click(in<QPushButton>(dialog, "saveCertificates"));
    ASSERT_TRUE(waitFor([&] { return statusOf(dialog, "certStatus") == "保存超时"; }))
        << statusOf(dialog, "certStatus").toStdString();
    EXPECT_EQ(in<QProgressBar>(dialog, "certProgress")->value(), 2);
    EXPECT_TRUE(in<QPushButton>(dialog, "saveCertificates")->isEnabled());
    EXPECT_EQ(device->counters().bytesIn, 2u * 524u) << "two chunks, none repeated";
}

}  // namespace
}  // namespace dtu
