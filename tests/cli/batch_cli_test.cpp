// dtuconf batch against several simulated devices at once, over real pseudo-terminals, with the
// provisioning record in a real SQLite file and on a real PostgreSQL server.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/event_loop.h"
#include "support/pg_server.h"
#include "support/private_home.h"
#include "support/process.h"

namespace dtu {
namespace {

[[maybe_unused]] const bool kPrivateHome = test::usePrivateHome();

using test::RunResult;
using test::SimProcess;

RunResult dtuconf(const std::vector<std::string>& args) {
    return test::runProgram(DTUCONF_BIN, args);
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A port where no device answers: a pseudo-terminal whose other end stays silent.
class DeadPort {
public:
    DeadPort() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_path = ptsname(m_master);
    }
    ~DeadPort() {
        if (m_master >= 0) close(m_master);
    }
    const std::string& path() const { return m_path; }
    // What the other end has written to the port so far.
    std::string received() const {
        std::string bytes;
        char buffer[256];
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        for (ssize_t n; (n = ::read(m_master, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, static_cast<std::size_t>(n));
        return bytes;
    }

private:
    int m_master = -1;
    std::string m_path;
};

// The record's rows, by port, as `dtuconf records --json` lists them.
std::map<std::string, QJsonObject> recordsByPort(const std::string& record) {
    const RunResult r = dtuconf({"records", "--record", record, "--json"});
    EXPECT_EQ(r.code, 0) << r.err;
    std::map<std::string, QJsonObject> rows;
    for (const auto& v : QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array()) {
        const QJsonObject o = v.toObject();
        rows[o["port"].toString().toStdString()] = o;
    }
    return rows;
}

std::string text(const QJsonObject& o, const char* key) {
    return o[key].toString().toStdString();
}

// dtuconf running in the background, watched as it prints.
class Running {
public:
    explicit Running(const std::vector<std::string>& args) {
        m_process.start(DTUCONF_BIN, test::toQt(args));
        m_process.closeWriteChannel();
    }
    ~Running() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    // Waits (a limit, not a pace) until the output (or the errors) holds every part.
    bool printed(const std::vector<std::string>& parts) {
        QElapsedTimer since;
        since.start();
        for (;;) {
            m_out += m_process.readAllStandardOutput().toStdString();
            m_err += m_process.readAllStandardError().toStdString();
            if (std::all_of(parts.begin(), parts.end(),
                            [&](auto& p) { return has(m_out, p) || has(m_err, p); }))
                return true;
            if (since.elapsed() > 30000 || !m_process.waitForReadyRead(1000)) {
                if (m_process.state() == QProcess::NotRunning || since.elapsed() > 30000)
                    return false;
            }
        }
    }
    void signal(int signo) { ::kill(static_cast<pid_t>(m_process.processId()), signo); }
    RunResult finish() {
        m_process.waitForFinished(60000);
        RunResult r;
        r.code = m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
        r.out = m_out + m_process.readAllStandardOutput().toStdString();
        r.err = m_err + m_process.readAllStandardError().toStdString();
        return r;
    }

private:
    QProcess m_process;
    std::string m_out, m_err;
};

// A second writer on an SQLite record, holding its write lock while it lives.
class SqliteWriter {
public:
    explicit SqliteWriter(const std::string& file) {
        test::app();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other-writer");
            db.setDatabaseName(QString::fromStdString(file));
            m_locked = db.open() && QSqlQuery(db).exec("BEGIN IMMEDIATE");
        }
    }
    ~SqliteWriter() {
        {
            QSqlDatabase db = QSqlDatabase::database("other-writer");
            QSqlQuery(db).exec("ROLLBACK");
            db.close();
        }
        QSqlDatabase::removeDatabase("other-writer");
    }
    bool locked() const { return m_locked; }

private:
    bool m_locked = false;
};

class Batch : public ::testing::Test {
protected:
    std::unique_ptr<SimProcess> sim(std::vector<std::string> args) {
        auto s = std::make_unique<SimProcess>(DTUSIM_BIN, args);
        EXPECT_FALSE(s->path().empty()) << "dtusim printed no path";
        return s;
    }
    std::string write(const char* name, const std::string& content) {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content.data(), static_cast<qint64>(content.size()));
        return path.toStdString();
    }
    std::string file(const char* name) const { return m_dir.filePath(name).toStdString(); }
    std::string readField(const SimProcess& s, const char* baud, const std::string& line) {
        const RunResult r = dtuconf({"--port", s.path(), "--baud", baud, "read"});
        EXPECT_EQ(r.code, 0) << r.err;
        return has(r.out, "\n" + line + "\n") ? line : r.out;
    }

    // One device that takes its row, one whose row holds a value its field cannot take, one
    // port where nothing answers, one device that hangs up while it answers the save: each
    // ends as it must, none stops the others, and the record says exactly that.
    void mixedBatch(const std::string& record) {
        auto good = sim({"--baud", "115200"});
        auto untouched = sim({"--baud", "115200"});
        auto hangsUp = sim({"--baud", "115200", "--hangup", "2"});
        DeadPort dead;
        ASSERT_FALSE(dead.path().empty());
        const std::string plan =
            write("plan.csv",
                  "port,serverAHost,serverAPort\r\n" + good->path() + ",line.example,7001\r\n" +
                      untouched->path() + ",bad.example,70000\r\n" + dead.path() +
                      ",dead.example,7002\r\n" + hangsUp->path() + ",gone.example,7003\r\n");
        const RunResult r =
            dtuconf({"batch", "--plan", plan, "--baud", "115200", "--record", record, "--station",
                     "line-7", "--production-dir", file("production")});
        EXPECT_EQ(r.code, 1) << r.out << r.err;
        EXPECT_TRUE(has(r.out, good->path() + " 861234050123457: ok\n")) << r.out;
        EXPECT_TRUE(has(r.out, untouched->path() +
                                   ": failed at plan: column serverAPort: out of range 0..65535: "
                                   "70000\n"))
            << r.out;
        EXPECT_TRUE(has(r.out, dead.path() + ": failed at read: 获取参数失败\n")) << r.out;
        EXPECT_TRUE(has(r.out, hangsUp->path() + " 861234050123457: failed at save: 串口异常"))
            << r.out;
        EXPECT_TRUE(has(r.out, "done 1, failed 3 in ")) << r.out;

        // The device that succeeded holds its row; the one with the bad row was never touched.
        EXPECT_EQ(readField(*good, "115200", "serverAHost = \"line.example\""),
                  "serverAHost = \"line.example\"");
        EXPECT_EQ(readField(*untouched, "115200", "serverAHost = \"test.example.com\""),
                  "serverAHost = \"test.example.com\"");

        auto rows = recordsByPort(record);
        ASSERT_EQ(rows.size(), 4u);
        const QJsonObject& ok = rows[good->path()];
        EXPECT_EQ(text(ok, "result"), "ok");
        EXPECT_EQ(text(ok, "station"), "line-7");
        EXPECT_EQ(text(ok, "imei"), "861234050123457");
        EXPECT_EQ(text(ok, "iccid"), "89860023123456789012");
        EXPECT_EQ(text(ok, "mac"), "024a7c319e05");
        EXPECT_EQ(text(ok, "model"), "DTU-4G-C1");
        EXPECT_EQ(text(ok, "firmware_version"), "V24061");
        EXPECT_EQ(text(ok, "params_sha256").size(), 64u);
        EXPECT_TRUE(ok["failed_step"].isNull());
        EXPECT_LE(text(ok, "started_at"), text(ok, "ended_at"));

        const QJsonObject& plan_ = rows[untouched->path()];
        EXPECT_EQ(text(plan_, "result"), "failed");
        EXPECT_EQ(text(plan_, "failed_step"), "plan");
        EXPECT_EQ(text(plan_, "reason"), "column serverAPort: out of range 0..65535: 70000");
        EXPECT_TRUE(plan_["imei"].isNull());

        const QJsonObject& deadRow = rows[dead.path()];
        EXPECT_EQ(text(deadRow, "failed_step"), "read");
        EXPECT_TRUE(deadRow["imei"].isNull());
        EXPECT_TRUE(deadRow["params_sha256"].isNull());

        const QJsonObject& hung = rows[hangsUp->path()];
        EXPECT_EQ(text(hung, "failed_step"), "save");
        EXPECT_EQ(text(hung, "imei"), "861234050123457");
        EXPECT_TRUE(has(text(hung, "reason"), "串口异常")) << text(hung, "reason");
        EXPECT_TRUE(hung["params_sha256"].isNull());  // the save was never acknowledged
    }

    QTemporaryDir m_dir;
};

TEST_F(Batch, EachDeviceFailsAloneAndTheSqliteRecordSaysWhatHappened) {
    mixedBatch(file("record.sqlite"));
}

TEST_F(Batch, ImeiRowsFindTheirDevicesOnTheScannedPorts) {
    // Three devices behind links in one folder: two in the plan, one not; one row has none.
    QDir(m_dir.path()).mkdir("ports");
    auto a = sim({"--imei", "861234050000011", "--link", file("ports/dev0")});
    auto b = sim({"--imei", "861234050000029", "--link", file("ports/dev1")});
    auto stranger = sim({"--imei", "861234050000037", "--link", file("ports/dev2")});
    // One of them under a second name: looked at once.
    ASSERT_TRUE(QFile::link(QString::fromStdString(a->path()), m_dir.filePath("ports/dev3")));
    const std::string plan = write("plan.csv",
                                   "imei,serverAPort\n"
                                   "861234050000029,7102\n"
                                   "861234050000011,7101\n"
                                   "861234050000045,7104\n");
    const std::string record = file("record.sqlite");
    const RunResult r =
        dtuconf({"batch", "--plan", plan, "--ports", file("ports/dev*"), "--baud", "auto", "--jobs",
                 "2", "--record", record, "--production-dir", file("production")});
    EXPECT_EQ(r.code, 1) << r.out << r.err;  // one row found no device
    EXPECT_TRUE(has(r.out, file("ports/dev0") + " 861234050000011: ok\n")) << r.out;
    EXPECT_TRUE(has(r.out, file("ports/dev1") + " 861234050000029: ok\n")) << r.out;
    EXPECT_TRUE(has(r.out, file("ports/dev2") +
                               " 861234050000037: skipped: IMEI 861234050000037 is not in the "
                               "plan\n"))
        << r.out;
    EXPECT_TRUE(has(r.out,
                    "\n861234050000045: failed at match: no device on the ports reported "
                    "this IMEI\n"))
        << r.out;
    EXPECT_TRUE(has(r.out, "done 2, failed 1, skipped 1 in ")) << r.out;
    EXPECT_TRUE(has(r.err, file("ports/dev3") + " is " + file("ports/dev0") + ": looked at once"))
        << r.err;
    EXPECT_EQ(readField(*a, "9600", "serverAPort = 7101"), "serverAPort = 7101");
    EXPECT_EQ(readField(*b, "9600", "serverAPort = 7102"), "serverAPort = 7102");
    EXPECT_EQ(readField(*stranger, "9600", "serverAPort = 6000"), "serverAPort = 6000");

    // The record has the two devices and the row without one, not the device left alone.
    const RunResult csv = dtuconf({"records", "--record", record, "--csv"});
    EXPECT_EQ(csv.code, 0);
    EXPECT_TRUE(
        csv.out.starts_with("id,station,port,imei,iccid,mac,model,firmware_version,"
                            "params_sha256,result,failed_step,reason,started_at,"
                            "ended_at\r\n"))
        << csv.out;
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 4);
    const RunResult one = dtuconf({"records", "--record", record, "--imei", "861234050000045"});
    EXPECT_EQ(one.code, 0);
    EXPECT_TRUE(has(one.out, "861234050000045  -  -  failed at match: no device")) << one.out;
    EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 1);
}

