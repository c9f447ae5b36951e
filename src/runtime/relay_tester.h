#pragma once

#include <QObject>

#include "answer_timer.h"
#include "link/relay_test.h"

namespace dtu {

class Session;

// The relay dialog's test switch over the session's port: the frame goes out through the
// session's write path (nothing while the port is closed), and the pause after a click counts
// from when the frame has left the line.
class RelayTester : public QObject {
    Q_OBJECT
public:
    explicit RelayTester(Session& session, QObject* parent = nullptr);

    void click();

signals:
    void faceChanged(bool closed);
    void switchEnabledChanged(bool enabled);

private:
    struct Effects : RelayTestEffects {
        explicit Effects(RelayTester& owner) : tester(owner) {}
        void writeBytes(std::span<const std::uint8_t> bytes) override;
        void startTimer(int ms) override;
        void stopTimer() override;
        void setSwitchEnabled(bool enabled) override;
        void showClosed(bool closed) override;
        RelayTester& tester;
    };

    Session& m_session;
    Effects m_effects{*this};
    RelayTest m_test{m_effects};
    AnswerTimer m_timer;
};

}  // namespace dtu
