// The session on slow lines, against the simulated device paced to the line rate: the device
// takes the bytes off the line no faster than the line carries them, while the port reports
// every write done at once.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "cert_upload.h"
#include "firmware_upgrade.h"
#include "params/item_codec.h"
#include "pty_server.h"
#include "session.h"
#include "support/event_loop.h"

namespace dtu {
namespace {

namespace f = fields;
using test::app;
using test::waitFor;

class SlowLine : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        session.setFactoryRecordDir({});
        QObject::connect(&session, &Session::logAppended,
                         [this](const QString& text, bool) { log += text.toStdString(); });
    }
    bool serveAndOpen(int baud, int stopIndex = 0) {
        sim::SimOptions options;
        options.baud = baud;
        options.lineRate = true;
        std::string error;
        device = sim::PtyServer::start(options, error);
        EXPECT_TRUE(device) << error;
        return device &&
               session.openPort(QString::fromStdString(device->path()), baud, 0, stopIndex);
    }

    std::unique_ptr<sim::PtyServer> device;
    Session session;
    std::string log;
};

void fillPollTable(DeviceParams& p) {
    p.set(f::modbusItemCount, 40);
    for (std::uint32_t i = 0; i < 40; ++i) {
        const auto rec = f::modbusItem(i);
        p.set(rec.slaveAddress, static_cast<std::uint8_t>(1 + i / 8));
        p.set(rec.functionCode, 3);
        p.set(rec.registerCount, 2);
        p.setText(rec.jsonName, "pump_station_sensor_value_" + std::to_string(i));
    }
}

// A polling table of 40 entries makes a save frame of about 2.4 KB: 5 s on the wire at 4800
// baud, longer than the 3000 ms the device has to answer; its read answer is as long.
TEST_F(SlowLine, ASaveAndAReadLongerOnTheWireThanTheirTimeOutSucceed) {
    ASSERT_TRUE(serveAndOpen(4800));
    DeviceParams& p = session.params();
    fillPollTable(p);
    const SaveFrame frame = buildSaveFrame(p, std::nullopt);
    ASSERT_EQ(frame.error, SaveFrameError::None);
    ASSERT_GE(frame.size, 2400u);
    ASSERT_GT(wireTime(frame.size, session.port().line()), std::chrono::milliseconds(5000));

    bool done = false, answered = false;
    QObject::connect(&session, &Session::commandDone, [&](PendingCommand c, bool ok) {
        if (c != PendingCommand::Save) return;
        done = true;
        answered = ok;
    });
    session.flow().setParamsRead();
    ASSERT_TRUE(session.flow().save());
    ASSERT_TRUE(waitFor([&] { return done; }, 20000));
    EXPECT_TRUE(answered);
    EXPECT_EQ(log, "保存参数:成功\r\n");
    EXPECT_EQ(device->image().get(f::modbusItemCount), 40);
    EXPECT_EQ(device->image().textView(f::modbusItem(39).jsonName), "pump_station_sensor_value_39");

    // Reading the table back is as long the other way: the device starts its answer in time,
    // the rest is the line's, and the read is reported once, as a success.
    log.clear();
    done = false;
    p.set(f::modbusItemCount, 0);
    QObject::connect(&session, &Session::commandDone, [&](PendingCommand c, bool ok) {
        if (c != PendingCommand::Read) return;
        done = true;
        answered = ok;
    });
    ASSERT_TRUE(session.flow().read());
    ASSERT_TRUE(waitFor([&] { return done; }, 20000));
    EXPECT_TRUE(answered);
    EXPECT_EQ(log, "获取参数:成功\r\n");
    EXPECT_EQ(p.get(f::modbusItemCount), 40);
}

// One certificate chunk needs 2.2 s on the wire at 2400 baud, more than its 2000 ms time-out.
TEST_F(SlowLine, ACertificateChunkLongerOnTheWireThanItsTimeOutIsAcknowledged) {
    QTemporaryDir dir;
    QFile ca(dir.filePath(QStringLiteral("ca.crt")));
    ASSERT_TRUE(ca.open(QIODevice::WriteOnly));
    ca.write(QByteArray(100, 'c'));
    ca.close();
    ASSERT_TRUE(serveAndOpen(2400));
    CertUploader uploader(session);
    bool done = false, ok = false;
    QObject::connect(&uploader, &CertUploader::finished, [&](bool good, const QString&) {
        done = true;
        ok = good;
    });
    ASSERT_TRUE(uploader.save(ca.fileName(), {}, {}));
    ASSERT_TRUE(waitFor([&] { return done; }, 20000));
    EXPECT_TRUE(ok) << uploader.lastResult().text;
    EXPECT_EQ(device->image().get(f::certChecksums[0]), 100 * 'c');
}

// A port that runs at the transfer rate itself gets its own stop bits back after an upgrade.
TEST_F(SlowLine, AfterAnUpgradeAPortAtTheTransferRateKeepsItsOwnStopBits) {
    ASSERT_TRUE(serveAndOpen(kFirmwareLineBaud, 2));
    ASSERT_EQ(session.port().line().stopIndex, 2);
    FirmwareUpgrader upgrader(session);
    bool done = false, ok = false;
    QObject::connect(&upgrader, &FirmwareUpgrader::finished, [&](bool good, const QString&) {
        done = true;
        ok = good;
    });
    FirmwareImage image{0x07, std::vector<std::uint8_t>(3000, 0x5A)};
    ASSERT_TRUE(upgrader.start(std::move(image), false));
    ASSERT_TRUE(waitFor([&] { return done; }, 30000));
    EXPECT_TRUE(ok) << upgrader.lastResult().text;
    EXPECT_EQ(session.port().line().baud, kFirmwareLineBaud);
    EXPECT_EQ(session.port().line().stopIndex, 2);
}

}  // namespace
}  // namespace dtu
