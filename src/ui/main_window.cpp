#include "main_window.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSerialPortInfo>
#include <QShortcut>
#include <QStringDecoder>
#include <QTimer>
#include <QVBoxLayout>

#include "apn_dialog.h"
#include "click_label.h"
#include "cloud_registration.h"
#include "data_cache_dialog.h"
#include "file_io.h"
#include "files/param_file.h"
#include "firmware_dialog.h"
#include "form_widgets.h"
#include "http_dialog.h"
#include "label_print.h"
#include "lock_dialog.h"
#include "message_box.h"
#include "mqtt_dialog.h"
#include "params/form_values.h"
#include "pc_settings_file.h"
#include "poll_dialog.h"
#include "print_probe.h"
#include "production/registration.h"
#include "relay_dialog.h"
#include "remote_config_dialog.h"
#include "rtu_dialog.h"
#include "serial_data_dialogs.h"
#include "server_check_button.h"
#include "session.h"
#include "status/status_report.h"
#include "text/gbk.h"
#include "text/hex.h"
#include "tls_dialog.h"

namespace dtu {

using form::put;
using form::qs;
using form::setCombo;
using form::utf8;

namespace {

constexpr std::size_t kSendLimit = 1024;  // bytes the send line takes at once

template <std::size_t N>
void fillCombo(QComboBox* combo, const std::array<const char*, N>& entries) {
    for (const char* e : entries) combo->addItem(QString::fromUtf8(e));
}

QComboBox* newCombo(const char* name) {
    auto* c = new QComboBox;
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

QCheckBox* newBox(const char* name, const QString& label = {}) {
    auto* b = new QCheckBox(label);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QPushButton* newButton(const char* name) {
    auto* b = new QPushButton;
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

ClickLabel* newLink(const char* name, const QString& label = {}) {
    auto* l = new ClickLabel(ClickLabel::Style::Link);
    l->setObjectName(QString::fromLatin1(name));
    l->setText(label);
    return l;
}

// Status values come from the device: shown as the characters they are, never as markup.
QLabel* newValue(const char* name) {
    auto* l = new QLabel;
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

ClickLabel* newField(const char* name) {
    auto* l = new ClickLabel(ClickLabel::Style::Field);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    return l;
}

// A model name as the list shows it. The model list is a file made on a PC, so UTF-8 when it
// is valid UTF-8, else GBK like the device's texts; the bytes themselves go on the label.
QString modelName(const QByteArray& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8);
    QString name = utf8.decode(bytes);
    if (!utf8.hasError()) return name;
    return qs(gbkToDisplay(std::string_view(bytes.constData(), std::size_t(bytes.size()))));
}

// Window-modal, and gone once closed.
void openModal(QDialog* dialog) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

bool macReported(const DeviceParams& params) {
    const auto mac = params.bytes(fields::macAddress);
    return std::any_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b != 0; });
}

}  // namespace

MainWindow::MainWindow(Session& session, const PcSettings& settings, QWidget* parent)
    : QMainWindow(parent), m_session(session), m_kept(settings) {
    setObjectName(QStringLiteral("mainWindow"));
    m_session.setFactoryRecordDir(productionDir(settings));
    m_printProbe = new PrintServiceProbe(this);
    connect(m_printProbe, &PrintServiceProbe::finished, this, [this](bool present) {
        if (present) showProductionControls();
    });
    m_registration = new CloudRegistration(this);
    connect(m_registration, &CloudRegistration::finished, this, [this](RegistrationResult r) {
        m_session.appendLine(qs(registrationText(r)));
        applyProductionEnabling();
    });
    buildMenus();

    auto* left = new QVBoxLayout;
    left->addWidget(buildPortRow());
    left->addWidget(buildParameters());
    left->addWidget(buildAdvanced());
    left->addWidget(buildCommands());
    left->addWidget(buildProduction());
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(buildStatus());
    right->addWidget(buildTerminal(), 1);
    m_memoryLine = newField("memoryLine");
    m_memoryLine->setFrameShape(QFrame::NoFrame);
    m_memoryLine->setMinimumHeight(fontMetrics().height());
    m_memoryLine->setFocusPolicy(Qt::NoFocus);
    m_memoryLine->setCursor(Qt::ArrowCursor);
    connect(m_memoryLine, &ClickLabel::clicked, this, [this] {
        m_memoryClicks = std::min(m_memoryClicks + 1, 10);
        if (m_memoryClicks >= 10) m_memoryLine->setText(qs(memoryLine(m_session.params())));
    });
    right->addWidget(m_memoryLine, 0, Qt::AlignRight);

    auto* central = new QWidget;
    auto* columns = new QHBoxLayout(central);
    columns->addLayout(left, 3);
    columns->addLayout(right, 2);
    setCentralWidget(central);

    // The hidden status requests.
    for (auto key : {Qt::Key_R, Qt::Key_S})
        connect(new QShortcut(QKeySequence(Qt::ALT | key), this), &QShortcut::activated, this,
                [this] { m_session.flow().requestDiagnostics(); });
    connect(new QShortcut(QKeySequence(Qt::ALT | Qt::Key_T), this), &QShortcut::activated, this,
            [this] { m_session.flow().requestDeviceText(); });

    connectSession();

    // Start-up: lists, remembered choices, language, operating guide, empty record, title.
    setCombo(m_portCombo, settings.portIndex);
    setCombo(m_baudCombo, settings.baudIndex);
    setCombo(m_parityCombo, settings.parityIndex);
    setCombo(m_dataBitsCombo, 0);
    setCombo(m_stopBitsCombo, settings.stopBitsIndex);
    m_heartbeatHex->setChecked(settings.hexHeartbeat == 1);
    m_registerHex->setChecked(settings.hexRegister == 1);
    m_piecesBox->setChecked(false);
    // Until the first read the parameter combos choose nothing, apart from the TLS mode and
    // the registration mode (set below, after the language fills it).
    for (QComboBox* c : {m_dtuBaud, m_dtuParity, m_dtuDataBits, m_dtuStopBits, m_serverA.protocol,
                         m_serverA.connMode, m_serverB.protocol, m_serverB.connMode})
        c->setCurrentIndex(-1);
    m_tlsMode->setCurrentIndex(0);
    m_lang = languageFromInt(settings.language);
    setLanguage(m_lang);
    m_registerMode->setCurrentIndex(0);  // the only refilled combo that starts with a choice
    m_session.appendLine(text(kTextGuide));
    m_session.params().clear();
    setWindowTitle(m_lang == Language::English ? QStringLiteral("4G DTU&RTU Config   V169")
                                               : QStringLiteral("4G DTU&RTU 配置软件  V169"));
    applyEnabling();
}

QString MainWindow::text(int id) const {
    return qs(langText(m_lang, id));
}

// --- building ---

void MainWindow::buildMenus() {
    m_deviceMenu = menuBar()->addMenu(QString());
    m_firmwareAction = m_deviceMenu->addAction(QString());
    connect(m_firmwareAction, &QAction::triggered, this, &MainWindow::openFirmwareDialog);
    m_deviceMenu->addSeparator();
    connect(m_deviceMenu->addAction(QStringLiteral("关于 dtu(&A)...")), &QAction::triggered, this,
            &MainWindow::showAbout);

    m_toolsMenu = menuBar()->addMenu(QString());
    m_importAction = m_toolsMenu->addAction(QString());
    connect(m_importAction, &QAction::triggered, this, &MainWindow::importWithDialog);
    m_exportAction = m_toolsMenu->addAction(QString());
    connect(m_exportAction, &QAction::triggered, this, &MainWindow::exportWithDialog);
    connect(m_toolsMenu->addAction(QStringLiteral("深度恢复出厂")), &QAction::triggered, this,
            [this] { m_session.flow().deepReset(); });
    m_toolsMenu->addSeparator();
    m_toolsMenu->setToolTipsVisible(true);  // the whole path of the production folder
    m_productionDirAction = m_toolsMenu->addAction(QString());
    m_productionDirAction->setObjectName(QStringLiteral("productionDirAction"));
    connect(m_productionDirAction, &QAction::triggered, this, &MainWindow::chooseProductionDir);

    connect(menuBar()->addAction(QStringLiteral("中文")), &QAction::triggered, this,
            [this] { setLanguage(Language::Chinese); });
    connect(menuBar()->addAction(QStringLiteral("English")), &QAction::triggered, this,
            [this] { setLanguage(Language::English); });
}

QWidget* MainWindow::buildPortRow() {
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    for (auto*& l : m_portLabels) l = new QLabel;

    m_portCombo = newCombo("portCombo");
    m_portCombo->setEditable(true);
    m_portCombo->setInsertPolicy(QComboBox::NoInsert);
    m_portCombo->setMinimumContentsLength(12);
    // The ports the system has; a pseudo-terminal's path can be typed.
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString path = info.systemLocation();
        m_portCombo->addItem(info.description().isEmpty()
                                 ? path
                                 : QStringLiteral("%1 (%2)").arg(path, info.description()),
                             path);
    }
    m_baudCombo = newCombo("baudCombo");
    m_baudCombo->addItem(QStringLiteral("AUTO"));
    fillCombo(m_baudCombo, kDeviceBaudEntries);
    m_parityCombo = newCombo("parityCombo");
    fillCombo(m_parityCombo, kParityEntries);
    m_dataBitsCombo = newCombo("dataBitsCombo");
    m_dataBitsCombo->addItem(QStringLiteral("8"));
    m_stopBitsCombo = newCombo("stopBitsCombo");
    fillCombo(m_stopBitsCombo, kStopBitsEntries);
    m_openButton = newButton("openButton");
    connect(m_openButton, &QPushButton::clicked, this, &MainWindow::togglePort);

