#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

namespace dtu {

// Asks the print service whether it runs: "test" in one datagram, and any answer of at least
// one byte within half a second means yes. Runs on the event loop; finished() comes once per
// start, at the latest after the wait.
class PrintServiceProbe : public QObject {
    Q_OBJECT
public:
    explicit PrintServiceProbe(QObject* parent = nullptr);

    // Starts a probe; a probe still running is dropped without a result.
    void start(const QHostAddress& service, quint16 port);
    bool running() const { return m_timer.isActive(); }

signals:
    void finished(bool present);

private:
    void onReadyRead();
    void finish(bool present);

    QUdpSocket* m_socket = nullptr;
    QTimer m_timer{this};
};

}  // namespace dtu