TEST_F(Batch, FirmwareAndCertificatesGoWithEveryDevice) {
    auto device = sim({"--baud", "115200"});
    std::string fw(20, '\0');
    fw[15] = 0x21;
    const std::uint32_t size = 3000;
    for (int i = 0; i < 4; ++i) fw[16 + i] = static_cast<char>(size >> (24 - 8 * i));
    for (std::uint32_t i = 0; i < size; ++i) fw.push_back(static_cast<char>(i * 7));
    const std::string image = write("fw.bin", fw);
    const std::string ca = write("ca.crt", "-----BEGIN CERTIFICATE-----\nMIIB\n");
    const std::string plan =
        write("plan.csv", "port,mqttHost\n" + device->path() + ",mq.example\n");
    const std::string record = file("record.sqlite");
    const RunResult r = dtuconf({"batch", "--plan", plan, "--baud", "115200", "--firmware", image,
                                 "--factory-reset", "--ca", ca, "--record", record,
                                 "--production-dir", file("production")});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    for (const char* step : {": firmware\n", ": reread\n", ": save\n", ": certs\n", ": readback\n"})
        EXPECT_TRUE(has(r.out, step)) << step << r.out;
    auto rows = recordsByPort(record);
    ASSERT_EQ(rows.size(), 1u);
    const QJsonObject& row = rows[device->path()];
    EXPECT_EQ(text(row, "result"), "ok");
    // The version the new firmware reports, not the one before it.
    EXPECT_TRUE(text(row, "firmware_version").starts_with("V21-3000-"))
        << text(row, "firmware_version");
    // The factory reset came before the save, so the row's value stayed.
    EXPECT_EQ(readField(*device, "115200", "mqttHost = \"mq.example\""),
              "mqttHost = \"mq.example\"");
}