    QComboBox* combos[] = {m_portCombo, m_baudCombo, m_parityCombo, m_dataBitsCombo,
                           m_stopBitsCombo};
    for (int i = 0; i < 5; ++i) {
        m_portLabels[static_cast<std::size_t>(i)]->setBuddy(combos[i]);
        row->addWidget(m_portLabels[static_cast<std::size_t>(i)]);
        row->addWidget(combos[i], i == 0 ? 2 : 0);
    }
    row->addWidget(m_openButton);
    row->addStretch(1);

    m_lockBox = newBox("lockBox", QStringLiteral("设备锁"));
    connect(m_lockBox, &QCheckBox::toggled, this,
            [this](bool on) { m_session.setLockEnabled(on); });
    m_accessPasswordLink = newLink("accessPasswordLink", QStringLiteral("设置"));
    connect(m_accessPasswordLink, &ClickLabel::clicked, this, &MainWindow::editAccessPassword);
    row->addWidget(m_lockBox);
    row->addWidget(m_accessPasswordLink);
    return box;
}

QWidget* MainWindow::buildParameters() {
    auto* group = new QGroupBox;
    auto* grid = new QGridLayout(group);

    m_workModeLabel = new QLabel;
    m_workMode = newCombo("workMode");
    grid->addWidget(m_workModeLabel, 0, 0);
    grid->addWidget(m_workMode, 0, 1, 1, 2);

    auto serverRow = [&](ServerRow& s, const char* prefix, int r) {
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
        s.linkState = newValue((p + "State").c_str());
        grid->addWidget(s.enable, r, 0);
        grid->addWidget(s.addressLabel, r, 1);
        grid->addWidget(s.host, r, 2);
        grid->addWidget(s.port, r, 3);
        grid->addWidget(s.protocolLabel, r, 4);
        grid->addWidget(s.protocol, r, 5);
        grid->addWidget(s.linkState, r, 6);
        grid->addWidget(s.connMode, r, 7);  // never shown: they carry their fields through
        grid->addWidget(s.timeout, r, 8);
        connect(s.enable, &QCheckBox::toggled, this, &MainWindow::applyEnabling);
    };
    serverRow(m_serverA, "serverA", 1);
    const auto typedRecord = [this](DeviceParams& p) {
        const CollectResult r = collectMainForm(form(), p, m_lang);
        for (const std::string& message : r.messages) showMessage(this, qs(message));
        return r.ok;
    };
    grid->addWidget(new ServerCheckButton(m_session, typedRecord, false, this), 1, 9);
    serverRow(m_serverB, "serverB", 2);

    auto* links = new QHBoxLayout;
    m_httpBox = newBox("httpEnable", QStringLiteral("HTTP "));
    m_httpLink = newLink("httpLink");
    m_httpState = newValue("httpState");
    m_mqttBox = newBox("mqttEnable", QStringLiteral("MQTT"));
    m_mqttLink = newLink("mqttLink");
    m_mqttState = newValue("mqttState");
    for (QWidget* w : std::initializer_list<QWidget*>{m_httpBox, m_httpLink, m_httpState, m_mqttBox,
                                                      m_mqttLink, m_mqttState})
        links->addWidget(w);
    links->addStretch(1);
    grid->addLayout(links, 3, 0, 1, 7);
    connect(m_httpBox, &QCheckBox::toggled, this, &MainWindow::applyEnabling);
    connect(m_mqttBox, &QCheckBox::toggled, this, &MainWindow::applyEnabling);
    connect(m_httpLink, &ClickLabel::clicked, this, &MainWindow::openHttpDialog);
    connect(m_mqttLink, &ClickLabel::clicked, this, &MainWindow::openMqttDialog);

    // Heartbeat and registration packets: box, interval or mode, data with its HEX box.
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
        connect(box, &QCheckBox::toggled, this, &MainWindow::applyEnabling);
    };
    m_heartbeatBox = newBox("heartbeatEnable");
    m_heartbeatTimeLabel = new QLabel;
    m_heartbeatInterval = form::numberEdit("heartbeatInterval", 70);
    m_heartbeatDataLabel = new QLabel;
    m_heartbeatData = form::edit("heartbeatData");
    m_heartbeatHex = newBox("heartbeatHex", QStringLiteral("HEX"));
    packetRow(4, m_heartbeatBox, m_heartbeatTimeLabel, m_heartbeatInterval,
              new QLabel(QStringLiteral("s")), m_heartbeatDataLabel, m_heartbeatData,
              m_heartbeatHex);

