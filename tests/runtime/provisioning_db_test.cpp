// The provisioning record in a real SQLite file and on a real PostgreSQL server the test starts
// itself.
#include "provisioning_db.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <memory>

#include "support/event_loop.h"
#include "support/pg_server.h"

namespace dtu {
namespace {

ProvisioningRow sampleRow(const QString& imei, bool ok) {
    ProvisioningRow r;
    r.station = QStringLiteral("line-3");
    r.port = QStringLiteral("/dev/ttyUSB0");
    r.imei = imei;
    r.iccid = QStringLiteral("89860023123456789012");
    r.mac = QStringLiteral("024a7c319e05");
    r.model = QStringLiteral("DTU-4G-C1");
    r.firmwareVersion = QStringLiteral("V24061");
    r.result = ok ? ProvisionResult::Succeeded : ProvisionResult::Failed;
    if (ok) {
        r.paramsSha256 = QString(64, 'a');
    } else {
        r.failedStep = QStringLiteral("save");
        r.reason = QStringLiteral("串口异常，已关闭：hang-up");
    }
    r.started = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 89), Qt::UTC);
    r.ended = r.started.addMSecs(2500);
    return r;
}

// Writes two rows, lists them whole and by IMEI: what went in comes out.
void writeAndList(const RecordTarget& target) {
    {
        ProvisioningDb db;
        QString error;
        ASSERT_TRUE(db.open(target, ProvisioningDb::Mode::Write, error)) << error.toStdString();
        ASSERT_TRUE(db.add(sampleRow("861234050123457", true), error)) << error.toStdString();
        ProvisioningRow failed = sampleRow("861234050123465", false);
        failed.iccid.clear();  // never reported: NULL, and empty again when read
        ASSERT_TRUE(db.add(failed, error)) << error.toStdString();
    }
    // A second station opening the same record finds the table and adds to it.
    ProvisioningDb again;
    QString error;
    ASSERT_TRUE(again.open(target, ProvisioningDb::Mode::Write, error)) << error.toStdString();
    ASSERT_TRUE(again.add(sampleRow("861234050123473", true), error));

    ProvisioningDb reader;
    ASSERT_TRUE(reader.open(target, ProvisioningDb::Mode::Read, error)) << error.toStdString();
    const auto all = reader.list({}, error);
    ASSERT_TRUE(all) << error.toStdString();
    ASSERT_EQ(all->size(), 3u);
    const ProvisioningRow expected = sampleRow("861234050123457", true);
    const ProvisioningRow& first = (*all)[0];
    EXPECT_EQ(first.station, expected.station);
    EXPECT_EQ(first.port, expected.port);
    EXPECT_EQ(first.imei, expected.imei);
    EXPECT_EQ(first.mac, expected.mac);
    EXPECT_EQ(first.model, expected.model);
    EXPECT_EQ(first.firmwareVersion, expected.firmwareVersion);
    EXPECT_EQ(first.paramsSha256, expected.paramsSha256);
    EXPECT_EQ(first.result, ProvisionResult::Succeeded);
    EXPECT_TRUE(first.failedStep.isEmpty());
    EXPECT_EQ(first.started, expected.started);
    EXPECT_EQ(first.ended, expected.ended);
    const ProvisioningRow& second = (*all)[1];
    EXPECT_EQ(second.result, ProvisionResult::Failed);
    EXPECT_EQ(second.failedStep, QStringLiteral("save"));
    EXPECT_EQ(second.reason, QStringLiteral("串口异常，已关闭：hang-up"));
    EXPECT_TRUE(second.iccid.isEmpty());
    EXPECT_TRUE(second.paramsSha256.isEmpty());
    EXPECT_LT(first.id, second.id);

    const auto one = reader.list(QStringLiteral("861234050123465"), error);
    ASSERT_TRUE(one);
    ASSERT_EQ(one->size(), 1u);
    EXPECT_EQ((*one)[0].imei, QStringLiteral("861234050123465"));
}

// A journal with a row and a line cut short: the row is loaded once however often the journal
// is, and the journal is kept for the line it could not read.
void loadJournalTwice(const RecordTarget& target, const QString& journal) {
    ProvisioningRow row = sampleRow("861234050123481", false);
    row.result = ProvisionResult::Interrupted;
    row.port.clear();  // NULL: found again all the same
    const std::string line = journalLine(recordCells(row));
    QFile f(journal);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::fromStdString(line + "\n" + line.substr(0, 40)));
    f.close();

    ProvisioningDb db;
    QString error;
    ASSERT_TRUE(db.open(target, ProvisioningDb::Mode::Write, error)) << error.toStdString();
    const auto first = db.loadJournal(journal, error);
    ASSERT_TRUE(first) << error.toStdString();
    EXPECT_EQ(first->loaded, 1);
    EXPECT_EQ(first->unreadLines, std::vector<int>{2});
    EXPECT_FALSE(first->removed);
    const auto second = db.loadJournal(journal, error);
    ASSERT_TRUE(second) << error.toStdString();
    EXPECT_EQ(second->loaded, 0);
    EXPECT_EQ(second->present, 1);

    const auto rows = db.list(QStringLiteral("861234050123481"), error);
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 1u);
    EXPECT_EQ((*rows)[0].result, ProvisionResult::Interrupted);
    EXPECT_EQ((*rows)[0].reason, row.reason);
    EXPECT_EQ((*rows)[0].started, row.started);
}

class ProvisioningRecord : public ::testing::Test {
protected:
    void SetUp() override { test::app(); }
    QTemporaryDir m_dir;
};

