#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>

#include "answer_timer.h"
#include "rtu/rtu_panel.h"

namespace dtu {

class Session;

// The RTU test panel run on the session: its timers are QTimers, the calibration's checks an
// answer timer on the session's line (they count from when the frame has left it), and its
// frames go out through the session's write path. The answers reach the panel through the
// session's live state.
class RtuPanelDriver : public QObject, private RtuPanelEffects {
    Q_OBJECT
public:
    explicit RtuPanelDriver(Session& session, QObject* parent = nullptr);
    ~RtuPanelDriver() override;

    RtuPanel& panel() { return m_panel; }
    const RtuPanel& panel() const { return m_panel; }

signals:
    void viewUpdated();
    void messageRequested(const QString& text);

private:
    // RtuPanelEffects
    void sendFrame(std::span<const std::uint8_t> frame) override;
    void startTimer(RtuTimer timer, int ms) override;
    void stopTimer(RtuTimer timer) override;
    void viewChanged() override;
    void message(FormLabel text) override;

    static constexpr std::size_t kTimers = static_cast<std::size_t>(RtuTimer::Step) + 1;

    Session& m_session;
    RtuPanel m_panel;
    std::array<QTimer, kTimers> m_timers;
    AnswerTimer m_calibrationTimer;
};

}  // namespace dtu
