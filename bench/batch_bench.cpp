// dtuconf batch against 1, 4 and 8 simulated devices paced to the line rate at 38400 baud, each
// on its own pseudo-terminal and in its own process, as on a production line: the time of the
// whole batch (the program started and ended included) against the time of one device. The
// devices run side by side, so eight should take little longer than one.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kBaud = 38400;
constexpr int kRuns = 3;
constexpr double kGoal = 1.2;

struct Device {
    std::unique_ptr<QProcess> process;
    QString path;
};

// A paced device; its path once it has printed it.
Device startDevice() {
    Device d;
    d.process = std::make_unique<QProcess>();
    d.process->start(DTUSIM_BIN, {"--baud", QString::number(kBaud), "--line-rate"});
    if (d.process->waitForReadyRead(5000))
        d.path = QString::fromUtf8(d.process->readLine()).trimmed();
    return d;
}

void stopDevice(Device& d) {
    d.process->terminate();
    if (!d.process->waitForFinished(3000)) d.process->kill();
    d.process->waitForFinished();
}

// A plan that gives every device its own server, port, MQTT client and APN.
QByteArray plan(const std::vector<Device>& devices) {
    QByteArray csv = "port,serverAHost,serverAPort,mqttHost,mqttClientId,apnName\r\n";
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const QByteArray n = QByteArray::number(static_cast<int>(i));
        csv += devices[i].path.toUtf8() + ",line" + n + ".example.com," +
               QByteArray::number(7000 + static_cast<int>(i)) + ",mqtt" + n +
               ".example.com,station-7-device-" + n + ",cmnet\r\n";
    }
    return csv;
}

// One batch of n devices: its wall time in ms, or a negative value when it failed.
double runBatch(const QTemporaryDir& dir, int n, int run) {
    std::vector<Device> devices;
    for (int i = 0; i < n; ++i) devices.push_back(startDevice());
    const QString planPath = dir.filePath(QStringLiteral("plan-%1-%2.csv").arg(n).arg(run));
    QFile f(planPath);
    if (!f.open(QIODevice::WriteOnly)) return -1;
    f.write(plan(devices));
    f.close();

    QProcess batch;
    QElapsedTimer t;
    t.start();
    batch.start(DTUCONF_BIN,
                {"batch", "--plan", planPath, "--baud", QString::number(kBaud), "--record",
                 dir.filePath("record.sqlite"), "--production-dir", dir.filePath("production")});
    const bool finished = batch.waitForFinished(120000);
    const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    const bool ok = finished && batch.exitStatus() == QProcess::NormalExit && batch.exitCode() == 0;
    if (!ok)
        std::fprintf(stderr, "batch_bench: %d devices failed:\n%s%s\n", n,
                     batch.readAllStandardOutput().constData(),
                     batch.readAllStandardError().constData());
    for (auto& d : devices) stopDevice(d);
    return ok ? ms : -1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;

    std::printf("dtuconf batch, devices paced at %d baud: read, save, read back, verify, record\n",
                kBaud);
    double one = 0;
    bool ok = true;
    for (const int n : {1, 4, 8}) {
        std::vector<double> times;
        for (int run = 0; run < kRuns; ++run) {
            const double ms = runBatch(dir, n, run);
            if (ms < 0) {
                ok = false;
                break;
            }
            times.push_back(ms);
        }
        if (times.empty()) continue;
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        if (n == 1) one = median;
        std::printf("  %d device%s  median %.0f ms (of %zu: %.0f .. %.0f)  vs one %.3f\n", n,
                    n == 1 ? " " : "s", median, times.size(), times.front(), times.back(),
                    one > 0 ? median / one : 0.0);
        if (n == 8 && one > 0)
            std::printf("  goal: 8 devices under %.1fx one: %s\n", kGoal,
                        median / one < kGoal ? "met" : "MISSED");
    }
    return ok ? 0 : 1;
}
