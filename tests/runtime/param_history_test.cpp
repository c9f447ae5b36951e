// The parameter history in a real SQLite file and on the throw-away PostgreSQL server.
#include "param_history.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "history_recorder.h"
#include "support/event_loop.h"
#include "support/pg_server.h"

namespace dtu {
namespace {

DeviceParams device(const char* imei, std::uint16_t portA) {
    DeviceParams p;
    p.setText(fields::imei, std::string_view(imei));
    p.setText(fields::deviceModel, std::string_view("DTU-4G-C1"));
    p.set(fields::serverAPort, portA);
    return p;
}

std::int64_t add(ParamHistory& h, HistoryKind kind, const DeviceParams& p) {
    HistoryEntry e;
    e.station = "line-3";
    e.port = "/dev/ttyUSB0";
    e.kind = kind;
    e.result = "ok";
    setHistoryIdentity(e, p);
    QString message;
    const auto id = recordHistory(h, e, p, message);
    EXPECT_TRUE(id) << message.toStdString();
    return id.value_or(0);
}

int count(const RecordTarget& t, const char* table) {
    ProvisioningDb db;
    QString error;
    EXPECT_TRUE(db.open(t, ProvisioningDb::Mode::Read, error)) << error.toStdString();
    QSqlQuery q(QSqlDatabase::database(db.connectionName(), false));
    EXPECT_TRUE(q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)));
    return q.next() ? q.value(0).toInt() : -1;
}

// Entries of two devices: each listed newest first with what changed, a record read three
// times unchanged kept once, an entry's record back byte for byte, and a prune that keeps the
// newest per device and the records they still name.
void keepListCompareAndPrune(const RecordTarget& t) {
    ParamHistory h;
    QString error;
    ASSERT_TRUE(h.open(t, ProvisioningDb::Mode::Append, error)) << error.toStdString();
    const DeviceParams a6000 = device("861234050123457", 6000);
    const DeviceParams a7001 = device("861234050123457", 7001);
    const std::int64_t firstRead = add(h, HistoryKind::Read, a6000);
    add(h, HistoryKind::Read, a6000);
    add(h, HistoryKind::Read, device("861234050123465", 6000));
    add(h, HistoryKind::Read, a6000);
    const std::int64_t save = add(h, HistoryKind::Save, a7001);
    EXPECT_EQ(count(t, "param_records"), 3);  // a6000 once for its three reads

    const auto listed = h.list("861234050123457", 10, error);
    ASSERT_TRUE(listed) << error.toStdString();
    ASSERT_EQ(listed->size(), 4u);
    const auto& newest = listed->front();
    EXPECT_EQ(newest.entry.id, save);
    EXPECT_EQ(newest.entry.kind, HistoryKind::Save);
    EXPECT_EQ(newest.entry.model, "DTU-4G-C1");
    EXPECT_EQ(newest.entry.station, "line-3");
    ASSERT_EQ(newest.changes.size(), 1u);
    EXPECT_EQ(newest.changes[0].field->name, "serverAPort");
    EXPECT_EQ(newest.changes[0].before, "6000");
    EXPECT_EQ(newest.changes[0].after, "7001");
    EXPECT_TRUE((*listed)[1].changes.empty());
    EXPECT_EQ(h.list({}, 2, error)->size(), 2u);

    const auto read = h.entry(firstRead, error);
    ASSERT_TRUE(read && read->params) << error.toStdString();
    const auto image = read->params->image();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), a6000.image().begin()));
    EXPECT_FALSE(h.previous(firstRead, error));
    EXPECT_TRUE(error.isEmpty());
    const auto before = h.previous(save, error);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->entry.kind, HistoryKind::Read);
    EXPECT_NE(before->entry.id, firstRead);

    EXPECT_EQ(h.prune(1, error), 3);
    EXPECT_EQ(h.list({}, 10, error)->size(), 2u);
    EXPECT_FALSE(h.entry(firstRead, error));
    EXPECT_EQ(count(t, "param_records"), 2);  // a6000 is named by no entry now
}

class HistoryRecord : public ::testing::Test {
protected:
    void SetUp() override { test::app(); }
    QTemporaryDir m_dir;
};

