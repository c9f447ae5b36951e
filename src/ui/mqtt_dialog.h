// The feature dialogs all follow one pattern, and this is the first of them:
//
// - The values live in a plain form struct in core (params/mqtt_form.h and its siblings; the
//   main window's MainForm is the model): each control as a value, open(params) to fill it
//   from the record (and from the PC settings where the dialog shows one), and
//   accept(params, lang) to run the dialog's checks in their documented order with their
//   messages and write the record, returning the first refusal text. Whether a refusal leaves
//   the record untouched (a private copy) or keeps what was stored before it (in-place
//   editing) is decided there, and so is every text limit: never more than sendableBytes() of
//   the field, refused with a message naming the limit, never cut. form_values.h has the
//   number and text rules and the refusal texts. This is the layer the tests exercise.
// - The Qt dialog builds its widgets (with object names for the tests), labels them in the
//   session's language, copies the struct into them (showForm) and back (form()), and on OK
//   calls accept(): a refusal is shown in a message box and the dialog stays open. It builds
//   no frames: a live request goes through a runtime driver over the session (here
//   MqttStatusPoller), and its answer comes back through the session's answer handling.
// - The main window opens it window-modal with open() from its link and deletes it on close.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "params/mqtt_form.h"
#include "text/language.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace dtu {

class MqttStatusPoller;
class Session;

// The MQTT dialog: the device's MQTT client settings on a private copy that OK writes back,
// the device's live connection state, and on counter firmware the counter and meter settings.
class MqttDialog : public QDialog {
    Q_OBJECT
public:
    // cloudServer is the maker's cloud server that the help names (a PC setting).
    MqttDialog(Session& session, std::string cloudServer, QWidget* parent = nullptr);

    MqttForm form() const;
    void showForm(const MqttForm& form);

    // "Get MQTT status".
    void requestStatus();

    void accept() override;

private:
    QWidget* buildBroker();
    QWidget* buildCloud();
    QWidget* buildCounter();
    QWidget* buildStatus();

    Session& m_session;
    Language m_lang;
    std::string m_cloudServer;
    bool m_counter;
    MqttStatusPoller* m_poller;

    QLineEdit* m_host = nullptr;
    QLineEdit* m_port = nullptr;
    QCheckBox* m_ssl = nullptr;
    QLineEdit* m_userName = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_clientId = nullptr;
    QLineEdit* m_keepAlive = nullptr;
    QComboBox* m_qos = nullptr;
    QCheckBox* m_will = nullptr;
    QLineEdit* m_willTopic = nullptr;
    QLineEdit* m_willMessage = nullptr;
    QCheckBox* m_retain = nullptr;
    QLineEdit* m_subscribeTopic = nullptr;
    std::array<QLineEdit*, 4> m_publishTopics{};

    QCheckBox* m_platformCloud = nullptr;
    QCheckBox* m_makerCloud = nullptr;
    QLineEdit* m_productKey = nullptr;
    QLineEdit* m_deviceName = nullptr;
    QLineEdit* m_deviceSecret = nullptr;

    QComboBox* m_counterMode = nullptr;
    std::array<QLineEdit*, 4> m_debounce{};
    QLineEdit* m_adjustment = nullptr;
    QLineEdit* m_countsPerCircumference = nullptr;
    QLineEdit* m_circumference = nullptr;

    QPushButton* m_statusButton = nullptr;
    std::array<QLabel*, 5> m_statusLines{};  // TCP, SSL, MQTT, topic, server
};

}  // namespace dtu
