#include "rtu_panel_driver.h"

#include "session.h"

namespace dtu {

RtuPanelDriver::RtuPanelDriver(Session& session, QObject* parent)
    : QObject(parent),
      m_session(session),
      m_panel(*this, session.live(), session.rtuPanelMemory()),
      m_calibrationTimer(session) {
    for (std::size_t i = 0; i < kTimers; ++i) {
        QTimer& t = m_timers[i];
        t.setTimerType(Qt::PreciseTimer);
        const auto which = static_cast<RtuTimer>(i);
        connect(&t, &QTimer::timeout, this, [this, which] { m_panel.onTimer(which); });
    }
    connect(&m_calibrationTimer, &AnswerTimer::timeout, this,
            [this] { m_panel.onTimer(RtuTimer::CalibrationCheck); });
}

RtuPanelDriver::~RtuPanelDriver() {
    m_panel.close();
}

void RtuPanelDriver::sendFrame(std::span<const std::uint8_t> frame) {
    m_session.flow().sendRaw(frame);
}

void RtuPanelDriver::startTimer(RtuTimer timer, int ms) {
    if (timer == RtuTimer::CalibrationCheck)
        m_calibrationTimer.start(ms);
    else
        m_timers[static_cast<std::size_t>(timer)].start(ms);
}

void RtuPanelDriver::stopTimer(RtuTimer timer) {
    if (timer == RtuTimer::CalibrationCheck)
        m_calibrationTimer.stop();
    else
        m_timers[static_cast<std::size_t>(timer)].stop();
}

void RtuPanelDriver::viewChanged() {
    emit viewUpdated();
}

void RtuPanelDriver::message(FormLabel text) {
    const std::string_view shown = inLanguage(text, m_session.language());
    emit messageRequested(QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size())));
}

}  // namespace dtu