TEST_F(HistoryRecord, SqliteKeepsListsAndPrunes) {
    RecordTarget t;
    t.file = m_dir.filePath("provisioning.sqlite");
    keepListCompareAndPrune(t);
}

// A record of the first version gains the history where it lies and keeps its rows.
TEST_F(HistoryRecord, AnOlderRecordIsUpgradedInPlace) {
    RecordTarget t;
    t.file = m_dir.filePath("old.sqlite");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "v1");
        db.setDatabaseName(t.file);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(
            q.exec("CREATE TABLE schema_versions (name TEXT PRIMARY KEY, version INTEGER "
                   "NOT NULL)"));
        ASSERT_TRUE(q.exec("INSERT INTO schema_versions VALUES ('devices', 1)"));
        ASSERT_TRUE(
            q.exec("CREATE TABLE devices (id INTEGER PRIMARY KEY AUTOINCREMENT, station "
                   "TEXT NOT NULL, port TEXT, imei TEXT, iccid TEXT, mac TEXT, model "
                   "TEXT, firmware_version TEXT, params_sha256 TEXT, result TEXT NOT "
                   "NULL, failed_step TEXT, reason TEXT, started_at TEXT NOT NULL, "
                   "ended_at TEXT NOT NULL)"));
        ASSERT_TRUE(
            q.exec("INSERT INTO devices (station, imei, result, started_at, ended_at) "
                   "VALUES ('old', '861234050123457', 'succeeded', "
                   "'2026-03-04T05:06:07.089Z', '2026-03-04T05:06:09.589Z')"));
    }
    QSqlDatabase::removeDatabase("v1");

    ParamHistory reader;
    QString error;
    ASSERT_TRUE(reader.open(t, ProvisioningDb::Mode::Read, error)) << error.toStdString();
    EXPECT_TRUE(reader.list({}, 10, error)->empty());  // no history yet, and no error

    ParamHistory h;
    ASSERT_TRUE(h.open(t, ProvisioningDb::Mode::Append, error)) << error.toStdString();
    add(h, HistoryKind::Batch, device("861234050123457", 6000));
    ProvisioningDb db;
    ASSERT_TRUE(db.open(t, ProvisioningDb::Mode::Write, error)) << error.toStdString();
    EXPECT_EQ(db.schemaVersion(error), 2);
    EXPECT_EQ(db.list({}, error)->size(), 1u);
    EXPECT_EQ(h.list({}, 10, error)->size(), 1u);
}

// Another writer holding the record: the entry is refused at once, naming the record and why.
TEST_F(HistoryRecord, ABusyRecordRefusesTheEntryAtOnce) {
    RecordTarget t;
    t.file = m_dir.filePath("busy.sqlite");
    ParamHistory h;
    QString error;
    ASSERT_TRUE(h.open(t, ProvisioningDb::Mode::Append, error)) << error.toStdString();
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
        other.setDatabaseName(t.file);
        ASSERT_TRUE(other.open());
        QSqlQuery q(other);
        ASSERT_TRUE(q.exec("BEGIN IMMEDIATE"));
        HistoryEntry e;
        e.station = "s";
        e.result = "ok";
        QString message;
        EXPECT_FALSE(recordHistory(h, e, device("861234050123457", 6000), message));
        EXPECT_TRUE(message.contains(t.file)) << message.toStdString();
        EXPECT_TRUE(message.contains("locked")) << message.toStdString();
        ASSERT_TRUE(q.exec("ROLLBACK"));
    }
    QSqlDatabase::removeDatabase("other");
}

class PostgresHistory : public test::WithPgServer<> {
protected:
    void SetUp() override {
        test::app();
        WithPgServer::SetUp();
    }
};

TEST_F(PostgresHistory, KeepsListsAndPrunes) {
    ASSERT_TRUE(s_server->createDatabase("history"));
    QString error;
    const auto t = parseRecordTarget(QString::fromStdString(s_server->url("history")), {}, error);
    ASSERT_TRUE(t) << error.toStdString();
    keepListCompareAndPrune(*t);
}

}  // namespace
}  // namespace dtu
