#pragma once

#include <QMainWindow>
#include <array>

#include "files/pc_settings.h"
#include "params/main_form.h"
#include "qt_translations.h"
#include "text/language.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace dtu {

class ClickLabel;
class CloudRegistration;
class PortCombo;
class PrintServiceProbe;
class Session;
class WindowHistory;
struct DecodeResult;

// The main window: a view over the shared session. It shows the record in its controls,
// collects them before a save, shows the device's status, and holds the serial terminal.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Runs the start-up sequence: lists, settings, language, operating guide, empty record.
    MainWindow(Session& session, const PcSettings& settings, QWidget* parent = nullptr);

    // The PC-side choices to remember (lists, language, hex boxes and the values kept for
    // other windows).
    PcSettings pcSettings() const;

    void setLanguage(Language lang);
    Language language() const { return m_lang; }

    // Opens the port chosen in the port row (or closes it).
    void togglePort();
    // Chooses a port path that the system does not list (a pseudo-terminal) and its baud item.
    void choosePort(const QString& path, int baudItem);

    // Parameter files, with the same results as the menu items after their file dialogs.
    bool exportTo(const QString& path);
    bool importFrom(const QString& path);
    void oneClickConfigure();
    // The production folder, as the tools menu item sets it after its folder chooser.
    void setProductionDir(const QString& dir);

    // The session's parameter history, for the tools menu's History (none: the item is off).
    void setHistory(WindowHistory* history);

    // The parameter controls as values, and back.
    MainForm form() const;
    void setForm(const MainForm& form);

