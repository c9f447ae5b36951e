#include "provisioning_db.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>
#include <algorithm>
#include <atomic>

namespace dtu {

namespace {

constexpr int kConnectTimeoutS = 5;
constexpr int kBusyTimeoutMs = 5000;
// How long the proof at the start waits for another writer to finish.
constexpr int kStartWaitMs = 2000;
// How long a row waits for another writer while devices are on the line: a batch tries again
// on a timer rather than hold up the event loop.
constexpr int kRowWaitMs = 20;
constexpr int kRowServerMs = 1000;
// A journal larger than this is not one this tool wrote.
constexpr qint64 kMaxJournalBytes = 64 * 1024 * 1024;

const char* kColumns =
    "station, port, imei, iccid, mac, model, firmware_version, params_sha256, result, "
    "failed_step, reason, started_at, ended_at";

QString newConnectionName() {
    static std::atomic<int> next{0};
    return QStringLiteral("dtuconf-provisioning-%1").arg(next++);
}

QString sqlError(const QSqlError& e) {
    QString text = e.text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

// A text the device never reported is NULL, not an empty text.
QVariant textOrNull(const QString& s) {
    return s.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s);
}

QString isoUtc(const QDateTime& t) {
    return t.toUTC().toString(Qt::ISODateWithMs);
}

bool parsePostgres(const QString& spec, RecordTarget& t, QString& error) {
    t.kind = RecordTarget::Kind::Postgres;
    const QString rest = spec.mid(spec.indexOf(QStringLiteral("://")) + 3);
    const qsizetype queryAt = rest.indexOf('?');
    const QString beforeQuery = queryAt < 0 ? rest : rest.left(queryAt);
    const QString query = queryAt < 0 ? QString() : rest.mid(queryAt + 1);
    const qsizetype slash = beforeQuery.indexOf('/');
    const QString authority = slash < 0 ? beforeQuery : beforeQuery.left(slash);
    t.database =
        slash < 0 ? QString() : QUrl::fromPercentEncoding(beforeQuery.mid(slash + 1).toUtf8());

    QString hostPort = authority;
    if (const qsizetype at = authority.lastIndexOf('@'); at >= 0) {
        const QString user = authority.left(at);
        if (user.contains(':')) {
            error = QStringLiteral(
                "no password in the address, please: the server's password goes in ~/.pgpass or "
                "PGPASSWORD");
            return false;
        }
        t.user = QUrl::fromPercentEncoding(user.toUtf8());
        hostPort = authority.mid(at + 1);
    }
    // A socket folder comes %2F-encoded and holds no ':' until decoded.
    if (const qsizetype colon = hostPort.lastIndexOf(':'); colon >= 0 && !hostPort.endsWith(']')) {
        bool ok = false;
        const int port = hostPort.mid(colon + 1).toInt(&ok);
        if (!ok || port < 1 || port > 65535) {
            error = QStringLiteral("not a port number: %1").arg(hostPort.mid(colon + 1));
            return false;
        }
        t.port = port;
        hostPort = hostPort.left(colon);
    }
    if (hostPort.startsWith('[') && hostPort.endsWith(']'))
        hostPort = hostPort.mid(1, hostPort.size() - 2);
    t.host = QUrl::fromPercentEncoding(hostPort.toUtf8());

    for (const QString& pair : query.split('&', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf('=');
        const QString key = pair.left(eq);
        const QString value =
            eq < 0 ? QString() : QUrl::fromPercentEncoding(pair.mid(eq + 1).toUtf8());
        if (key == QStringLiteral("host")) {
            t.host = value;
        } else {
            error =
                QStringLiteral("unknown option in the address: %1 (only host is known)").arg(key);
            return false;
        }
    }
    if (t.database.isEmpty()) {
        error = QStringLiteral("the address names no database: postgresql://USER@HOST[:PORT]/DB");
        return false;
    }
    return true;
}

ProvisioningRow probeRow() {
    ProvisioningRow r;
    r.station = QStringLiteral("write test");
    r.started = r.ended = QDateTime::currentDateTimeUtc();
    return r;
}

}  // namespace

std::vector<RecordCell> recordCells(const ProvisioningRow& r) {
    auto text = [](const QString& s) -> std::optional<std::string> {
        if (s.isEmpty()) return std::nullopt;
        return s.toStdString();
    };
    return {
        {"station", r.station.toStdString()},
        {"port", text(r.port)},
        {"imei", text(r.imei)},
        {"iccid", text(r.iccid)},
        {"mac", text(r.mac)},
        {"model", text(r.model)},
        {"firmware_version", text(r.firmwareVersion)},
        {"params_sha256", text(r.paramsSha256)},
        {"result", std::string(provisionResultName(r.result))},
        {"failed_step", text(r.failedStep)},
        {"reason", text(r.reason)},
        {"started_at", isoUtc(r.started).toStdString()},
        {"ended_at", isoUtc(r.ended).toStdString()},
    };
}

std::optional<ProvisioningRow> rowFromCells(const std::vector<RecordCell>& cells, QString& error) {
    ProvisioningRow r;
    QString result, started, ended;
    const std::pair<const char*, QString*> columns[] = {
        {"station", &r.station},
        {"port", &r.port},
        {"imei", &r.imei},
        {"iccid", &r.iccid},
        {"mac", &r.mac},
        {"model", &r.model},
        {"firmware_version", &r.firmwareVersion},
        {"params_sha256", &r.paramsSha256},
        {"result", &result},
        {"failed_step", &r.failedStep},
        {"reason", &r.reason},
        {"started_at", &started},
        {"ended_at", &ended},
    };
    for (const auto& [name, field] : columns) {
        const auto cell = std::find_if(cells.begin(), cells.end(),
                                       [&](const RecordCell& c) { return c.name == name; });
        if (cell == cells.end()) {
            error = QStringLiteral("no %1").arg(QString::fromUtf8(name));
            return std::nullopt;
        }
        if (cell->value) *field = QString::fromStdString(*cell->value);
    }
    const auto outcome = provisionResultFromName(result.toStdString());
    r.started = QDateTime::fromString(started, Qt::ISODateWithMs);
    r.ended = QDateTime::fromString(ended, Qt::ISODateWithMs);
    if (r.station.isEmpty() || !outcome || !r.started.isValid() || !r.ended.isValid()) {
        error = QStringLiteral("no station, result or times");
        return std::nullopt;
    }
    r.result = *outcome;
    return r;
}

QString journalPathFor(const RecordTarget& target, const QString& productionDir) {
    if (target.kind == RecordTarget::Kind::Sqlite)
        return target.file + QStringLiteral(".unrecorded.jsonl");
    // Named by the database, and told apart from another server's of the same name.
    const QByteArray where =
        QCryptographicHash::hash(target.describe().toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(8);
    QString name = target.database;
    for (QChar& c : name)
        if (!c.isLetterOrNumber() && c != '-' && c != '_') c = '_';
    return QDir(productionDir)
        .filePath(QStringLiteral("provisioning-%1-%2.unrecorded.jsonl")
                      .arg(name, QString::fromLatin1(where)));
}

QString RecordTarget::describe() const {
    if (kind == Kind::Sqlite) return file;
    QString s = QStringLiteral("postgresql://");
    if (!user.isEmpty()) s += user + '@';
    s += host.startsWith('/') ? QString::fromUtf8(QUrl::toPercentEncoding(host)) : host;
    if (port > 0) s += ':' + QString::number(port);
    return s + '/' + database;
}

std::optional<RecordTarget> parseRecordTarget(const QString& spec, const QString& productionDir,
                                              QString& error) {
    RecordTarget t;
    if (spec.startsWith(QStringLiteral("postgresql://")) ||
        spec.startsWith(QStringLiteral("postgres://"))) {
        if (!parsePostgres(spec, t, error)) return std::nullopt;
        return t;
    }
    if (spec.contains(QStringLiteral("://"))) {
        error = QStringLiteral("not a record this tool keeps: %1 (a file, or postgresql://...)")
                    .arg(spec);
        return std::nullopt;
    }
    t.file = spec.isEmpty() ? QDir(productionDir).filePath(QString::fromUtf8(kDefaultRecordFile))
                            : QFileInfo(spec).absoluteFilePath();
    return t;
}

ProvisioningDb::ProvisioningDb() : m_connection(newConnectionName()) {}

ProvisioningDb::~ProvisioningDb() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen()) db.close();
    }
    if (QSqlDatabase::contains(m_connection)) QSqlDatabase::removeDatabase(m_connection);
}

