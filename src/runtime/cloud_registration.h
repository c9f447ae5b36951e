#pragma once

#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <span>

#include "production/registration.h"

namespace dtu {

// Registers a device with the cloud by its MAC over a short TCP exchange, on the event loop:
// the connection has about 1 s, the answer 3 s. finished() comes once per start.
class CloudRegistration : public QObject {
    Q_OBJECT
public:
    explicit CloudRegistration(QObject* parent = nullptr);
    ~CloudRegistration() override;

    // Starts an exchange; false (nothing done) while one runs.
    bool start(const QString& host, quint16 port, std::span<const std::uint8_t, 6> mac);
    bool busy() const { return m_exchange.busy(); }

signals:
    void finished(dtu::RegistrationResult result);

private:
    struct Effects : RegistrationEffects {
        explicit Effects(CloudRegistration& owner) : reg(owner) {}
        void connectToCloud() override;
        void writeBytes(std::span<const std::uint8_t> bytes) override;
        void startTimer(int ms) override;
        void stopTimer() override;
        void closeConnection() override;
        void finished(RegistrationResult result) override;
        CloudRegistration& reg;
    };

    void onReadyRead();
    void onError(QAbstractSocket::SocketError error);

    QTcpSocket m_socket;
    QTimer m_timer{this};
    Effects m_effects{*this};
    RegistrationExchange m_exchange{m_effects};
    QString m_host;
    quint16 m_port = 0;
};

}  // namespace dtu
