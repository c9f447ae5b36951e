#include "print_probe.h"

#include <QNetworkDatagram>

#include "production/registration.h"

namespace dtu {

PrintServiceProbe::PrintServiceProbe(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    // A coarse timer may end the wait a few percent early: an answer in time must count.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { finish(false); });
}

void PrintServiceProbe::start(const QHostAddress& service, quint16 port) {
    if (m_socket) m_socket->deleteLater();
    // A fresh socket per probe, so that a late answer to an earlier one cannot count.
    m_socket = new QUdpSocket(this);
    connect(m_socket, &QUdpSocket::readyRead, this, &PrintServiceProbe::onReadyRead);
    m_timer.start(kProbeWaitMs);
    const QByteArray request(kProbeRequest.data(), qsizetype(kProbeRequest.size()));
    // A datagram that cannot even leave is an absent service; the wait still decides, so the
    // result always comes from the event loop.
    m_socket->writeDatagram(request, service, port);
}

void PrintServiceProbe::onReadyRead() {
    auto* socket = qobject_cast<QUdpSocket*>(sender());
    while (socket == m_socket && m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram answer = m_socket->receiveDatagram(5);
        if (!answer.data().isEmpty()) {
            finish(true);
            return;
        }
    }
}

void PrintServiceProbe::finish(bool present) {
    m_timer.stop();
    if (m_socket) {
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    emit finished(present);
}

}  // namespace dtu