TEST_F(Batch, OnATerminalTheTableIsRedrawnInPlace) {
    auto device = sim({"--baud", "115200"});
    const std::string plan = write("plan.csv", "port,serverAPort\n" + device->path() + ",7201\n");
    const std::string command = std::string(DTUCONF_BIN) + " batch --plan " + plan +
                                " --baud 115200 --record " + file("record.sqlite") +
                                " --production-dir " + file("production");
    // script gives the command a terminal of its own.
    const RunResult r = test::runProgram("script", {"-qec", command, "/dev/null"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "PORT")) << r.out;
    EXPECT_TRUE(has(r.out, "\x1b[2K")) << r.out;  // lines cleared as they are drawn again
    EXPECT_TRUE(has(r.out, "\x1b[2A")) << r.out;  // back to the header: two lines up
    EXPECT_TRUE(has(r.out, "861234050123457")) << r.out;
    EXPECT_FALSE(has(r.out, ": readback\r\n"));  // no plain step lines
    EXPECT_TRUE(has(r.out, "done 1, failed 0 in ")) << r.out;
}

TEST_F(Batch, NothingIsTouchedWhenThePlanOrTheRecordIsRefused) {
    auto device = sim({"--baud", "115200"});
    const std::string port = device->path();
    const std::string good = write("plan.csv", "port,serverAPort\n" + port + ",7301\n");
    auto batch = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {"batch", "--baud", "115200", "--production-dir",
                                         file("production")};
        args.insert(args.end(), extra.begin(), extra.end());
        return dtuconf(args);
    };
    const RunResult noRecord =
        batch({"--plan", good, "--record", file("no/such/folder/record.sqlite")});
    EXPECT_EQ(noRecord.code, 1);
    EXPECT_TRUE(has(noRecord.err, "dtuconf: cannot open the provisioning record ")) << noRecord.err;
    EXPECT_EQ(noRecord.out, "");

    const RunResult shape =
        batch({"--plan", write("shape.csv", "port,noSuchField\n" + port + ",1\n")});
    EXPECT_EQ(shape.code, 3);
    EXPECT_TRUE(has(shape.err, "shape.csv: line 1, column 2 (noSuchField): not a field"))
        << shape.err;

    // One device under two names is one device: driving it twice at once is refused.
    const std::string alias = "/dev/.." + port;
    const RunResult twice = batch(
        {"--plan", write("twice.csv", "port,serverAPort\n" + port + ",1\n" + alias + ",2\n")});
    EXPECT_EQ(twice.code, 3);
    EXPECT_TRUE(has(twice.err, "twice.csv: line 3: '" + alias + "' is the device of line 2"))
        << twice.err;

    const RunResult imei = batch({"--plan", write("imei.csv", "imei\n861234050123457\n")});
    EXPECT_EQ(imei.code, 2);
    EXPECT_TRUE(has(imei.err, "needs --ports")) << imei.err;

    // A row that the base makes unsendable (bytes that fill a text, as an older file holds
    // them) fails at the plan, before its port is opened.
    std::string full;
    for (int i = 0; i < 64; ++i) full += "62";
    const RunResult base =
        batch({"--plan", good, "--base",
               write("base.json", "{\"serverAHost\": {\"hex\": \"" + full + "\"}}"), "--record",
               file("record.sqlite")});
    EXPECT_EQ(base.code, 1);
    EXPECT_TRUE(has(base.out, port + ": failed at plan: ")) << base.out;
    EXPECT_FALSE(has(base.out, port + ": open")) << base.out;

    EXPECT_EQ(readField(*device, "115200", "serverAPort = 6000"), "serverAPort = 6000");
}

