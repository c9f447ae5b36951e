#pragma once

#include <QGroupBox>

#include "files/pc_settings.h"
#include "params/main_form.h"
#include "text/language.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dtu {

class ClickLabel;
class Session;
struct StatusReport;

// The advanced functions: the feature boxes with the links to their dialogs, edge computing,
// TLS and certificates, the configuration lock, the reboot without data and the RTU settings.
class AdvancedPanel : public QGroupBox {
    Q_OBJECT
public:
    // kept: the PC-side choices the feature dialogs remember while the program runs.
    AdvancedPanel(Session& session, PcSettings& kept, QWidget* parent = nullptr);

    void retranslate(Language lang);
    void fillForm(MainForm& form) const;
    void setForm(const MainForm& form);
    void showStatus(const StatusReport& status);
    void applyEnabling(const MainEnabling& enabling);

signals:
    void enablingInputChanged();

private:
    void openModal(QDialog* dialog);
    void editConfigLockPassword();

    Session& m_session;
    PcSettings& m_kept;
    Language m_lang = Language::Chinese;

    QCheckBox* m_serialSendBox = nullptr;
    ClickLabel* m_serialSendLink = nullptr;
    QCheckBox* m_serialFilterBox = nullptr;
    ClickLabel* m_serialFilterLink = nullptr;
    QCheckBox* m_relayBox = nullptr;
    ClickLabel* m_relayLink = nullptr;
    QCheckBox* m_dataCacheBox = nullptr;
    ClickLabel* m_dataCacheLink = nullptr;
    QCheckBox* m_modbusTcpBox = nullptr;
    QCheckBox* m_apnBox = nullptr;
    ClickLabel* m_apnLink = nullptr;
    QCheckBox* m_remoteConfigBox = nullptr;
    ClickLabel* m_remoteConfigLink = nullptr;
    QLabel* m_remoteConfigUuid = nullptr;
    QCheckBox* m_userCodeBox = nullptr;
    ClickLabel* m_userCodeLink = nullptr;
    QLabel* m_userCodeVersion = nullptr;
    QLabel* m_edgeLabel = nullptr;
    QComboBox* m_edgeMode = nullptr;
    ClickLabel* m_edgeLink = nullptr;
    QLabel* m_tlsLabel = nullptr;
    QComboBox* m_tlsMode = nullptr;
    ClickLabel* m_certLink = nullptr;
    QLabel* m_certChecksums = nullptr;
    QCheckBox* m_configLockBox = nullptr;
    ClickLabel* m_configLockLink = nullptr;
    QLabel* m_rebootLabel = nullptr;
    QLineEdit* m_noDataReboot = nullptr;
    QLabel* m_minuteLabel = nullptr;
    QPushButton* m_rtuButton = nullptr;
};

}  // namespace dtu