TEST_F(ProvisioningRecord, SqliteKeepsEveryRowAsWritten) {
    RecordTarget t;
    t.file = m_dir.filePath("provisioning.sqlite");
    writeAndList(t);

    // The table names its version, and a newer one is not written to.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "peek");
        db.setDatabaseName(t.file);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("SELECT version FROM schema_versions WHERE name = 'devices'"));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), ProvisioningDb::kSchemaVersion);
        ASSERT_TRUE(q.exec("UPDATE schema_versions SET version = 99"));
    }
    QSqlDatabase::removeDatabase("peek");
    ProvisioningDb newer;
    QString error;
    EXPECT_FALSE(newer.open(t, ProvisioningDb::Mode::Write, error));
    EXPECT_TRUE(error.contains("newer version (99)")) << error.toStdString();
}

TEST_F(ProvisioningRecord, SqliteLoadsAJournalOnce) {
    RecordTarget t;
    t.file = m_dir.filePath("provisioning.sqlite");
    loadJournalTwice(t, journalPathFor(t, m_dir.path()));
}

TEST_F(ProvisioningRecord, ARecordThatCannotBeOpenedSaysWhy) {
    QString error;
    RecordTarget missing;
    missing.file = m_dir.filePath("none.sqlite");
    ProvisioningDb reader;
    EXPECT_FALSE(reader.open(missing, ProvisioningDb::Mode::Read, error));
    EXPECT_FALSE(QFile::exists(missing.file));  // a read makes no file

    RecordTarget notADatabase;
    notADatabase.file = m_dir.filePath("text.sqlite");
    QFile f(notADatabase.file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    ProvisioningDb writer;
    error.clear();
    EXPECT_FALSE(writer.open(notADatabase, ProvisioningDb::Mode::Write, error));
    EXPECT_FALSE(error.isEmpty());

    RecordTarget noFolder;
    noFolder.file = m_dir.filePath("no/such/folder/p.sqlite");
    ProvisioningDb nowhere;
    EXPECT_FALSE(nowhere.open(noFolder, ProvisioningDb::Mode::Write, error));
}

TEST(RecordTargets, FilesAndPostgresAddresses) {
    QString error;
    const auto def = parseRecordTarget({}, "/srv/production", error);
    ASSERT_TRUE(def);
    EXPECT_EQ(def->kind, RecordTarget::Kind::Sqlite);
    EXPECT_EQ(def->file, QStringLiteral("/srv/production/provisioning.sqlite"));

    const auto tcp = parseRecordTarget("postgresql://line@db.example:5433/factory", {}, error);
    ASSERT_TRUE(tcp) << error.toStdString();
    EXPECT_EQ(tcp->kind, RecordTarget::Kind::Postgres);
    EXPECT_EQ(tcp->user, QStringLiteral("line"));
    EXPECT_EQ(tcp->host, QStringLiteral("db.example"));
    EXPECT_EQ(tcp->port, 5433);
    EXPECT_EQ(tcp->database, QStringLiteral("factory"));

    const auto encoded = parseRecordTarget("postgresql://line@%2Ftmp%2Fpg/factory", {}, error);
    ASSERT_TRUE(encoded);
    EXPECT_EQ(encoded->host, QStringLiteral("/tmp/pg"));
    EXPECT_EQ(encoded->port, -1);
    const auto query = parseRecordTarget("postgres://line@/factory?host=/run/pg", {}, error);
    ASSERT_TRUE(query);
    EXPECT_EQ(query->host, QStringLiteral("/run/pg"));
    EXPECT_EQ(query->describe(), QStringLiteral("postgresql://line@%2Frun%2Fpg/factory"));

    for (const char* bad :
         {"postgresql://line:secret@db/factory", "postgresql://line@db:0/x", "postgresql://line@db",
          "postgresql://line@db/x?sslmode=require", "mysql://line@db/x"}) {
        error.clear();
        EXPECT_FALSE(parseRecordTarget(bad, {}, error)) << bad;
        EXPECT_FALSE(error.isEmpty()) << bad;
    }
    EXPECT_TRUE(error.contains("not a record")) << error.toStdString();
}

class PostgresRecord : public test::WithPgServer<> {
protected:
    void SetUp() override {
        test::app();
        WithPgServer::SetUp();
    }
};

TEST_F(PostgresRecord, KeepsEveryRowAsWritten) {
    ASSERT_TRUE(s_server->createDatabase("rows"));
    QString error;
    const auto target = parseRecordTarget(QString::fromStdString(s_server->url("rows")), {}, error);
    ASSERT_TRUE(target) << error.toStdString();
    writeAndList(*target);
}

TEST_F(PostgresRecord, LoadsAJournalOnce) {
    ASSERT_TRUE(s_server->createDatabase("journal"));
    QString error;
    const auto target =
        parseRecordTarget(QString::fromStdString(s_server->url("journal")), {}, error);
    ASSERT_TRUE(target) << error.toStdString();
    QTemporaryDir dir;
    const QString journal = journalPathFor(*target, dir.path());
    EXPECT_TRUE(journal.startsWith(dir.path() + "/provisioning-journal-")) << journal.toStdString();
    loadJournalTwice(*target, journal);
}

TEST_F(PostgresRecord, ADatabaseThatIsNotThereIsNotOpened) {
    QString error;
    const auto target =
        parseRecordTarget(QString::fromStdString(s_server->url("absent")), {}, error);
    ASSERT_TRUE(target);
    ProvisioningDb db;
    EXPECT_FALSE(db.open(*target, ProvisioningDb::Mode::Write, error));
    EXPECT_TRUE(error.contains("absent")) << error.toStdString();
}

}  // namespace
}  // namespace dtu