signals:
    // The window is closing; the choices to remember.
    void closing(const PcSettings& settings);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    QWidget* buildPortRow();
    QWidget* buildParameters();
    QWidget* buildAdvanced();
    QWidget* buildCommands();
    QWidget* buildProduction();
    QWidget* buildStatus();
    QWidget* buildTerminal();
    void connectSession();
    void fillLanguageCombos();
    void retranslate();
    void redisplay();
    void showAnswer(const DecodeResult& result);
    void showLoadedFile();
    void refreshStatus();
    void applyEnabling();
    void setPortControlsOpen(bool open);
    void save();
    void sendLine();
    void copyField(const QLabel* field, const char* english, const char* chinese);
    void appendToReceiveBox(const QString& text, bool cleared);
    void editAccessPassword();
    void editConfigLockPassword();
    void exportWithDialog();
    void importWithDialog();
    void openFirmwareDialog();
    void openTlsDialog();
    void openMqttDialog();
    void openHttpDialog();
    void openApnDialog();
    void openPollDialog();
    void openDataCacheDialog();
    void openGpsDialog();
    void openUserSettingsDialog();
    void openHistoryDialog();
    void openRelayDialog();
    void openSerialFilterDialog();
    void openTimedSendDialog();
    void openRemoteConfigDialog();
    void openRtuDialog();
    void showAbout();
    void chooseProductionDir();
    void showProductionDir();
    void startPrintProbe();
    void showProductionControls();
    void fillModelList();
    void applyProductionEnabling();
    void printDeviceLabel(bool withLogo);
    void registerDevice();
    QString text(int id) const;

    Session& m_session;
    Language m_lang = Language::Chinese;
    // Qt's own dialogs speak m_lang too.
    QtTranslations m_qtTexts;
    PcSettings m_kept;  // values of the settings file that other windows own
    int m_memoryClicks = 0;
    bool m_statusShown = false;
    bool m_writingForm = false;  // the status area stays empty until a read or an import
    QString m_firmwarePath;      // kept while the program runs
    bool m_probeStarted = false;
    bool m_productionMode = false;  // the print service answered at start-up
    PrintServiceProbe* m_printProbe = nullptr;
    CloudRegistration* m_registration = nullptr;

    // Menus
    QMenu* m_deviceMenu = nullptr;
    QMenu* m_toolsMenu = nullptr;
    QAction* m_firmwareAction = nullptr;
    QAction* m_importAction = nullptr;
    QAction* m_exportAction = nullptr;
    QAction* m_productionDirAction = nullptr;
    QAction* m_historyAction = nullptr;
    WindowHistory* m_history = nullptr;

    // Port row
    std::array<QLabel*, 5> m_portLabels{};
    PortCombo* m_portCombo = nullptr;
    QComboBox* m_baudCombo = nullptr;
    QComboBox* m_parityCombo = nullptr;
    QComboBox* m_dataBitsCombo = nullptr;
    QComboBox* m_stopBitsCombo = nullptr;
    QPushButton* m_openButton = nullptr;
    QCheckBox* m_lockBox = nullptr;
    ClickLabel* m_accessPasswordLink = nullptr;

    // Parameters
    QLabel* m_workModeLabel = nullptr;
    QComboBox* m_workMode = nullptr;
    struct ServerRow {
        QCheckBox* enable = nullptr;
        QLabel* addressLabel = nullptr;
        QLineEdit* host = nullptr;
        QLineEdit* port = nullptr;
        QLabel* protocolLabel = nullptr;
        QComboBox* protocol = nullptr;
        QComboBox* connMode = nullptr;  // hidden, carries its field
        QLineEdit* timeout = nullptr;   // hidden, carries its field
        QLabel* linkState = nullptr;
    };
    ServerRow m_serverA;
    ServerRow m_serverB;
    QCheckBox* m_httpBox = nullptr;
    ClickLabel* m_httpLink = nullptr;
    QLabel* m_httpState = nullptr;
    QCheckBox* m_mqttBox = nullptr;
    ClickLabel* m_mqttLink = nullptr;
    QLabel* m_mqttState = nullptr;
    QCheckBox* m_heartbeatBox = nullptr;
    QLabel* m_heartbeatTimeLabel = nullptr;
    QLineEdit* m_heartbeatInterval = nullptr;
    QLabel* m_heartbeatDataLabel = nullptr;
    QLineEdit* m_heartbeatData = nullptr;
    QCheckBox* m_heartbeatHex = nullptr;
    QCheckBox* m_registerBox = nullptr;
    QLabel* m_registerModeLabel = nullptr;
    QComboBox* m_registerMode = nullptr;
    QLabel* m_registerDataLabel = nullptr;
    QLineEdit* m_registerData = nullptr;
    QCheckBox* m_registerHex = nullptr;
    QGroupBox* m_serialGroup = nullptr;
    std::array<QLabel*, 4> m_deviceSerialLabels{};
    QComboBox* m_dtuBaud = nullptr;
    QComboBox* m_dtuParity = nullptr;
    QComboBox* m_dtuDataBits = nullptr;
    QComboBox* m_dtuStopBits = nullptr;
    QLabel* m_packTimeLabel = nullptr;
    QLineEdit* m_packTime = nullptr;
    QLabel* m_smsModeLabel = nullptr;
    QComboBox* m_smsMode = nullptr;
    QLabel* m_phoneLabel = nullptr;
    QLineEdit* m_phoneNumbers = nullptr;

    // Advanced functions
    QGroupBox* m_advancedGroup = nullptr;
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
    QComboBox* m_tlsMode = nullptr;
    ClickLabel* m_certLink = nullptr;
    QLabel* m_certChecksums = nullptr;
    QCheckBox* m_configLockBox = nullptr;
    ClickLabel* m_configLockLink = nullptr;
    QLabel* m_rebootLabel = nullptr;
    QLineEdit* m_noDataReboot = nullptr;
    QLabel* m_minuteLabel = nullptr;
    QPushButton* m_rtuButton = nullptr;

    // Commands
    QPushButton* m_readButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_rebootButton = nullptr;
    QPushButton* m_resetButton = nullptr;
    QCheckBox* m_piecesBox = nullptr;
    QPushButton* m_oneClickButton = nullptr;
    QLineEdit* m_oneClickPath = nullptr;

    // Production: shown only when the print service answers at start-up
    QWidget* m_production = nullptr;
    QComboBox* m_modelCombo = nullptr;  // shows the names, keeps the model list's bytes
    QPushButton* m_printButton = nullptr;
    QPushButton* m_printNoLogoButton = nullptr;
    QPushButton* m_cloudButton = nullptr;

    // Status
    std::array<QLabel*, 5> m_statusLabels{};  // model, operator, network, signal, version
    QLabel* m_model = nullptr;
    QLabel* m_version = nullptr;
    ClickLabel* m_imei = nullptr;
    ClickLabel* m_iccid = nullptr;
    QLabel* m_operator = nullptr;
    QLabel* m_signal = nullptr;
    QLabel* m_network = nullptr;
    ClickLabel* m_mac = nullptr;
    QLabel* m_sim = nullptr;
    QLabel* m_gps = nullptr;
    ClickLabel* m_gpsUploadLink = nullptr;
    QLabel* m_cell = nullptr;
    ClickLabel* m_cellInfoLink = nullptr;
    QCheckBox* m_cellLocationBox = nullptr;
    ClickLabel* m_memoryLine = nullptr;

    // Terminal
    QLabel* m_receiveLabel = nullptr;
    QCheckBox* m_receiveHex = nullptr;
    ClickLabel* m_clearLink = nullptr;
    QPlainTextEdit* m_receiveBox = nullptr;
    QLineEdit* m_sendEdit = nullptr;
    QCheckBox* m_sendHex = nullptr;
    QPushButton* m_sendButton = nullptr;
};

}  // namespace dtu
