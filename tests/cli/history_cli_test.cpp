// The parameter history as a technician uses it: dtuconf against simulated devices over real
// pseudo-terminals, the history in a real SQLite file.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "support/event_loop.h"
#include "support/private_home.h"
#include "support/process.h"

namespace dtu {
namespace {

[[maybe_unused]] const bool kPrivateHome = test::usePrivateHome();

using test::RunResult;
using test::SimProcess;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class History : public ::testing::Test {
protected:
    RunResult dtuconf(std::vector<std::string> args) {
        args.insert(args.end(), {"--record", record()});
        return test::runProgram(DTUCONF_BIN, args);
    }
    RunResult on(const SimProcess& sim, std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", sim.path()});
        return dtuconf(args);
    }
    std::string record() const { return m_dir.filePath("record.sqlite").toStdString(); }
    QJsonArray entries(const std::string& imei) {
        const RunResult r = dtuconf({"history", "--imei", imei, "--json"});
        EXPECT_EQ(r.code, 0) << r.err;
        return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    }

    QTemporaryDir m_dir;
};

// Read, change a port, list both, and put the device back as it was read.
TEST_F(History, ARestoreBringsBackWhatWasRead) {
    SimProcess device(DTUSIM_BIN, {});
    SimProcess other(DTUSIM_BIN, {"--imei", "861234050000011"});
    ASSERT_EQ(on(device, {"read"}).code, 0);
    ASSERT_EQ(on(device, {"set", "serverAPort=7001"}).code, 0);

    const QJsonArray listed = entries("861234050123457");
    ASSERT_EQ(listed.size(), 3);  // the read, the read of set, its save
    const QJsonObject save = listed[0].toObject();
    EXPECT_EQ(save["kind"].toString(), "save");
    ASSERT_EQ(save["changed"].toArray().size(), 1);
    const QJsonObject change = save["changed"].toArray()[0].toObject();
    EXPECT_EQ(change["field"].toString(), "serverAPort");
    EXPECT_EQ(change["before"].toInt(), 6000);
    EXPECT_EQ(change["after"].toInt(), 7001);
    const std::string readId = std::to_string(listed[2].toObject()["id"].toInt());
    const std::string saveId = std::to_string(save["id"].toInt());
    const RunResult text = dtuconf({"history", "--imei", "861234050123457"});
    EXPECT_TRUE(has(text.out, "  save  861234050123457  DTU-4G-C1  ")) << text.out;
    EXPECT_TRUE(has(text.out, "changed: serverAPort\n")) << text.out;

    // Another device's entry is not put on this one.
    const RunResult refused = on(other, {"restore", saveId, "--yes"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(has(refused.err, "IMEI 861234050000011 is not entry " + saveId)) << refused.err;
    EXPECT_TRUE(has(on(other, {"read"}).out, "\nserverAPort = 6000\n"));

    const RunResult restored = on(device, {"restore", readId, "--yes"});
    ASSERT_EQ(restored.code, 0) << restored.out << restored.err;
    EXPECT_TRUE(has(restored.out, "serverAPort: 7001 -> 6000\n")) << restored.out;
    const RunResult back = on(device, {"read", "-o", m_dir.filePath("now.cfg").toStdString()});
    ASSERT_EQ(back.code, 0);
    EXPECT_EQ(
        dtuconf({"history", "show", readId, "-o", m_dir.filePath("then.cfg").toStdString()}).code,
        0);
    EXPECT_EQ(test::runProgram(DTUCONF_BIN, {"diff", m_dir.filePath("then.cfg").toStdString(),
                                             m_dir.filePath("now.cfg").toStdString()})
                  .out,
              "");

    const QJsonArray after = entries("861234050123457");
    ASSERT_EQ(after.size(), 6);  // + the read of restore, the restore, the read back above
    const QJsonObject restore = after[1].toObject();
    EXPECT_EQ(restore["kind"].toString(), "restore");
    EXPECT_EQ(restore["result"].toString(), "ok");
    EXPECT_EQ(restore["params_sha256"], listed[2].toObject()["params_sha256"]);
}

// A record another writer holds: the save goes through and the missing entry is named.
TEST_F(History, ABusyRecordLeavesTheSaveDoneAndSaysSo) {
    SimProcess device(DTUSIM_BIN, {});
    ASSERT_EQ(on(device, {"read"}).code, 0);  // makes the record
    test::app();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other-writer");
        db.setDatabaseName(QString::fromStdString(record()));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("BEGIN IMMEDIATE"));
        const RunResult set = on(device, {"set", "serverAPort=7002"});
        EXPECT_EQ(set.code, 0) << set.err;
        EXPECT_TRUE(has(set.out, "保存参数:成功")) << set.out;
        EXPECT_TRUE(has(set.err, "parameter history not recorded in " + record() + ": "))
            << set.err;
        q.exec("ROLLBACK");
    }
    QSqlDatabase::removeDatabase("other-writer");
    EXPECT_TRUE(has(on(device, {"read", "--no-history"}).out, "\nserverAPort = 7002\n"));
    EXPECT_EQ(entries("861234050123457").size(), 1);
}

// A batch keeps one entry per device it saved; a parameter file saved is kept as a save.
TEST_F(History, BatchAndSaveKeepTheirEntries) {
    SimProcess a(DTUSIM_BIN, {"--baud", "115200"});
    SimProcess b(DTUSIM_BIN, {"--baud", "115200", "--imei", "861234050000011"});
    const std::string plan = m_dir.filePath("plan.csv").toStdString();
    {
        QFile f(QString::fromStdString(plan));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromStdString("port,serverAPort\n" + a.path() + ",7101\n" + b.path() +
                                          ",7102\n"));
    }
    const RunResult batch =
        dtuconf({"batch", "--plan", plan, "--baud", "115200", "--station", "line-7",
                 "--production-dir", m_dir.filePath("production").toStdString()});
    ASSERT_EQ(batch.code, 0) << batch.out << batch.err;
    const std::string cfg = m_dir.filePath("b.cfg").toStdString();
    ASSERT_EQ(
        dtuconf({"history", "show",
                 std::to_string(entries("861234050000011")[0].toObject()["id"].toInt()), "-o", cfg})
            .code,
        0);
    ASSERT_EQ(on(a, {"--baud", "115200", "save", cfg}).code, 0);

    const QJsonArray ofA = entries("861234050123457");
    ASSERT_EQ(ofA.size(), 1);
    EXPECT_EQ(ofA[0].toObject()["kind"].toString(), "batch");
    EXPECT_EQ(ofA[0].toObject()["result"].toString(), "ok");
    EXPECT_EQ(ofA[0].toObject()["station"].toString(), "line-7");
    // A save without a read names no device: the file's record names b.
    const RunResult all = dtuconf({"history", "--limit", "1", "--json"});
    const QJsonObject save =
        QJsonDocument::fromJson(QByteArray::fromStdString(all.out)).array()[0].toObject();
    EXPECT_EQ(save["kind"].toString(), "save");
    EXPECT_TRUE(save["imei"].isNull());
    EXPECT_EQ(save["params_sha256"], entries("861234050000011")[0].toObject()["params_sha256"]);
}

}  // namespace
}  // namespace dtu
