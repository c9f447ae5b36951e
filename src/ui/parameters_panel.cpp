#include "parameters_panel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <string>

#include "form_widgets.h"
#include "http_dialog.h"
#include "message_box.h"
#include "mqtt_dialog.h"
#include "panel_widgets.h"
#include "params/form_values.h"
#include "server_check_button.h"
#include "session.h"
#include "status/status_report.h"

namespace dtu {

using namespace panel;
using form::put;
using form::qs;
using form::setCombo;
using form::utf8;

namespace {

// Link states are short words: room for the longest keeps the row still when they change.
QString linkSample() {
    return form::text(Language::English, kTextNotConnected);
}

}  // namespace

ParametersPanel::ParametersPanel(Session& session, const PcSettings& kept,
                                 std::function<bool(DeviceParams&)> typedRecord, QWidget* parent)
    : QGroupBox(parent), m_session(session), m_kept(kept) {
    auto* grid = new QGridLayout(this);

    m_workModeLabel = new QLabel;
    m_workMode = newCombo("workMode");
    grid->addWidget(m_workModeLabel, 0, 0);
    grid->addWidget(m_workMode, 0, 1, 1, 2);

    buildServerRow(grid, m_serverA, "serverA", 1);
    grid->addWidget(new ServerCheckButton(m_session, std::move(typedRecord), false, this), 1, 9);
    buildServerRow(grid, m_serverB, "serverB", 2);

    auto* links = new QHBoxLayout;
    m_httpBox = newBox("httpEnable", QStringLiteral("HTTP "));
    m_httpLink = newLink("httpLink");
    m_httpState = newValue("httpState", linkSample());
    m_mqttBox = newBox("mqttEnable", QStringLiteral("MQTT"));
    m_mqttLink = newLink("mqttLink");
    m_mqttState = newValue("mqttState", linkSample());
    for (QWidget* w : std::initializer_list<QWidget*>{m_httpBox, m_httpLink, m_httpState, m_mqttBox,
                                                      m_mqttLink, m_mqttState})
        links->addWidget(w);
    links->addStretch(1);
    grid->addLayout(links, 3, 0, 1, 7);
    connect(m_httpBox, &QCheckBox::toggled, this, &ParametersPanel::enablingInputChanged);
    connect(m_mqttBox, &QCheckBox::toggled, this, &ParametersPanel::enablingInputChanged);
    // The feature dialogs change the record (and the PC settings they show) only; the window
    // shows none of their fields.
    connect(m_httpLink, &ClickLabel::clicked, this, [this] {
        auto* dialog = new HttpDialog(m_session, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
    connect(m_mqttLink, &ClickLabel::clicked, this, [this] {
        auto* dialog = new MqttDialog(m_session, m_kept.mqttCloudServer, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });

    buildPacketRows(grid);
    buildSerialAndSms(grid);

    connect(m_workMode, &QComboBox::currentIndexChanged, this,
            &ParametersPanel::enablingInputChanged);
    connect(m_smsMode, &QComboBox::currentIndexChanged, this,
            &ParametersPanel::enablingInputChanged);
    grid->setColumnStretch(2, 1);
    // The entries change with the language; each combo is as wide as its longest one.
    for (QComboBox* c : {m_workMode, m_registerMode, m_smsMode})
        c->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    // Until the first read the combos choose nothing; the registration mode alone starts with
    // its first entry (the language fills in the entries' texts).
    for (QComboBox* c : {m_dtuBaud, m_dtuParity, m_dtuDataBits, m_dtuStopBits, m_serverA.protocol,
                         m_serverA.connMode, m_serverB.protocol, m_serverB.connMode})
        c->setCurrentIndex(-1);
    for (int i = 0; i < kRegisterModeCount; ++i) m_registerMode->addItem(QString());
    m_registerMode->setCurrentIndex(0);
}

void ParametersPanel::buildServerRow(QGridLayout* grid, ServerRow& s, const char* prefix, int r) {
    const std::string p(prefix);
    s.enable = newBox((p + "Enable").c_str());
    s.addressLabel = new QLabel;
    s.host = form::edit((p + "Host").c_str(), 200);
    s.port = form::numberEdit((p + "Port").c_str(), 70);
    s.protocolLabel = new QLabel;
    s.protocol = newCombo((p + "Protocol").c_str());
    fillCombo(s.protocol, kProtocolEntries);
    s.connMode = newCombo((p + "ConnMode").c_str());
    fillCombo(s.connMode, kConnModeEntries);
    s.connMode->hide();
    s.timeout = form::edit((p + "Timeout").c_str());
    s.timeout->hide();
    s.linkState = newValue((p + "State").c_str(), linkSample());
    grid->addWidget(s.enable, r, 0);
    grid->addWidget(s.addressLabel, r, 1);
    grid->addWidget(s.host, r, 2);
    grid->addWidget(s.port, r, 3);
    grid->addWidget(s.protocolLabel, r, 4);
    grid->addWidget(s.protocol, r, 5);
    grid->addWidget(s.linkState, r, 6);
    grid->addWidget(s.connMode, r, 7);  // never shown: they carry their fields through
    grid->addWidget(s.timeout, r, 8);
    connect(s.enable, &QCheckBox::toggled, this, &ParametersPanel::enablingInputChanged);
}

// Heartbeat and registration packets: box, interval or mode, data with its HEX box.
void ParametersPanel::buildPacketRows(QGridLayout* grid) {
    auto packetRow = [&](int r, QCheckBox* box, QLabel* firstLabel, QWidget* first, QWidget* unit,
                         QLabel* dataLabel, QLineEdit* data, QCheckBox* hex) {
        auto* row = new QHBoxLayout;
        row->addWidget(firstLabel);
        row->addWidget(first, unit ? 0 : 1);
        if (unit) row->addWidget(unit);
        row->addWidget(dataLabel);
        row->addWidget(data, 1);
        row->addWidget(hex);
        grid->addWidget(box, r, 0);
        grid->addLayout(row, r, 1, 1, 6);
        connect(box, &QCheckBox::toggled, this, &ParametersPanel::enablingInputChanged);
    };
    m_heartbeatBox = newBox("heartbeatEnable");
    m_heartbeatTimeLabel = new QLabel;
    m_heartbeatInterval = form::numberEdit("heartbeatInterval");
    form::fitDigits(m_heartbeatInterval, 10);  // a 32-bit count
    m_heartbeatDataLabel = new QLabel;
    m_heartbeatData = form::edit("heartbeatData");
    m_heartbeatHex = newBox("heartbeatHex", QStringLiteral("HEX"));
    packetRow(4, m_heartbeatBox, m_heartbeatTimeLabel, m_heartbeatInterval,
              new QLabel(QStringLiteral("s")), m_heartbeatDataLabel, m_heartbeatData,
              m_heartbeatHex);

    m_registerBox = newBox("registerEnable");
    m_registerModeLabel = new QLabel;
    m_registerMode = newCombo("registerMode");
    m_registerDataLabel = new QLabel;
    m_registerData = form::edit("registerData");
    m_registerHex = newBox("registerHex", QStringLiteral("HEX"));
    packetRow(5, m_registerBox, m_registerModeLabel, m_registerMode, nullptr, m_registerDataLabel,
              m_registerData, m_registerHex);
}

void ParametersPanel::buildSerialAndSms(QGridLayout* grid) {
    m_serialGroup = new QGroupBox;
    auto* serial = new QHBoxLayout(m_serialGroup);
    for (auto*& l : m_serialLabels) l = new QLabel;
    m_dtuBaud = newCombo("dtuBaud");
    fillCombo(m_dtuBaud, kDeviceBaudEntries);
    m_dtuParity = newCombo("dtuParity");
    fillCombo(m_dtuParity, kParityEntries);
    m_dtuDataBits = newCombo("dtuDataBits");
    m_dtuDataBits->addItem(QStringLiteral("8"));
    m_dtuStopBits = newCombo("dtuStopBits");
    fillCombo(m_dtuStopBits, kStopBitsEntries);
    QComboBox* dtu[] = {m_dtuBaud, m_dtuParity, m_dtuDataBits, m_dtuStopBits};
    for (std::size_t i = 0; i < m_serialLabels.size(); ++i) {
        serial->addWidget(m_serialLabels[i]);
        serial->addWidget(dtu[i]);
    }
    m_packTimeLabel = new QLabel;
    m_packTime = form::numberEdit("packTime", 60);
    serial->addWidget(m_packTimeLabel);
    serial->addWidget(m_packTime);
    serial->addWidget(new QLabel(QStringLiteral("ms")));
    serial->addStretch(1);
    grid->addWidget(m_serialGroup, 6, 0, 1, 7);

    m_smsModeLabel = new QLabel;
    m_smsMode = newCombo("smsMode");
    m_phoneLabel = new QLabel;
    m_phoneNumbers = form::edit("phoneNumbers");
    auto* phoneHelp = newLink("phoneHelpLink", QStringLiteral("?"));
    connect(phoneHelp, &ClickLabel::clicked, this,
            [this] { showMessage(this, say(windowText::kPhoneNumbersHelp, m_lang)); });
    auto* sms = new QHBoxLayout;
    sms->addWidget(m_smsModeLabel);
    sms->addWidget(m_smsMode);
    sms->addWidget(m_phoneLabel);
    sms->addWidget(m_phoneNumbers, 1);
    sms->addWidget(phoneHelp);
    grid->addLayout(sms, 7, 0, 1, 7);
}

void ParametersPanel::restore(const PcSettings& settings) {
    m_heartbeatHex->setChecked(settings.hexHeartbeat == 1);
    m_registerHex->setChecked(settings.hexRegister == 1);
}

void ParametersPanel::store(PcSettings& settings) const {
    settings.hexHeartbeat = m_heartbeatHex->isChecked() ? 1 : 0;
    settings.hexRegister = m_registerHex->isChecked() ? 1 : 0;
}

void ParametersPanel::retranslate(Language lang) {
    m_lang = lang;
    const auto text = [lang](int id) { return form::text(lang, id); };
    m_workModeLabel->setText(text(kTextWorkMode));
    m_serverA.enable->setText(text(kTextServer) + QStringLiteral("A"));
    m_serverB.enable->setText(text(kTextServer) + QStringLiteral("B"));
    for (ServerRow* s : {&m_serverA, &m_serverB}) {
        s->addressLabel->setText(text(kTextAddressPort));
        s->protocolLabel->setText(text(kTextProtocol));
    }
    m_httpLink->setText(text(kTextSet));
    m_mqttLink->setText(text(kTextSet));
    m_heartbeatBox->setText(text(kTextHeartbeat));
    m_registerBox->setText(text(kTextRegisterPacket));
    m_registerModeLabel->setText(text(kTextMode));
    m_heartbeatTimeLabel->setText(text(kTextTime));
    m_registerDataLabel->setText(text(kTextData));
    m_heartbeatDataLabel->setText(text(kTextData));
    for (std::size_t i = 0; i < m_serialLabels.size(); ++i)
        m_serialLabels[i]->setText(text(kTextBaudRate + static_cast<int>(i)));
    m_packTimeLabel->setText(text(kTextPackTime));
    m_smsModeLabel->setText(text(kTextSms));
    m_phoneLabel->setText(text(kTextPhone));
    m_serialGroup->setTitle(text(kTextSerialParameters));

    struct Refill {
        QComboBox* combo;
        std::initializer_list<int> texts;
    };
    // Entries change language, the choices stay: the combos keep showing the record's values.
    for (const Refill& r :
         {Refill{m_registerMode,
                 {kTextRegisterOnConnect, kTextRegisterEveryPacket, kTextRegisterBoth}},
          Refill{m_workMode, {kTextNetMode, kTextSmsMode}},
          Refill{m_smsMode, {kTextSmsData, kTextSmsProtocol, kTextSmsPdu}}}) {
        const int selected = r.combo->currentIndex();
        const QSignalBlocker block(r.combo);
        r.combo->clear();
        for (int id : r.texts) r.combo->addItem(text(id));
        r.combo->setCurrentIndex(selected);
        keepEntriesWhole(r.combo);
    }
}

void ParametersPanel::fillForm(MainForm& f) const {
    f.workMode = m_workMode->currentIndex();
    for (auto [row, s] : {std::pair{&m_serverA, &f.serverA}, std::pair{&m_serverB, &f.serverB}}) {
        s->enable = row->enable->isChecked();
        s->host = utf8(row->host);
        s->port = utf8(row->port);
        s->protocol = row->protocol->currentIndex();
        s->connMode = row->connMode->currentIndex();
        s->timeout = utf8(row->timeout);
    }
    f.httpEnable = m_httpBox->isChecked();
    f.mqttEnable = m_mqttBox->isChecked();
    f.heartbeatEnable = m_heartbeatBox->isChecked();
    f.heartbeatInterval = utf8(m_heartbeatInterval);
    f.heartbeat = {utf8(m_heartbeatData), m_heartbeatHex->isChecked()};
    f.registerEnable = m_registerBox->isChecked();
    f.registerMode = m_registerMode->currentIndex();
    f.registration = {utf8(m_registerData), m_registerHex->isChecked()};
    f.dtuBaud = m_dtuBaud->currentIndex();
    f.dtuParity = m_dtuParity->currentIndex();
    f.dtuStopBits = m_dtuStopBits->currentIndex();
    f.packTime = utf8(m_packTime);
    f.smsMode = m_smsMode->currentIndex();
    f.phoneNumbers = utf8(m_phoneNumbers);
}

void ParametersPanel::setForm(const MainForm& f) {
    setCombo(m_workMode, f.workMode);
    for (auto [row, s] : {std::pair{&m_serverA, &f.serverA}, std::pair{&m_serverB, &f.serverB}}) {
        row->enable->setChecked(s->enable);
        put(row->host, s->host);
        put(row->port, s->port);
        setCombo(row->protocol, s->protocol);
        setCombo(row->connMode, s->connMode);
        put(row->timeout, s->timeout);
    }
    m_httpBox->setChecked(f.httpEnable);
    m_mqttBox->setChecked(f.mqttEnable);
    m_heartbeatBox->setChecked(f.heartbeatEnable);
    put(m_heartbeatInterval, f.heartbeatInterval);
    put(m_heartbeatData, f.heartbeat.data);
    m_heartbeatHex->setChecked(f.heartbeat.hex);
    m_registerBox->setChecked(f.registerEnable);
    setCombo(m_registerMode, f.registerMode);
    put(m_registerData, f.registration.data);
    m_registerHex->setChecked(f.registration.hex);
    setCombo(m_dtuBaud, f.dtuBaud);
    setCombo(m_dtuParity, f.dtuParity);
    setCombo(m_dtuDataBits, 0);
    setCombo(m_dtuStopBits, f.dtuStopBits);
    put(m_packTime, f.packTime);
    setCombo(m_smsMode, f.smsMode);
    put(m_phoneNumbers, f.phoneNumbers);
}

void ParametersPanel::showStatus(const StatusReport& s) {
    m_serverA.linkState->setText(qs(s.serverA));
    m_serverB.linkState->setText(qs(s.serverB));
    m_httpState->setText(qs(s.http));
    m_mqttState->setText(qs(s.mqtt));
}

void ParametersPanel::applyEnabling(const MainEnabling& e) {
    for (auto [row, on] :
         {std::pair{&m_serverA, e.serverAFields}, std::pair{&m_serverB, e.serverBFields}})
        for (QWidget* w : std::initializer_list<QWidget*>{row->host, row->port, row->protocol,
                                                          row->connMode, row->timeout})
            w->setEnabled(on);
    m_heartbeatInterval->setEnabled(e.heartbeatFields);
    m_heartbeatData->setEnabled(e.heartbeatFields);
    m_registerMode->setEnabled(e.registerFields);
    m_registerData->setEnabled(e.registerFields);
    if (e.linkBoxes)
        for (QWidget* w :
             std::initializer_list<QWidget*>{m_serverA.enable, m_serverB.enable, m_heartbeatBox,
                                             m_registerBox, m_httpBox, m_mqttBox})
            w->setEnabled(*e.linkBoxes);
    if (e.smsMode) m_smsMode->setEnabled(*e.smsMode);
    if (e.httpLink) m_httpLink->setEnabled(*e.httpLink);
    if (e.mqttLink) m_mqttLink->setEnabled(*e.mqttLink);
}

}  // namespace dtu