bool ProvisioningDb::open(const RecordTarget& target, Mode mode, QString& error) {
    m_postgres = target.kind == RecordTarget::Kind::Postgres;
    const QString driver = m_postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        error = QStringLiteral("the Qt SQL driver %1 is not installed").arg(driver);
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_connection);
    if (m_postgres) {
        if (!target.host.isEmpty()) db.setHostName(target.host);
        if (target.port > 0) db.setPort(target.port);
        if (!target.user.isEmpty()) db.setUserName(target.user);
        db.setDatabaseName(target.database);
        db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutS));
    } else {
        if (mode == Mode::Read && !QFileInfo::exists(target.file)) {
            error = QStringLiteral("no such file");
            return false;
        }
        db.setDatabaseName(target.file);
        const int wait = mode == Mode::Write    ? kStartWaitMs
                         : mode == Mode::Append ? kRowWaitMs
                                                : kBusyTimeoutMs;
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(wait);
        if (mode == Mode::Read) options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options);
    }
    if (!db.open()) {
        error = sqlError(db.lastError());
        return false;
    }
    if (!m_postgres && mode != Mode::Read) {
        // A commit appends to the write-ahead log without waiting for the disk: a record
        // written while devices are on the line must not hold up their answers. Each row stays
        // whole; a power cut can only lose the last rows, never leave a torn one.
        QSqlQuery wal(db);
        wal.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        wal.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    }
    if (m_postgres) {
        // The server's notices ("already exists, skipping") would land in the middle of the
        // progress.
        QSqlQuery quiet(db);
        quiet.exec(QStringLiteral("SET client_min_messages = warning"));
    }
    if (mode == Mode::Read) return true;
    if (mode == Mode::Append) return stopWaiting(error) && createTable(error);
    return createTable(error) && proveWritable(error);
}

