#include "advanced_panel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "apn_dialog.h"
#include "data_cache_dialog.h"
#include "form_widgets.h"
#include "lock_dialog.h"
#include "panel_widgets.h"
#include "poll_dialog.h"
#include "relay_dialog.h"
#include "remote_config_dialog.h"
#include "rtu_dialog.h"
#include "serial_data_dialogs.h"
#include "session.h"
#include "status/status_report.h"
#include "tls_dialog.h"

namespace dtu {

using namespace panel;
using form::put;
using form::qs;
using form::setCombo;
using form::utf8;

AdvancedPanel::AdvancedPanel(Session& session, PcSettings& kept, QWidget* parent)
    : QGroupBox(parent), m_session(session), m_kept(kept) {
    auto* grid = new QGridLayout(this);
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
    // The feature dialogs change the record (and the PC settings they show) only; the window
    // shows none of their fields.
    m_serialSendBox = newBox("serialSendEnable");
    m_serialSendLink = newLink("serialSendLink");
    connect(m_serialSendLink, &ClickLabel::clicked, this,
            [this] { openModal(new TimedSendDialog(m_session, m_kept.hexTimedSend, this)); });
    m_serialFilterBox = newBox("serialFilterEnable");
    m_serialFilterLink = newLink("serialFilterLink");
    connect(m_serialFilterLink, &ClickLabel::clicked, this,
            [this] { openModal(new SerialFilterDialog(m_session, m_kept.hexSerialFilter, this)); });
    m_relayBox = newBox("relayEnable");
    m_relayLink = newLink("relayLink");
    connect(m_relayLink, &ClickLabel::clicked, this,
            [this] { openModal(new RelayDialog(m_session, this)); });
    m_dataCacheBox = newBox("dataCacheEnable");
    m_dataCacheLink = newLink("dataCacheLink");
    connect(m_dataCacheLink, &ClickLabel::clicked, this,
            [this] { openModal(new DataCacheDialog(m_session, this)); });
    m_modbusTcpBox = newBox("modbusTcpToRtu", QStringLiteral("ModbusTcp To rtu"));
    m_apnBox = newBox("apnEnable", QStringLiteral("APN"));
    m_apnLink = newLink("apnLink");
    connect(m_apnLink, &ClickLabel::clicked, this,
            [this] { openModal(new ApnDialog(m_session, this)); });
    m_remoteConfigBox = newBox("remoteConfigEnable");
    m_remoteConfigLink = newLink("remoteConfigLink");
    connect(m_remoteConfigLink, &ClickLabel::clicked, this,
            [this] { openModal(new RemoteConfigDialog(m_session, this)); });
    m_remoteConfigUuid = newValue("remoteConfigUuid", QStringLiteral("-2147483648"));
    m_userCodeBox = newBox("userCodeEnable");
    m_userCodeLink = newLink("userCodeLink");
    connect(m_userCodeLink, &ClickLabel::clicked, this,
            [this] { openModal(new UserSettingsDialog(m_lang, this)); });
    m_userCodeVersion = newValue("userCodeVersion", QStringLiteral("(V255)"));
    m_edgeLabel = new QLabel;
    m_edgeMode = newCombo("edgeMode");
    for (int i = 0; i < kEdgeModeCount; ++i) m_edgeMode->addItem(QString());
    m_edgeMode->setCurrentIndex(-1);
    m_edgeLink = newLink("edgeLink");
    connect(m_edgeLink, &ClickLabel::clicked, this,
            [this] { openModal(new PollDialog(m_session, m_kept.utf8Names, this)); });
    m_tlsLabel = new QLabel;
    m_tlsMode = newCombo("tlsMode");
    static_assert(windowText::kTlsModes.size() == kTlsModeCount);
    for (int i = 0; i < kTlsModeCount; ++i) m_tlsMode->addItem(QString());
    m_tlsMode->setCurrentIndex(0);
    m_certLink = newLink("certLink");
    connect(m_certLink, &ClickLabel::clicked, this,
            [this] { openModal(new TlsDialog(m_session, this)); });
    m_certChecksums = newValue("certChecksums", QStringLiteral("(0000;0000;0000)"));
    m_configLockBox = newBox("configLock");
    m_configLockLink = newLink("configLockLink");
    connect(m_configLockLink, &ClickLabel::clicked, this, &AdvancedPanel::editConfigLockPassword);
    m_rebootLabel = new QLabel;
    m_noDataReboot = form::numberEdit("noDataRebootMinutes");
    form::fitDigits(m_noDataReboot, 10);  // a 32-bit count
    m_minuteLabel = new QLabel;
    m_rtuButton = newButton("rtuButton");
    // The RTU form edits the record in place and runs the live test panel on the session.
    connect(m_rtuButton, &QPushButton::clicked, this,
            [this] { openModal(new RtuDialog(m_session, this)); });

    grid->addWidget(pair(m_serialSendBox, m_serialSendLink), 0, 0);
    grid->addWidget(pair(m_serialFilterBox, m_serialFilterLink), 0, 1);
    grid->addWidget(pair(m_relayBox, m_relayLink), 0, 2);
    grid->addWidget(pair(m_dataCacheBox, m_dataCacheLink), 1, 0);
    grid->addWidget(pair(m_modbusTcpBox, nullptr), 1, 1);
    grid->addWidget(pair(m_apnBox, m_apnLink), 1, 2);
    grid->addWidget(pair(m_remoteConfigBox, m_remoteConfigLink, m_remoteConfigUuid), 2, 0);
    grid->addWidget(pair(m_userCodeBox, m_userCodeLink, m_userCodeVersion), 2, 1);
    grid->addWidget(pair(m_edgeLabel, m_edgeMode, m_edgeLink), 2, 2);
    auto* tls = pair(m_tlsLabel, m_tlsMode, m_certLink);
    static_cast<QHBoxLayout*>(tls->layout())->insertWidget(3, m_certChecksums);
    grid->addWidget(tls, 3, 0);
    grid->addWidget(pair(m_configLockBox, m_configLockLink), 3, 1);
    grid->addWidget(pair(m_rebootLabel, m_noDataReboot, m_minuteLabel), 3, 2);
    grid->addWidget(m_rtuButton, 4, 0);

    // The entries change with the language; each combo is as wide as its longest one.
    for (QComboBox* c : {m_edgeMode, m_tlsMode})
        c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(m_edgeMode, &QComboBox::currentIndexChanged, this,
            &AdvancedPanel::enablingInputChanged);
}

// Window-modal, and gone once closed.
void AdvancedPanel::openModal(QDialog* dialog) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void AdvancedPanel::editConfigLockPassword() {
    LockPassword stored{};
    const auto field = m_session.params().bytes(fields::configLockPassword);
    std::copy(field.begin(), field.end(), stored.begin());
    auto* dialog = new LockDialog(stored, m_lang, this);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const LockPassword pw = dialog->password();
        m_session.params().setText(fields::configLockPassword, std::span<const std::uint8_t>(pw));
    });
    openModal(dialog);
}

