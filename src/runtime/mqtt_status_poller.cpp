#include "mqtt_status_poller.h"

#include "session.h"

namespace dtu {

MqttStatusPoller::MqttStatusPoller(Session& session, QObject* parent)
    : QObject(parent), m_session(session), m_poll(m_effects, session.live()), m_timer(session) {
    connect(&m_timer, &AnswerTimer::timeout, this, [this] {
        m_poll.setLanguage(m_session.language());
        m_poll.onTimer();
        emit ticked();
    });
}

void MqttStatusPoller::request() {
    m_poll.setLanguage(m_session.language());
    m_poll.request(m_session.isOpen());
}

QStringList MqttStatusPoller::lines() const {
    QStringList out;
    for (const std::string& line : m_poll.lines()) out << QString::fromStdString(line);
    return out;
}

void MqttStatusPoller::Effects::writeBytes(std::span<const std::uint8_t> bytes) {
    poller.m_session.flow().sendRaw(bytes);
}

void MqttStatusPoller::Effects::startTimer(int ms) {
    poller.m_timer.start(ms);
}

void MqttStatusPoller::Effects::setButtonEnabled(bool enabled) {
    emit poller.buttonEnabledChanged(enabled);
}

void MqttStatusPoller::Effects::showLines(const MqttStatusLines&) {
    emit poller.linesChanged(poller.lines());
}

}  // namespace dtu
