#include "relay_tester.h"

#include "session.h"

namespace dtu {

RelayTester::RelayTester(Session& session, QObject* parent)
    : QObject(parent), m_session(session), m_timer(session) {
    connect(&m_timer, &AnswerTimer::timeout, this, [this] { m_test.onTimer(); });
}

void RelayTester::click() {
    m_test.click(m_session.isOpen());
}

void RelayTester::Effects::writeBytes(std::span<const std::uint8_t> bytes) {
    tester.m_session.flow().sendRaw(bytes);
}

void RelayTester::Effects::startTimer(int ms) {
    tester.m_timer.start(ms);
}

void RelayTester::Effects::stopTimer() {
    tester.m_timer.stop();
}

void RelayTester::Effects::setSwitchEnabled(bool enabled) {
    emit tester.switchEnabledChanged(enabled);
}

void RelayTester::Effects::showClosed(bool closed) {
    emit tester.faceChanged(closed);
}

}  // namespace dtu