void AdvancedPanel::retranslate(Language lang) {
    m_lang = lang;
    const auto text = [lang](int id) { return form::text(lang, id); };
    setTitle(text(kTextMore));
    for (ClickLabel* link : {m_serialSendLink, m_serialFilterLink, m_dataCacheLink, m_relayLink,
                             m_apnLink, m_edgeLink, m_userCodeLink})
        link->setText(text(kTextSet));
    m_serialSendBox->setText(text(kTextSendToSerial));
    m_serialFilterBox->setText(text(kTextSerialFilter));
    m_relayBox->setText(text(kTextRelay));
    m_dataCacheBox->setText(text(kTextNetBreakCache));
    m_rebootLabel->setText(text(kTextRebootWhenNetBreak));
    m_minuteLabel->setText(text(kTextMinute));
    m_edgeLabel->setText(text(kTextEdgeComputing));
    m_rtuButton->setText(QStringLiteral("RTU ") + text(kTextSet));
    m_userCodeBox->setText(text(kTextUserCode));
    m_remoteConfigBox->setText(say(windowText::kRemoteConfig, lang));
    m_remoteConfigLink->setText(say(windowText::kSet, lang));
    m_tlsLabel->setText(say(windowText::kTls, lang));
    m_certLink->setText(say(windowText::kCertificates, lang));
    m_configLockBox->setText(say(windowText::kLock, lang));
    m_configLockLink->setText(say(windowText::kSet, lang));

    // Entries change language, the choices stay.
    int i = 0;
    for (int id : {kTextDisable, kTextModbusPoll, kTextMoreProtocols})
        m_edgeMode->setItemText(i++, text(id));
    for (std::size_t t = 0; t < windowText::kTlsModes.size(); ++t)
        m_tlsMode->setItemText(static_cast<int>(t), say(windowText::kTlsModes[t], lang));
    for (QComboBox* c : {m_edgeMode, m_tlsMode}) keepEntriesWhole(c);
}

void AdvancedPanel::fillForm(MainForm& f) const {
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
}

void AdvancedPanel::setForm(const MainForm& f) {
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
}

void AdvancedPanel::showStatus(const StatusReport& s) {
    m_remoteConfigUuid->setText(qs(s.remoteConfigUuid));
    m_userCodeVersion->setText(qs(s.userCode));
    m_certChecksums->setText(qs(s.certChecksums));
}

void AdvancedPanel::applyEnabling(const MainEnabling& e) {
    m_relayBox->setEnabled(e.relay);
    m_relayLink->setEnabled(e.relay);
    m_rtuButton->setEnabled(e.rtuButton);
    m_edgeLink->setEnabled(e.edgeLink);
}

}  // namespace dtu
