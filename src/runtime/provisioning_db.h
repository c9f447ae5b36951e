#pragma once

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

#include "production/provisioning.h"
#include "production/record_text.h"

namespace dtu {

// One device attempt of a provisioning batch, as the record keeps it. Texts a device never
// reported (no IMEI from a port that did not answer), and the port of a plan row that never
// got one, are empty, and NULL in the table.
struct ProvisioningRow {
    qint64 id = 0;  // given by the database
    QString station;
    QString port;
    QString imei;
    QString iccid;
    QString mac;
    QString model;
    QString firmwareVersion;
    QString paramsSha256;  // of the 22160-byte parameter set saved; empty when none was
    ProvisionResult result = ProvisionResult::Failed;  // Succeeded, Failed or Interrupted
    QString failedStep;
    QString reason;
    QDateTime started;  // UTC
    QDateTime ended;
};

// Where the record is kept: an SQLite file, or a PostgreSQL database that several stations
// share.
struct RecordTarget {
    enum class Kind { Sqlite, Postgres };
    Kind kind = Kind::Sqlite;
    QString file;   // SQLite
    QString user;   // PostgreSQL; empty: the login name
    QString host;   // a host name or address, or the folder of a Unix socket
    int port = -1;  // -1: the server's default
    QString database;
    // For messages.
    QString describe() const;
};

inline constexpr const char* kDefaultRecordFile = "provisioning.sqlite";

// The row's columns by name, as a journal line and `records --json` give them (no id).
std::vector<RecordCell> recordCells(const ProvisioningRow& row);
// A row from its columns; nothing when a column is missing or a value is not one the record
// takes, with the reason in error.
std::optional<ProvisioningRow> rowFromCells(const std::vector<RecordCell>& cells, QString& error);

// The journal of a record: the rows it could not take, one journal line each, until they are
// loaded into it. Beside an SQLite file; in the production folder for a server.
QString journalPathFor(const RecordTarget& target, const QString& productionDir);

// Reads a --record value: empty for the default file in the production folder, a
// postgresql:// address (postgresql://USER@HOST[:PORT]/DB, the host may be a socket folder
// written %2F-encoded or given as ?host=/folder), or a file name. Nothing on error, with the
// reason in error.
std::optional<RecordTarget> parseRecordTarget(const QString& spec, const QString& productionDir,
                                              QString& error);

// The provisioning record: table `devices`, one row per device attempt, and the parameter
// history (`history`, its records kept once each in `param_records`), created when missing.
class ProvisioningDb {
public:
    // The version of the tables this tool writes; a record of a newer version is not written
    // to, one of an older version is brought up to this one when opened for writing.
    static constexpr int kSchemaVersion = 2;

    ProvisioningDb();
    ~ProvisioningDb();
    ProvisioningDb(const ProvisioningDb&) = delete;
    ProvisioningDb& operator=(const ProvisioningDb&) = delete;

    // Write: for a batch, which must know before it starts that its rows can be written.
    // Append: for the history of a single device operation, which never waits for another
    // writer, not even here.
    enum class Mode { Write, Append, Read };
    // Connects; for Write and Append also creates the tables when missing and checks their
    // version. Write then proves that a row can be written (a row is added in a transaction
    // that holds the write lock, then taken back), so that a record locked by another writer,
    // or read-only, is refused here and not after the devices are done. A read of a file that
    // does not exist fails rather than making one.
    bool open(const RecordTarget& target, Mode mode, QString& error);
    // The version of the tables the record holds; 0 for a record that has none yet.
    std::optional<int> schemaVersion(QString& error);
    // The Qt SQL connection, for the history kept in the same record.
    const QString& connectionName() const { return m_connection; }
    bool isPostgres() const { return m_postgres; }
    // Adds the row in a transaction of its own. Once opened for Write, a record that another
    // writer holds is given up on at once (a few milliseconds): the caller tries again later,
    // and the event loop the devices run on never waits on the record.
    bool add(const ProvisioningRow& row, QString& error);

    struct JournalLoad {
        int loaded = 0;
        int present = 0;               // rows the record held already (a load that ran before)
        std::vector<int> unreadLines;  // lines that are not rows; the journal is then kept
        bool removed = false;          // the journal was loaded whole and removed
    };
    // Loads the rows of a journal into the record in one transaction, leaving out those it
    // holds already. The journal is removed once loaded whole, unless it grew meanwhile.
    std::optional<JournalLoad> loadJournal(const QString& path, QString& error);
    // The rows in the order they were added, all or those of one IMEI.
    std::optional<std::vector<ProvisioningRow>> list(const QString& imei, QString& error);

private:
    bool createTable(QString& error);
    bool proveWritable(QString& error);
    bool stopWaiting(QString& error);
    bool insert(const ProvisioningRow& row, QString& error);
    // Whether the record holds this row already: the same station, port, IMEI, result and
    // times.
    std::optional<bool> holds(const ProvisioningRow& row, QString& error);
    QString m_connection;
    bool m_postgres = false;
};

}  // namespace dtu
