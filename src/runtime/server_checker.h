#pragma once

#include <QObject>
#include <memory>
#include <vector>

#include "check/server_check.h"

class QNetworkAccessManager;

namespace dtu {

// Tries every link of a check plan at once on the event loop (MQTT on a thread of its own),
// each within the time-limit, and reports each link once with its result.
class ServerChecker : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 5000;

    explicit ServerChecker(QObject* parent = nullptr);
    ~ServerChecker() override;

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    // Whether the MQTT check publishes one message on publish topic 1.
    void setPublish(bool publish) { m_publish = publish; }

    // Starts the plan's links; an empty plan finishes at once (on the event loop).
    void start(const CheckPlan& plan);
    bool running() const { return m_pending > 0; }
    const std::vector<CheckResult>& results() const { return m_results; }

signals:
    void checked(int index, const dtu::CheckResult& result);
    void finished(bool allPassed);

private:
    struct Attempt;
    void startOne(int index);
    void startMqtt(int index);
    void report(int index, const CheckOutcome& outcome);

    int m_timeoutMs = kDefaultTimeoutMs;
    bool m_publish = false;
    CheckPlan m_plan;
    std::vector<std::unique_ptr<Attempt>> m_attempts;
    std::vector<CheckResult> m_results;
    int m_pending = 0;
    QNetworkAccessManager* m_network = nullptr;
};

}  // namespace dtu
