// The session on a real pseudo-terminal, with the test playing the device on the other side.
#include "session.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <memory>

#include "support/bytes.h"
#include "support/event_loop.h"

namespace dtu {
namespace {

using test::Block;
using test::Bytes;
using test::hex;

using test::app;
using test::waitFor;

class SessionOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(m_master, 0);
        ASSERT_EQ(grantpt(m_master), 0);
        ASSERT_EQ(unlockpt(m_master), 0);
        QObject::connect(&session, &Session::logAppended,
                         [this](const QString& text, bool) { log += text.toStdString(); });
        QObject::connect(&session, &Session::portFailed, [this] { failed = true; });
        session.setFactoryRecordDir({});
        ASSERT_TRUE(session.openPort(ptsname(m_master), 9600, 0, 0));
    }
    void TearDown() override {
        session.closePort();
        if (m_master >= 0) ::close(m_master);
    }
    // Bytes the tool wrote, as the device sees them.
    Bytes received(std::size_t n) {
        Bytes out;
        waitFor([&] {
            std::uint8_t buf[512];
            const ssize_t k = ::read(m_master, buf, sizeof buf);
            if (k > 0) out.insert(out.end(), buf, buf + k);
            return out.size() >= n;
        });
        return out;
    }
    void send(const Bytes& b) {
        ASSERT_EQ(::write(m_master, b.data(), b.size()), ssize_t(b.size()));
    }
    // Runs request once, right after the session has taken the first bytes that arrive: in
    // the same moment, so no gathering pause can have ended in between.
    void requestOnArrival(std::function<void()> request) {
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = QObject::connect(&session.port(), &SerialPort::bytesArrived,
                                 [once, request = std::move(request)] {
                                     QObject::disconnect(*once);
                                     request();
                                 });
    }

    Session session;
    std::string log;
    bool failed = false;
    int m_master = -1;
};

TEST_F(SessionOnPty, AnAnswerSentInPiecesIsOneFrame) {
    ::fcntl(m_master, F_SETFL, O_NONBLOCK);
    ASSERT_TRUE(session.flow().reboot());
    EXPECT_EQ(received(7), hex("88 3A 06 00 00 45 2E"));
    send(hex("88 3A 86"));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 30);
    send(hex("00 00 45 2E"));
    ASSERT_TRUE(waitFor([&] { return !log.empty(); }));
    EXPECT_EQ(log, "重启设备:成功\r\n");
}

TEST_F(SessionOnPty, RawDataIsShownAndStaleBytesDoNotSpoilTheNextAnswer) {
    ::fcntl(m_master, F_SETFL, O_NONBLOCK);
    send(hex("4F 4B"));
    ASSERT_TRUE(waitFor([&] { return !log.empty(); }));
    EXPECT_EQ(log, "数据:OK \r\n");

    // Half a frame, then a request in the same moment, before any pause could end the burst:
    // the answer that follows stands on its own.
    log.clear();
    requestOnArrival([&] { session.flow().factoryReset(); });
    send(hex("88 3A 83 00"));
    EXPECT_EQ(received(7), hex("88 3A 05 00 00 45 2E"));
    send(hex("88 3A 85 00 00 45 2E"));
    ASSERT_TRUE(waitFor([&] { return !log.empty(); }));
    EXPECT_EQ(log, "恢复出厂:成功\r\n");
}

TEST_F(SessionOnPty, RawDataGatheredWhenARequestGoesOutIsShownFirst) {
    ::fcntl(m_master, F_SETFL, O_NONBLOCK);
    requestOnArrival([&] { session.flow().reboot(); });
    send(hex("4F 4B"));
    EXPECT_EQ(received(7), hex("88 3A 06 00 00 45 2E"));
    EXPECT_EQ(log, "数据:OK \r\n");
    send(hex("88 3A 86 00 00 45 2E"));
    ASSERT_TRUE(waitFor([&] { return log.size() > 12; }));
    EXPECT_EQ(log, "数据:OK \r\n重启设备:成功\r\n");
}