    m_registerBox = newBox("registerEnable");
    m_registerModeLabel = new QLabel;
    m_registerMode = newCombo("registerMode");
    m_registerMode->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_registerMode->setMinimumContentsLength(10);
    m_registerMode->view()->setMinimumWidth(450);
    m_registerDataLabel = new QLabel;
    m_registerData = form::edit("registerData");
    m_registerHex = newBox("registerHex", QStringLiteral("HEX"));
    packetRow(5, m_registerBox, m_registerModeLabel, m_registerMode, nullptr, m_registerDataLabel,
              m_registerData, m_registerHex);

    m_serialGroup = new QGroupBox;
    auto* serial = new QHBoxLayout(m_serialGroup);
    for (auto*& l : m_deviceSerialLabels) l = new QLabel;
    m_dtuBaud = newCombo("dtuBaud");
    fillCombo(m_dtuBaud, kDeviceBaudEntries);
    m_dtuParity = newCombo("dtuParity");
    fillCombo(m_dtuParity, kParityEntries);
    m_dtuDataBits = newCombo("dtuDataBits");
    m_dtuDataBits->addItem(QStringLiteral("8"));
    m_dtuStopBits = newCombo("dtuStopBits");
    fillCombo(m_dtuStopBits, kStopBitsEntries);
    QComboBox* dtu[] = {m_dtuBaud, m_dtuParity, m_dtuDataBits, m_dtuStopBits};
    for (int i = 0; i < 4; ++i) {
        serial->addWidget(m_deviceSerialLabels[static_cast<std::size_t>(i)]);
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
            [this] { showMessage(this, qs(kPhoneNumbersHelp)); });
    auto* sms = new QHBoxLayout;
    sms->addWidget(m_smsModeLabel);
    sms->addWidget(m_smsMode);
    sms->addWidget(m_phoneLabel);
    sms->addWidget(m_phoneNumbers, 1);
    sms->addWidget(phoneHelp);
    grid->addLayout(sms, 7, 0, 1, 7);

    connect(m_workMode, &QComboBox::currentIndexChanged, this, &MainWindow::applyEnabling);
    connect(m_smsMode, &QComboBox::currentIndexChanged, this, &MainWindow::applyEnabling);
    grid->setColumnStretch(2, 1);
    return group;
}

QWidget* MainWindow::buildAdvanced() {
    m_advancedGroup = new QGroupBox;
    auto* grid = new QGridLayout(m_advancedGroup);
    auto pair = [](QWidget* a, QWidget* b, QWidget* c = nullptr) {
        auto* w = new QWidget;
        auto* l = new QHBoxLayout(w);
        l->setContentsMargins(0, 0, 0, 0);
        l->addWidget(a);
        if (b) l->addWidget(b);
        if (c) l->addWidget(c);
        l->addStretch(1);
        return w;
    };
    m_serialSendBox = newBox("serialSendEnable");
    m_serialSendLink = newLink("serialSendLink");
    connect(m_serialSendLink, &ClickLabel::clicked, this, &MainWindow::openTimedSendDialog);
    m_serialFilterBox = newBox("serialFilterEnable");
    m_serialFilterLink = newLink("serialFilterLink");
    connect(m_serialFilterLink, &ClickLabel::clicked, this, &MainWindow::openSerialFilterDialog);
    m_relayBox = newBox("relayEnable");
    m_relayLink = newLink("relayLink");
    connect(m_relayLink, &ClickLabel::clicked, this, &MainWindow::openRelayDialog);
    m_dataCacheBox = newBox("dataCacheEnable");
    m_dataCacheLink = newLink("dataCacheLink");
    connect(m_dataCacheLink, &ClickLabel::clicked, this, &MainWindow::openDataCacheDialog);
    m_modbusTcpBox = newBox("modbusTcpToRtu", QStringLiteral("ModbusTcp To rtu"));
    m_apnBox = newBox("apnEnable", QStringLiteral("APN"));
    m_apnLink = newLink("apnLink");
    connect(m_apnLink, &ClickLabel::clicked, this, &MainWindow::openApnDialog);
    m_remoteConfigBox = newBox("remoteConfigEnable");
    m_remoteConfigLink = newLink("remoteConfigLink");
    connect(m_remoteConfigLink, &ClickLabel::clicked, this, &MainWindow::openRemoteConfigDialog);
    m_remoteConfigUuid = newValue("remoteConfigUuid");
    m_userCodeBox = newBox("userCodeEnable");
    m_userCodeLink = newLink("userCodeLink");
    connect(m_userCodeLink, &ClickLabel::clicked, this, &MainWindow::openUserSettingsDialog);
    m_userCodeVersion = newValue("userCodeVersion");
    m_edgeLabel = new QLabel;
    m_edgeMode = newCombo("edgeMode");
    m_edgeLink = newLink("edgeLink");
    connect(m_edgeLink, &ClickLabel::clicked, this, &MainWindow::openPollDialog);
    m_tlsMode = newCombo("tlsMode");
    fillCombo(m_tlsMode, kTlsModeEntries);
    m_certLink = newLink("certLink", QStringLiteral("证书"));
    connect(m_certLink, &ClickLabel::clicked, this, &MainWindow::openTlsDialog);
    m_certChecksums = newValue("certChecksums");
    m_configLockBox = newBox("configLock", QStringLiteral("设备锁"));
    m_configLockLink = newLink("configLockLink", QStringLiteral("设置"));
    connect(m_configLockLink, &ClickLabel::clicked, this, &MainWindow::editConfigLockPassword);
    m_rebootLabel = new QLabel;
    m_noDataReboot = form::numberEdit("noDataRebootMinutes", 60);
    m_minuteLabel = new QLabel;
    m_rtuButton = newButton("rtuButton");
    connect(m_rtuButton, &QPushButton::clicked, this, &MainWindow::openRtuDialog);

    grid->addWidget(pair(m_serialSendBox, m_serialSendLink), 0, 0);
    grid->addWidget(pair(m_serialFilterBox, m_serialFilterLink), 0, 1);
    grid->addWidget(pair(m_relayBox, m_relayLink), 0, 2);
    grid->addWidget(pair(m_dataCacheBox, m_dataCacheLink), 1, 0);
    grid->addWidget(pair(m_modbusTcpBox, nullptr), 1, 1);
    grid->addWidget(pair(m_apnBox, m_apnLink), 1, 2);
    grid->addWidget(pair(m_remoteConfigBox, m_remoteConfigLink, m_remoteConfigUuid), 2, 0);
    grid->addWidget(pair(m_userCodeBox, m_userCodeLink, m_userCodeVersion), 2, 1);
    grid->addWidget(pair(m_edgeLabel, m_edgeMode, m_edgeLink), 2, 2);
    auto* tls = pair(new QLabel(QStringLiteral("TLS加密")), m_tlsMode, m_certLink);
    static_cast<QHBoxLayout*>(tls->layout())->insertWidget(3, m_certChecksums);
    grid->addWidget(tls, 3, 0);
    grid->addWidget(pair(m_configLockBox, m_configLockLink), 3, 1);
    auto* reboot = pair(m_rebootLabel, m_noDataReboot, m_minuteLabel);
    grid->addWidget(reboot, 3, 2);
    grid->addWidget(m_rtuButton, 4, 0);

    connect(m_edgeMode, &QComboBox::currentIndexChanged, this, &MainWindow::applyEnabling);
    return m_advancedGroup;
}

