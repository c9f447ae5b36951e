#include "production_panel.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QStringDecoder>
#include <algorithm>

#include "cloud_registration.h"
#include "form_widgets.h"
#include "label_print.h"
#include "message_box.h"
#include "panel_widgets.h"
#include "print_probe.h"
#include "production/registration.h"
#include "session.h"
#include "text/gbk.h"

namespace dtu {

using namespace panel;
using form::qs;
using form::setCombo;

namespace {

// A model name as the list shows it. The model list is a file made on a PC, so UTF-8 when it
// is valid UTF-8, else GBK like the device's texts; the bytes themselves go on the label.
QString modelName(const QByteArray& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8);
    QString name = utf8.decode(bytes);
    if (!utf8.hasError()) return name;
    return qs(gbkToDisplay(std::string_view(bytes.constData(), std::size_t(bytes.size()))));
}

bool macReported(const DeviceParams& params) {
    const auto mac = params.bytes(fields::macAddress);
    return std::any_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b != 0; });
}

}  // namespace

ProductionPanel::ProductionPanel(Session& session, const PcSettings& kept, QWidget* parent)
    : QWidget(parent), m_session(session), m_kept(kept) {
    setObjectName(QStringLiteral("production"));
    m_probe = new PrintServiceProbe(this);
    connect(m_probe, &PrintServiceProbe::finished, this, [this](bool present) {
        if (present) showControls();
    });
    m_registration = new CloudRegistration(this);
    connect(m_registration, &CloudRegistration::finished, this, [this](RegistrationResult r) {
        m_session.appendLine(qs(registrationText(r, m_lang)));
        applyEnabling();
    });

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    m_modelCombo = newCombo("modelCombo");
    m_modelCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_modelCombo->setMinimumContentsLength(12);
    m_printButton = newButton("printButton");
    m_printNoLogoButton = newButton("printNoLogoButton");
    m_cloudButton = newButton("cloudButton");
    row->addWidget(m_modelCombo);
    row->addWidget(m_printButton);
    row->addWidget(m_printNoLogoButton);
    row->addStretch(1);
    row->addWidget(m_cloudButton);
    connect(m_modelCombo, &QComboBox::currentIndexChanged, this, &ProductionPanel::applyEnabling);
    connect(m_printButton, &QPushButton::clicked, this, [this] { printDeviceLabel(true); });
    connect(m_printNoLogoButton, &QPushButton::clicked, this, [this] { printDeviceLabel(false); });
    connect(m_cloudButton, &QPushButton::clicked, this, &ProductionPanel::registerDevice);
    hide();
}

void ProductionPanel::retranslate(Language lang) {
    m_lang = lang;
    m_printButton->setText(say(windowText::kPrint, lang));
    m_printNoLogoButton->setText(say(windowText::kPrintNoLogo, lang));
    m_cloudButton->setText(say(windowText::kAddToCloud, lang));
    applyEnabling();
}

void ProductionPanel::startProbe() {
    // A service address the settings get wrong is a service that does not answer.
    const QHostAddress host(QString::fromStdString(m_kept.printHost));
    if (host.isNull() || m_kept.printPort < 1 || m_kept.printPort > 65535) return;
    m_probe->start(host, static_cast<quint16>(m_kept.printPort));
}

void ProductionPanel::showControls() {
    m_serviceFound = true;
    fillModelList();
    show();
}

void ProductionPanel::reloadModels() {
    if (m_serviceFound) fillModelList();
}

void ProductionPanel::fillModelList() {
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
    applyEnabling();
}

void ProductionPanel::applyEnabling() {
    // A label or a registration needs the device's MAC: before a read there is none, and one
    // of zeros would name no device.
    const bool device = macReported(m_session.params());
    const QString hint = device ? QString() : say(windowText::kReadFirst, m_lang);
    const bool model = m_modelCombo->currentIndex() >= 0;
    for (QPushButton* b : {m_printButton, m_printNoLogoButton}) {
        b->setEnabled(device && model);
        b->setToolTip(hint);
    }
    m_cloudButton->setEnabled(device && !m_registration->busy());
    m_cloudButton->setToolTip(hint);
}

void ProductionPanel::store(PcSettings& settings) const {
    // Without the print service the list was never shown: the remembered model stays.
    if (m_serviceFound) settings.printerModel = m_modelCombo->currentIndex();
}

void ProductionPanel::printDeviceLabel(bool withLogo) {
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

void ProductionPanel::registerDevice() {
    const auto mac = m_session.params().bytes(fields::macAddress);
    const int port = m_kept.cloudPort;
    if (port < 1 || port > 65535) {
        m_session.appendLine(qs(registrationText(RegistrationResult::Failed, m_lang)));
        return;
    }
    if (!m_registration->start(QString::fromStdString(m_kept.cloudHost), static_cast<quint16>(port),
                               mac.first<6>()))
        return;
    applyEnabling();
}

}  // namespace dtu
