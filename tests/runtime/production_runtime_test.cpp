// The production tools on real sockets and files: the print probe, a label print, the print
// service with its sinks, and the cloud registration against a small server of the test's own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <chrono>
#include <future>
#include <memory>
#include <optional>

#include "cloud_registration.h"
#include "label_print.h"
#include "print_probe.h"
#include "print_server.h"
#include "print_sinks.h"
#include "production/label.h"
#include "support/event_loop.h"

namespace dtu {
namespace {

using test::waitFor;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QStringList spoolFiles(const QString& dir) {
    return QDir(dir).entryList({"job-*.prn"}, QDir::Files, QDir::Name);
}

QByteArray setup() {
    return QByteArray(printerSetup().data(), qsizetype(printerSetup().size()));
}

bool makeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// Runs f on a thread of its own. A call still waiting on the FIFO after 10 s is a failure: a
// writer that comes and goes lets it read an empty file, and nothing is returned.
template <class F>
auto withoutWaitingOn(const QString& fifo, F f) -> std::optional<decltype(f())> {
    auto call = std::async(std::launch::async, f);
    if (call.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return call.get();
    ADD_FAILURE() << fifo.toStdString() << " was waited on";
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
    call.wait();
    return std::nullopt;
}

// The print service in this process, spooling into a folder of the test.
struct Service {
    QTemporaryDir dir;
    SpoolSink spool{dir.filePath("spool")};
    SpoolSink fallback{dir.filePath("unprinted")};
    std::unique_ptr<JobSink> otherSink;
    std::unique_ptr<PrintServer> server;
    QStringList log;

    explicit Service(std::unique_ptr<JobSink> sink = nullptr, HoldLimits limits = {})
        : otherSink(std::move(sink)) {
        test::app();
        server = std::make_unique<PrintServer>(otherSink ? *otherSink : spool, fallback, limits);
        QObject::connect(server.get(), &PrintServer::logLine,
                         [this](const QString& line) { log << line; });
        QString error;
        EXPECT_TRUE(server->listen(0, error)) << error.toStdString();
    }
    void send(const QByteArray& datagram, QUdpSocket& from) {
        from.writeDatagram(datagram, QHostAddress::LocalHost, server->port());
    }
};

TEST(PrintProbe, AnswersOnlyWhileTheServiceRuns) {
    Service service;
    PrintServiceProbe probe;
    std::optional<bool> present;
    QObject::connect(&probe, &PrintServiceProbe::finished, [&](bool p) { present = p; });
    probe.start(QHostAddress::LocalHost, service.server->port());
    ASSERT_TRUE(waitFor([&] { return present.has_value(); }));
    EXPECT_TRUE(*present);

    // A socket that takes the probe and never answers: after the wait, absent.
    QUdpSocket silent;
    ASSERT_TRUE(silent.bind(QHostAddress::LocalHost, 0));
    present.reset();
    probe.start(QHostAddress::LocalHost, silent.localPort());
    ASSERT_TRUE(waitFor([&] { return present.has_value(); }));
    EXPECT_FALSE(*present);
    EXPECT_TRUE(silent.hasPendingDatagrams());
    EXPECT_EQ(silent.receiveDatagram().data(), "test");
}

// A label print seen from the network: every datagram as it arrives.
class LabelPrint : public ::testing::Test {
protected:
    void SetUp() override {
        test::app();
        ASSERT_TRUE(m_receiver.bind(QHostAddress::LocalHost, 0));
        writeFile(path("logo.txt"), "0A0B\r\n0C 0\r\n");
        writeFile(path("label-dtu.txt"), "TEXT 1,1,\"3\",0,1,1,\"mac here\r\nPRINT 1\r\n");
        m_request.mac = {0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5};
        m_request.model = "DTU-X4";
        m_request.imei = "861234567890123";
        m_request.version = "V2.1";
    }
    QString path(const char* name) const { return m_dir.filePath(name); }
    LabelPrintResult print(const QDateTime& when = QDateTime(QDate(2026, 3, 7), QTime(9, 5, 1))) {
        return printLabel(m_dir.path(), m_request, QHostAddress::LocalHost, m_receiver.localPort(),
                          when, Language::English);
    }
    QList<QByteArray> received() {
        QList<QByteArray> out;
        waitFor([&] { return m_receiver.hasPendingDatagrams(); }, 2000);
        while (m_receiver.hasPendingDatagrams()) out << m_receiver.receiveDatagram().data();
        return out;
    }

    QTemporaryDir m_dir;
    QUdpSocket m_receiver;
    LabelRequest m_request;
};

TEST_F(LabelPrint, SendsThreeDatagramsWritesTheLogoAndOneHistoryLine) {
    const LabelPrintResult r = print();
    ASSERT_TRUE(r.printed()) << r.refusalText.toStdString();
    EXPECT_EQ(r.datagrams, 3);
    const auto got = received();
    ASSERT_EQ(got.size(), 3);
    EXPECT_EQ(got[0], setup());
    EXPECT_EQ(got[1], QByteArray("DOWNLOAD \"LOGO.PCX\",4,\x0A\x0B\x0C\x00\r\n", 28));
    EXPECT_EQ(got[2], "TEXT 1,1,\"3\",0,1,1,\"MAC(SN):a0b1c2d3e4f5\"\r\nPRINT 1\r\n");
    EXPECT_EQ(readAll(path("logo.pcx")), QByteArray("\x0A\x0B\x0C\x00", 4));
    const QByteArray line =
        "0001   mac:a0b1c2d3e4f5 model:DTU-X4 imei:861234567890123 version V2.1  "
        "time:2026-03-07 09:05:01\r\n";
    EXPECT_EQ(readAll(path("history.txt")), line);
    EXPECT_EQ(r.historyLine.toUtf8() + "\r\n", line);

    // Printed again, the label goes out again; the history keeps its one line.
    const LabelPrintResult again = print(QDateTime(QDate(2026, 3, 8), QTime(10, 0, 0)));
    EXPECT_TRUE(again.printed());
    EXPECT_TRUE(again.historyDuplicate);
    EXPECT_EQ(received().size(), 3);
    EXPECT_EQ(readAll(path("history.txt")), line);
}

TEST_F(LabelPrint, ARefusedPrintSendsAndRecordsNothing) {
    // Without the no-logo template: the set-up, the logo and the history line are not sent
    // or written ahead of the refusal either.
    m_request.withLogo = false;
    const LabelPrintResult r = print();
    EXPECT_EQ(r.refusal, LabelRefusal::TemplateMissing);
    EXPECT_EQ(r.refusalText, "label-dtunologo.txt");
    EXPECT_FALSE(QFile::exists(path("history.txt")));
    EXPECT_FALSE(QFile::exists(path("logo.pcx")));

    // What reaches the receiver next is the next good print's set-up.
    writeFile(path("label-dtu-nologo.txt"), "model\n");
    ASSERT_TRUE(print().printed());
    const auto got = received();
    ASSERT_EQ(got.size(), 3);
    EXPECT_EQ(got[0], setup());
    EXPECT_EQ(got[2], "Model:DTU-X4\"\r\n");
}

TEST_F(LabelPrint, AFileThatIsNotARegularFileIsRefusedAtOnce) {
    // A FIFO without a writer would hold its opening for ever.
    ASSERT_TRUE(QFile::remove(path("logo.txt")));
    ASSERT_TRUE(makeFifo(path("logo.txt")));
    auto r = withoutWaitingOn(path("logo.txt"), [this] { return print(); });
    ASSERT_TRUE(r);
    EXPECT_EQ(r->refusal, LabelRefusal::LogoMissing);
    EXPECT_EQ(r->readError, path("logo.txt") + ": not a regular file");

    ASSERT_TRUE(makeFifo(path("model.txt")));
    const auto models =
        withoutWaitingOn(path("model.txt"), [this] { return loadModelList(m_dir.path()); });
    ASSERT_TRUE(models);
    EXPECT_TRUE(models->empty());

    // The label still goes out; the history says why it has no line.
    ASSERT_TRUE(QFile::remove(path("logo.txt")));
    writeFile(path("logo.txt"), "0A");
    ASSERT_TRUE(makeFifo(path("history.txt")));
    r = withoutWaitingOn(path("history.txt"), [this] { return print(); });
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->printed());
    EXPECT_EQ(r->fileErrors, QStringList{path("history.txt") + ": not a regular file"});
    EXPECT_TRUE(r->historyLine.isEmpty());
}

TEST(ModelListFile, ReadsTheListOfTheFolder) {
    QTemporaryDir dir;
    EXPECT_TRUE(loadModelList(dir.path()).empty());
    writeFile(dir.filePath("model.txt"), "DTU-A\r\nDTU-B\r\nRTU-C\r\nno end");
    EXPECT_EQ(loadModelList(dir.path()), (std::vector<std::string>{"DTU-A", "DTU-B", "RTU-C"}));
}

TEST(PrintService, SpoolsEachJobWholeInArrivalOrder) {
    Service service;
    QUdpSocket a, b;
    service.send(setup(), a);
    service.send(setup(), b);
    service.send("DOWNLOAD \"LOGO.PCX\",1,\x01\r\n", a);
    service.send("PRINT A\r\n", a);
    service.send("PRINT B\r\n", b);
    const QString spool = service.dir.filePath("spool");
    ASSERT_TRUE(waitFor([&] { return spoolFiles(spool).size() == 2; }));
    const QStringList files = spoolFiles(spool);
    EXPECT_EQ(files[0], "job-000000000001.prn");
    EXPECT_EQ(readAll(spool + "/" + files[0]),
              setup() + "DOWNLOAD \"LOGO.PCX\",1,\x01\r\n" + "PRINT A\r\n");
    EXPECT_EQ(readAll(spool + "/" + files[1]), setup() + "PRINT B\r\n");
    ASSERT_EQ(service.log.size(), 2);
    EXPECT_TRUE(
        service.log[0].contains("3 datagram(s), 219 bytes -> " + spool + "/job-000000000001.prn"))
        << service.log[0].toStdString();

    // A later service on the same folder numbers on after the highest file.
    SpoolSink later(spool);
    QString stored;
    ASSERT_TRUE(later.store("x", stored));
    EXPECT_EQ(stored, spool + "/job-000000000003.prn");
}

TEST(PrintService, AJobTheSinkFailsOnIsKeptInTheFallbackSpool) {
    QTemporaryDir devices;
    const QString printer = devices.filePath("lp0");
    writeFile(printer, {});
    // A device file that works, then one that is gone.
    Service service(std::make_unique<DeviceSink>(printer));
    QUdpSocket a;
    service.send(setup(), a);
    service.send("PRINT 1\r\n", a);
    ASSERT_TRUE(waitFor([&] { return readAll(printer).size() == 185 + 9; }));

    ASSERT_TRUE(QFile::remove(printer));
    service.send(setup(), a);
    service.send("PRINT 2\r\n", a);
    const QString kept = service.dir.filePath("unprinted");
    ASSERT_TRUE(waitFor([&] { return spoolFiles(kept).size() == 1; }));
    EXPECT_EQ(readAll(kept + "/job-000000000001.prn"), setup() + "PRINT 2\r\n");
    EXPECT_FALSE(QFile::exists(printer));  // never created in place of the printer
    ASSERT_EQ(service.log.size(), 2);
    EXPECT_TRUE(service.log[1].contains("device " + printer + " failed"))
        << service.log[1].toStdString();
    EXPECT_TRUE(service.log[1].contains("kept in " + kept + "/job-000000000001.prn"));
}

TEST(PrintService, AQueueThatCannotTakeTheJobLeavesItInTheFallbackSpool) {
    // No such queue (and on a PC without a print system, no lp at all).
    Service service(std::make_unique<QueueSink>("dtuconf-test-no-such-queue"));
    QUdpSocket a;
    service.send(setup(), a);
    service.send("PRINT 1\r\n", a);
    const QString kept = service.dir.filePath("unprinted");
    ASSERT_TRUE(waitFor([&] { return spoolFiles(kept).size() == 1; }, 30000));
    EXPECT_EQ(readAll(kept + "/" + spoolFiles(kept)[0]), setup() + "PRINT 1\r\n");
}

TEST(PrintService, FinishPassesOnOpenJobs) {
    Service service;
    QUdpSocket a;
    service.send(setup(), a);
    bool drained = false;
    QObject::connect(service.server.get(), &PrintServer::drained, [&] { drained = true; });
    // The set-up has arrived once the service holds an open job.
    ASSERT_TRUE(waitFor([&] { return !service.server->idle(); }));
    service.server->finish();
    ASSERT_TRUE(waitFor([&] { return drained; }));
    const QString spool = service.dir.filePath("spool");
    ASSERT_EQ(spoolFiles(spool).size(), 1);
    EXPECT_EQ(readAll(spool + "/job-000000000001.prn"), setup());
    EXPECT_TRUE(service.log[0].contains("(no label datagram)"));
}

TEST(PrintService, PastItsLimitsAJobGoesStraightToTheFallbackSpool) {
    // A printer that takes nothing: the first job's opening of a FIFO nobody reads never ends.
    QTemporaryDir devices;
    const QString printer = devices.filePath("lp0");
    ASSERT_TRUE(makeFifo(printer));
    Service service(std::make_unique<DeviceSink>(printer), HoldLimits{3, 500});
    QUdpSocket a;
    // Jobs of 194, 194, 194, 9 and 9 bytes: the first is with the printer and the second waits
    // (388 bytes held); the third would make 582 bytes, the fourth fits (397 bytes) and the
    // fifth would be a fourth job.
    for (const char* label : {"PRINT 1\r\n", "PRINT 2\r\n", "PRINT 3\r\n"}) {
        service.send(setup(), a);
        service.send(label, a);
    }
    service.send("PRINT 4\r\n", a);
    service.send("PRINT 5\r\n", a);
    const QString kept = service.dir.filePath("unprinted");
    ASSERT_TRUE(waitFor([&] { return spoolFiles(kept).size() == 2; }));
    EXPECT_EQ(readAll(kept + "/job-000000000001.prn"), setup() + "PRINT 3\r\n");
    EXPECT_EQ(readAll(kept + "/job-000000000002.prn"), "PRINT 5\r\n");
    ASSERT_EQ(service.log.size(), 2);
    EXPECT_TRUE(service.log[0].contains(
        "job 3 from 127.0.0.1:" + QString::number(a.localPort()) +
        ": 2 datagram(s), 194 bytes -> not queued: 2 job(s) of 388 bytes held (at most 3 jobs, "
        "500 bytes); kept in " +
        kept + "/job-000000000001.prn"))
        << service.log[0].toStdString();
    EXPECT_TRUE(service.log[1].contains("job 5 from")) << service.log[1].toStdString();

    // At the stop the held jobs are kept too, the one with the printer first.
    service.server->storeRemaining();
    EXPECT_EQ(service.server->lostJobs(), 0);
    EXPECT_TRUE(service.server->idle());
    ASSERT_EQ(spoolFiles(kept).size(), 5);
    EXPECT_EQ(readAll(kept + "/job-000000000003.prn"), setup() + "PRINT 1\r\n");
    EXPECT_EQ(readAll(kept + "/job-000000000005.prn"), "PRINT 4\r\n");
    EXPECT_TRUE(service.log[2].contains("still with device " + printer + " at the stop"));

    // A reader lets the printer's write end: it was the first job, as the log warned.
    const int fd = ::open(QFile::encodeName(printer).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    pollfd readable{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&readable, 1, 10000), 1);
    char got[256];
    EXPECT_EQ(QByteArray(got, qsizetype(std::max<ssize_t>(0, ::read(fd, got, sizeof got)))),
              setup() + "PRINT 1\r\n");
    ::close(fd);
}

TEST(PrintService, CountsTheDatagramsTheSystemDrops) {
    Service service;
    // More than the socket's buffer holds, sent while the service is not reading.
    QUdpSocket a;
    const QByteArray download = "DOWNLOAD " + QByteArray(65000, 'x');
    int sent = 0;
    for (int i = 0; i < 300; ++i)
        sent += a.writeDatagram(download, QHostAddress::LocalHost, service.server->port()) ==
                download.size();
    const QRegularExpression dropLine(R"(dropped (\d+) datagram\(s\) .*\((\d+) since the start\))");
    ASSERT_TRUE(waitFor([&] { return !service.log.filter(dropLine).isEmpty(); }, 20000));
    bool drained = false;
    QObject::connect(service.server.get(), &PrintServer::drained, [&] { drained = true; });
    service.server->finish();
    ASSERT_TRUE(waitFor([&] { return drained; }, 20000));

    // Every datagram sent is either in a job or in the count.
    int dropped = 0;
    int taken = 0;
    const QRegularExpression jobLine(R"( job \d+ from .*: (\d+) datagram\(s\))");
    for (const QString& line : service.log) {
        if (const auto m = dropLine.match(line); m.hasMatch()) dropped = m.captured(2).toInt();
        if (const auto m = jobLine.match(line); m.hasMatch()) taken += m.captured(1).toInt();
    }
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(taken + dropped, sent);
}

TEST(ProductionTimers, AnswerWaitsArePrecise) {
    // A coarse timer may end a 3 s wait 150 ms early: an answer in time must count.
    test::app();
    PrintServiceProbe probe;
    CloudRegistration registration;
    QueueSink queue("q");
    for (const QObject* waiting :
         std::initializer_list<const QObject*>{&probe, &registration, &queue}) {
        const auto timers = waiting->findChildren<QTimer*>();
        ASSERT_FALSE(timers.isEmpty()) << waiting->metaObject()->className();
        for (const QTimer* t : timers)
            EXPECT_EQ(t->timerType(), Qt::PreciseTimer) << waiting->metaObject()->className();
    }
}

// A registration server of the test's own: it reads the 13-byte request and answers with
// `answer`, or closes without a word when it is empty.
class Cloud : public ::testing::Test {
protected:
    void SetUp() override {
        test::app();
        ASSERT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            QTcpSocket* c = m_server.nextPendingConnection();
            QObject::connect(c, &QTcpSocket::readyRead, c, [this, c] {
                m_request += c->readAll();
                if (m_request.size() < 13) return;
                if (!m_answer.isEmpty()) c->write(m_answer);
                c->disconnectFromHost();
            });
            QObject::connect(c, &QTcpSocket::disconnected, c, &QObject::deleteLater);
        });
    }
    std::optional<RegistrationResult> registerAt(quint16 port) {
        CloudRegistration reg;
        std::optional<RegistrationResult> result;
        QObject::connect(&reg, &CloudRegistration::finished,
                         [&](RegistrationResult r) { result = r; });
        const std::array<std::uint8_t, 6> mac{0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
        EXPECT_TRUE(reg.start("127.0.0.1", port, mac));
        EXPECT_FALSE(reg.start("127.0.0.1", port, mac));  // one at a time
        waitFor([&] { return result.has_value(); }, 10000);
        return result;
    }

    QTcpServer m_server;
    QByteArray m_request;
    QByteArray m_answer;
};

TEST_F(Cloud, AnswersOkKoAndEverythingElse) {
    struct Case {
        QByteArray answer;
        RegistrationResult want;
    };
    const Case cases[] = {
        {"ok", RegistrationResult::Added},
        {"ok and more", RegistrationResult::Added},
        {"ko", RegistrationResult::AlreadyAdded},
        {"OK", RegistrationResult::Failed},
        {"\xFF\x00garbage", RegistrationResult::Failed},
        {"", RegistrationResult::Failed},  // closed without an answer
    };
    for (const Case& c : cases) {
        m_request.clear();
        m_answer = c.answer;
        EXPECT_EQ(registerAt(m_server.serverPort()), c.want) << c.answer.toStdString();
        EXPECT_EQ(m_request, QByteArray("\xAD"
                                        "0022334455"
                                        "66"))
            << c.answer.toStdString();
    }
}

TEST_F(Cloud, NobodyListeningIsAFailure) {
    const quint16 port = m_server.serverPort();
    m_server.close();
    EXPECT_EQ(registerAt(port), RegistrationResult::Failed);
}

}  // namespace
}  // namespace dtu
