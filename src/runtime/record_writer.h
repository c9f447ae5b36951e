#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>

#include "provisioning_db.h"

namespace dtu {

// Writes the rows of a batch into the record without ever holding up the devices on the
// line: a row the record does not take at once (another writer holds it) waits in a queue and
// is tried again on a timer; one that still cannot be written after kPatienceMs is appended to
// the journal, which the next batch (or `records --import-journal`) loads into the record.
class RecordWriter : public QObject {
    Q_OBJECT
public:
    static constexpr int kRetryMs = 250;
    static constexpr int kPatienceMs = 5000;

    RecordWriter(ProvisioningDb& db, QString journalPath, QObject* parent = nullptr);

    void add(const ProvisioningRow& row);
    // Nothing is waiting.
    bool idle() const { return m_queue.empty(); }
    // Stop waiting: every row that is waiting is tried once more, then journalled.
    void hurry();

    const QString& journalPath() const { return m_journalPath; }
    int journalled() const { return m_journalled; }
    // Rows neither the record nor the journal took (see rowLost).
    int lost() const { return m_lost; }
    // Why the record refused the last row it refused.
    const QString& lastError() const { return m_lastError; }

signals:
    // The queue has emptied.
    void drained();
    // A row neither the record nor the journal took: the row as a journal line, and why.
    void rowLost(const QString& line, const QString& error);

private:
    struct Waiting {
        ProvisioningRow row;
        QDeadlineTimer patience;
    };
    void retry();
    void journal(const ProvisioningRow& row);

    ProvisioningDb& m_db;
    QString m_journalPath;
    std::deque<Waiting> m_queue;
    QTimer m_retry;
    int m_journalled = 0;
    int m_lost = 0;
    QString m_lastError;
};

// Appends one line to a file and checks it to the end (write, flush, close). A file whose last
// line was cut short (a crash) gets its line ended first, so that the new line stays whole.
bool appendLine(const QString& path, const QByteArray& line, QString& error);

}  // namespace dtu