QWidget* MainWindow::buildCommands() {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    m_readButton = newButton("readButton");
    m_saveButton = newButton("saveButton");
    m_rebootButton = newButton("rebootButton");
    m_resetButton = newButton("resetButton");
    for (QPushButton* b : {m_readButton, m_saveButton, m_rebootButton, m_resetButton}) {
        b->setMinimumHeight(32);
        row->addWidget(b);
    }
    connect(m_readButton, &QPushButton::clicked, this, [this] { m_session.flow().read(); });
    connect(m_saveButton, &QPushButton::clicked, this, &MainWindow::save);
    connect(m_rebootButton, &QPushButton::clicked, this, [this] { m_session.flow().reboot(); });
    connect(m_resetButton, &QPushButton::clicked, this,
            [this] { m_session.flow().factoryReset(); });
    m_piecesBox = newBox("piecesBox");
    connect(m_piecesBox, &QCheckBox::toggled, this,
            [this](bool on) { m_session.flow().setPieces(on); });
    row->addWidget(m_piecesBox);
    layout->addLayout(row);

    auto* oneClick = new QHBoxLayout;
    m_oneClickButton = newButton("oneClickButton");
    m_oneClickButton->setText(QStringLiteral("一键配置lock"));
    m_oneClickPath = form::edit("oneClickPath");
    m_oneClickButton->hide();
    m_oneClickPath->hide();
    connect(m_oneClickButton, &QPushButton::clicked, this, &MainWindow::oneClickConfigure);
    oneClick->addWidget(m_oneClickButton);
    oneClick->addWidget(m_oneClickPath, 1);
    layout->addLayout(oneClick);
    return box;
}

QWidget* MainWindow::buildProduction() {
    m_production = new QWidget;
    m_production->setObjectName(QStringLiteral("production"));
    auto* row = new QHBoxLayout(m_production);
    row->setContentsMargins(0, 0, 0, 0);
    m_modelCombo = newCombo("modelCombo");
    m_modelCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_modelCombo->setMinimumContentsLength(12);
    // Texts of the production line, the same in both languages.
    m_printButton = newButton("printButton");
    m_printButton->setText(QStringLiteral("打印"));
    m_printNoLogoButton = newButton("printNoLogoButton");
    m_printNoLogoButton->setText(QStringLiteral("打印无LOGO"));
    m_cloudButton = newButton("cloudButton");
    m_cloudButton->setText(QStringLiteral("添加到云"));
    row->addWidget(m_modelCombo);
    row->addWidget(m_printButton);
    row->addWidget(m_printNoLogoButton);
    row->addStretch(1);
    row->addWidget(m_cloudButton);
    connect(m_modelCombo, &QComboBox::currentIndexChanged, this,
            &MainWindow::applyProductionEnabling);
    connect(m_printButton, &QPushButton::clicked, this, [this] { printDeviceLabel(true); });
    connect(m_printNoLogoButton, &QPushButton::clicked, this, [this] { printDeviceLabel(false); });
    connect(m_cloudButton, &QPushButton::clicked, this, &MainWindow::registerDevice);
    m_production->hide();
    return m_production;
}

QWidget* MainWindow::buildStatus() {
    auto* group = new QGroupBox;
    auto* grid = new QGridLayout(group);
    for (auto*& l : m_statusLabels) l = new QLabel;
    m_model = newValue("model");
    m_version = newValue("version");
    m_imei = newField("imei");
    m_iccid = newField("iccid");
    m_operator = newValue("operatorName");
    m_signal = newValue("signal");
    m_network = newValue("network");
    m_mac = newField("mac");
    m_sim = newValue("sim");
    m_gps = newValue("gps");
    m_cell = newValue("cell");
    m_gpsUploadLink = newLink("gpsUploadLink", QStringLiteral("上传设置"));
    connect(m_gpsUploadLink, &ClickLabel::clicked, this, &MainWindow::openGpsDialog);
    m_cellInfoLink = newLink("cellInfoLink", QStringLiteral("小区信息"));
    connect(m_cellInfoLink, &ClickLabel::clicked, this,
            [this] { showMessage(this, qs(cellInfoMessage(m_session.params()))); });
    m_cellLocationBox = newBox("cellLocation", QStringLiteral("基站定位"));
    connect(m_imei, &ClickLabel::clicked, this,
            [this] { copyField(m_imei, "IMEI copy\r\n", "IMEI 复制成功\r\n"); });
    connect(m_iccid, &ClickLabel::clicked, this,
            [this] { copyField(m_iccid, "ICCID copy\r\n", "ICCID 复制成功\r\n"); });
    connect(m_mac, &ClickLabel::clicked, this,
            [this] { copyField(m_mac, "MAC copy\r\n", "MAC 复制成功\r\n"); });

    int r = 0;
    auto add = [&](QLabel* label, QWidget* value, QWidget* extra = nullptr) {
        grid->addWidget(label, r, 0);
        grid->addWidget(value, r, 1, 1, extra ? 1 : 2);
        if (extra) grid->addWidget(extra, r, 2);
        ++r;
    };
    add(m_statusLabels[0], m_model);
    add(m_statusLabels[4], m_version);
    add(new QLabel(QStringLiteral("IMEI")), m_imei);
    add(new QLabel(QStringLiteral("ICCID")), m_iccid);
    add(m_statusLabels[1], m_operator);
    add(m_statusLabels[3], m_signal);
    add(m_statusLabels[2], m_network);
    add(new QLabel(QStringLiteral("MAC")), m_mac);
    add(new QLabel(QStringLiteral("SIM")), m_sim);
    add(new QLabel(QStringLiteral("GPS")), m_gps, m_gpsUploadLink);
    add(new QLabel(QStringLiteral("GSM")), m_cell, m_cellInfoLink);
    grid->addWidget(m_cellLocationBox, r, 1);
    grid->setColumnStretch(1, 1);
    return group;
}

