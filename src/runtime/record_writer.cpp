#include "record_writer.h"

#include <QFile>

namespace dtu {

RecordWriter::RecordWriter(ProvisioningDb& db, QString journalPath, QObject* parent)
    : QObject(parent), m_db(db), m_journalPath(std::move(journalPath)) {
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &RecordWriter::retry);
}

void RecordWriter::add(const ProvisioningRow& row) {
    // Rows go in the order they came: one that waits holds back those after it.
    if (m_queue.empty() && m_db.add(row, m_lastError)) return;
    m_queue.push_back({row, QDeadlineTimer(kPatienceMs)});
    m_retry.start();
}

void RecordWriter::retry() {
    while (!m_queue.empty()) {
        if (m_db.add(m_queue.front().row, m_lastError)) {
            m_queue.pop_front();
            continue;
        }
        // Still refused: what has waited long enough goes to the journal, untried, since the
        // record is held.
        while (!m_queue.empty() && m_queue.front().patience.hasExpired()) {
            journal(m_queue.front().row);
            m_queue.pop_front();
        }
        if (!m_queue.empty()) return;
    }
    m_retry.stop();
    emit drained();
}

void RecordWriter::hurry() {
    for (auto& w : m_queue) w.patience = QDeadlineTimer(0);
    if (!m_queue.empty()) retry();
}

void RecordWriter::journal(const ProvisioningRow& row) {
    const QByteArray line = QByteArray::fromStdString(journalLine(recordCells(row)));
    QString error;
    if (appendLine(m_journalPath, line, error)) {
        ++m_journalled;
        return;
    }
    ++m_lost;
    emit rowLost(QString::fromUtf8(line), error);
}

bool appendLine(const QString& path, const QByteArray& line, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append)) {
        error = file.errorString();
        return false;
    }
    QByteArray bytes = line + '\n';
    if (const qint64 size = file.size(); size > 0) {
        file.seek(size - 1);
        if (file.read(1) != "\n") bytes.prepend('\n');
    }
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    if (!written || file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace dtu
