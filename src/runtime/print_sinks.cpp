#include "print_sinks.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "file_io.h"
#include "qt_bytes.h"

namespace dtu {

namespace {

constexpr int kQueueLimitMs = 60000;

QString spoolName(quint64 number) {
    return QStringLiteral("job-%1.prn").arg(number, 12, 10, QLatin1Char('0'));
}

}  // namespace

SpoolSink::SpoolSink(QString dir, QObject* parent) : JobSink(parent), m_dir(std::move(dir)) {
    static const QRegularExpression kName(QStringLiteral("^job-(\\d{12})\\.prn$"));
    const QStringList names = QDir(m_dir).entryList({QStringLiteral("job-*.prn")}, QDir::Files);
    for (const QString& n : names) {
        const auto match = kName.match(n);
        if (match.hasMatch()) m_next = std::max(m_next, match.captured(1).toULongLong() + 1);
    }
}

void SpoolSink::write(const QByteArray& job, Done done) {
    QString detail;
    const bool ok = store(job, detail);
    done(ok, detail);
}

bool SpoolSink::store(const QByteArray& job, QString& detail) {
    if (!QDir().mkpath(m_dir)) {
        detail = m_dir + QStringLiteral(": cannot create the folder");
        return false;
    }
    // Another program may have put files there since: never write over one.
    while (QFile::exists(m_dir + '/' + spoolName(m_next))) ++m_next;
    const QString path = m_dir + '/' + spoolName(m_next);
    std::string error;
    if (!writeFileAtomic(path.toStdString(), byteSpan(job), error)) {
        detail = QString::fromStdString(error);
        return false;
    }
    ++m_next;
    detail = path;
    return true;
}

// Writes jobs to a device file on its own thread. It knows nothing of the sink: its answer
// goes by signal, which Qt drops safely if the sink has gone meanwhile.
class DeviceWriter : public QObject {
    Q_OBJECT
public:
    void write(const QString& path, const QByteArray& job) {
        QFile device(path);
        bool ok = device.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly |
                              QIODevice::Unbuffered);
        if (ok) ok = device.write(job) == job.size();
        emit written(ok, ok ? QStringLiteral("device ") + path
                            : path + QStringLiteral(": ") + device.errorString());
    }

signals:
    void written(bool ok, const QString& detail);
};

DeviceSink::DeviceSink(QString path, QObject* parent)
    : JobSink(parent), m_path(std::move(path)), m_thread(new QThread) {
    m_writer = new DeviceWriter;
    m_writer->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_writer, &QObject::deleteLater);
    connect(m_writer, &DeviceWriter::written, this, [this](bool ok, const QString& detail) {
        if (!m_done) return;
        Done done = std::move(m_done);
        m_done = nullptr;
        done(ok, detail);
    });
    m_thread->start();
}

DeviceSink::~DeviceSink() {
    m_thread->quit();
    // A printer that stalls can hold a write for ever; the service must still end.
    if (m_thread->wait(3000)) delete m_thread;
}

void DeviceSink::write(const QByteArray& job, Done done) {
    m_done = std::move(done);
    QMetaObject::invokeMethod(
        m_writer, [writer = m_writer, path = m_path, job] { writer->write(path, job); },
        Qt::QueuedConnection);
}

QueueSink::QueueSink(QString queue, QObject* parent) : JobSink(parent), m_queue(std::move(queue)) {
    m_limit.setSingleShot(true);
    m_limit.setTimerType(Qt::PreciseTimer);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        end(false, QStringLiteral("lp did not finish within %1 s").arg(kQueueLimitMs / 1000));
    });
}

QueueSink::~QueueSink() {
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

void QueueSink::write(const QByteArray& job, Done done) {
    m_done = std::move(done);
    m_process = std::make_unique<QProcess>();
    QProcess* p = m_process.get();
    p->setProcessChannelMode(QProcess::MergedChannels);
    connect(p, &QProcess::errorOccurred, this, [this, p](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) end(false, QStringLiteral("lp: ") + p->errorString());
    });
    connect(p, &QProcess::finished, this, [this, p](int code, QProcess::ExitStatus status) {
        const QString said = QString::fromLocal8Bit(p->readAll()).trimmed();
        if (status == QProcess::NormalExit && code == 0)
            end(true, name() + (said.isEmpty() ? QString() : QStringLiteral(" (") + said + ')'));
        else
            end(false, QStringLiteral("lp exit %1: %2").arg(code).arg(said));
    });
    m_limit.start(kQueueLimitMs);
    p->start(QStringLiteral("lp"),
             {QStringLiteral("-d"), m_queue, QStringLiteral("-o"), QStringLiteral("raw")});
    p->write(job);
    p->closeWriteChannel();
}

void QueueSink::end(bool ok, const QString& detail) {
    if (!m_done) return;
    m_limit.stop();
    if (m_process) {
        QProcess* p = m_process.release();
        p->disconnect(this);
        if (p->state() != QProcess::NotRunning) p->kill();
        // Deleted once it has really ended, never from inside its own signal.
        connect(p, &QProcess::finished, p, &QObject::deleteLater);
        if (p->state() == QProcess::NotRunning) p->deleteLater();
    }
    Done done = std::move(m_done);
    m_done = nullptr;
    done(ok, detail);
}

}  // namespace dtu

#include "print_sinks.moc"
