// The production line end to end: dtuconf reads the simulated device, prints its label through
// dtuprintd into a spool folder, and registers it with a cloud server run by the test.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>

#include "support/event_loop.h"
#include "support/process.h"

namespace dtu {
namespace {

using test::RunResult;
using test::SimProcess;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

const QByteArray kSetup =
    "SPEED 6\r\nDENSITY 8\r\nSET PEEL OFF\r\nSET CUTTER OFF\r\nSET PARTIAL_CUTTER OFF\r\n"
    "SET TEAR ON\r\nDIRECTION 1\r\nSIZE 40.00 mm,30.00 mm\r\nGAP 2.00 mm,0.00 mm\r\n"
    "OFFSET 0.00 mm\r\nSHIFT 0\r\nREFERENCE 0,0\r\n";

class Production : public ::testing::Test {
protected:
    void SetUp() override {
        test::app();
        // The programs find no settings of this PC's user: every place comes from the test.
        ASSERT_TRUE(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
        m_sim = std::make_unique<SimProcess>(DTUSIM_BIN, std::vector<std::string>{});
        ASSERT_FALSE(m_sim->path().empty());
        ASSERT_TRUE(QDir().mkpath(prod()));
    }
    void TearDown() override {
        if (m_printd.state() != QProcess::NotRunning) {
            m_printd.terminate();
            if (!m_printd.waitForFinished(15000)) m_printd.kill();
        }
    }

    QString prod() const { return m_home.filePath("line"); }
    QString spool() const { return m_home.filePath("spool"); }
    std::string prodArg() const { return prod().toStdString(); }

    // dtuprintd on a free port, spooling into spool(); fileSizeLimit > 0 runs it as on a full
    // disk.
    quint16 startPrintd(const QStringList& more = {}, long fileSizeLimit = 0) {
        if (fileSizeLimit > 0) test::limitFileSize(m_printd, fileSizeLimit);
        m_printd.start(DTUPRINTD_BIN, QStringList{"--port", "0", "--spool", spool(), "--fallback",
                                                  m_home.filePath("unprinted")} +
                                          more);
        if (!m_printd.waitForReadyRead(10000)) return 0;
        return quint16(m_printd.readLine().trimmed().toUInt());
    }

    // dtuconf with the device's port, run while this process keeps serving its event loop.
    RunResult dtuconf(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", m_sim->path(), "--production-dir", prodArg()});
        QProcess p;
        p.start(DTUCONF_BIN, test::toQt(args));
        if (!test::waitFor([&] { return p.state() == QProcess::NotRunning; }, 60000)) {
            p.kill();
            p.waitForFinished();
            return {};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
    }

    QStringList spoolFiles() const {
        return QDir(spool()).entryList({"job-*.prn"}, QDir::Files, QDir::Name);
    }

    QTemporaryDir m_home;
    std::unique_ptr<SimProcess> m_sim;
    QProcess m_printd;
};

TEST_F(Production, LabelReachesTheSpoolAsTheExactBytesAndTheHistoryOnce) {
    writeFile(prod() + "/model.txt", "DTU-A\r\nDTU-B\r\n");
    writeFile(prod() + "/logo.txt", "0a0b\r\n0c\r\n");
    writeFile(prod() + "/label-dtu.txt",
              "CLS\r\nPUTPCX 10,10,\"LOGO.PCX\"\r\nTEXT 10,100,\"3\",0,1,1,\"imei\r\n"
              "TEXT 10,130,\"3\",0,1,1,\"mac\r\nTEXT 10,160,\"3\",0,1,1,\"model\r\nPRINT 1\r\n");
    writeFile(prod() + "/label-dtu-nologo.txt", "CLS\r\nBAR mac\r\nPRINT 1\r\n");
    const quint16 port = startPrintd();
    ASSERT_NE(port, 0);

    const RunResult r =
        dtuconf({"label", "--model", "DTU-B", "--print-port", std::to_string(port)});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(
        r.out.starts_with("获取参数:成功\n0001   mac:024a7c319e05 model:DTU-B "
                          "imei:861234050123457 version V24061  time:"))
        << r.out;
    EXPECT_TRUE(has(r.out, "标签已发送：3 个数据包，"));

    ASSERT_TRUE(test::waitFor([&] { return spoolFiles().size() == 1; }, 10000));
    const QByteArray logo = "DOWNLOAD \"LOGO.PCX\",3,\x0a\x0b\x0c\r\n";
    EXPECT_EQ(readAll(spool() + "/" + spoolFiles()[0]),
              kSetup + logo +
                  "CLS\r\nPUTPCX 10,10,\"LOGO.PCX\"\r\n"
                  "TEXT 10,100,\"3\",0,1,1,\"IMEI:861234050123457\"\r\n"
                  "TEXT 10,130,\"3\",0,1,1,\"MAC(SN):024a7c319e05\"\r\n"
                  "TEXT 10,160,\"3\",0,1,1,\"Model:DTU-B\"\r\nPRINT 1\r\n");
    EXPECT_EQ(readAll(prod() + "/logo.pcx"), "\x0a\x0b\x0c");

    // The same device and model without the logo: printed, not recorded again.
    const RunResult again = dtuconf({"--lang", "en", "label", "--model", "DTU-B", "--no-logo",
                                     "--print-port", std::to_string(port)});
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_TRUE(has(again.out, "history.txt already holds this device and model\n"));
    ASSERT_TRUE(test::waitFor([&] { return spoolFiles().size() == 2; }, 10000));
    EXPECT_EQ(readAll(spool() + "/" + spoolFiles()[1]),
              kSetup + logo + "CLS\r\nBAR MAC(SN):024a7c319e05\"\r\nPRINT 1\r\n");

    const QList<QByteArray> lines = readAll(prod() + "/history.txt").split('\n');
    ASSERT_EQ(lines.size(), 2);  // one line, then nothing after its line end
    EXPECT_TRUE(lines[0].startsWith("0001   mac:024a7c319e05 model:DTU-B "));
    // The read also wrote the production record into the same folder.
    EXPECT_FALSE(QDir(prod()).entryList({"factory-*.ini"}).isEmpty());
}

TEST_F(Production, LabelIsRefusedWithoutServiceModelOrLogo) {
    writeFile(prod() + "/model.txt", "DTU-A\r\n");
    writeFile(prod() + "/label-dtu.txt", "PRINT 1\r\n");
    // A socket that takes the probe and never answers.
    QUdpSocket silent;
    ASSERT_TRUE(silent.bind(QHostAddress::LocalHost, 0));
    const std::string silentPort = std::to_string(silent.localPort());

    RunResult r = dtuconf({"label", "--model", "DTU-Z", "--print-port", silentPort});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(has(r.err, "'DTU-Z' is not in ")) << r.err;
    EXPECT_TRUE(has(r.err, "(DTU-A)"));

    r = dtuconf({"label", "--model", "DTU-A", "--print-port", silentPort});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.err, "no print service answers on 127.0.0.1:" + silentPort)) << r.err;