TEST_F(Batch, SigintLetsTheSavesInFlightEndAndRecordsEveryDevice) {
    // Three devices that answer their save two seconds late: the signal finds all three
    // waiting for it.
    std::vector<std::unique_ptr<SimProcess>> devices;
    std::string plan = "port,serverAPort\n";
    for (int i = 0; i < 3; ++i) {
        devices.push_back(sim({"--baud", "115200", "--delay", "2:2000"}));
        plan += devices.back()->path() + "," + std::to_string(7401 + i) + "\n";
    }
    const std::string record = file("record.sqlite");
    Running batch({"batch", "--plan", write("plan.csv", plan), "--baud", "115200", "--record",
                   record, "--production-dir", file("production")});
    std::vector<std::string> saving;
    for (const auto& d : devices) saving.push_back(d->path() + " 861234050123457: save\n");
    ASSERT_TRUE(batch.printed(saving));
    batch.signal(SIGINT);
    const RunResult r = batch.finish();
    EXPECT_EQ(r.code, 130) << r.out << r.err;
    EXPECT_TRUE(has(r.err, "SIGINT: no device is started any more")) << r.err;
    EXPECT_TRUE(has(r.out, "done 0, failed 0, interrupted 3 in ")) << r.out;

    auto rows = recordsByPort(record);
    ASSERT_EQ(rows.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const QJsonObject& row = rows[devices[i]->path()];
        EXPECT_EQ(text(row, "result"), "interrupted");
        // The save ended with its answer; the read back is the step it did not run.
        EXPECT_EQ(text(row, "failed_step"), "readback");
        EXPECT_EQ(text(row, "reason"), "SIGINT: stopped before this step");
        EXPECT_EQ(text(row, "params_sha256").size(), 64u);
        const std::string port = "serverAPort = " + std::to_string(7401 + i);
        EXPECT_EQ(readField(*devices[i], "115200", port), port);
    }

    // A second signal ends the device in its step at once; the one waiting is never started.
    auto late = sim({"--baud", "115200", "--delay", "2:2000"});
    auto waiting = sim({"--baud", "115200"});
    const std::string again = file("again.sqlite");
    Running hurried({"batch", "--plan",
                     write("again.csv", "port\n" + late->path() + "\n" + waiting->path() + "\n"),
                     "--jobs", "1", "--baud", "115200", "--record", again, "--production-dir",
                     file("production")});
    ASSERT_TRUE(hurried.printed({late->path() + " 861234050123457: save\n"}));
    hurried.signal(SIGINT);
    ASSERT_TRUE(hurried.printed({"SIGINT: no device is started any more"}));
    hurried.signal(SIGINT);
    const RunResult h = hurried.finish();
    EXPECT_EQ(h.code, 130) << h.out << h.err;
    EXPECT_TRUE(has(h.out, late->path() +
                               " 861234050123457: interrupted at save: SIGINT again: stopped "
                               "during this step\n"))
        << h.out;
    EXPECT_TRUE(has(h.out, waiting->path() + ": not started\n")) << h.out;
    EXPECT_TRUE(has(h.out, "done 0, failed 0, interrupted 1, not started 1 in ")) << h.out;
    rows = recordsByPort(again);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(text(rows[late->path()], "failed_step"), "save");
}

