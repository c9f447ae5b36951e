#include "print_server.h"

#include <QNetworkDatagram>
#include <algorithm>
#include <utility>

#include "qt_bytes.h"
#include "socket_drops.h"

namespace dtu {

namespace {

constexpr int kRetryMs = 5000;

QByteArray toBytes(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

}  // namespace

PrintServer::PrintServer(JobSink& sink, SpoolSink& fallback, HoldLimits limits, QObject* parent)
    : QObject(parent), m_sink(sink), m_fallback(fallback), m_limits(limits) {
    m_clock.start();
    m_quietTimer.setSingleShot(true);
    m_quietTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_quietTimer, &QTimer::timeout, this, &PrintServer::onQuietTimer);
    m_retryTimer.setInterval(kRetryMs);
    connect(&m_retryTimer, &QTimer::timeout, this, &PrintServer::retryKept);
    connect(&m_socket, &QUdpSocket::readyRead, this, &PrintServer::onReadyRead);
}

bool PrintServer::listen(quint16 port, QString& error) {
    if (!m_socket.bind(QHostAddress::LocalHost, port)) {
        error = m_socket.errorString();
        return false;
    }
    // Label datagrams come in bursts; room for many prints keeps them while the sink works.
    m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
    m_drops = socketDropCount(m_socket.socketDescriptor());
    return true;
}

void PrintServer::onReadyRead() {
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram d = m_socket.receiveDatagram();
        if (m_finishing || !d.isValid()) continue;
        const QByteArray data = d.data();
        if (classifyDatagram(byteSpan(data)) == DatagramKind::Probe) {
            m_socket.writeDatagram(toBytes(std::string(kProbeAnswer)), d.senderAddress(),
                                   quint16(d.senderPort()));
            continue;
        }
        const std::string sender =
            (d.senderAddress().toString() + ':' + QString::number(d.senderPort())).toStdString();
        enqueue(m_assembler.onDatagram(sender, byteSpan(data), m_clock.elapsed()));
    }
    // Datagrams are dropped only while the buffer is full, so a read always follows a drop.
    checkDrops();
    armQuietTimer();
}

void PrintServer::checkDrops() {
    if (!m_drops) return;
    const auto now = socketDropCount(m_socket.socketDescriptor());
    if (!now || *now == *m_drops) return;
    const std::uint32_t dropped = *now - *m_drops;  // the count wraps
    m_drops = now;
    m_droppedSinceStart += dropped;
    emit logLine(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) +
                 QStringLiteral(" the system dropped %1 datagram(s) that came faster than they "
                                "could be read (%2 since the start)")
                     .arg(dropped)
                     .arg(m_droppedSinceStart));
}

void PrintServer::onQuietTimer() {
    enqueue(m_assembler.onTime(m_clock.elapsed()));
    armQuietTimer();
}

void PrintServer::armQuietTimer() {
    const auto deadline = m_assembler.nextDeadline();
    if (!deadline) {
        m_quietTimer.stop();
        return;
    }
    m_quietTimer.start(int(std::max<qint64>(0, *deadline - m_clock.elapsed())));
}

void PrintServer::enqueue(std::vector<PrintJob> jobs) {
    for (PrintJob& j : jobs) {
        Job job{++m_jobs, QDateTime::currentDateTime(), std::move(j)};
        const std::size_t held = m_queue.size() + m_kept.size();
        const auto size = qint64(job.job.bytes.size());
        m_heldBytes += size;
        if (held < m_limits.jobs && m_heldBytes <= m_limits.bytes) {
            m_queue.push_back(std::move(job));
            continue;
        }
        // Past the limits a job never waits in memory: the fallback spool or nothing.
        keep(std::move(job),
             QStringLiteral("not queued: %1 job(s) of %2 bytes held (at most %3 jobs, %4 bytes)")
                 .arg(held)
                 .arg(m_heldBytes - size)
                 .arg(m_limits.jobs)
                 .arg(m_limits.bytes),
             OnFailure::Lose);
    }
    if (!m_busy) next();
}

