// Firmware and certificate transfers through the session, against the simulated device on a
// pseudo-terminal in the same process.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "cert_upload.h"
#include "firmware_upgrade.h"
#include "pty_server.h"
#include "session.h"
#include "support/event_loop.h"
#include "transfer_receiver.h"

namespace dtu {
namespace {

namespace f = fields;

using test::app;
bool waitFor(const std::function<bool()>& done, int limitMs = 30000) {
    return test::waitFor(done, limitMs);
}

FirmwareImage image(std::uint32_t size) {
    FirmwareImage img{0x07, std::vector<std::uint8_t>(size)};
    for (std::uint32_t i = 0; i < size; ++i) img.data[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    return img;
}

class Transfer : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        session.setFactoryRecordDir({});
    }
    std::unique_ptr<sim::PtyServer> serve(sim::SimOptions options = {}) {
        std::string error;
        auto server = sim::PtyServer::start(options, error);
        EXPECT_TRUE(server) << error;
        return server;
    }
    bool open(const sim::PtyServer& server, int baud = 9600) {
        return session.openPort(QString::fromStdString(server.path()), baud, 0, 0);
    }
    bool readAll() {
        bool done = false, ok = false;
        auto c = QObject::connect(&session, &Session::commandDone, [&](PendingCommand, bool a) {
            done = true;
            ok = a;
        });
        session.flow().read();
        waitFor([&] { return done; }, 10000);
        QObject::disconnect(c);
        return ok;
    }

    Session session;
};

struct Outcome {
    bool done = false;
    bool ok = false;
    QString text;
    std::vector<QString> status;
    quint32 lastDone = 0, lastTotal = 0;
};

template <typename Job>
void watch(Job& job, Outcome& o) {
    QObject::connect(&job, &Job::finished, [&o](bool ok, const QString& text) {
        o.done = true;
        o.ok = ok;
        o.text = text;
    });
    QObject::connect(&job, &Job::statusText, [&o](const QString& t) { o.status.push_back(t); });
    QObject::connect(&job, &Job::progressChanged, [&o](quint32 d, quint32 t) {
        o.lastDone = d;
        o.lastTotal = t;
    });
}

TEST_F(Transfer, UpgradeRunsAtTheTransferRateAndLeavesTheLineAsItWas) {
    auto server = serve();
    ASSERT_TRUE(open(*server));
    FirmwareUpgrader upgrader(session);
    Outcome o;
    watch(upgrader, o);
    const FirmwareImage img = image(5000);
    ASSERT_TRUE(upgrader.start(img, true));
    ASSERT_TRUE(waitFor([&] { return o.done; }));
    EXPECT_TRUE(o.ok) << o.text.toStdString();
    EXPECT_EQ(o.text, QStringLiteral("升级成功"));
    EXPECT_EQ(o.lastDone, 5u);
    EXPECT_EQ(o.lastTotal, 5u);
    EXPECT_TRUE(upgrader.lastResult().factoryResetDone);
    EXPECT_EQ(session.lineBaud(), 9600);
    EXPECT_EQ(server->image().textView(f::firmwareVersion), sim::installedVersion(0x07, img.data));

    // Answers go back to the session's own handling: a read works at the old rate.
    ASSERT_TRUE(readAll());
    EXPECT_EQ(session.params().textView(f::firmwareVersion), sim::installedVersion(0x07, img.data));
}

TEST_F(Transfer, HangUpMidTransferEndsTheUpgradeAndTheSessionWorksOnAnotherPort) {
    sim::SimOptions options;
    options.faults.push_back({sim::FaultKind::HangUp, 4, 0});  // the answer to block 1
    auto broken = serve(options);
    ASSERT_TRUE(open(*broken));
    FirmwareUpgrader upgrader(session);
    Outcome o;
    watch(upgrader, o);
    ASSERT_TRUE(upgrader.start(image(8000), false));
    ASSERT_TRUE(waitFor([&] { return o.done; }));
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.text, QStringLiteral("升级中串口已关闭"));
    EXPECT_FALSE(upgrader.running());
    EXPECT_FALSE(session.isOpen());

    auto good = serve();
    ASSERT_TRUE(open(*good));
    EXPECT_TRUE(readAll());
    EXPECT_EQ(session.lineBaud(), 9600);
}

TEST_F(Transfer, AClosedPortOrAMissingFileIsRefused) {
    FirmwareUpgrader upgrader(session);
    Outcome o;
    watch(upgrader, o);
    EXPECT_FALSE(upgrader.start(image(10), false));
    EXPECT_TRUE(o.done);
    EXPECT_FALSE(o.ok);

    QString error;
    EXPECT_FALSE(FirmwareUpgrader::loadImage("/nonexistent/fw.bin", Language::English, error));
    EXPECT_EQ(error, QStringLiteral("open failed"));
    QTemporaryDir dir;

    CertUploader uploader(session);
    QString refusal;
    QObject::connect(&uploader, &CertUploader::refused, [&](const QString& t) { refusal = t; });
    EXPECT_FALSE(uploader.save(dir.filePath("none.crt"), {}, {}));
    EXPECT_EQ(refusal, QStringLiteral("CA文件是必需的，请导入！！！"));
}

TEST_F(Transfer, CertificatesAreSavedAndTheirChecksumsReadBack) {
    QTemporaryDir dir;
    auto write = [&](const char* name, int size, char fill) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, fill));
        return file.fileName();
    };
    const QString ca = write("ca.crt", 1500, 'c'), key = write("client.key", 900, 'k');
    const QString huge = write("huge.crt", 4001, 'h');
    EXPECT_EQ(CertUploader::checkFile(huge, CertFile::ClientCert, Language::English).error,
              QStringLiteral("file is huge!!!"));
    const auto caCheck = CertUploader::checkFile(ca, CertFile::Ca, Language::English);
    EXPECT_TRUE(caCheck.error.isEmpty());
    EXPECT_EQ(caCheck.checksum, (1500 * 'c') % 65536);

    auto server = serve();
    ASSERT_TRUE(open(*server));
    CertUploader uploader(session);
    Outcome saved;
    watch(uploader, saved);
    ASSERT_TRUE(uploader.save(ca, {}, key));
    ASSERT_TRUE(waitFor([&] { return saved.done; }));
    EXPECT_TRUE(saved.ok) << saved.text.toStdString();
    EXPECT_EQ(saved.status.back(), QStringLiteral("保存成功"));
    EXPECT_EQ(saved.lastDone, 5u);  // 1500 + 2 + 2 + 900 bytes

    Outcome read;
    watch(uploader, read);
    ASSERT_TRUE(uploader.readChecksums());
    ASSERT_TRUE(waitFor([&] { return read.done; }));
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(uploader.lastResult().checksums,
              (std::array<std::uint16_t, 3>{CertUploader::fileChecksum(ca), 0,
                                            CertUploader::fileChecksum(key)}));
}

}  // namespace
}  // namespace dtu