std::optional<int> ProvisioningDb::schemaVersion(QString& error) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const QStringList tables = db.tables();
    if (!tables.contains(QStringLiteral("schema_versions"))) {
        if (db.lastError().isValid()) {
            error = sqlError(db.lastError());
            return std::nullopt;
        }
        return 0;
    }
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT version FROM schema_versions WHERE name = 'devices'"))) {
        error = sqlError(q.lastError());
        return std::nullopt;
    }
    return q.next() ? q.value(0).toInt() : 0;
}

bool ProvisioningDb::proveWritable(QString& error) {
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    QSqlQuery q(db);
    auto failed = [&](const QSqlError& e) {
        error = QStringLiteral("no row can be written: %1").arg(sqlError(e));
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    if (m_postgres && !q.exec(QStringLiteral("SET lock_timeout = %1").arg(kStartWaitMs)))
        return failed(q.lastError());
    // SQLite takes the write lock at the start of an immediate transaction; the row proves
    // the rest (a read-only file or folder, a user without the right to add rows).
    if (!q.exec(m_postgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE")))
        return failed(q.lastError());
    QString why;
    if (!insert(probeRow(), why)) {
        error = QStringLiteral("no row can be written: %1").arg(why);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    if (!q.exec(QStringLiteral("ROLLBACK"))) return failed(q.lastError());
    // From now on another writer is not waited for: add() says so and the batch tries again.
    return stopWaiting(error);
}

bool ProvisioningDb::stopWaiting(QString& error) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    const QString wait = m_postgres ? QStringLiteral("SET lock_timeout = %1").arg(kRowWaitMs)
                                    : QStringLiteral("PRAGMA busy_timeout = %1").arg(kRowWaitMs);
    // A server that takes its time is given up on too; the row waits for the next try.
    if (!q.exec(wait) ||
        (m_postgres && !q.exec(QStringLiteral("SET statement_timeout = %1").arg(kRowServerMs)))) {
        error = sqlError(q.lastError());
        return false;
    }
    return true;
}

bool ProvisioningDb::createTable(QString& error) {
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    const QString id = m_postgres ? QStringLiteral("id BIGSERIAL PRIMARY KEY")
                                  : QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT");
    // Times are ISO 8601 UTC texts: the same in both databases, and they sort.
    const QStringList statements = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS schema_versions (name TEXT PRIMARY KEY, "
                       "version INTEGER NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS devices (%1, station TEXT NOT NULL, "
                       "port TEXT, imei TEXT, iccid TEXT, mac TEXT, model TEXT, "
                       "firmware_version TEXT, params_sha256 TEXT, result TEXT NOT NULL, "
                       "failed_step TEXT, reason TEXT, started_at TEXT NOT NULL, "
                       "ended_at TEXT NOT NULL)")
            .arg(id),
        QStringLiteral("CREATE INDEX IF NOT EXISTS devices_imei ON devices (imei)"),
        // Version 2: the parameter history. A record is kept once however many entries name
        // it (a device read a hundred times unchanged costs one copy).
        QStringLiteral("CREATE TABLE IF NOT EXISTS param_records (sha256 TEXT PRIMARY KEY, "
                       "params %1 NOT NULL)")
            .arg(m_postgres ? QStringLiteral("BYTEA") : QStringLiteral("BLOB")),
        QStringLiteral("CREATE TABLE IF NOT EXISTS history (%1, time TEXT NOT NULL, "
                       "station TEXT NOT NULL, port TEXT, imei TEXT, mac TEXT, model TEXT, "
                       "firmware_version TEXT, kind TEXT NOT NULL, result TEXT NOT NULL, "
                       "params_sha256 TEXT REFERENCES param_records (sha256))")
            .arg(id),
        QStringLiteral("CREATE INDEX IF NOT EXISTS history_imei_id ON history (imei, id)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS history_params ON history (params_sha256)"),
    };
    // Stations that start at once may both create the table; the one that loses finds it made.
    auto attempt = [&](QString& why) {
        if (!db.transaction()) {
            why = sqlError(db.lastError());
            return false;
        }
        QSqlQuery q(db);
        for (const QString& s : statements) {
            if (!q.exec(s)) {
                why = sqlError(q.lastError());
                db.rollback();
                return false;
            }
        }
        q.prepare(QStringLiteral("SELECT version FROM schema_versions WHERE name = 'devices'"));
        if (!q.exec()) {
            why = sqlError(q.lastError());
            db.rollback();
            return false;
        }
        const std::optional<int> version =
            q.next() ? std::optional<int>(q.value(0).toInt()) : std::nullopt;
        q.finish();
        if (version > kSchemaVersion) {
            why = QStringLiteral(
                      "the record's table is of a newer version (%1) than this "
                      "tool writes (%2)")
                      .arg(*version)
                      .arg(kSchemaVersion);
            db.rollback();
            return false;
        }
        // An older record has just been given the tables it lacked.
        if (version != kSchemaVersion) {
            q.prepare(version ? QStringLiteral("UPDATE schema_versions SET version = ? WHERE "
                                               "name = 'devices'")
                              : QStringLiteral("INSERT INTO schema_versions (name, version) "
                                               "VALUES ('devices', ?)"));
            q.addBindValue(kSchemaVersion);
            if (!q.exec()) {
                why = sqlError(q.lastError());
                db.rollback();
                return false;
            }
        }
        if (!db.commit()) {
            why = sqlError(db.lastError());
            db.rollback();
            return false;
        }
        return true;
    };
    return attempt(error) || attempt(error);
}

bool ProvisioningDb::add(const ProvisioningRow& row, QString& error) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen()) {
        error = QStringLiteral("the record is not open");
        return false;
    }
    if (!db.transaction()) {
        error = sqlError(db.lastError());
        return false;
    }
    if (!insert(row, error)) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        error = sqlError(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

bool ProvisioningDb::insert(const ProvisioningRow& row, QString& error) {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("INSERT INTO devices (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                             "?, ?)")
                  .arg(QString::fromUtf8(kColumns)));
    q.addBindValue(row.station);
    q.addBindValue(textOrNull(row.port));
    q.addBindValue(textOrNull(row.imei));
    q.addBindValue(textOrNull(row.iccid));
    q.addBindValue(textOrNull(row.mac));
    q.addBindValue(textOrNull(row.model));
    q.addBindValue(textOrNull(row.firmwareVersion));
    q.addBindValue(textOrNull(row.paramsSha256));
    q.addBindValue(QString::fromUtf8(provisionResultName(row.result)));
    q.addBindValue(textOrNull(row.failedStep));
    q.addBindValue(textOrNull(row.reason));
    q.addBindValue(isoUtc(row.started));
    q.addBindValue(isoUtc(row.ended));
    if (!q.exec()) {
        error = sqlError(q.lastError());
        return false;
    }
    return true;
}

std::optional<bool> ProvisioningDb::holds(const ProvisioningRow& row, QString& error) {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    const QString same = m_postgres ? QStringLiteral("IS NOT DISTINCT FROM") : QStringLiteral("IS");
    q.prepare(QStringLiteral("SELECT 1 FROM devices WHERE station = ? AND port %1 ? AND imei %1 ? "
                             "AND result = ? AND started_at = ? AND ended_at = ?")
                  .arg(same));
    q.addBindValue(row.station);
    q.addBindValue(textOrNull(row.port));
    q.addBindValue(textOrNull(row.imei));
    q.addBindValue(QString::fromUtf8(provisionResultName(row.result)));
    q.addBindValue(isoUtc(row.started));
    q.addBindValue(isoUtc(row.ended));
    if (!q.exec()) {
        error = sqlError(q.lastError());
        return std::nullopt;
    }
    return q.next();
}

std::optional<ProvisioningDb::JournalLoad> ProvisioningDb::loadJournal(const QString& path,
                                                                       QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return std::nullopt;
    }
    if (file.size() > kMaxJournalBytes) {
        error = QStringLiteral("larger than %1 MiB: not a journal").arg(kMaxJournalBytes >> 20);
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return std::nullopt;
    }
    file.close();

    JournalLoad load;
    std::vector<ProvisioningRow> rows;
    int number = 0;
    for (const QByteArray& line : bytes.split('\n')) {
        ++number;
        if (line.trimmed().isEmpty()) continue;
        std::string why;
        const auto cells = parseJournalLine(std::string_view(line.constData(), line.size()), why);
        QString qwhy;
        const auto row = cells ? rowFromCells(*cells, qwhy) : std::nullopt;
        if (row)
            rows.push_back(*row);
        else
            load.unreadLines.push_back(number);
    }

    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction()) {
        error = sqlError(db.lastError());
        return std::nullopt;
    }
    for (const ProvisioningRow& row : rows) {
        const auto present = holds(row, error);
        if (!present || (!*present && !insert(row, error))) {
            db.rollback();
            return std::nullopt;
        }
        ++(*present ? load.present : load.loaded);
    }
    if (!db.commit()) {
        error = sqlError(db.lastError());
        db.rollback();
        return std::nullopt;
    }
    // A row appended while it was loaded stays for the next load; what is loaded now is then
    // found present.
    if (load.unreadLines.empty() && QFileInfo(path).size() == bytes.size())
        load.removed = QFile::remove(path);
    return load;
}

