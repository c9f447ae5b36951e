#include "mqtt_status_command.h"

#include <QEventLoop>
#include <iostream>

#include "common.h"
#include "mqtt_status_poller.h"
#include "session.h"

namespace dtu::cli {

namespace {

// The dialog shows the time-out on its first tick and keeps looking; a script waits one tick
// more (about a second) before it gives up.
constexpr int kTicks = 2;

}  // namespace

int runMqttStatus(Session& session) {
    MqttStatusPoller poller(session);
    QEventLoop loop;
    int ticks = 0;
    bool portFailed = false;
    QObject::connect(&poller, &MqttStatusPoller::ticked, &loop, [&] {
        if (poller.answered() || ++ticks >= kTicks) loop.quit();
    });
    QObject::connect(&session, &Session::portFailed, &loop, [&] {
        portFailed = true;
        loop.quit();
    });
    poller.request();
    loop.exec();
    if (portFailed) return kExitFailed;
    if (!poller.answered()) {
        std::cout << inLanguage(kMqttStatusTimedOut, session.language()) << "\n";
        return kExitFailed;
    }
    // A state no text stands for leaves its line out.
    for (const QString& line : poller.lines())
        if (!line.isEmpty()) std::cout << line.toStdString() << "\n";
    return kExitOk;
}

}  // namespace dtu::cli
