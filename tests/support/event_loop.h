#pragma once

// A Qt event loop for tests that drive the session: the application object, and a wait that
// keeps the loop running until a condition holds.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace dtu::test {

inline QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "dtuconf-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

// Runs the event loop until done() holds or the limit passes; false when it did not hold.
inline bool waitFor(const std::function<bool()>& done, int limitMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

}  // namespace dtu::test