QWidget* MainWindow::buildTerminal() {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* head = new QHBoxLayout;
    m_receiveLabel = new QLabel;
    m_receiveHex = newBox("receiveHex", QStringLiteral("HEX"));
    connect(m_receiveHex, &QCheckBox::toggled, this,
            [this](bool on) { m_session.flow().setRawHex(on); });
    m_clearLink = newLink("clearLink");
    connect(m_clearLink, &ClickLabel::clicked, this, [this] {
        m_session.clearLog();
        m_receiveBox->clear();
    });
    head->addWidget(m_receiveLabel);
    head->addWidget(m_receiveHex);
    head->addStretch(1);
    head->addWidget(m_clearLink);
    layout->addLayout(head);

    m_receiveBox = new QPlainTextEdit;
    m_receiveBox->setObjectName(QStringLiteral("receiveBox"));
    m_receiveBox->setReadOnly(true);
    m_receiveBox->setMinimumSize(320, 200);
    layout->addWidget(m_receiveBox, 1);

    auto* send = new QHBoxLayout;
    m_sendEdit = form::edit("sendEdit");
    m_sendHex = newBox("sendHex", QStringLiteral("HEX"));
    m_sendButton = newButton("sendButton");
    connect(m_sendButton, &QPushButton::clicked, this, &MainWindow::sendLine);
    connect(m_sendEdit, &QLineEdit::returnPressed, this, &MainWindow::sendLine);
    send->addWidget(m_sendEdit, 1);
    send->addWidget(m_sendHex);
    send->addWidget(m_sendButton);
    layout->addLayout(send);
    return box;
}

void MainWindow::connectSession() {
    connect(&m_session, &Session::logAppended, this, &MainWindow::appendToReceiveBox);
    connect(&m_session, &Session::messageBoxRequested, this,
            [this](const QString& t) { showMessage(this, t); });
    connect(&m_session, &Session::commandsEnabledChanged, this, [this](bool on) {
        for (QPushButton* b : {m_readButton, m_saveButton, m_rebootButton, m_resetButton})
            b->setEnabled(on);
    });
    connect(&m_session, &Session::portButtonEnabledChanged, m_openButton, &QWidget::setEnabled);
    connect(&m_session, &Session::portOpenChanged, this, &MainWindow::setPortControlsOpen);
    connect(&m_session, &Session::decoded, this, &MainWindow::showAnswer);
    connect(&m_session, &Session::lineWarning, this,
            [this](const QString& t) { m_session.appendLine(t + QStringLiteral("\r\n")); });
}

// --- language ---

void MainWindow::fillLanguageCombos() {
    struct Refill {
        QComboBox* combo;
        std::initializer_list<int> texts;
    };
    // Entries change language, the choices stay: the combos keep showing the record's values.
    for (const Refill& r :
         {Refill{m_registerMode,
                 {kTextRegisterOnConnect, kTextRegisterEveryPacket, kTextRegisterBoth}},
          Refill{m_edgeMode, {kTextDisable, kTextModbusPoll, kTextMoreProtocols}},
          Refill{m_workMode, {kTextNetMode, kTextSmsMode}},
          Refill{m_smsMode, {kTextSmsData, kTextSmsProtocol, kTextSmsPdu}}}) {
        const int selected = r.combo->currentIndex();
        const QSignalBlocker block(r.combo);
        r.combo->clear();
        for (int id : r.texts) r.combo->addItem(text(id));
        r.combo->setCurrentIndex(selected);
    }
}

void MainWindow::setLanguage(Language lang) {
    m_lang = lang;
    m_session.setLanguage(lang);
    retranslate();
    fillLanguageCombos();
    m_session.clearLog();
    m_receiveBox->clear();
    if (m_statusShown) refreshStatus();  // the status texts that have a language follow it
    applyEnabling();
}

void MainWindow::retranslate() {
    m_deviceMenu->setTitle(text(kTextDevice));
    m_firmwareAction->setText(text(kTextFirmwareUpgrade));
    m_toolsMenu->setTitle(text(kTextTools));
    m_importAction->setText(text(kTextImportConfig));
    m_exportAction->setText(text(kTextExportConfig));
    showProductionDir();

    for (std::size_t i = 0; i < m_portLabels.size(); ++i)
        m_portLabels[i]->setText(text(kTextSerial + static_cast<int>(i)));
    m_openButton->setText(text(m_session.isOpen() ? kTextClose : kTextOpen));
    m_workModeLabel->setText(text(kTextWorkMode));
    m_serverA.enable->setText(text(kTextServer) + QStringLiteral("A"));
    m_serverB.enable->setText(text(kTextServer) + QStringLiteral("B"));
    for (ServerRow* s : {&m_serverA, &m_serverB}) {
        s->addressLabel->setText(text(kTextAddressPort));
        s->protocolLabel->setText(text(kTextProtocol));
    }
    for (ClickLabel* link : {m_httpLink, m_mqttLink, m_serialSendLink, m_serialFilterLink,
                             m_dataCacheLink, m_relayLink, m_apnLink, m_edgeLink, m_userCodeLink})
        link->setText(text(kTextSet));
    m_heartbeatBox->setText(text(kTextHeartbeat));
    m_registerBox->setText(text(kTextRegisterPacket));
    m_registerModeLabel->setText(text(kTextMode));
    m_heartbeatTimeLabel->setText(text(kTextTime));
    m_registerDataLabel->setText(text(kTextData));
    m_heartbeatDataLabel->setText(text(kTextData));
    for (std::size_t i = 0; i < m_deviceSerialLabels.size(); ++i)
        m_deviceSerialLabels[i]->setText(text(kTextBaudRate + static_cast<int>(i)));
    m_packTimeLabel->setText(text(kTextPackTime));
    m_smsModeLabel->setText(text(kTextSms));
    m_phoneLabel->setText(text(kTextPhone));
    m_advancedGroup->setTitle(text(kTextMore));
    m_serialGroup->setTitle(text(kTextSerialParameters));
    m_serialSendBox->setText(text(kTextSendToSerial));
    m_serialFilterBox->setText(text(kTextSerialFilter));
    m_relayBox->setText(text(kTextRelay));
    m_dataCacheBox->setText(text(kTextNetBreakCache));
    m_rebootLabel->setText(text(kTextRebootWhenNetBreak));
    m_minuteLabel->setText(text(kTextMinute));
    m_edgeLabel->setText(text(kTextEdgeComputing));
    m_rtuButton->setText(QStringLiteral("RTU ") + text(kTextSet));
    m_userCodeBox->setText(text(kTextUserCode));
    const int statusTexts[] = {kTextModel, kTextOperator, kTextStatus, kTextSignal, kTextVersion};
    for (std::size_t i = 0; i < m_statusLabels.size(); ++i)
        m_statusLabels[i]->setText(text(statusTexts[i]));
    m_readButton->setText(text(kTextRead));
    m_saveButton->setText(text(kTextSave));
    m_rebootButton->setText(text(kTextRestart));
    m_resetButton->setText(text(kTextDefault));
    m_receiveLabel->setText(text(kTextRx));
    m_sendButton->setText(text(kTextSend));
    m_piecesBox->setText(text(kTextSaveFailedTryAgain));
    m_clearLink->setText(text(kTextClear));
    const bool en = m_lang == Language::English;
    m_remoteConfigBox->setText(en ? QStringLiteral("CloudSet") : QStringLiteral("远程配置"));
    m_remoteConfigLink->setText(en ? QStringLiteral("Set") : QStringLiteral("设置"));
}

