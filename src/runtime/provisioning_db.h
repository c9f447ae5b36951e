#pragma once

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

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
    bool ok = false;
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

// Reads a --record value: empty for the default file in the production folder, a
// postgresql:// address (postgresql://USER@HOST[:PORT]/DB, the host may be a socket folder
// written %2F-encoded or given as ?host=/folder), or a file name. Nothing on error, with the
// reason in error.
std::optional<RecordTarget> parseRecordTarget(const QString& spec, const QString& productionDir,
                                              QString& error);

// The provisioning record: table `devices`, one row per device attempt, created when missing.
class ProvisioningDb {
public:
    // The version of the table this tool writes; a record of a newer version is not written to.
    static constexpr int kSchemaVersion = 1;

    ProvisioningDb();
    ~ProvisioningDb();
    ProvisioningDb(const ProvisioningDb&) = delete;
    ProvisioningDb& operator=(const ProvisioningDb&) = delete;

    enum class Mode { Write, Read };
    // Connects; for Write also creates the table when missing and checks its version. A
    // read of a file that does not exist fails rather than making one.
    bool open(const RecordTarget& target, Mode mode, QString& error);
    // Adds the row in a transaction of its own.
    bool add(const ProvisioningRow& row, QString& error);
    // The rows in the order they were added, all or those of one IMEI.
    std::optional<std::vector<ProvisioningRow>> list(const QString& imei, QString& error);

private:
    bool createTable(QString& error);
    QString m_connection;
    bool m_postgres = false;
};

}  // namespace dtu
