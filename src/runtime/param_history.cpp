#include "param_history.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QVariant>
#include <map>

namespace dtu {

namespace {

QString sqlError(const QSqlError& e) {
    QString text = e.text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

// The entry's columns as the table names them, in the order historyCells gives them.
QString columnList() {
    QStringList names;
    for (const RecordCell& c : historyCells(HistoryEntry{}))
        names << QString::fromStdString(c.name);
    return names.join(QStringLiteral(", "));
}

QString selectEntries() {
    return QStringLiteral("SELECT id, %1 FROM history").arg(columnList());
}

std::optional<HistoryEntry> entryFromQuery(const QSqlQuery& q, QString& error) {
    std::vector<RecordCell> cells = historyCells(HistoryEntry{});
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const QVariant v = q.value(static_cast<int>(i) + 1);
        cells[i].value =
            v.isNull() ? std::nullopt : std::optional<std::string>(v.toString().toStdString());
    }
    std::string why;
    auto e = historyEntryFromCells(cells, why);
    if (!e) {
        error = QStringLiteral("entry %1: %2")
                    .arg(q.value(0).toLongLong())
                    .arg(QString::fromStdString(why));
        return std::nullopt;
    }
    e->id = q.value(0).toLongLong();
    return e;
}

}  // namespace

std::optional<RecordTarget> historyRecordTarget(const QString& spec, const QString& productionDir,
                                                QString& error) {
    auto target = parseRecordTarget(spec, productionDir, error);
    if (target && spec.isEmpty()) QDir().mkpath(productionDir);
    return target;
}

std::string historyTimeNow() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

ParamHistory::ParamHistory() = default;

// The prepared statements go before the connection they belong to.
ParamHistory::~ParamHistory() {
    m_addRecord.reset();
    m_addEntry.reset();
}

bool ParamHistory::open(const RecordTarget& target, ProvisioningDb::Mode mode, QString& error) {
    m_where = target.describe();
    if (!m_db.open(target, mode, error)) return false;
    const auto version = m_db.schemaVersion(error);
    if (!version) return false;
    m_empty = *version < 2;
    if (mode == ProvisioningDb::Mode::Read) return true;

    QSqlDatabase db = QSqlDatabase::database(m_db.connectionName(), false);
    m_addRecord = std::make_unique<QSqlQuery>(db);
    m_addEntry = std::make_unique<QSqlQuery>(db);
    const QString placeholders = QStringLiteral("?, ").repeated(historyCells({}).size() - 1);
    if (!m_addRecord->prepare(QStringLiteral("INSERT INTO param_records (sha256, params) VALUES "
                                             "(?, ?) ON CONFLICT (sha256) DO NOTHING")) ||
        !m_addEntry->prepare(QStringLiteral("INSERT INTO history (%1) VALUES (%2?)")
                                 .arg(columnList(), placeholders))) {
        error = sqlError(m_addRecord->lastError().isValid() ? m_addRecord->lastError()
                                                            : m_addEntry->lastError());
        return false;
    }
    return true;
}

bool ParamHistory::record(HistoryEntry& entry, std::optional<std::span<const std::uint8_t>> params,
                          QString& error) {
    if (!m_addEntry) {
        error = QStringLiteral("the record is not open for writing");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(m_db.connectionName(), false);
    if (!db.transaction()) {
        error = sqlError(db.lastError());
        return false;
    }
    auto failed = [&](const QSqlError& e) {
        error = sqlError(e);
        db.rollback();
        return false;
    };
    if (params) {
        const QByteArray bytes(reinterpret_cast<const char*>(params->data()),
                               static_cast<qsizetype>(params->size()));
        const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
        entry.paramsSha256 = hash.toStdString();
        m_addRecord->bindValue(0, QString::fromLatin1(hash));
        m_addRecord->bindValue(1, bytes);
        if (!m_addRecord->exec()) return failed(m_addRecord->lastError());
    } else {
        entry.paramsSha256.clear();
    }
    int i = 0;
    for (const RecordCell& c : historyCells(entry))
        m_addEntry->bindValue(i++, c.value ? QVariant(QString::fromStdString(*c.value))
                                           : QVariant(QMetaType(QMetaType::QString)));
    if (!m_addEntry->exec()) return failed(m_addEntry->lastError());
    const qint64 id = m_addEntry->lastInsertId().toLongLong();
    if (!db.commit()) return failed(db.lastError());
    entry.id = id;
    return true;
}

std::optional<std::optional<DeviceParams>> ParamHistory::loadRecord(const QString& sha256,
                                                                    QString& error) {
    if (sha256.isEmpty()) return std::optional<DeviceParams>();
    QSqlQuery q(QSqlDatabase::database(m_db.connectionName(), false));
    q.prepare(QStringLiteral("SELECT params FROM param_records WHERE sha256 = ?"));
    q.addBindValue(sha256);
    if (!q.exec()) {
        error = sqlError(q.lastError());
        return std::nullopt;
    }
    const QByteArray bytes = q.next() ? q.value(0).toByteArray() : QByteArray();
    const auto params = paramsFromHistoryRecord(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size()));
    if (!params) {
        error = QStringLiteral("the record %1 is missing or damaged").arg(sha256);
        return std::nullopt;
    }
    return params;
}

std::optional<ParamHistory::Stored> ParamHistory::stored(QSqlQuery& q, QString& error) {
    if (!q.exec()) {
        error = sqlError(q.lastError());
        return std::nullopt;
    }
    if (!q.next()) {
        error.clear();
        return std::nullopt;
    }
    auto e = entryFromQuery(q, error);
    if (!e) return std::nullopt;
    auto params = loadRecord(QString::fromStdString(e->paramsSha256), error);
    if (!params) return std::nullopt;
    return Stored{std::move(*e), std::move(*params)};
}

std::optional<ParamHistory::Stored> ParamHistory::entry(qint64 id, QString& error) {
    error.clear();
    if (m_empty) return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(m_db.connectionName(), false));
    q.prepare(selectEntries() + QStringLiteral(" WHERE id = ?"));
    q.addBindValue(id);
    return stored(q, error);
}

