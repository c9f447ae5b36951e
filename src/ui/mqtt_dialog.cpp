#include "mqtt_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "click_label.h"
#include "form_widgets.h"
#include "message_box.h"
#include "mqtt_status_poller.h"
#include "session.h"

namespace dtu {

using form::edit;
using form::named;
using form::numberEdit;
using form::pick;
using form::put;
using form::qs;
using form::utf8;

namespace {

constexpr int kTextEditWidth = 180;

ClickLabel* helpLink(const char* name, const std::string& help, QWidget* over) {
    auto* link = named(new ClickLabel(ClickLabel::Style::Link), name);
    link->setText(QStringLiteral("?"));
    QObject::connect(link, &ClickLabel::clicked, over,
                     [over, help] { showMessage(over, qs(help)); });
    return link;
}

}  // namespace

MqttDialog::MqttDialog(Session& session, std::string cloudServer, QWidget* parent)
    : QDialog(parent),
      m_session(session),
      m_lang(session.language()),
      m_cloudServer(std::move(cloudServer)),
      m_counter(isCounterFirmware(session.params())),
      m_poller(new MqttStatusPoller(session, this)) {
    setObjectName(QStringLiteral("mqttDialog"));
    setWindowTitle(QStringLiteral("MQTT"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildBroker());
    layout->addWidget(buildCloud());
    layout->addWidget(buildCounter());
    layout->addWidget(buildStatus());

    m_okButton = named(new QPushButton(form::text(m_lang, kTextOk)), "okButton");
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &MqttDialog::accept);
    m_cancelButton = named(new QPushButton(form::text(m_lang, kTextCancel)), "cancelButton");
    m_cancelButton->setAutoDefault(false);
    connect(m_cancelButton, &QPushButton::clicked, this, &MqttDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    layout->addLayout(buttons);

    MqttForm values;
    values.open(session.params());
    showForm(values);
}

QWidget* MqttDialog::buildBroker() {
    auto* box = new QWidget;
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    auto row = [&](int r, QWidget* l1, QWidget* w1, QWidget* l2 = nullptr, QWidget* w2 = nullptr) {
        grid->addWidget(l1, r, 0);
        grid->addWidget(w1, r, 1);
        if (l2) grid->addWidget(l2, r, 2);
        if (w2) grid->addWidget(w2, r, 3);
    };

    m_hostLabel = new QLabel(form::text(m_lang, kTextServer));
    m_host = edit("host", kTextEditWidth);
    m_portLabel = new QLabel(form::text(m_lang, kTextPort));
    m_port = numberEdit("port");
    m_ssl = named(new QCheckBox(QStringLiteral("SSL")), "ssl");
    auto* portRow = new QWidget;
    auto* portLayout = new QHBoxLayout(portRow);
    portLayout->setContentsMargins(0, 0, 0, 0);
    portLayout->addWidget(m_port);
    portLayout->addWidget(m_ssl);
    portLayout->addStretch(1);
    row(0, m_hostLabel, m_host, m_portLabel, portRow);

    m_userNameLabel = new QLabel(form::text(m_lang, kTextUserName));
    m_userName = edit("userName", kTextEditWidth);
    m_passwordLabel = new QLabel(form::text(m_lang, kTextPassword));
    m_password = edit("password", kTextEditWidth);
    row(1, m_userNameLabel, m_userName, m_passwordLabel, m_password);

    m_clientId = edit("clientId", kTextEditWidth);
    m_keepAlive = numberEdit("keepAlive");
    row(2, new QLabel(QStringLiteral("ID")), m_clientId, new QLabel(QStringLiteral("KeepAlive")),
        m_keepAlive);

    m_qos = named(new QComboBox, "qos");
    for (const char* entry : kMqttQosEntries) m_qos->addItem(QString::fromLatin1(entry));
    m_retain = named(new QCheckBox(QStringLiteral("Retain")), "retain");
    auto* qosRow = new QWidget;
    auto* qosLayout = new QHBoxLayout(qosRow);
    qosLayout->setContentsMargins(0, 0, 0, 0);
    qosLayout->addWidget(m_qos);
    qosLayout->addSpacing(16);
    qosLayout->addWidget(m_retain);
    qosLayout->addStretch(1);
    row(3, new QLabel(QStringLiteral("QOS")), qosRow);

    m_will = named(new QCheckBox(form::text(m_lang, kTextWill)), "will");
    m_willTopic = edit("willTopic", kTextEditWidth);
    m_willMessage = edit("willMessage", kTextEditWidth);
    grid->addWidget(m_will, 4, 0, 1, 2);
    auto* willTopicLabel = new QLabel(QStringLiteral("Topic"));
    willTopicLabel->setIndent(16);  // belongs to the will above
    row(5, willTopicLabel, m_willTopic, new QLabel(QStringLiteral("Msg")), m_willMessage);

    m_subscribeLabel = new QLabel(form::text(m_lang, kTextSubscribeTopic));
    m_subscribeTopic = edit("subscribeTopic", kTextEditWidth);
    row(6, m_subscribeLabel, m_subscribeTopic);

    static const char* const kTopicNames[] = {"publishTopic1", "publishTopic2", "publishTopic3",
                                              "publishTopic4"};
    const QString publish = form::text(m_lang, kTextPublishTopic);
    for (std::size_t i = 0; i < m_publishTopics.size(); ++i) {
        m_publishLabels[i] = new QLabel(i == 0 ? publish : publish + QString::number(i + 1));
        m_publishTopics[i] = edit(kTopicNames[i], kTextEditWidth);
    }
    row(7, m_publishLabels[0], m_publishTopics[0], m_publishLabels[1], m_publishTopics[1]);
    row(8, m_publishLabels[2], m_publishTopics[2], m_publishLabels[3], m_publishTopics[3]);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return box;
}

QWidget* MqttDialog::buildCloud() {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);

    auto group = [&](QGroupBox*& g, QCheckBox*& check, int title, const char* name,
                     ClickLabel* help) {
        g = new QGroupBox(form::text(m_lang, title));
        check = named(new QCheckBox(form::text(m_lang, kTextEnable)), name);
        auto* row = new QHBoxLayout(g);
        row->addWidget(check);
        row->addWidget(help);
        row->addStretch(1);
    };
    group(m_platformGroup, m_platformCloud, kTextCloudOptionA, "platformCloud",
          helpLink("platformHelp", platformCloudHelp(), this));
    group(m_makerGroup, m_makerCloud, kTextCloudOptionB, "makerCloud",
          helpLink("makerHelp", makerCloudHelp(m_cloudServer), this));
    // Either platform or none: ticking one box clears the other; both may be clear.
    connect(m_platformCloud, &QCheckBox::toggled, this, [this](bool on) {
        if (on) m_makerCloud->setChecked(false);
    });
    connect(m_makerCloud, &QCheckBox::toggled, this, [this](bool on) {
        if (on) m_platformCloud->setChecked(false);
    });
    auto* groups = new QHBoxLayout;
    groups->addWidget(m_platformGroup);
    groups->addWidget(m_makerGroup);
    layout->addLayout(groups);

    // On counter firmware the product key and device name carry the cloud-print values.
    m_productKeyLabel = new QLabel(m_counter ? pick(m_lang, "云印清零", "Cloud print reset")
                                             : QStringLiteral("Product Key"));
    m_productKey = edit("productKey", kTextEditWidth);
    m_deviceNameLabel = new QLabel(m_counter ? pick(m_lang, "云印TAG", "Cloud print TAG")
                                             : QStringLiteral("Device Name"));
    m_deviceName = edit("deviceName", kTextEditWidth);
    m_deviceSecret = edit("deviceSecret", kTextEditWidth);
    auto* grid = new QGridLayout;
    grid->addWidget(m_productKeyLabel, 0, 0);
    grid->addWidget(m_productKey, 0, 1);
    grid->addWidget(m_deviceNameLabel, 1, 0);
    grid->addWidget(m_deviceName, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Device Secret")), 2, 0);
    grid->addWidget(m_deviceSecret, 2, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    // Counter firmware has no platform cloud; its box keeps the stored choice unseen.
    m_platformGroup->setVisible(!m_counter);
    return box;
}

QWidget* MqttDialog::buildCounter() {
    m_counterBox = named(new QGroupBox, "counterBox");
    auto* grid = new QGridLayout(m_counterBox);

    m_counterMode = named(new QComboBox, "counterMode");
    for (std::string_view entry : counterModeEntries(m_lang)) m_counterMode->addItem(qs(entry));
    m_counterMode->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    grid->addWidget(m_counterMode, 0, 0, 1, 9, Qt::AlignLeft);

    m_debounceLabel = new QLabel(pick(m_lang, "消抖：", "Debounce:"));
    grid->addWidget(m_debounceLabel, 1, 0);
    static const char* const kDebounceNames[] = {"debounce1", "debounce2", "debounce3",
                                                 "debounce4"};
    for (int i = 0; i < 4; ++i) {
        m_debounce[static_cast<std::size_t>(i)] = numberEdit(kDebounceNames[i], 60);
        grid->addWidget(new QLabel(QStringLiteral("x%1").arg(i + 1)), 1, 1 + 2 * i, Qt::AlignRight);
        grid->addWidget(m_debounce[static_cast<std::size_t>(i)], 1, 2 + 2 * i);
    }

    m_adjustmentLabel = new QLabel(pick(m_lang, "加减( 负为减 ,正为加 ,0不加不减)",
                                        "Adjust (negative subtracts, positive adds, 0 neither)"));
    m_adjustment = numberEdit("adjustment", 60);
    grid->addWidget(m_adjustmentLabel, 2, 0, 1, 7);
    grid->addWidget(m_adjustment, 2, 7, 1, 2);

    m_meterLabel = new QLabel(pick(m_lang, "计米:", "Meter:"));
    m_countsLabel = new QLabel(pick(m_lang, "计数/周长", "Counts/circumference"));
    m_countsPerCircumference = numberEdit("countsPerCircumference", 90);
    m_circumferenceLabel = new QLabel(pick(m_lang, "周长(mm)", "Circumference (mm)"));
    m_circumference = numberEdit("circumference", 90);
    auto* meter = new QHBoxLayout;
    meter->addWidget(m_countsLabel);
    meter->addWidget(m_countsPerCircumference);
    meter->addSpacing(12);
    meter->addWidget(m_circumferenceLabel);
    meter->addWidget(m_circumference);
    meter->addStretch(1);
    grid->addWidget(m_meterLabel, 3, 0);
    grid->addLayout(meter, 3, 1, 1, 8);
    grid->setColumnStretch(9, 1);

    m_counterBox->setVisible(m_counter);
    return m_counterBox;
}

QWidget* MqttDialog::buildStatus() {
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    m_statusButton = named(new QPushButton(form::text(m_lang, kTextGetMqttStatus)), "statusButton");
    m_statusButton->setAutoDefault(false);  // Enter in an edit means OK
    connect(m_statusButton, &QPushButton::clicked, this, &MqttDialog::requestStatus);
    row->addWidget(m_statusButton, 0, Qt::AlignTop);

    auto* lines = new QVBoxLayout;
    lines->setSpacing(2);
    static const char* const kLineNames[] = {"statusTcp", "statusSsl", "statusMqtt", "statusTopic",
                                             "statusServer"};
    for (std::size_t i = 0; i < m_statusLines.size(); ++i) {
        auto* line = named(new QLabel, kLineNames[i]);
        line->setTextFormat(Qt::PlainText);
        line->setStyleSheet(QStringLiteral("color: rgb(0,128,0);"));
        line->setMinimumWidth(200);
        m_statusLines[i] = line;
        lines->addWidget(line);
    }
    row->addLayout(lines, 1);

    connect(m_poller, &MqttStatusPoller::linesChanged, this, [this](const QStringList& texts) {
        for (std::size_t i = 0; i < m_statusLines.size(); ++i)
            m_statusLines[i]->setText(texts.value(static_cast<qsizetype>(i)));
    });
    connect(m_poller, &MqttStatusPoller::buttonEnabledChanged, m_statusButton,
            &QWidget::setEnabled);
    return box;
}

void MqttDialog::requestStatus() {
    m_poller->request();
}

MqttForm MqttDialog::form() const {
    MqttForm f;
    f.host = utf8(m_host);
    f.port = utf8(m_port);
    f.ssl = m_ssl->isChecked();
    f.userName = utf8(m_userName);
    f.password = utf8(m_password);
    f.clientId = utf8(m_clientId);
    f.keepAlive = utf8(m_keepAlive);
    f.qos = m_qos->currentIndex();
    f.will = m_will->isChecked();
    f.willTopic = utf8(m_willTopic);
    f.willMessage = utf8(m_willMessage);
    f.retain = m_retain->isChecked();
    f.subscribeTopic = utf8(m_subscribeTopic);
    for (std::size_t i = 0; i < m_publishTopics.size(); ++i)
        f.publishTopics[i] = utf8(m_publishTopics[i]);
    f.platformCloud = m_platformCloud->isChecked();
    f.makerCloud = m_makerCloud->isChecked();
    f.productKey = utf8(m_productKey);
    f.deviceName = utf8(m_deviceName);
    f.deviceSecret = utf8(m_deviceSecret);
    f.counter = m_counter;
    f.counterMode = m_counterMode->currentIndex();
    for (std::size_t i = 0; i < m_debounce.size(); ++i) f.debounce[i] = utf8(m_debounce[i]);
    f.adjustment = utf8(m_adjustment);
    f.countsPerCircumference = utf8(m_countsPerCircumference);
    f.circumference = utf8(m_circumference);
    return f;
}

void MqttDialog::showForm(const MqttForm& f) {
    put(m_host, f.host);
    put(m_port, f.port);
    m_ssl->setChecked(f.ssl);
    put(m_userName, f.userName);
    put(m_password, f.password);
    put(m_clientId, f.clientId);
    put(m_keepAlive, f.keepAlive);
    form::setCombo(m_qos, f.qos);
    m_will->setChecked(f.will);
    put(m_willTopic, f.willTopic);
    put(m_willMessage, f.willMessage);
    m_retain->setChecked(f.retain);
    put(m_subscribeTopic, f.subscribeTopic);
    for (std::size_t i = 0; i < m_publishTopics.size(); ++i)
        put(m_publishTopics[i], f.publishTopics[i]);
    // Both written as they are: the values, not the clicks, say which platform is chosen.
    const QSignalBlocker platform(m_platformCloud), maker(m_makerCloud);
    m_platformCloud->setChecked(f.platformCloud);
    m_makerCloud->setChecked(f.makerCloud);
    put(m_productKey, f.productKey);
    put(m_deviceName, f.deviceName);
    put(m_deviceSecret, f.deviceSecret);
    form::setCombo(m_counterMode, f.counterMode);
    for (std::size_t i = 0; i < m_debounce.size(); ++i) put(m_debounce[i], f.debounce[i]);
    put(m_adjustment, f.adjustment);
    put(m_countsPerCircumference, f.countsPerCircumference);
    put(m_circumference, f.circumference);
}

void MqttDialog::accept() {
    if (const auto refusal = form().accept(m_session.params(), m_lang)) {
        showMessage(this, qs(*refusal));
        return;
    }
    QDialog::accept();
}

}  // namespace dtu