// --- the record in the controls ---

MainForm MainWindow::form() const {
    MainForm f;
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
    f.serialSendEnable = m_serialSendBox->isChecked();
    f.serialFilterEnable = m_serialFilterBox->isChecked();
    f.relayEnable = m_relayBox->isChecked();
    f.dataCacheEnable = m_dataCacheBox->isChecked();
    f.modbusTcpToRtu = m_modbusTcpBox->isChecked();
    f.edgeMode = m_edgeMode->currentIndex();
    f.tlsMode = m_tlsMode->currentIndex();
    f.apnEnable = m_apnBox->isChecked();
    f.remoteConfigEnable = m_remoteConfigBox->isChecked();
    f.userCodeEnable = m_userCodeBox->isChecked();
    f.configLock = m_configLockBox->isChecked();
    f.noDataRebootMinutes = utf8(m_noDataReboot);
    f.cellLocation = m_cellLocationBox->isChecked();
    return f;
}

void MainWindow::setForm(const MainForm& f) {
    m_writingForm = true;  // the enabling rules run once, after every control is written
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
    m_serialSendBox->setChecked(f.serialSendEnable);
    m_serialFilterBox->setChecked(f.serialFilterEnable);
    m_relayBox->setChecked(f.relayEnable);
    m_dataCacheBox->setChecked(f.dataCacheEnable);
    m_modbusTcpBox->setChecked(f.modbusTcpToRtu);
    setCombo(m_edgeMode, f.edgeMode);
    setCombo(m_tlsMode, f.tlsMode);
    m_apnBox->setChecked(f.apnEnable);
    m_remoteConfigBox->setChecked(f.remoteConfigEnable);
    m_userCodeBox->setChecked(f.userCodeEnable);
    m_configLockBox->setChecked(f.configLock);
    put(m_noDataReboot, f.noDataRebootMinutes);
    m_cellLocationBox->setChecked(f.cellLocation);
    m_writingForm = false;
    applyEnabling();
}

void MainWindow::redisplay() {
    MainForm f = form();  // keeps the HEX boxes, which choose the form of the packet data
    showMainForm(m_session.params(), f);
    setForm(f);
    refreshStatus();
}

void MainWindow::showAnswer(const DecodeResult& result) {
    // Only a full read replaces the form. A live answer (status, I/O poll, MQTT status,
    // checksums) feeds the status displays alone: the controls keep what the user is editing.
    if (result.sawItem1) {
        redisplay();
        return;
    }
    refreshStatus();
    applyEnabling();  // the device kind is the record's, which a live answer may bring
}

void MainWindow::showLoadedFile() {
    // Like a read answer: the controls and the status, then the production record.
    redisplay();
    m_session.writeFactoryRecord();
}

void MainWindow::refreshStatus() {
    m_statusShown = true;
    const StatusReport s = buildStatusReport(m_session.params(), m_session.live(), m_lang);
    m_model->setText(qs(s.model));
    m_version->setText(qs(s.version));
    m_iccid->setText(qs(s.iccid));
    m_imei->setText(qs(s.imei));
    m_signal->setText(qs(s.signal));
    m_operator->setText(qs(s.operatorName));
    m_mac->setText(qs(s.mac));
    m_network->setText(qs(s.network));
    m_serverA.linkState->setText(qs(s.serverA));
    m_serverB.linkState->setText(qs(s.serverB));
    m_httpState->setText(qs(s.http));
    m_mqttState->setText(qs(s.mqtt));
    m_sim->setText(qs(s.sim));
    m_gps->setText(qs(s.gps));
    m_cell->setText(qs(s.cell));
    m_remoteConfigUuid->setText(qs(s.remoteConfigUuid));
    m_userCodeVersion->setText(qs(s.userCode));
    m_certChecksums->setText(qs(s.certChecksums));
}

void MainWindow::applyEnabling() {
    if (m_writingForm) return;
    const MainEnabling e = mainEnabling(form(), m_session.params().get(fields::deviceKind));
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
    m_relayBox->setEnabled(e.relay);
    m_relayLink->setEnabled(e.relay);
    m_rtuButton->setEnabled(e.rtuButton);
    m_edgeLink->setEnabled(e.edgeLink);
    applyProductionEnabling();
}

// --- port and terminal ---

void MainWindow::choosePort(const QString& path, int baudItem) {
    m_portCombo->setCurrentIndex(-1);
    m_portCombo->setEditText(path);
    setCombo(m_baudCombo, baudItem);
}