std::optional<std::vector<ProvisioningRow>> ProvisioningDb::list(const QString& imei,
                                                                 QString& error) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QString sql = QStringLiteral("SELECT id, %1 FROM devices").arg(QString::fromUtf8(kColumns));
    if (!imei.isEmpty()) sql += QStringLiteral(" WHERE imei = ?");
    sql += QStringLiteral(" ORDER BY id");
    q.prepare(sql);
    if (!imei.isEmpty()) q.addBindValue(imei);
    if (!q.exec()) {
        error = sqlError(q.lastError());
        return std::nullopt;
    }
    std::vector<ProvisioningRow> rows;
    while (q.next()) {
        ProvisioningRow r;
        int c = 0;
        r.id = q.value(c++).toLongLong();
        for (QString* s : {&r.station, &r.port, &r.imei, &r.iccid, &r.mac, &r.model,
                           &r.firmwareVersion, &r.paramsSha256})
            *s = q.value(c++).toString();
        r.result = provisionResultFromName(q.value(c++).toString().toStdString())
                       .value_or(ProvisionResult::Failed);
        r.failedStep = q.value(c++).toString();
        r.reason = q.value(c++).toString();
        r.started = QDateTime::fromString(q.value(c++).toString(), Qt::ISODateWithMs);
        r.ended = QDateTime::fromString(q.value(c++).toString(), Qt::ISODateWithMs);
        rows.push_back(std::move(r));
    }
    return rows;
}

}  // namespace dtu