std::optional<ParamHistory::Stored> ParamHistory::previous(qint64 id, QString& error) {
    error.clear();
    if (m_empty) return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(m_db.connectionName(), false));
    q.prepare(selectEntries() + QStringLiteral(" WHERE imei = (SELECT imei FROM history WHERE "
                                               "id = ?) AND id < ? ORDER BY id DESC LIMIT 1"));
    q.addBindValue(id);
    q.addBindValue(id);
    return stored(q, error);
}

std::optional<std::vector<ParamHistory::Listed>> ParamHistory::list(const QString& imei, int limit,
                                                                    QString& error) {
    std::vector<Listed> out;
    if (m_empty) return out;
    QSqlDatabase db = QSqlDatabase::database(m_db.connectionName(), false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QString sql = selectEntries();
    if (!imei.isEmpty()) sql += QStringLiteral(" WHERE imei = ?");
    q.prepare(sql + QStringLiteral(" ORDER BY id DESC LIMIT ?"));
    if (!imei.isEmpty()) q.addBindValue(imei);
    q.addBindValue(limit);
    if (!q.exec()) {
        error = sqlError(q.lastError());
        return std::nullopt;
    }
    while (q.next()) {
        auto e = entryFromQuery(q, error);
        if (!e) return std::nullopt;
        out.push_back({std::move(*e), {}});
    }
    q.finish();

    // Each entry against the one of the same device before it; a record is read once.
    std::map<QString, std::optional<DeviceParams>> records;
    auto recordOf = [&](const std::string& sha) -> const std::optional<DeviceParams>* {
        const QString key = QString::fromStdString(sha);
        if (auto it = records.find(key); it != records.end()) return &it->second;
        auto params = loadRecord(key, error);
        if (!params) return nullptr;
        return &records.emplace(key, std::move(*params)).first->second;
    };
    QSqlQuery before(db);
    before.prepare(
        QStringLiteral("SELECT params_sha256 FROM history WHERE imei = ? AND id < ? "
                       "ORDER BY id DESC LIMIT 1"));
    for (Listed& l : out) {
        if (l.entry.imei.empty() || l.entry.paramsSha256.empty()) continue;
        before.bindValue(0, QString::fromStdString(l.entry.imei));
        before.bindValue(1, qint64(l.entry.id));
        if (!before.exec()) {
            error = sqlError(before.lastError());
            return std::nullopt;
        }
        const std::string prior =
            before.next() ? before.value(0).toString().toStdString() : std::string();
        before.finish();
        if (prior.empty() || prior == l.entry.paramsSha256) continue;
        const auto* a = recordOf(prior);
        const auto* b = recordOf(l.entry.paramsSha256);
        if (!a || !b) return std::nullopt;
        l.changes = historyChanges(*a, *b);
    }
    return out;
}

std::optional<int> ParamHistory::prune(int keepPerDevice, QString& error) {
    if (m_empty) return 0;
    QSqlDatabase db = QSqlDatabase::database(m_db.connectionName(), false);
    if (!db.transaction()) {
        error = sqlError(db.lastError());
        return std::nullopt;
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "DELETE FROM history WHERE id IN (SELECT id FROM (SELECT id, ROW_NUMBER() OVER "
        "(PARTITION BY imei ORDER BY id DESC) AS n FROM history) AS ranked WHERE n > ?)"));
    q.addBindValue(keepPerDevice);
    if (!q.exec()) {
        error = sqlError(q.lastError());
        db.rollback();
        return std::nullopt;
    }
    const int gone = q.numRowsAffected();
    if (!q.exec(QStringLiteral("DELETE FROM param_records WHERE NOT EXISTS (SELECT 1 FROM "
                               "history WHERE history.params_sha256 = param_records.sha256)")) ||
        !db.commit()) {
        error = sqlError(q.lastError().isValid() ? q.lastError() : db.lastError());
        db.rollback();
        return std::nullopt;
    }
    return gone;
}

}  // namespace dtu