void MainWindow::togglePort() {
    if (m_session.isOpen()) {
        m_session.flow().stopProbe();
        m_session.closePort();
        return;
    }
    // A listed port opens by its path; anything else typed is taken as a path.
    const int i = m_portCombo->currentIndex();
    const QString typed = m_portCombo->currentText().trimmed();
    const QString path =
        i >= 0 && m_portCombo->itemText(i) == typed ? m_portCombo->itemData(i).toString() : typed;
    const int baud = m_baudCombo->currentIndex() <= 0 ? 0 : m_baudCombo->currentText().toInt();
    if (!m_session.openPort(path, baud, std::max(0, m_parityCombo->currentIndex()),
                            std::max(0, m_stopBitsCombo->currentIndex())) &&
        !m_session.lastOpenError().isEmpty())
        m_session.appendLine(m_session.lastOpenError() + QStringLiteral("\r\n"));
}

void MainWindow::setPortControlsOpen(bool open) {
    m_openButton->setText(text(open ? kTextClose : kTextOpen));
    for (QComboBox* c : {m_portCombo, m_baudCombo, m_parityCombo, m_dataBitsCombo, m_stopBitsCombo})
        c->setEnabled(!open);
}

void MainWindow::appendToReceiveBox(const QString& t, bool cleared) {
    if (cleared) m_receiveBox->clear();
    QString shown = t;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_receiveBox->moveCursor(QTextCursor::End);
    m_receiveBox->insertPlainText(shown);
    m_receiveBox->verticalScrollBar()->setValue(m_receiveBox->verticalScrollBar()->maximum());
}

void MainWindow::sendLine() {
    const std::string typed = utf8(m_sendEdit);
    std::vector<std::uint8_t> bytes;
    if (m_sendHex->isChecked()) {
        auto parsed = parseHex(typed);
        if (!parsed) {
            showMessage(this, qs(inLanguage(kHexEntryMessage, m_lang)));
            return;
        }
        bytes = std::move(*parsed);
    } else {
        auto gbk = utf8ToGbk(typed);
        if (!gbk) {
            showMessage(this, qs(notGbkMessage({"发送的数据", "The data to send"}, m_lang)));
            return;
        }
        bytes = std::move(*gbk);
    }
    if (bytes.size() > kSendLimit) {
        showMessage(this,
                    qs(tooLongMessage({"发送的数据", "The data to send"}, kSendLimit, m_lang)));
        return;
    }
    m_session.flow().sendRaw(bytes);
}

void MainWindow::copyField(const QLabel* field, const char* english, const char* chinese) {
    if (field->text().isEmpty()) return;
    QApplication::clipboard()->setText(field->text());
    m_session.appendLine(QString::fromUtf8(m_lang == Language::English ? english : chinese));
}

// --- save, lock, files ---

void MainWindow::save() {
    m_session.flow().save([this] {
        const CollectResult r = collectMainForm(form(), m_session.params(), m_lang);
        for (const std::string& message : r.messages) showMessage(this, qs(message));
        return r.ok;
    });
}

void MainWindow::editAccessPassword() {
    auto* dialog = new LockDialog(m_session.accessPassword(), m_lang, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog] { m_session.setAccessPassword(dialog->password()); });
    dialog->open();
}

void MainWindow::editConfigLockPassword() {
    LockPassword stored{};
    const auto field = m_session.params().bytes(fields::configLockPassword);
    std::copy(field.begin(), field.end(), stored.begin());
    auto* dialog = new LockDialog(stored, m_lang, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const LockPassword pw = dialog->password();
        m_session.params().setText(fields::configLockPassword, std::span<const std::uint8_t>(pw));
    });
    dialog->open();
}

bool MainWindow::exportTo(const QString& path) {
    // What the record holds now: edits not yet collected by a save are not in the file.
    std::string error;
    if (!writeFileAtomic(path.toStdString(), paramsImage(m_session.params()), error)) {
        showMessage(this, QString::fromStdString(error));
        return false;
    }
    showMessage(this, QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    return true;
}

bool MainWindow::importFrom(const QString& path) {
    std::string error;
    const auto bytes = readFileHead(path.toStdString(), kParamFileSize, error);
    if (!bytes) {
        showMessage(this, QString::fromStdString(error));
        return false;
    }
    DeviceParams& params = m_session.params();
    loadParamsImage(*bytes, params);
    if (isLockedConfig(params)) {
        // A locked configuration is written, never shown.
        params.clear();
        applyProductionEnabling();
        m_saveButton->setEnabled(false);
        m_oneClickButton->show();
        m_oneClickPath->show();
    } else {
        showLoadedFile();
    }
    m_oneClickPath->setText(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    return true;
}

void MainWindow::oneClickConfigure() {
    std::string error;
    const auto bytes = readFileHead(
        QDir::fromNativeSeparators(m_oneClickPath->text()).toStdString(), kParamFileSize, error);
    if (!bytes) {
        showMessage(this, QString::fromStdString(error));
        return;
    }
    DeviceParams& params = m_session.params();
    loadParamsImage(*bytes, params);
    if (!isLockedConfig(params)) showLoadedFile();
    m_session.flow().setParamsRead();
    m_session.flow().save();  // the file as it stands, nothing collected from the window
    params.clear();
    applyProductionEnabling();
}

void MainWindow::exportWithDialog() {
    const QString path = QFileDialog::getSaveFileName(this, text(kTextExportConfig),
                                                      QStringLiteral("4g-dtu-rtu.cfg"),
                                                      QStringLiteral("文件 (*.cfg)"));
    if (!path.isEmpty()) exportTo(path);
}

void MainWindow::importWithDialog() {
    const QString path = QFileDialog::getOpenFileName(this, text(kTextImportConfig), QString(),
                                                      QStringLiteral("(*.cfg);;所有文件(*.*)"));
    if (!path.isEmpty()) importFrom(path);
}

void MainWindow::openFirmwareDialog() {
    auto* dialog =
        new FirmwareDialog(m_session, m_firmwarePath, m_kept.factoryResetAfterUpgrade == 1, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        m_firmwarePath = dialog->path();
        m_kept.factoryResetAfterUpgrade = dialog->factoryReset() ? 1 : 0;
    });
    dialog->open();
}

void MainWindow::openTlsDialog() {
    openModal(new TlsDialog(m_session, this));
}

// The feature dialogs change the record (and the PC settings they show) only; the main window
// shows none of their fields.
void MainWindow::openMqttDialog() {
    openModal(new MqttDialog(m_session, m_kept.mqttCloudServer, this));
}

void MainWindow::openHttpDialog() {
    openModal(new HttpDialog(m_session, this));
}

void MainWindow::openApnDialog() {
    openModal(new ApnDialog(m_session, this));
}

void MainWindow::openPollDialog() {
    openModal(new PollDialog(m_session, m_kept.utf8Names, this));
}

void MainWindow::openDataCacheDialog() {
    openModal(new DataCacheDialog(m_session, this));
}

void MainWindow::openGpsDialog() {
    openModal(new GpsDialog(m_session, this));
}

void MainWindow::openUserSettingsDialog() {
    openModal(new UserSettingsDialog(m_lang, this));
}

void MainWindow::openRelayDialog() {
    openModal(new RelayDialog(m_session, this));
}

void MainWindow::openSerialFilterDialog() {
    openModal(new SerialFilterDialog(m_session, m_kept.hexSerialFilter, this));
}

void MainWindow::openTimedSendDialog() {
    openModal(new TimedSendDialog(m_session, m_kept.hexTimedSend, this));
}

void MainWindow::openRemoteConfigDialog() {
    openModal(new RemoteConfigDialog(m_session, this));
}

// The RTU form edits the record in place and runs the live test panel on the session.
void MainWindow::openRtuDialog() {
    openModal(new RtuDialog(m_session, this));
}

void MainWindow::showAbout() {
    showMessage(this, QStringLiteral("dtuconf %1\n4G DTU&RTU 配置软件 / Config tool\nV169")
                          .arg(QApplication::applicationVersion()));
}

// --- production ---

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The probe waits up to half a second for its answer: it starts once the window is up,
    // and its answer shows the controls whenever it comes.
    if (m_probeStarted) return;
    m_probeStarted = true;
    QTimer::singleShot(0, this, &MainWindow::startPrintProbe);
}

