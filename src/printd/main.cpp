// dtuprintd: the print service of the production line. It answers the configuration tool's
// probe and passes each label job to a spool folder, a printer device or a raw print queue.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#endif

#include "print_server.h"
#include "print_sinks.h"
#include "production/label.h"
#include "production/print_job.h"

namespace {

// How long a stop waits for the sink to take what is queued before keeping it in the
// fallback spool.
constexpr int kDrainMs = 10000;

const char* kDescription =
    "The label print service of the production line, on UDP 127.0.0.1.\n"
    "\n"
    "It answers the configuration tool's probe (\"test\") with \"ok\" and takes its label\n"
    "datagrams. A job is the datagrams one sender sends for one label: it starts with the\n"
    "printer set-up and ends with the label itself (the datagram that is neither the set-up\n"
    "nor a DOWNLOAD). A job without a label ends after 2 s of quiet or when the sender's next\n"
    "set-up arrives; a job is also passed on at 1 MiB. Each job goes, bytes in arrival order,\n"
    "to exactly one sink:\n"
    "  --spool DIR    one file per job, job-000000000001.prn, ... (names sort in arrival\n"
    "                 order, also across restarts; a file appears only when it is complete)\n"
    "  --device PATH  a printer device file such as /dev/usb/lp0 (it must exist)\n"
    "  --queue NAME   a raw print queue, through \"lp -d NAME -o raw\"\n"
    "Jobs reach the sink one at a time, in order. A job the sink fails on is not retried on\n"
    "the printer (a label printed late could end up on the wrong device): it is kept in the\n"
    "fallback folder under the same kind of name, and the log says where. At most\n"
    "--max-jobs jobs of --max-mib MiB in all wait in memory (for the sink, or for a fallback\n"
    "folder that could not take them); a job past that goes to the fallback folder at once.\n"
    "On SIGTERM or SIGINT open jobs are passed on and the queue is given 10 s before the rest\n"
    "is kept. Every job is logged on stderr (time, sender, datagrams, bytes, where it went);\n"
    "a job that reached neither the sink nor the fallback folder is logged as LOST, and the\n"
    "exit status is then 1. The log also counts the datagrams the system dropped because\n"
    "they came faster than they could be read. The port it listens on is printed on stdout\n"
    "once it is ready.";

#ifdef Q_OS_UNIX
int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &c, 1);
}
#endif

void say(const QString& line) {
    std::cerr << "dtuprintd: " << line.toStdString() << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dtuprintd"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DTUCONF_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("UDP port on 127.0.0.1 (default %1; 0 picks a free one)")
            .arg(dtu::kPrintServicePort),
        QStringLiteral("N"), QString::number(dtu::kPrintServicePort));
    const QCommandLineOption spool(QStringLiteral("spool"), QStringLiteral("spool folder sink"),
                                   QStringLiteral("DIR"));
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("printer device file sink"),
                                    QStringLiteral("PATH"));
    const QCommandLineOption queue(QStringLiteral("queue"), QStringLiteral("raw print queue sink"),
                                   QStringLiteral("NAME"));
    const QString defaultFallback =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
        QStringLiteral("/dtuprintd/unprinted");
    const QCommandLineOption fallback(
        QStringLiteral("fallback"),
        QStringLiteral("where jobs the sink failed on are kept (default %1)").arg(defaultFallback),
        QStringLiteral("DIR"), defaultFallback);
    const dtu::HoldLimits defaults;
    const QCommandLineOption maxJobs(
        QStringLiteral("max-jobs"),
        QStringLiteral("most jobs held in memory at once (default %1)").arg(defaults.jobs),
        QStringLiteral("N"), QString::number(defaults.jobs));
    const QCommandLineOption maxMib(
        QStringLiteral("max-mib"),
        QStringLiteral("most MiB those jobs hold (default %1)").arg(defaults.bytes >> 20),
        QStringLiteral("N"), QString::number(defaults.bytes >> 20));
    parser.addOptions({port, spool, device, queue, fallback, maxJobs, maxMib});

    auto usage = [](const QString& why) {
        say(why + QStringLiteral("\nTry 'dtuprintd --help'."));
        return 2;
    };
    if (!parser.parse(QCoreApplication::arguments())) return usage(parser.errorText());
    if (parser.isSet(help)) parser.showHelp(0);
    if (parser.isSet(version)) parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument ") + parser.positionalArguments().first());
    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    if (!portOk || portNumber > 65535) return usage(QStringLiteral("--port: 0 to 65535"));
    dtu::HoldLimits limits;
    bool jobsOk = false;
    bool mibOk = false;
    limits.jobs = parser.value(maxJobs).toUInt(&jobsOk);
    const uint mib = parser.value(maxMib).toUInt(&mibOk);
    if (!jobsOk || limits.jobs < 1) return usage(QStringLiteral("--max-jobs: a number from 1"));
    if (!mibOk || mib < 1 || mib > 1024 * 1024)
        return usage(QStringLiteral("--max-mib: 1 to 1048576"));
    limits.bytes = qint64(mib) << 20;
    const int sinks =
        int(parser.isSet(spool)) + int(parser.isSet(device)) + int(parser.isSet(queue));
    if (sinks != 1) return usage(QStringLiteral("give exactly one of --spool, --device, --queue"));

    std::unique_ptr<dtu::JobSink> sink;
    if (parser.isSet(spool)) {
        const QString dir = parser.value(spool);
        if (!QDir().mkpath(dir)) {
            say(QStringLiteral("cannot create the spool folder ") + dir);
            return 1;
        }
        sink = std::make_unique<dtu::SpoolSink>(QDir(dir).absolutePath());
    } else if (parser.isSet(device)) {
        sink = std::make_unique<dtu::DeviceSink>(parser.value(device));
    } else {
        sink = std::make_unique<dtu::QueueSink>(parser.value(queue));
    }
    dtu::SpoolSink fallbackSpool(QDir(parser.value(fallback)).absolutePath());

    dtu::PrintServer server(*sink, fallbackSpool, limits);
    QObject::connect(&server, &dtu::PrintServer::logLine, &say);
    QString error;
    if (!server.listen(quint16(portNumber), error)) {
        say(QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(portNumber).arg(error));
        return 1;
    }

    QTimer drainLimit;
    drainLimit.setSingleShot(true);
    auto stop = [&] {
        if (drainLimit.isActive()) return;
        say(QStringLiteral("stopping"));
        QObject::connect(&server, &dtu::PrintServer::drained, &app, &QCoreApplication::quit);
        QObject::connect(&drainLimit, &QTimer::timeout, &app, &QCoreApplication::quit);
        drainLimit.start(kDrainMs);
        server.finish();
    };
#ifdef Q_OS_UNIX
    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &app, [&] {
            char c;
            [[maybe_unused]] const auto n = ::read(g_signalPipe[0], &c, 1);
            stop();
        });
        struct sigaction sa = {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
    }
#endif

    say(QStringLiteral("listening on 127.0.0.1:%1, jobs to %2, failed jobs kept in %3")
            .arg(server.port())
            .arg(sink->name(), fallbackSpool.dir()));
    std::printf("%u\n", unsigned(server.port()));
    std::fflush(stdout);
    app.exec();
    server.storeRemaining();
    if (server.lostJobs() > 0) {
        say(QStringLiteral("stopped; %1 job(s) LOST, named above").arg(server.lostJobs()));
        return 1;
    }
    return 0;
}