TEST_F(Batch, ALockedRecordRefusesTheBatchBeforeAnyPortOpens) {
    // A record in use since an earlier batch, on a station whose name a spreadsheet would run.
    auto device = sim({"--baud", "115200"});
    const std::string record = file("record.sqlite");
    const RunResult earlier =
        dtuconf({"batch", "--plan", write("first.csv", "port\n" + device->path() + "\n"), "--baud",
                 "115200", "--record", record, "--station", "=cmd()\x1b[2J", "--production-dir",
                 file("production")});
    ASSERT_EQ(earlier.code, 0) << earlier.out << earlier.err;
    const RunResult csv = dtuconf({"records", "--record", record, "--csv"});
    EXPECT_TRUE(has(csv.out, "\r\n1,'=cmd()\x1b[2J,")) << csv.out;
    const RunResult listed = dtuconf({"records", "--record", record});
    EXPECT_TRUE(has(listed.out, "  =cmd()\\x1b[2J  ")) << listed.out;

    DeadPort port;
    SqliteWriter other(record);
    ASSERT_TRUE(other.locked());
    const RunResult r =
        dtuconf({"batch", "--plan", write("plan.csv", "port\n" + port.path() + "\n"), "--record",
                 record, "--production-dir", file("production")});
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_TRUE(has(r.err, "no row can be written: database is locked")) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(port.received(), "");
}

