#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <cstdint>
#include <deque>
#include <optional>

#include "print_sinks.h"
#include "production/print_job.h"

namespace dtu {

// At most this much is held in memory: jobs waiting for the sink, and jobs the sink failed on
// that the fallback spool could not take yet. A job past either bound is not queued.
struct HoldLimits {
    std::size_t jobs = 1000;
    qint64 bytes = 64 * 1024 * 1024;
};

// The print service: answers the probe, gathers the label datagrams into jobs and passes the
// jobs, one at a time and in order, to its sink. A job the sink fails on is stored in the
// fallback spool instead (never retried on the printer: a label that comes out late could be
// stuck on the wrong device); if even that fails, the store is tried again every few seconds.
// A job past the hold limits goes straight to the fallback spool. Every job that can be
// neither passed on nor stored is named in the log as lost and counted.
class PrintServer : public QObject {
    Q_OBJECT
public:
    PrintServer(JobSink& sink, SpoolSink& fallback, HoldLimits limits = {},
                QObject* parent = nullptr);

    // Listens on 127.0.0.1 (port 0: any free port).
    bool listen(quint16 port, QString& error);
    quint16 port() const { return m_socket.localPort(); }

    // Takes what the socket still holds, stops taking datagrams and passes on every open
    // job; drained() follows once the sink has nothing left to do.
    void finish();
    // Stores every job still held in the fallback spool, at once, also the one the sink
    // holds (its outcome is unknown); a job that cannot be stored is lost.
    void storeRemaining();
    bool idle() const;
    // Jobs that reached neither the sink nor the fallback spool.
    int lostJobs() const { return m_lost; }

signals:
    // One line per job (time, sender, size, where it went), per failure and per change of
    // the system's count of datagrams dropped before the service could read them.
    void logLine(const QString& line);
    void drained();

private:
    struct Job {
        int number = 0;
        QDateTime time;
        PrintJob job;
    };
    enum class OnFailure : std::uint8_t { Retry, Lose };

    void onReadyRead();
    void onQuietTimer();
    void enqueue(std::vector<PrintJob> jobs);
    void armQuietTimer();
    void next();
    void onSinkDone(bool ok, const QString& detail);
    void keep(Job job, const QString& why, OnFailure onFailure);
    void retryKept();
    void checkDrained();
    void checkDrops();
    QString describe(const Job& job) const;

    JobSink& m_sink;
    SpoolSink& m_fallback;
    const HoldLimits m_limits;
    QUdpSocket m_socket;
    JobAssembler m_assembler;
    QElapsedTimer m_clock;
    QTimer m_quietTimer{this};
    QTimer m_retryTimer{this};
    std::deque<Job> m_queue;  // the first one is with the sink while m_busy
    std::deque<Job> m_kept;   // failed on the sink and not yet stored in the fallback spool
    qint64 m_heldBytes = 0;   // of m_queue and m_kept
    bool m_busy = false;
    bool m_finishing = false;
    int m_jobs = 0;
    int m_lost = 0;
    std::optional<std::uint32_t> m_drops;  // the system's count when last looked at
    quint64 m_droppedSinceStart = 0;
};

}  // namespace dtu
