// The window on a production line: its production controls come with the print service
// (dtuprintd, run by the test), a print from the window reaches the service's spool as the
// label's bytes with one history line, and the cloud registration reports in the receive box.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "print_probe.h"
#include "window_fixture.h"

namespace dtu {
namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

const QByteArray kSetup =
    "SPEED 6\r\nDENSITY 8\r\nSET PEEL OFF\r\nSET CUTTER OFF\r\nSET PARTIAL_CUTTER OFF\r\n"
    "SET TEAR ON\r\nDIRECTION 1\r\nSIZE 40.00 mm,30.00 mm\r\nGAP 2.00 mm,0.00 mm\r\n"
    "OFFSET 0.00 mm\r\nSHIFT 0\r\nREFERENCE 0,0\r\n";
const QByteArray kLogoText = "0a0b\r\n0c\r\n";
const QByteArray kLogoDownload = "DOWNLOAD \"LOGO.PCX\",3,\x0a\x0b\x0c\r\n";

// The window on the simulated device, with a production folder and dtuprintd spooling.
class ProductionWindow : public uitest::WindowOnDevice {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir().mkpath(prod()));
        ASSERT_TRUE(writeFile(prod() + "/model.txt", "DTU-A\r\nDTU-B\r\n"));
        ASSERT_TRUE(writeFile(prod() + "/logo.txt", kLogoText));
        ASSERT_TRUE(writeFile(prod() + "/label-dtu.txt",
                              "CLS\r\nTEXT 10,100,\"3\",0,1,1,\"imei\r\n"
                              "TEXT 10,160,\"3\",0,1,1,\"model\r\nPRINT 1\r\n"));
        ASSERT_TRUE(writeFile(prod() + "/label-dtu-nologo.txt", "CLS\r\nBAR mac\r\nPRINT 1\r\n"));
        printd.start(DTUPRINTD_BIN,
                     {"--port", "0", "--spool", spool(), "--fallback", home.filePath("unprinted")});
        ASSERT_TRUE(printd.waitForReadyRead(10000)) << printd.readAllStandardError().toStdString();
        const quint16 port = quint16(printd.readLine().trimmed().toUInt());
        ASSERT_NE(port, 0);

        settings.productionDir = prod().toStdString();
        settings.printPort = port;
        settings.printerModel = 1;  // remembered from the last run
        WindowOnDevice::SetUp();
    }
    void TearDown() override {
        WindowOnDevice::TearDown();
        stopPrintd();
    }
    void stopPrintd() {
        if (printd.state() == QProcess::NotRunning) return;
        printd.terminate();
        if (!printd.waitForFinished(15000)) printd.kill();
    }

    QString prod() const { return home.filePath("line"); }
    QString spool() const { return home.filePath("spool"); }
    QStringList spoolFiles() const {
        return QDir(spool()).entryList({"job-*.prn"}, QDir::Files, QDir::Name);
    }
    QWidget* production() const { return find<QWidget>("production"); }

    QTemporaryDir home;
    QProcess printd;
};

TEST_F(ProductionWindow, ControlsComeWithThePrintServiceAndAPrintReachesItWithOneHistoryLine) {
    ASSERT_TRUE(uitest::waitFor([&] { return production()->isVisible(); }));
    auto* models = find<QComboBox>("modelCombo");
    ASSERT_EQ(models->count(), 2);
    EXPECT_EQ(models->itemText(0), "DTU-A");
    EXPECT_EQ(models->itemText(1), "DTU-B");
    EXPECT_EQ(models->currentIndex(), 1) << "the remembered model";
    auto* print = find<QPushButton>("printButton");
    auto* printNoLogo = find<QPushButton>("printNoLogoButton");
    EXPECT_FALSE(print->isEnabled()) << "no device read yet: no MAC to print";
    EXPECT_FALSE(find<QPushButton>("cloudButton")->isEnabled());

    read();
    ASSERT_TRUE(print->isEnabled());
    click(print);
    EXPECT_TRUE(takeMessages().isEmpty()) << "a printed label shows nothing";
    ASSERT_TRUE(uitest::waitFor([&] { return spoolFiles().size() == 1; }));
    EXPECT_EQ(readAll(spool() + "/" + spoolFiles()[0]),
              kSetup + kLogoDownload +
                  "CLS\r\nTEXT 10,100,\"3\",0,1,1,\"IMEI:861234050123457\"\r\n"
                  "TEXT 10,160,\"3\",0,1,1,\"Model:DTU-B\"\r\nPRINT 1\r\n");
    const QList<QByteArray> history = readAll(prod() + "/history.txt").split('\n');
    ASSERT_EQ(history.size(), 2) << "one line, then nothing after its line end";
    EXPECT_TRUE(history[0].startsWith(
        "0001   mac:024a7c319e05 model:DTU-B imei:861234050123457 version V24061  time:"))
        << history[0].toStdString();

    // A print the files refuse sends nothing and says why.
    ASSERT_TRUE(QFile::remove(prod() + "/logo.txt"));
    click(print);
    EXPECT_EQ(takeMessages(), QStringList{"not found logo.pcx"});
    ASSERT_TRUE(writeFile(prod() + "/logo.txt", kLogoText));
    click(printNoLogo);
    EXPECT_TRUE(takeMessages().isEmpty());
    // The next job is the one without the logo: the refused print put nothing in between.
    ASSERT_TRUE(uitest::waitFor([&] { return spoolFiles().size() == 2; }));
    EXPECT_EQ(readAll(spool() + "/" + spoolFiles()[1]),
              kSetup + kLogoDownload + "CLS\r\nBAR MAC(SN):024a7c319e05\"\r\nPRINT 1\r\n");
    EXPECT_EQ(readAll(prod() + "/history.txt").count('\n'), 1) << "same device and model";
    EXPECT_EQ(window->pcSettings().printerModel, 1);

    // The layout with the production controls, for people to look at.
    const QDir artifacts(QStringLiteral(DTU_ARTIFACTS_DIR));
    ASSERT_TRUE(artifacts.mkpath(QStringLiteral(".")));
    window->resize(1280, 760);
    for (const auto& [lang, name] :
         {std::pair{Language::Chinese, "main-window-production-zh.png"},
          std::pair{Language::English, "main-window-production-en.png"}}) {
        window->setLanguage(lang);
        const QString path = artifacts.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(window->grab().save(path)) << path.toStdString();
        std::printf("screenshot: %s\n", qPrintable(path));
    }

    // Without the service a window stays in normal mode.
    stopPrintd();
    Session otherSession;
    MainWindow other(otherSession, settings);
    auto* probe = other.findChild<PrintServiceProbe*>();
    ASSERT_NE(probe, nullptr);
    QSignalSpy answered(probe, &PrintServiceProbe::finished);
    other.show();
    ASSERT_TRUE(answered.wait(10000));
    EXPECT_FALSE(answered.at(0).at(0).toBool());
    EXPECT_FALSE(other.findChild<QWidget*>(QStringLiteral("production"))->isVisible());
}