TEST_F(Batch, ARowTheRecordRefusesIsJournalledAndLoadedByTheNextBatch) {
    // The read answer comes late; meanwhile another writer takes the record and keeps it.
    auto slow = sim({"--baud", "115200", "--delay", "1:2000"});
    const std::string record = file("record.sqlite");
    auto batch = [&](const SimProcess& device, const char* plan) {
        return std::vector<std::string>{
            "batch",  "--plan",           write(plan, "port\n" + device.path() + "\n"),
            "--baud", "115200",           "--record",
            record,   "--production-dir", file("production")};
    };
    const std::string journal = record + ".unrecorded.jsonl";
    {
        Running first(batch(*slow, "slow.csv"));
        ASSERT_TRUE(first.printed({slow->path() + ": read\n"}));
        SqliteWriter other(record);
        ASSERT_TRUE(other.locked());
        const RunResult r = first.finish();
        EXPECT_EQ(r.code, 1) << r.out << r.err;
        EXPECT_TRUE(has(r.out, slow->path() + " 861234050123457: ok\n")) << r.out;
        EXPECT_TRUE(
            has(r.out, "1 row not in the record but kept in " + journal + " (database is locked"))
            << r.out;
    }
    ASSERT_TRUE(QFile::exists(QString::fromStdString(journal)));
    const QString copy = m_dir.filePath("copy.jsonl");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(journal), copy));

    auto quick = sim({"--baud", "115200"});
    const RunResult next = dtuconf(batch(*quick, "quick.csv"));
    EXPECT_EQ(next.code, 0) << next.out << next.err;
    EXPECT_TRUE(has(next.err, journal + ": 1 row loaded into the record\n")) << next.err;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(journal)));
    auto rows = recordsByPort(record);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(text(rows[slow->path()], "result"), "ok");
    EXPECT_EQ(text(rows[slow->path()], "params_sha256").size(), 64u);

    // Loading the same rows again adds nothing.
    const RunResult again =
        dtuconf({"records", "--record", record, "--import-journal", copy.toStdString()});
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_TRUE(has(again.err, ": 0 rows loaded into the record, 1 it held already")) << again.err;
    EXPECT_EQ(recordsByPort(record).size(), 2u);
}

using PostgresBatch = test::WithPgServer<Batch>;

TEST_F(PostgresBatch, EachDeviceFailsAloneAndTheSharedRecordSaysWhatHappened) {
    ASSERT_TRUE(s_server->createDatabase("line"));
    mixedBatch(s_server->url("line"));
}

}  // namespace
}  // namespace dtu
