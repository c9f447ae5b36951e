#include "mqtt_dialog.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "click_label.h"
#include "form_widgets.h"
#include "message_box.h"
#include "mqtt_status_poller.h"
#include "server_check_button.h"
#include "session.h"
#include "text/dialog_texts.h"

namespace dtu {

using form::edit;
using form::named;
using form::numberEdit;
using form::put;
using form::qs;
using form::text;
using form::utf8;
namespace t = dialogText;

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

    auto* buttons = form::closingRow(this, m_lang, form::Closing::OkCancel);
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

    auto* hostLabel = new QLabel(form::text(m_lang, kTextServer));
    m_host = edit("host", kTextEditWidth);
    auto* portLabel = new QLabel(form::text(m_lang, kTextPort));
    m_port = numberEdit("port");
    m_ssl = named(new QCheckBox(QStringLiteral("SSL")), "ssl");
    auto* portRow = new QWidget;
    auto* portLayout = new QHBoxLayout(portRow);
    portLayout->setContentsMargins(0, 0, 0, 0);
    portLayout->addWidget(m_port);
    portLayout->addWidget(m_ssl);
    portLayout->addStretch(1);
    row(0, hostLabel, m_host, portLabel, portRow);

    auto* userNameLabel = new QLabel(form::text(m_lang, kTextUserName));
    m_userName = edit("userName", kTextEditWidth);
    auto* passwordLabel = new QLabel(form::text(m_lang, kTextPassword));
    m_password = edit("password", kTextEditWidth);
    row(1, userNameLabel, m_userName, passwordLabel, m_password);

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

    auto* subscribeLabel = new QLabel(form::text(m_lang, kTextSubscribeTopic));
    m_subscribeTopic = edit("subscribeTopic", kTextEditWidth);
    row(6, subscribeLabel, m_subscribeTopic);

    static const char* const kTopicNames[] = {"publishTopic1", "publishTopic2", "publishTopic3",
                                              "publishTopic4"};
    // Topics 2 to 4 are labelled with the first one's word and their number.
    const QString publish = form::text(m_lang, kTextPublishTopic);
    std::array<QLabel*, 4> publishLabels{};
    for (std::size_t i = 0; i < m_publishTopics.size(); ++i) {
        publishLabels[i] = new QLabel(i == 0 ? publish : publish + QString::number(i + 1));
        m_publishTopics[i] = edit(kTopicNames[i], kTextEditWidth);
    }
    row(7, publishLabels[0], m_publishTopics[0], publishLabels[1], m_publishTopics[1]);
    row(8, publishLabels[2], m_publishTopics[2], publishLabels[3], m_publishTopics[3]);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return box;
}

