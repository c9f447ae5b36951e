#pragma once

#include <QDialog>

#include "firmware_upgrade.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace dtu {

class Session;

// The firmware upgrade dialog. While it is open every burst from the line belongs to it, so the
// main window's answer handling is out of the loop.
class FirmwareDialog : public QDialog {
    Q_OBJECT
public:
    FirmwareDialog(Session& session, const QString& path, bool factoryReset,
                   QWidget* parent = nullptr);
    ~FirmwareDialog() override;

    QString path() const;
    bool factoryReset() const;

    // What follows the file dialog once a file was chosen.
    void chooseFile(const QString& path);
    // The start button.
    void startUpgrade();

    // Closing stops a running upgrade and gives the line back to the main window.
    void done(int result) override;

private:
    void chooseWithDialog();
    void onFinished(bool ok);
    void holdLine();

    Session& m_session;
    FirmwareUpgrader m_upgrader;
    bool m_closed = false;

    QLineEdit* m_path = nullptr;
    QPushButton* m_startButton = nullptr;
    QCheckBox* m_factoryBox = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_resetNotDone = nullptr;  // red: the device kept its settings
    QLabel* m_resetDone = nullptr;     // green: the device restored its factory settings
};

}  // namespace dtu
