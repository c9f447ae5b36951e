#pragma once

#include <QGroupBox>
#include <array>
#include <functional>

#include "files/pc_settings.h"
#include "params/main_form.h"
#include "text/language.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;

namespace dtu {

class ClickLabel;
class DeviceParams;
class Session;
struct StatusReport;

// The parameter form: work mode, the two servers with their link states, HTTP and MQTT,
// heartbeat and registration packets, the device's serial port and the SMS settings.
class ParametersPanel : public QGroupBox {
    Q_OBJECT
public:
    // typedRecord fills a record with what the whole window shows, for the connection test.
    ParametersPanel(Session& session, const PcSettings& kept,
                    std::function<bool(DeviceParams&)> typedRecord, QWidget* parent = nullptr);

    void restore(const PcSettings& settings);  // the HEX boxes
    void store(PcSettings& settings) const;
    void retranslate(Language lang);

    void fillForm(MainForm& form) const;
    void setForm(const MainForm& form);
    void showStatus(const StatusReport& status);
    void applyEnabling(const MainEnabling& enabling);

signals:
    // A control the enabling rules read has changed.
    void enablingInputChanged();

private:
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
    void buildServerRow(QGridLayout* grid, ServerRow& row, const char* prefix, int gridRow);
    void buildPacketRows(QGridLayout* grid);
    void buildSerialAndSms(QGridLayout* grid);

    Session& m_session;
    const PcSettings& m_kept;
    Language m_lang = Language::Chinese;

    QLabel* m_workModeLabel = nullptr;
    QComboBox* m_workMode = nullptr;
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
    std::array<QLabel*, 4> m_serialLabels{};
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
};

}  // namespace dtu