void PrintServer::next() {
    if (m_busy) return;
    if (m_queue.empty()) {
        checkDrained();
        return;
    }
    m_busy = true;
    const int number = m_queue.front().number;
    m_sink.write(toBytes(m_queue.front().job.bytes),
                 [this, number](bool ok, const QString& detail) {
                     if (m_busy && !m_queue.empty() && m_queue.front().number == number)
                         onSinkDone(ok, detail);
                 });
}

void PrintServer::onSinkDone(bool ok, const QString& detail) {
    Job job = std::move(m_queue.front());
    m_queue.pop_front();
    m_busy = false;
    if (ok) {
        m_heldBytes -= qint64(job.job.bytes.size());
        emit logLine(describe(job) + QStringLiteral(" -> ") + detail);
    } else {
        keep(std::move(job), m_sink.name() + QStringLiteral(" failed: ") + detail,
             OnFailure::Retry);
    }
    // Not from inside the sink's call: the next job starts from the event loop.
    QTimer::singleShot(0, this, &PrintServer::next);
}

// The job is counted in m_heldBytes until it is stored or lost.
void PrintServer::keep(Job job, const QString& why, OnFailure onFailure) {
    QString stored;
    const QString line = describe(job) + QStringLiteral(" -> ") + why;
    if (m_fallback.store(toBytes(job.job.bytes), stored)) {
        m_heldBytes -= qint64(job.job.bytes.size());
        emit logLine(line + QStringLiteral("; kept in ") + stored);
        return;
    }
    if (onFailure == OnFailure::Lose) {
        m_heldBytes -= qint64(job.job.bytes.size());
        ++m_lost;
        emit logLine(line + QStringLiteral("; LOST, cannot keep it (") + stored + ')');
        return;
    }
    emit logLine(line + QStringLiteral("; cannot keep it (") + stored +
                 QStringLiteral("), trying again"));
    m_kept.push_back(std::move(job));
    m_retryTimer.start();
}

void PrintServer::retryKept() {
    while (!m_kept.empty()) {
        QString stored;
        if (!m_fallback.store(toBytes(m_kept.front().job.bytes), stored)) return;
        m_heldBytes -= qint64(m_kept.front().job.bytes.size());
        emit logLine(describe(m_kept.front()) + QStringLiteral(" kept in ") + stored);
        m_kept.pop_front();
    }
    m_retryTimer.stop();
}

void PrintServer::finish() {
    // Datagrams that arrived before the stop are taken like any other.
    onReadyRead();
    m_finishing = true;
    m_socket.close();
    m_quietTimer.stop();
    enqueue(m_assembler.flush());
    checkDrained();
}

void PrintServer::storeRemaining() {
    m_retryTimer.stop();
    std::deque<Job> left;
    left.swap(m_queue);
    const bool withSink = std::exchange(m_busy, false);
    for (std::size_t i = 0; i < left.size(); ++i) {
        // The job the sink still holds may or may not come out: keeping it is the safe side.
        const QString why = i == 0 && withSink ? QStringLiteral("still with ") + m_sink.name() +
                                                     QStringLiteral(" at the stop (it may print)")
                                               : QStringLiteral("not passed on before the stop");
        keep(std::move(left[i]), why, OnFailure::Lose);
    }
    left.clear();
    left.swap(m_kept);
    for (Job& job : left)
        keep(std::move(job), QStringLiteral("not stored before the stop"), OnFailure::Lose);
}

bool PrintServer::idle() const {
    return !m_busy && m_queue.empty() && m_kept.empty() && m_assembler.openJobs() == 0;
}

// Jobs waiting for the fallback spool do not hold up the stop: storeRemaining() has the last
// word on them.
void PrintServer::checkDrained() {
    if (m_finishing && !m_busy && m_queue.empty()) emit drained();
}

QString PrintServer::describe(const Job& job) const {
    const PrintJob& j = job.job;
    return job.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QStringLiteral(" job ") +
           QString::number(job.number) + QStringLiteral(" from ") +
           QString::fromStdString(j.sender) + QStringLiteral(": ") + QString::number(j.datagrams) +
           QStringLiteral(" datagram(s), ") + QString::number(j.bytes.size()) +
           QStringLiteral(" bytes") +
           (j.labelSeen ? QString() : QStringLiteral(" (no label datagram)"));
}

}  // namespace dtu