void MainWindow::startPrintProbe() {
    // A service address the settings get wrong is a service that does not answer.
    const QHostAddress host(QString::fromStdString(m_kept.printHost));
    if (host.isNull() || m_kept.printPort < 1 || m_kept.printPort > 65535) return;
    m_printProbe->start(host, static_cast<quint16>(m_kept.printPort));
}

void MainWindow::showProductionControls() {
    m_productionMode = true;
    fillModelList();
    m_production->show();
}

void MainWindow::fillModelList() {
    // The remembered choice at start-up, the current one when the folder changes.
    const int selected =
        m_modelCombo->count() > 0 ? m_modelCombo->currentIndex() : m_kept.printerModel;
    {
        const QSignalBlocker block(m_modelCombo);
        m_modelCombo->clear();
        for (const std::string& name : loadModelList(m_session.factoryRecordDir())) {
            const QByteArray bytes(name.data(), static_cast<qsizetype>(name.size()));
            m_modelCombo->addItem(modelName(bytes), bytes);
        }
        setCombo(m_modelCombo, selected);
    }
    applyProductionEnabling();
}

void MainWindow::applyProductionEnabling() {
    // A label or a registration needs the device's MAC: before a read there is none, and one
    // of zeros would name no device.
    const bool device = macReported(m_session.params());
    const QString hint = device                        ? QString()
                         : m_lang == Language::English ? QStringLiteral("Read the device first")
                                                       : QStringLiteral("请先获取参数");
    const bool model = m_modelCombo->currentIndex() >= 0;
    for (QPushButton* b : {m_printButton, m_printNoLogoButton}) {
        b->setEnabled(device && model);
        b->setToolTip(hint);
    }
    m_cloudButton->setEnabled(device && !m_registration->busy());
    m_cloudButton->setToolTip(hint);
}

void MainWindow::printDeviceLabel(bool withLogo) {
    const QByteArray model = m_modelCombo->currentData().toByteArray();
    const LabelPrintResult r = dtu::printLabel(
        m_session.factoryRecordDir(),
        labelRequest(m_session.params(),
                     std::string_view(model.constData(), std::size_t(model.size())), withLogo),
        QHostAddress(QString::fromStdString(m_kept.printHost)),
        static_cast<quint16>(m_kept.printPort), QDateTime::currentDateTime(), m_lang);
    // A printed label shows nothing; anything that went wrong says what.
    QStringList problems;
    if (!r.refusalText.isEmpty()) problems << r.refusalText;
    problems << r.fileErrors;
    if (!r.sendError.isEmpty()) problems << r.sendError;
    if (!problems.isEmpty()) showMessage(this, problems.join(QLatin1Char('\n')));
}

void MainWindow::registerDevice() {
    const auto mac = m_session.params().bytes(fields::macAddress);
    const int port = m_kept.cloudPort;
    if (port < 1 || port > 65535) {
        m_session.appendLine(qs(registrationText(RegistrationResult::Failed)));
        return;
    }
    if (!m_registration->start(QString::fromStdString(m_kept.cloudHost), static_cast<quint16>(port),
                               mac.first<6>()))
        return;
    applyProductionEnabling();
}

void MainWindow::setProductionDir(const QString& dir) {
    m_kept.productionDir = dir.toStdString();
    m_session.setFactoryRecordDir(productionDir(m_kept));
    showProductionDir();
    if (m_productionMode) fillModelList();
}

void MainWindow::showProductionDir() {
    const QString path = QDir::toNativeSeparators(m_session.factoryRecordDir());
    const QString shown =
        fontMetrics().elidedText(path, Qt::ElideMiddle, fontMetrics().averageCharWidth() * 48);
    const QString label = m_lang == Language::English ? QStringLiteral("Production folder")
                                                      : QStringLiteral("生产目录");
    QString menuText = label + QStringLiteral(" (") + shown + QStringLiteral(")...");
    m_productionDirAction->setText(menuText.replace(QLatin1Char('&'), QStringLiteral("&&")));
    m_productionDirAction->setToolTip(path);
    m_productionDirAction->setStatusTip(path);
}

void MainWindow::chooseProductionDir() {
    const QString dir = QFileDialog::getExistingDirectory(this,
                                                          m_lang == Language::English
                                                              ? QStringLiteral("Production folder")
                                                              : QStringLiteral("生产目录"),
                                                          m_session.factoryRecordDir());
    if (!dir.isEmpty()) setProductionDir(dir);
}

PcSettings MainWindow::pcSettings() const {
    PcSettings s = m_kept;
    // Without the print service the list was never shown: the remembered model stays.
    if (m_productionMode) s.printerModel = m_modelCombo->currentIndex();
    s.portIndex = m_portCombo->currentIndex();
    s.baudIndex = m_baudCombo->currentIndex();
    s.parityIndex = m_parityCombo->currentIndex();
    s.dataBitsIndex = m_dataBitsCombo->currentIndex();
    s.stopBitsIndex = m_stopBitsCombo->currentIndex();
    s.language = static_cast<int>(m_lang);
    s.hexHeartbeat = m_heartbeatHex->isChecked() ? 1 : 0;
    s.hexRegister = m_registerHex->isChecked() ? 1 : 0;
    return s;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    emit closing(pcSettings());
    if (m_session.isOpen()) m_session.closePort();
    event->accept();
}

}  // namespace dtu
