#pragma once

#include <QWidget>

#include "text/language.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace dtu {

class Session;

// The device commands (read, save, reboot, factory reset, save in pieces) and the one-click
// configuration of a locked parameter file.
class CommandsPanel : public QWidget {
    Q_OBJECT
public:
    explicit CommandsPanel(Session& session, QWidget* parent = nullptr);

    void retranslate(Language lang);
    void setCommandsEnabled(bool enabled);
    // A locked file was imported: it can only be written as it stands, never edited and saved.
    void offerOneClick();
    void setOneClickPath(const QString& path);
    QString oneClickPath() const;

signals:
    void saveRequested();
    void oneClickRequested();

private:
    Session& m_session;
    QPushButton* m_readButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_rebootButton = nullptr;
    QPushButton* m_resetButton = nullptr;
    QCheckBox* m_piecesBox = nullptr;
    QPushButton* m_oneClickButton = nullptr;
    QLineEdit* m_oneClickPath = nullptr;
};

}  // namespace dtu
