#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

#include "answer_timer.h"
#include "transfer/firmware_upgrade.h"

namespace dtu {

class Session;

// Runs a firmware upgrade over the session's port: takes every burst while it runs, switches the
// line for the transfer and back, and reports progress. Destroying it stops the upgrade.
class FirmwareUpgrader : public QObject {
    Q_OBJECT
public:
    explicit FirmwareUpgrader(Session& session, QObject* parent = nullptr);
    ~FirmwareUpgrader() override;

    // Reads a firmware file and checks it; on refusal returns nothing and sets error.
    static std::optional<FirmwareImage> loadImage(const QString& path, Language lang,
                                                  QString& error);

    // Starts sending the image; false when the port is closed or an upgrade runs already.
    bool start(FirmwareImage image, bool factoryReset);
    // Stops a running upgrade; the line goes back to its own rate.
    void cancel();
    bool running() const { return m_flow.running(); }
    const FirmwareResult& lastResult() const { return m_result; }
    std::uint32_t blockCount() const { return m_flow.blockCount(); }

signals:
    void progressChanged(quint32 done, quint32 total);
    void statusText(const QString& text);
    void finished(bool ok, const QString& text);

private:
    // What the flow asks for, done on the session and the timers.
    struct Effects : FirmwareEffects {
        explicit Effects(FirmwareUpgrader& owner) : up(owner) {}
        void writeBytes(std::span<const std::uint8_t> bytes) override;
        void startTimer(FirmwareTimer timer, int ms) override;
        void stopTimer(FirmwareTimer timer) override;
        void useTransferLine() override;
        void restoreLine(int baud) override;
        void progress(std::uint32_t done, std::uint32_t total) override;
        void statusText(const std::string& text) override;
        void finished(const FirmwareResult& result) override;
        FirmwareUpgrader& up;
    };

    void onPortLost();

    Session& m_session;
    Effects m_effects{*this};
    FirmwareUpgrade m_flow;
    AnswerTimer m_answerTimer{m_session};
    QTimer m_pauseTimer;
    FirmwareResult m_result;
};

}  // namespace dtu