    const quint16 port = startPrintd();
    r = dtuconf({"label", "--model", "DTU-A", "--print-port", std::to_string(port)});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(has(r.err, "dtuconf: not found logo.pcx (cannot open ")) << r.err;
    EXPECT_FALSE(QFile::exists(prod() + "/history.txt"));
    EXPECT_TRUE(spoolFiles().isEmpty());
}

TEST_F(Production, PrintServiceOnAFullDiskNamesEveryJobItCouldNotStore) {
    // Labels of the largest kind (a 10 KiB logo and label) into a service whose files cannot
    // grow past 1000 bytes: neither the spool nor the fallback folder takes them.
    const quint16 port = startPrintd({"--max-jobs", "1"}, 1000);
    ASSERT_NE(port, 0);
    m_printd.setReadChannel(QProcess::StandardError);
    QUdpSocket line;
    for (int i = 1; i <= 2; ++i) {
        for (const QByteArray& d :
             {kSetup, "DOWNLOAD \"LOGO.PCX\",10000," + QByteArray(10000, 'x'),
              "TEXT " + QByteArray(10000, 'y') + "\r\nPRINT " + QByteArray::number(i) + "\r\n"})
            line.writeDatagram(d, QHostAddress::LocalHost, port);
    }
    // Job 1 waits in memory for the fallback folder; job 2 is past --max-jobs and lost at once.
    QByteArray log;
    ASSERT_TRUE(test::waitFor(
        [&] {
            log += m_printd.readAllStandardError();
            return log.contains("job 2 ") && log.contains("LOST");
        },
        10000))
        << log.toStdString();

    m_printd.terminate();
    ASSERT_TRUE(m_printd.waitForFinished(15000));
    log += m_printd.readAllStandardError();
    EXPECT_EQ(m_printd.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_printd.exitCode(), 1) << log.toStdString();
    // Each job is named with why it was lost.
    auto lost = [&](const QByteArray& job, const QByteArray& why) {
        for (const QByteArray& l : log.split('\n'))
            if (l.contains(job + " from ") && l.contains(why) &&
                l.contains("; LOST, cannot keep it"))
                return true;
        return false;
    };
    EXPECT_TRUE(lost("job 1", "not stored before the stop")) << log.toStdString();
    EXPECT_TRUE(lost("job 2", "not queued: 1 job(s)")) << log.toStdString();
    EXPECT_TRUE(log.contains("stopped; 2 job(s) LOST")) << log.toStdString();
    EXPECT_TRUE(spoolFiles().isEmpty());
    EXPECT_TRUE(QDir(m_home.filePath("unprinted")).entryList({"job-*.prn"}).isEmpty());
}

TEST_F(Production, RegisterPrintsTheCloudsAnswer) {
    QTcpServer cloud;
    ASSERT_TRUE(cloud.listen(QHostAddress::LocalHost, 0));
    QByteArray answer;
    QByteArray request;
    QObject::connect(&cloud, &QTcpServer::newConnection, [&] {
        QTcpSocket* c = cloud.nextPendingConnection();
        QObject::connect(c, &QTcpSocket::readyRead, c, [&, c] {
            request += c->readAll();
            if (request.size() < 13) return;
            c->write(answer);
            c->disconnectFromHost();
        });
        QObject::connect(c, &QTcpSocket::disconnected, c, &QObject::deleteLater);
    });
    const std::string server = "127.0.0.1:" + std::to_string(cloud.serverPort());

    answer = "ok";
    RunResult r = dtuconf({"register", "--server", server});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "获取参数:成功\n添加成功\n");
    // The device's MAC without its first byte (02 4a 7c 31 9e 05).
    EXPECT_EQ(request,
              "\xAD"
              "004a7c319e05");

    answer = "ko";
    request.clear();
    r = dtuconf({"register", "--server", server});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "获取参数:成功\n已经添加\n");

    answer = "no";
    request.clear();
    r = dtuconf({"--lang", "en", "register", "--server", server});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "Read Successfully\n添加失败\n");
}

}  // namespace
}  // namespace dtu
