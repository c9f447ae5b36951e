#pragma once

#include <QObject>
#include <QStringList>

#include "answer_timer.h"
#include "status/mqtt_status.h"

namespace dtu {

class Session;

// Asks the device for its MQTT connection state over the session's port and shows, every
// 500 ms from the request on, what the session's answer handling has put into the live state.
// The timer runs until the poller is destroyed.
class MqttStatusPoller : public QObject {
    Q_OBJECT
public:
    explicit MqttStatusPoller(Session& session, QObject* parent = nullptr);

    void request();
    bool answered() const { return m_poll.answered(); }
    // The five lines, top to bottom (TCP, SSL, MQTT, topic, server); empty ones included.
    QStringList lines() const;

signals:
    void linesChanged(const QStringList& lines);
    void buttonEnabledChanged(bool enabled);
    // A tick of the timer has shown the answer or the time-out.
    void ticked();

private:
    struct Effects : MqttStatusEffects {
        explicit Effects(MqttStatusPoller& owner) : poller(owner) {}
        void writeBytes(std::span<const std::uint8_t> bytes) override;
        void startTimer(int ms) override;
        void setButtonEnabled(bool enabled) override;
        void showLines(const MqttStatusLines& lines) override;
        MqttStatusPoller& poller;
    };

    Session& m_session;
    Effects m_effects{*this};
    MqttStatusPoll m_poll;
    AnswerTimer m_timer;
};

}  // namespace dtu
