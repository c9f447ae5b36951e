#include "cloud_registration.h"

#include "qt_bytes.h"

namespace dtu {

CloudRegistration::CloudRegistration(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    // A coarse timer may end a wait a few percent early: an answer in time must count.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_exchange.onTimer(); });
    connect(&m_socket, &QTcpSocket::connected, this, [this] { m_exchange.onConnected(); });
    connect(&m_socket, &QTcpSocket::readyRead, this, &CloudRegistration::onReadyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        onReadyRead();
        m_exchange.onClosed();
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &CloudRegistration::onError);
}

CloudRegistration::~CloudRegistration() {
    // No signal from a connection torn down with the object.
    m_socket.disconnect(this);
    m_socket.abort();
}

bool CloudRegistration::start(const QString& host, quint16 port,
                              std::span<const std::uint8_t, 6> mac) {
    if (busy()) return false;
    m_host = host;
    m_port = port;
    return m_exchange.start(mac);
}

void CloudRegistration::Effects::connectToCloud() {
    reg.m_socket.abort();
    reg.m_socket.connectToHost(reg.m_host, reg.m_port);
}

void CloudRegistration::Effects::writeBytes(std::span<const std::uint8_t> bytes) {
    reg.m_socket.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

void CloudRegistration::Effects::startTimer(int ms) {
    reg.m_timer.start(ms);
}

void CloudRegistration::Effects::stopTimer() {
    reg.m_timer.stop();
}

void CloudRegistration::Effects::closeConnection() {
    reg.m_socket.abort();
}

void CloudRegistration::Effects::finished(RegistrationResult result) {
    emit reg.finished(result);
}

void CloudRegistration::onReadyRead() {
    // Our own abort ends the connection too: then there is nothing left to read.
    if (!m_socket.isOpen()) return;
    // The exchange keeps only the bytes that count; the rest is read and dropped.
    const QByteArray bytes = m_socket.read(qint64(kRegistrationAnswerMax));
    m_socket.readAll();
    if (!bytes.isEmpty()) m_exchange.onBytes(byteSpan(bytes));
}

void CloudRegistration::onError(QAbstractSocket::SocketError error) {
    if (error == QAbstractSocket::RemoteHostClosedError) {
        onReadyRead();
        m_exchange.onClosed();
    } else {
        m_exchange.onFailed();
    }
}

}  // namespace dtu
