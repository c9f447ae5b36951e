// Start-up of the desktop window: time from the process's start to the window's first paint,
// and the memory it holds once painted and after a read of the simulated device. Run it on a
// display (QT_QPA_PLATFORM=xcb under a display server, e.g. xvfb-run) or offscreen.
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <memory>

#include "main_window.h"
#include "pty_server.h"
#include "session.h"

namespace {

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

long statusKb(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(static_cast<int>(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return -1;
}

class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            sinceMain = mainTimer.nsecsElapsed() / 1e6;
            sinceStart = msSinceProcessStart();
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }
    QElapsedTimer mainTimer;
    bool painted = false;
    double sinceMain = 0;
    double sinceStart = 0;
};

}  // namespace

int main(int argc, char** argv) {
    FirstPaint paint;
    paint.mainTimer.start();
    QStandardPaths::setTestModeEnabled(true);  // no settings file of the user's is touched
    QApplication app(argc, argv);
    dtu::Session session;
    dtu::MainWindow window(session, dtu::PcSettings{});
    window.installEventFilter(&paint);
    window.show();
    QApplication::exec();

    std::printf("platform            %s\n", qPrintable(QApplication::platformName()));
    std::printf("first paint         %.1f ms after main(), %.0f ms after process start\n",
                paint.sinceMain, paint.sinceStart);
    std::printf("resident at paint   %.1f MB\n", statusKb("VmRSS:") / 1024.0);

    // The window at work: the simulated device opened and read.
    std::string error;
    auto device = dtu::sim::PtyServer::start(dtu::sim::SimOptions{}, error);
    if (!device) {
        std::fprintf(stderr, "cannot start the simulated device: %s\n", error.c_str());
        return 1;
    }
    window.choosePort(QString::fromStdString(device->path()), 4);
    window.togglePort();
    auto* box = window.findChild<QPlainTextEdit*>(QStringLiteral("receiveBox"));
    window.findChild<QPushButton*>(QStringLiteral("readButton"))->click();
    QElapsedTimer limit;
    limit.start();
    while (!box->toPlainText().contains(QStringLiteral("成功")) && limit.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const bool read = box->toPlainText().contains(QStringLiteral("成功"));
    std::printf("resident after read %.1f MB (peak %.1f MB)%s\n", statusKb("VmRSS:") / 1024.0,
                statusKb("VmHWM:") / 1024.0, read ? "" : "  [read did not finish]");
    return read ? 0 : 1;
}
