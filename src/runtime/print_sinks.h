#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QThread>
#include <QTimer>
#include <functional>
#include <memory>

namespace dtu {

class DeviceWriter;

// Where the print service passes its jobs. write() takes one job at a time; done is called
// exactly once, on the thread that called write(), possibly before write() returns. detail
// says where the job went (a spool file's path, the device, the queue and what lp said), or
// why it did not.
class JobSink : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(bool ok, const QString& detail)>;
    using QObject::QObject;

    virtual QString name() const = 0;
    virtual void write(const QByteArray& job, Done done) = 0;
};

// Each job in a file of its own, "job-000000000001.prn", "job-000000000002.prn", ...: the
// names sort in the order the jobs came, also across restarts (numbering goes on after the
// highest file there). A file appears only whole: it is written under another name first.
class SpoolSink : public JobSink {
    Q_OBJECT
public:
    explicit SpoolSink(QString dir, QObject* parent = nullptr);

    QString name() const override { return QStringLiteral("spool ") + m_dir; }
    const QString& dir() const { return m_dir; }
    void write(const QByteArray& job, Done done) override;
    // The same, synchronously: the file's path, or the reason it could not be written.
    bool store(const QByteArray& job, QString& detail);

private:
    QString m_dir;
    quint64 m_next = 1;
};

// A printer device file (such as /dev/usb/lp0), written on a thread of its own so that a
// printer that stalls never holds up the datagrams. The file must exist: a missing printer is
// a failure, not a new file.
class DeviceSink : public JobSink {
    Q_OBJECT
public:
    explicit DeviceSink(QString path, QObject* parent = nullptr);
    ~DeviceSink() override;

    QString name() const override { return QStringLiteral("device ") + m_path; }
    void write(const QByteArray& job, Done done) override;

private:
    QString m_path;
    QThread* m_thread = nullptr;       // let go of at the end when a write never returns
    DeviceWriter* m_writer = nullptr;  // lives on m_thread
    Done m_done;
};

// A raw print queue: the job on the standard input of "lp -d NAME -o raw". A queue that does
// not take the job within a minute has failed.
class QueueSink : public JobSink {
    Q_OBJECT
public:
    explicit QueueSink(QString queue, QObject* parent = nullptr);
    ~QueueSink() override;

    QString name() const override { return QStringLiteral("queue ") + m_queue; }
    void write(const QByteArray& job, Done done) override;

private:
    void end(bool ok, const QString& detail);

    QString m_queue;
    std::unique_ptr<QProcess> m_process;
    QTimer m_limit{this};
    Done m_done;
};

}  // namespace dtu