TEST_F(SessionOnPty, LineSettingsThePortRefusesAreReportedInTheSessionsLanguage) {
    std::vector<QString> warnings;
    QObject::connect(&session, &Session::lineWarning,
                     [&](const QString& text) { warnings.push_back(text); });
    session.closePort();
    // A pseudo-terminal has no parity.
    ASSERT_TRUE(session.openPort(ptsname(m_master), 9600, 2, 0));
    session.setLanguage(Language::English);
    session.setLineBaud(4800);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], QStringLiteral("串口不接受这些设置：校验位"));
    EXPECT_EQ(warnings[1], QStringLiteral("The port refused these line settings: parity"));
    // The line works with the rest; its time on the wire is that of what it really runs.
    EXPECT_EQ(session.port().line().parityIndex, 0);
    EXPECT_EQ(session.port().line().baud, 4800);
}

TEST_F(SessionOnPty, WhileAFirmwareReceiverIsSetEveryBurstGoesToIt) {
    std::vector<Bytes> got;
    session.setFirmwareReceiver(
        [&](std::span<const std::uint8_t> b) { got.emplace_back(b.begin(), b.end()); });
    send(hex("88 3A 87 00 00 45 2E 4F 4B"));
    ASSERT_TRUE(waitFor([&] { return got.size() == 2; }));
    EXPECT_EQ(got[0], hex("88 3A 87 00 00 45 2E"));
    EXPECT_EQ(got[1], hex("4F 4B"));
    EXPECT_EQ(log, "");

    session.setFirmwareReceiver(nullptr);
    send(hex("4F 4B"));
    ASSERT_TRUE(waitFor([&] { return !log.empty(); }));
    EXPECT_EQ(got.size(), 2u);
}

TEST_F(SessionOnPty, ALineThatDiesClosesThePortAndSaysSo) {
    ASSERT_TRUE(session.flow().read());
    ::close(m_master);
    m_master = -1;
    ASSERT_TRUE(waitFor([&] { return failed; }));
    EXPECT_FALSE(session.isOpen());
    EXPECT_NE(log.find("串口异常，已关闭"), std::string::npos);
    // The read's time-out still reports, and nothing more is written to a closed port.
    ASSERT_TRUE(waitFor([&] { return log.find("获取参数失败") != std::string::npos; }));
    EXPECT_FALSE(session.flow().reboot());
}

TEST_F(SessionOnPty, OnlyAFullReadAddsTheDeviceToTheProductionRecord) {
    QTemporaryDir records;
    session.setFactoryRecordDir(records.path());
    int decoded = 0;
    QObject::connect(&session, &Session::decoded, [&] { ++decoded; });
    auto answer = [](const Block& block) {
        Bytes f = hex("88 3A 83");
        const Bytes b = block.bytes();
        f.insert(f.end(), b.begin(), b.end());
        f.insert(f.end(), {0x45, 0x2E});
        return f;
    };
    Bytes identity(41, 0);
    identity[0] = 0x02;
    identity[5] = 0x55;
    send(answer(Block().item(1, hex("04 01 08 01 14")).item(176, identity)));
    ASSERT_TRUE(waitFor([&] { return decoded == 1; }));
    const QDir dir(records.path());
    ASSERT_FALSE(dir.entryList(QDir::Files).isEmpty());
    for (const QString& name : dir.entryList(QDir::Files)) QFile::remove(dir.filePath(name));

    // The I/O poll of the RTU form answers every second: nothing new to record.
    for (int poll = 1; poll <= 3; ++poll) {
        send(answer(Block().item(0x50, Bytes(8, 0)).item(0x53, Bytes(32, 0))));
        ASSERT_TRUE(waitFor([&] { return decoded == 1 + poll; }));
    }
    EXPECT_TRUE(dir.entryList(QDir::Files).isEmpty());
}

}  // namespace
}  // namespace dtu
