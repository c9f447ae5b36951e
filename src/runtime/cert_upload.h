#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <optional>

#include "answer_timer.h"
#include "transfer/cert_transfer.h"

namespace dtu {

class Session;

// Writes the certificate files to the device over the session's port and reads back the
// device's checksums. The answers pass through the session's own answer handling, which keeps
// the acknowledgement flag and the checksums in the record. Destroying it stops the transfer.
class CertUploader : public QObject {
    Q_OBJECT
public:
    explicit CertUploader(Session& session, QObject* parent = nullptr);
    ~CertUploader() override;

    struct FileCheck {
        QString error;  // empty when the file may be imported
        std::uint16_t checksum = 0;
    };
    // The import of one certificate or key file: it must open, be at most 4000 bytes (the CA
    // not empty) and have a path the record can keep.
    static FileCheck checkFile(const QString& path, CertFile which, Language lang);
    // The checksum shown beside a stored path; 0 when the file cannot be read.
    static std::uint16_t fileChecksum(const QString& path);
    // The checksums the device reports after a save of these files (an empty path is no file:
    // 0, as the device reports for a part it does not hold).
    static std::array<std::uint16_t, 3> fileChecksums(const QString& caPath,
                                                      const QString& clientCertPath,
                                                      const QString& clientKeyPath);

    // The blob of the files (an empty path is no file; the CA is required), or why not.
    static CertBlob blobFromFiles(const QString& caPath, const QString& clientCertPath,
                                  const QString& clientKeyPath);
    // Reads the files as blobFromFiles does and sends the blob. A
    // refusal comes as refused() and nothing is sent.
    bool save(const QString& caPath, const QString& clientCertPath, const QString& clientKeyPath);
    bool readChecksums();
    void cancel();
    bool busy() const { return m_flow.busy(); }
    const CertResult& lastResult() const { return m_result; }

signals:
    void progressChanged(quint32 done, quint32 total);
    void statusText(const QString& text);
    void finished(bool ok, const QString& text);
    // The save was refused before anything was sent (message box text).
    void refused(const QString& text);

private:
    struct Effects : CertEffects {
        explicit Effects(CertUploader& owner) : up(owner) {}
        void writeBytes(std::span<const std::uint8_t> bytes) override;
        void startTimer(CertTimer timer, int ms) override;
        void stopTimer(CertTimer timer) override;
        void progress(std::uint32_t done, std::uint32_t total) override;
        void statusText(const std::string& text) override;
        void finished(const CertResult& result) override;
        CertUploader& up;
    };

    bool requirePort();
    void onPortLost();

    Session& m_session;
    Effects m_effects{*this};
    CertTransfer m_flow;
    QTimer m_tick, m_checksumPoll;
    AnswerTimer m_ackTimeout{m_session}, m_checksumTimeout{m_session};
    CertResult m_result;
};

}  // namespace dtu
