// Start-up of the desktop window: the median time from the process's start to the window's first
// paint over several fresh processes, and the memory the window holds once painted and after
// every dialog has been opened once over a read of the simulated device. Run it on a display
// (QT_QPA_PLATFORM=xcb under a display server, e.g. xvfb-run) or offscreen.
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "click_label.h"
#include "main_window.h"
#include "pty_server.h"
#include "session.h"

namespace {

constexpr int kStarts = 9;  // fresh processes whose first paint is timed

// Milliseconds since the process started, from its start time in /proc (10 ms resolution).
double msSinceProcessStart() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly)) return -1;
    const QByteArray s = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> f = s.mid(s.lastIndexOf(')') + 2).split(' ');
    const double startTicks = f.value(19).toDouble();  // field 22 of the whole line
    const double up = uptime.readAll().split(' ').value(0).toDouble();
    return (up - startTicks / static_cast<double>(sysconf(_SC_CLK_TCK))) * 1000.0;
}

// Processor time the process has used so far, loading included: on a busy machine the wall time
// to the first paint says more about the other processes than about this one.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double residentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            sinceMain = mainTimer.nsecsElapsed() / 1e6;
            sinceStart = msSinceProcessStart();
            cpu = cpuMs();
        }
        return QObject::eventFilter(watched, event);
    }
    QElapsedTimer mainTimer;
    bool painted = false;
    double sinceMain = 0;
    double sinceStart = 0;
    double cpu = 0;
};

bool waitFor(const std::function<bool()>& done, int limitMs = 10000) {
    QElapsedTimer limit;
    limit.start();
    while (!done() && limit.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// Dialogs now open right over owner (not over one of its dialogs).
QList<QDialog*> openDialogs(QWidget* owner) {
    QList<QDialog*> open;
    // A dialog belongs to the window of the widget that opened it (a panel of the window).
    for (QDialog* d : owner->findChildren<QDialog*>())
        if (d->isVisible() && d->parentWidget() && d->parentWidget()->window() == owner)
            open.append(d);
    return open;
}

// Opens every dialog that a link of owner opens, and in each the dialogs its own links open,
// closing each again. Links that only act (copy a value, clear a box) open nothing. The
// window's enabling rules are passed by: the point is to have built every dialog once.
int openEveryDialog(QWidget* owner, const QList<std::function<void()>>& extraTriggers = {}) {
    QList<std::function<void()>> triggers = extraTriggers;
    for (dtu::ClickLabel* link : owner->findChildren<dtu::ClickLabel*>())
        if (link->window() == owner) triggers.append([link] { emit link->clicked(); });
    int opened = 0;
    for (const auto& trigger : triggers) {
        const QList<QDialog*> before = openDialogs(owner);
        trigger();
        QCoreApplication::processEvents();
        for (QDialog* d : openDialogs(owner)) {
            if (before.contains(d)) continue;
            ++opened;
            opened += openEveryDialog(d);
            d->reject();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return opened;
}

// The child process: shows the window and prints the times to its first paint.
int timeFirstPaint(FirstPaint& paint) {
    dtu::Session session;
    dtu::MainWindow window(session, dtu::PcSettings{});
    window.installEventFilter(&paint);
    window.show();
    if (!waitFor([&] { return paint.painted; })) return 1;
    std::printf("%f %f %f\n", paint.sinceStart, paint.sinceMain, paint.cpu);
    return 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    FirstPaint paint;
    paint.mainTimer.start();
    const bool child = argc > 1 && std::strcmp(argv[1], "--first-paint") == 0;
    std::vector<double> sinceStart, sinceMain, cpu;
    if (!child) {
        // Fresh processes first, before this one has loaded anything that they could share.
        const std::string command =
            std::string("/proc/") + std::to_string(getpid()) + "/exe --first-paint";
        for (int i = 0; i < kStarts; ++i) {
            FILE* p = popen(command.c_str(), "r");
            double start = -1, main = -1, used = -1;
            if (!p || std::fscanf(p, "%lf %lf %lf", &start, &main, &used) != 3 || pclose(p) != 0) {
                std::fprintf(stderr, "a timed start failed\n");
                return 1;
            }
            sinceStart.push_back(start);
            sinceMain.push_back(main);
            cpu.push_back(used);
        }
    }

    QStandardPaths::setTestModeEnabled(true);  // no settings file of the user's is touched
    QApplication app(argc, argv);
    if (child) return timeFirstPaint(paint);

    dtu::Session session;
    dtu::MainWindow window(session, dtu::PcSettings{});
    window.installEventFilter(&paint);
    window.show();
    waitFor([&] { return paint.painted; });
    // What the window holds at rest: once its start-up work after the first paint is done.
    QElapsedTimer settle;
    settle.start();
    waitFor([&] { return settle.elapsed() >= 500; }, 1000);
    const double atRest = residentMb();

    std::printf("platform            %s\n", qPrintable(QApplication::platformName()));
    std::printf(
        "first paint         median of %d starts: %.0f ms after process start, "
        "%.0f ms after main(), %.0f ms of processor time\n",
        kStarts, median(sinceStart), median(sinceMain), median(cpu));
    std::printf("resident at start   %.1f MB\n", atRest);

    // The window at work: a read of the simulated RTU, then every dialog opened once.
    std::string error;
    dtu::sim::SimOptions options;
    options.kind = dtu::sim::DeviceKind::Rtu;
    auto device = dtu::sim::PtyServer::start(options, error);
    if (!device) {
        std::fprintf(stderr, "cannot start the simulated device: %s\n", error.c_str());
        return 1;
    }
    window.choosePort(QString::fromStdString(device->path()), 4);
    window.togglePort();
    auto* box = window.findChild<QPlainTextEdit*>(QStringLiteral("receiveBox"));
    window.findChild<QPushButton*>(QStringLiteral("readButton"))->click();
    if (!waitFor([&] { return box->toPlainText().contains(QStringLiteral("成功")); })) {
        std::fprintf(stderr, "the read did not finish\n");
        return 1;
    }
    auto* rtuButton = window.findChild<QPushButton*>(QStringLiteral("rtuButton"));
    QAction* firmware = window.menuBar()->actions().value(0)->menu()->actions().value(0);
    const int dialogs = openEveryDialog(
        &window, {[rtuButton] { emit rtuButton->clicked(); }, [firmware] { firmware->trigger(); }});
    std::printf("resident after all  %.1f MB (%d dialogs and message boxes opened once)\n",
                residentMb(), dialogs);
    return 0;
}
