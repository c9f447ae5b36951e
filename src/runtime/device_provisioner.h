#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>
#include <vector>

#include "production/provisioning.h"
#include "session.h"
#include "transfer/firmware_image.h"

namespace dtu {

class CertUploader;
class FirmwareUpgrader;

// Provisions one device on its own port and session: runs the steps Provisioning names on the
// event loop (never waiting in a loop of its own, so that many run side by side) and reports
// each change. The port is closed when it is done.
class DeviceProvisioner : public QObject {
    Q_OBJECT
public:
    struct Line {
        QString port;
        int baud = 9600;  // 0: probe for it
        int parityIndex = 0;
        int stopIndex = 0;
    };
    // What every device of a batch gets besides its row.
    struct Work {
        std::optional<DeviceParams> base;
        std::optional<FirmwareImage> firmware;
        bool factoryReset = false;
        QString caPath, clientCertPath, clientKeyPath;  // certificates when caPath is set
    };

    // work must outlive the provisioner. With matchByImei the row comes by assignRow once
    // matchWanted has been emitted.
    DeviceProvisioner(const Line& line, const Work& work, bool matchByImei,
                      std::vector<FieldAssignment> row = {}, QObject* parent = nullptr);
    ~DeviceProvisioner() override;

    // The session, to set its language, lock and production folder before start().
    Session& session() { return m_session; }
    void start();

    // The answers to matchWanted.
    void assignRow(std::vector<FieldAssignment> row);
    void skip(const QString& reason);
    void failMatch(const QString& reason);

    // The batch stops. Gently: the step in flight runs to its end (a save frame is never cut,
    // its answer is waited for), then the device ends interrupted at the step it did not run,
    // unless that step was its last. At once: the device ends interrupted now, in its step.
    void stopAfterStep(const QString& reason);
    void stopNow(const QString& reason);

    const Provisioning& steps() const { return *m_steps; }
    const QString& port() const { return m_line.port; }
    bool started() const { return m_steps.has_value(); }
    bool done() const;
    QDateTime startedAt() const { return m_startedAt; }
    QDateTime endedAt() const { return m_endedAt; }
    // Bytes the port has carried, both ways, since it was opened.
    quint64 lineBytes() const;

    // A step that reports nothing for this long is given up: the flows' own time-outs are far
    // shorter, so this only guards against the unforeseen.
    static constexpr int kSilenceLimitMs = 60000;

signals:
    void stepChanged();
    // Blocks of the firmware, chunks of the certificates.
    void progressChanged(quint32 done, quint32 total);
    // The device has reported its IMEI (steps().identity()); the batch finds its row.
    void matchWanted();
    void finished();

private:
    void runStep();
    void advance();  // the next step, from the event loop
    void fail(const QString& reason);
    void failWithLastWords(const QString& fallback);
    void finish();
    void onCommandDone(PendingCommand command, bool answered);
    void onFirmwareFinished();
    void onCertsFinished(bool ok, const QString& text);

    Line m_line;
    const Work& m_work;
    bool m_matchByImei;
    std::vector<FieldAssignment> m_row;
    Session m_session;
    std::optional<Provisioning> m_steps;
    std::unique_ptr<FirmwareUpgrader> m_upgrader;
    std::unique_ptr<CertUploader> m_certs;
    bool m_checkingCerts = false;
    bool m_sawParams = false;  // the read answer carried the parameters
    QString m_lastWords;       // the session's last line: the reason a flow gives for a failure
    QTimer m_probeLate;
    QTimer m_silence;
    QDateTime m_startedAt, m_endedAt;
    bool m_finished = false;
    QString m_stopReason;  // set once the batch stops
};

}  // namespace dtu