TEST_F(ProductionWindow, TheToolsMenuShowsTheProductionFolderAndTheSettingsKeepTheChosenOne) {
    ASSERT_TRUE(uitest::waitFor([&] { return production()->isVisible(); }));
    auto* action = window->findChild<QAction*>(QStringLiteral("productionDirAction"));
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->toolTip(), QDir::toNativeSeparators(prod()));
    EXPECT_TRUE(action->text().startsWith("生产目录 (")) << action->text().toStdString();

    // Another line's folder: its model list, names in GBK or UTF-8, the bytes kept as they are.
    QTemporaryDir other;
    ASSERT_TRUE(writeFile(other.filePath("model.txt"),
                          "DTU-C\r\n\xd0\xcd\xba\xc5"
                          "A\r\n\xe5\x9e\x8b\xe5\x8f\xb7"
                          "B\r\n"));
    window->setProductionDir(other.path());
    auto* models = find<QComboBox>("modelCombo");
    ASSERT_EQ(models->count(), 3);
    EXPECT_EQ(models->itemText(1), "型号A");
    EXPECT_EQ(models->itemData(1).toByteArray(),
              "\xd0\xcd\xba\xc5"
              "A");
    EXPECT_EQ(models->itemText(2), "型号B");
    EXPECT_EQ(models->currentIndex(), 1) << "the choice stays";
    EXPECT_EQ(action->toolTip(), QDir::toNativeSeparators(other.path()));
    EXPECT_EQ(session.factoryRecordDir(), other.path()) << "the production record goes there too";
    EXPECT_EQ(window->pcSettings().productionDir, other.path().toStdString());

    window->setLanguage(Language::English);
    EXPECT_TRUE(action->text().startsWith("Production folder (")) << action->text().toStdString();

    auto* menu = qobject_cast<QMenu*>(action->parent());
    ASSERT_NE(menu, nullptr);
    menu->popup(window->mapToGlobal(QPoint(0, 0)));
    const QString path = QDir(QStringLiteral(DTU_ARTIFACTS_DIR)).filePath("tools-menu-en.png");
    ASSERT_TRUE(QDir().mkpath(QStringLiteral(DTU_ARTIFACTS_DIR)));
    EXPECT_TRUE(menu->grab().save(path)) << path.toStdString();
    menu->close();
}

// The same, with a cloud server run by the test that answers when the test says so.
class ProductionWindowWithCloud : public ProductionWindow {
protected:
    void SetUp() override {
        ASSERT_TRUE(cloud.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&cloud, &QTcpServer::newConnection, [this] {
            QTcpSocket* c = cloud.nextPendingConnection();
            connection = c;
            QObject::connect(c, &QTcpSocket::readyRead, c, [this, c] { request += c->readAll(); });
        });
        settings.cloudHost = "127.0.0.1";
        settings.cloudPort = cloud.serverPort();
        ProductionWindow::SetUp();
    }

    QTcpServer cloud;
    QTcpSocket* connection = nullptr;
    QByteArray request;
};

TEST_F(ProductionWindowWithCloud, AddToCloudSendsTheMacAndShowsTheAnswer) {
    ASSERT_TRUE(uitest::waitFor([&] { return production()->isVisible(); }));
    read();
    auto* add = find<QPushButton>("cloudButton");
    ASSERT_TRUE(add->isEnabled());
    click(add);
    ASSERT_TRUE(uitest::waitFor([&] { return request.size() >= 13; }));
    // The device's MAC (02 4a 7c 31 9e 05) without its first byte.
    EXPECT_EQ(request,
              "\xAD"
              "004a7c319e05");
    EXPECT_FALSE(add->isEnabled()) << "one registration at a time";
    connection->write("ok");
    ASSERT_TRUE(receiveBoxHas("添加成功")) << receiveBox().toStdString();
    EXPECT_TRUE(add->isEnabled());
}

}  // namespace
}  // namespace dtu
