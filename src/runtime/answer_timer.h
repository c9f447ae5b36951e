#pragma once

#include <QObject>
#include <QTimer>

namespace dtu {

class Session;

// An answer's time-out on the session's line: each period counts from when everything handed
// to the port before it has left the line, so that a slow line's own time never eats into the
// time the device has to answer. It repeats until stopped, each repetition counted the same
// way (a repeated request goes out first).
class AnswerTimer : public QObject {
    Q_OBJECT
public:
    explicit AnswerTimer(const Session& session, QObject* parent = nullptr);

    void start(int ms);  // restarts a running timer
    void stop();
    bool isActive() const { return m_active; }

signals:
    void timeout();

private:
    void onTimeout();

    const Session& m_session;
    QTimer m_timer;
    int m_periodMs = 0;
    bool m_active = false;
};

}  // namespace dtu
