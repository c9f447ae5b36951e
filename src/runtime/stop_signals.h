#pragma once

#include <QObject>
#include <memory>

namespace dtu {

// SIGINT and SIGTERM as a Qt signal on the event loop, for as long as the object lives: the
// handler only writes the signal's number to a socket pair that a notifier reads, so nothing
// but that write runs inside the handler. The former handlers come back at destruction.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

    // The name the process line uses (SIGINT, SIGTERM).
    static const char* name(int signo);

signals:
    void received(int signo);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace dtu
