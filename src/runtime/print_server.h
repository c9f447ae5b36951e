#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <deque>

#include "print_sinks.h"
#include "production/print_job.h"

namespace dtu {

// The print service: answers the probe, gathers the label datagrams into jobs and passes the
// jobs, one at a time and in order, to its sink. A job the sink fails on is stored in the
// fallback spool instead (never retried on the printer: a label that comes out late could be
// stuck on the wrong device); if even that fails, the store is tried again every few seconds.
class PrintServer : public QObject {
    Q_OBJECT
public:
    PrintServer(JobSink& sink, SpoolSink& fallback, QObject* parent = nullptr);

    // Listens on 127.0.0.1 (port 0: any free port).
    bool listen(quint16 port, QString& error);
    quint16 port() const { return m_socket.localPort(); }

    // Stops taking datagrams and passes on every open job; drained() follows once nothing is
    // left to do.
    void finish();
    // Stores every job not yet done in the fallback spool, at once, also the one the sink
    // holds (its outcome is unknown).
    void storeRemaining();
    bool idle() const;

signals:
    // One line per job (time, sender, size, where it went) and per failure.
    void logLine(const QString& line);
    void drained();

private:
    struct Job {
        int number = 0;
        QDateTime time;
        PrintJob job;
    };

    void onReadyRead();
    void onQuietTimer();
    void enqueue(std::vector<PrintJob> jobs);
    void armQuietTimer();
    void next();
    void onSinkDone(bool ok, const QString& detail);
    void keep(Job job, const QString& why);
    void retryKept();
    void checkDrained();
    QString describe(const Job& job) const;

    JobSink& m_sink;
    SpoolSink& m_fallback;
    QUdpSocket m_socket;
    JobAssembler m_assembler;
    QElapsedTimer m_clock;
    QTimer m_quietTimer;
    QTimer m_retryTimer;
    std::deque<Job> m_queue;
    std::deque<Job> m_kept;  // failed on the sink and not yet stored in the fallback spool
    bool m_busy = false;
    bool m_finishing = false;
    int m_jobs = 0;
};

}  // namespace dtu
