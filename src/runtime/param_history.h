#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QSqlQuery>
#include <QString>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "production/param_history.h"
#include "provisioning_db.h"

namespace dtu {

// The parameter history in the record database: every read, save, restore and batch device's
// entry, and the records they name, each kept once by its SHA-256.
class ParamHistory {
public:
    ParamHistory();
    ~ParamHistory();
    ParamHistory(const ParamHistory&) = delete;
    ParamHistory& operator=(const ParamHistory&) = delete;

    // Append (to record; brings an older record up to date) or Read. A record without a
    // history yet reads as an empty one.
    bool open(const RecordTarget& target, ProvisioningDb::Mode mode, QString& error);
    // Where the entries go, for messages.
    const QString& describe() const { return m_where; }

    // Adds an entry (its id, and the hash when a record is given, are filled in) in one
    // transaction of its own, storing the record unless it is kept already. Another writer is
    // not waited for: the entry is then refused with the reason.
    bool record(HistoryEntry& entry, std::optional<std::span<const std::uint8_t>> params,
                QString& error);

    struct Listed {
        HistoryEntry entry;
        std::vector<FieldDifference> changes;  // against the device's previous entry
    };
    // The newest `limit` entries, of one IMEI or of all devices, newest first.
    std::optional<std::vector<Listed>> list(const QString& imei, int limit, QString& error);

    struct Stored {
        HistoryEntry entry;
        std::optional<DeviceParams> params;  // none when the entry kept no record
    };
    // The entry with its record; nothing without an error when there is no such entry.
    std::optional<Stored> entry(qint64 id, QString& error);
    // The entry of the same device before this one; nothing without an error when there is
    // none.
    std::optional<Stored> previous(qint64 id, QString& error);
    // Keeps the newest keepPerDevice entries of each device, and the records they name.
    // Returns how many entries went.
    std::optional<int> prune(int keepPerDevice, QString& error);

private:
    std::optional<Stored> stored(QSqlQuery& q, QString& error);
    std::optional<std::optional<DeviceParams>> loadRecord(const QString& sha256, QString& error);

    ProvisioningDb m_db;
    QString m_where;
    bool m_empty = false;  // a record of a version without the history
    // Prepared once: an entry is written while the device waits for nothing, but quickly.
    std::unique_ptr<QSqlQuery> m_addRecord;
    std::unique_ptr<QSqlQuery> m_addEntry;
};

// Where the history is kept: spec (a --record value or the PC settings' record), or when it
// is empty the provisioning record in the production folder, which is then made when missing.
std::optional<RecordTarget> historyRecordTarget(const QString& spec, const QString& productionDir,
                                                QString& error);

// The current time as the entries keep it.
std::string historyTimeNow();

}  // namespace dtu
