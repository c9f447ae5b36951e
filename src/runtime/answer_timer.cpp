#include "answer_timer.h"

#include <QPointer>

#include "session.h"

namespace dtu {

AnswerTimer::AnswerTimer(const Session& session, QObject* parent)
    : QObject(parent), m_session(session) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &AnswerTimer::onTimeout);
}

void AnswerTimer::start(int ms) {
    m_periodMs = ms;
    m_active = true;
    m_timer.start(m_session.answerTimeoutMs(ms));
}

void AnswerTimer::stop() {
    m_active = false;
    m_timer.stop();
}

void AnswerTimer::onTimeout() {
    const QPointer<AnswerTimer> alive(this);
    emit timeout();
    // Stopped or restarted by whoever heard it, or gone with its owner: nothing more to do.
    if (!alive || !m_active || m_timer.isActive()) return;
    m_timer.start(m_session.answerTimeoutMs(m_periodMs));
}

}  // namespace dtu
