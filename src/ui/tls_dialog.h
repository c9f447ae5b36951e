#pragma once

#include <QDialog>
#include <array>

#include "cert_upload.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace dtu {

class Session;

class PathLabel;

// The TLS dialog: picks the certificate files, writes them to the device and reads back the
// device's checksums of what it holds. The files' paths and the blob last saved are kept in the
// session's record, so they outlive the dialog and travel with an exported file. The device's
// answers pass through the main window's answer handling.
class TlsDialog : public QDialog {
    Q_OBJECT
public:
    explicit TlsDialog(Session& session, QWidget* parent = nullptr);

    // What follows the file dialog once a file was chosen: the path goes into the record.
    // False when the file was refused.
    bool importFile(CertFile which, const QString& path);
    // The two command buttons.
    void saveCertificates();
    void readChecksums();

    // Closing stops a running transfer.
    void done(int result) override;

private:
    QString path(CertFile which) const;
    void importWithDialog(CertFile which);
    void showFile(CertFile which);
    void showDeviceChecksums(const std::array<std::uint16_t, 3>& sums);
    void setButtonsEnabled(bool on);

    Session& m_session;
    CertUploader m_uploader;

    std::array<PathLabel*, 3> m_pathLabels{};
    std::array<QLabel*, 3> m_fileChecksums{};
    std::array<QLabel*, 3> m_deviceChecksums{};
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_readButton = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
};

}  // namespace dtu