QWidget* MqttDialog::buildCloud() {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);

    auto group = [&](QCheckBox*& check, int title, const char* name, ClickLabel* help) {
        auto* g = new QGroupBox(form::text(m_lang, title));
        check = named(new QCheckBox(form::text(m_lang, kTextEnable)), name);
        auto* row = new QHBoxLayout(g);
        row->addWidget(check);
        row->addWidget(help);
        row->addStretch(1);
        return g;
    };
    auto* platformGroup = group(m_platformCloud, kTextCloudOptionA, "platformCloud",
                                helpLink("platformHelp", platformCloudHelp(m_lang), this));
    auto* makerGroup = group(m_makerCloud, kTextCloudOptionB, "makerCloud",
                             helpLink("makerHelp", makerCloudHelp(m_cloudServer, m_lang), this));
    // Either platform or none: ticking one box clears the other; both may be clear.
    connect(m_platformCloud, &QCheckBox::toggled, this, [this](bool on) {
        if (on) m_makerCloud->setChecked(false);
    });
    connect(m_makerCloud, &QCheckBox::toggled, this, [this](bool on) {
        if (on) m_platformCloud->setChecked(false);
    });
    auto* groups = new QHBoxLayout;
    groups->addWidget(platformGroup);
    groups->addWidget(makerGroup);
    layout->addLayout(groups);

    // On counter firmware the product key and device name carry the cloud-print values.
    auto* productKeyLabel =
        new QLabel(m_counter ? text(t::kCloudPrintReset, m_lang) : QStringLiteral("Product Key"));
    m_productKey = edit("productKey", kTextEditWidth);
    auto* deviceNameLabel =
        new QLabel(m_counter ? text(t::kCloudPrintTag, m_lang) : QStringLiteral("Device Name"));
    m_deviceName = edit("deviceName", kTextEditWidth);
    m_deviceSecret = edit("deviceSecret", kTextEditWidth);
    auto* grid = new QGridLayout;
    grid->addWidget(productKeyLabel, 0, 0);
    grid->addWidget(m_productKey, 0, 1);
    grid->addWidget(deviceNameLabel, 1, 0);
    grid->addWidget(m_deviceName, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Device Secret")), 2, 0);
    grid->addWidget(m_deviceSecret, 2, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    // Counter firmware has no platform cloud; its box keeps the stored choice unseen.
    platformGroup->setVisible(!m_counter);
    return box;
}

QWidget* MqttDialog::buildCounter() {
    auto* counterBox = named(new QGroupBox, "counterBox");
    auto* rows = new QVBoxLayout(counterBox);
    auto row = [&](std::initializer_list<QWidget*> widgets) {
        auto* r = new QHBoxLayout;
        for (QWidget* w : widgets) r->addWidget(w);
        r->addStretch(1);
        rows->addLayout(r);
        return r;
    };

    m_counterMode = named(new QComboBox, "counterMode");
    for (std::string_view entry : counterModeEntries(m_lang)) m_counterMode->addItem(qs(entry));
    m_counterMode->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    row({m_counterMode});

    auto* debounceLabel = new QLabel(text(t::kDebounce, m_lang));
    auto* debounce = row({debounceLabel});
    static const char* const kDebounceNames[] = {"debounce1", "debounce2", "debounce3",
                                                 "debounce4"};
    for (int i = 0; i < 4; ++i) {
        auto* e = numberEdit(kDebounceNames[i], 50);
        m_debounce[static_cast<std::size_t>(i)] = e;
        debounce->insertWidget(2 * i + 1, new QLabel(QStringLiteral("x%1").arg(i + 1)));
        debounce->insertWidget(2 * i + 2, e);
    }

    auto* adjustmentLabel = new QLabel(text(t::kAdjustment, m_lang));
    m_adjustment = numberEdit("adjustment", 50);
    row({adjustmentLabel, m_adjustment});

    auto* meterLabel = new QLabel(text(t::kMeter, m_lang));
    auto* countsLabel = new QLabel(text(t::kCountsPerCircumference, m_lang));
    m_countsPerCircumference = numberEdit("countsPerCircumference", 90);
    auto* circumferenceLabel = new QLabel(text(t::kCircumference, m_lang));
    m_circumference = numberEdit("circumference", 90);
    row({meterLabel, countsLabel, m_countsPerCircumference, circumferenceLabel, m_circumference});

    counterBox->setVisible(m_counter);
    return counterBox;
}

QWidget* MqttDialog::buildStatus() {
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    m_statusButton = named(new QPushButton(form::text(m_lang, kTextGetMqttStatus)), "statusButton");
    m_statusButton->setAutoDefault(false);  // Enter in an edit means OK
    connect(m_statusButton, &QPushButton::clicked, this, &MqttDialog::requestStatus);
    row->addWidget(m_statusButton, 0, Qt::AlignTop);
    const auto typedRecord = [this](DeviceParams& p) {
        const auto refusal = form().accept(p, m_lang);
        if (refusal) showMessage(this, qs(*refusal));
        return !refusal;
    };
    row->addWidget(new ServerCheckButton(m_session, typedRecord, true, this), 0, Qt::AlignTop);

    // The five lines sit in a frame of their own, so that the room they keep reads as theirs.
    auto* frame = new QFrame;
    frame->setFrameShape(QFrame::StyledPanel);
    auto* lines = new QVBoxLayout(frame);
    lines->setSpacing(2);
    static const char* const kLineNames[] = {"statusTcp", "statusSsl", "statusMqtt", "statusTopic",
                                             "statusServer"};
    for (std::size_t i = 0; i < m_statusLines.size(); ++i) {
        auto* line = named(new QLabel, kLineNames[i]);
        line->setTextFormat(Qt::PlainText);
        line->setStyleSheet(QStringLiteral("color: rgb(0,128,0);"));
        m_statusLines[i] = line;
        lines->addWidget(line);
    }
    row->addWidget(frame, 1);

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
