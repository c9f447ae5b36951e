#include "port_row_panel.h"

#include <QHBoxLayout>
#include <QLabel>

#include "form_widgets.h"
#include "lock_dialog.h"
#include "panel_widgets.h"
#include "params/main_form.h"
#include "port_combo.h"
#include "session.h"

namespace dtu {

using namespace panel;
using form::setCombo;

PortRowPanel::PortRowPanel(Session& session, QWidget* parent)
    : QWidget(parent), m_session(session) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    for (auto*& l : m_labels) l = new QLabel;

    m_portCombo = new PortCombo;
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
    connect(m_openButton, &QPushButton::clicked, this, &PortRowPanel::togglePort);

    QComboBox* combos[] = {static_cast<QComboBox*>(m_portCombo), m_baudCombo, m_parityCombo, m_dataBitsCombo,
                           m_stopBitsCombo};
    for (std::size_t i = 0; i < m_labels.size(); ++i) {
        m_labels[i]->setBuddy(combos[i]);
        row->addWidget(m_labels[i]);
        row->addWidget(combos[i], i == 0 ? 2 : 0);
    }
    row->addWidget(m_openButton);
    row->addStretch(1);

    m_lockBox = newBox("lockBox");
    connect(m_lockBox, &QCheckBox::toggled, this,
            [this](bool on) { m_session.setLockEnabled(on); });
    m_accessPasswordLink = newLink("accessPasswordLink");
    connect(m_accessPasswordLink, &ClickLabel::clicked, this, &PortRowPanel::editAccessPassword);
    row->addWidget(m_lockBox);
    row->addWidget(m_accessPasswordLink);
}

void PortRowPanel::restore(const PcSettings& settings) {
    m_portCombo->chooseIndex(settings.portIndex);
    setCombo(m_baudCombo, settings.baudIndex);
    setCombo(m_parityCombo, settings.parityIndex);
    setCombo(m_dataBitsCombo, 0);
    setCombo(m_stopBitsCombo, settings.stopBitsIndex);
}

void PortRowPanel::store(PcSettings& settings) const {
    settings.portIndex = m_portCombo->chosenIndex();
    settings.baudIndex = m_baudCombo->currentIndex();
    settings.parityIndex = m_parityCombo->currentIndex();
    settings.dataBitsIndex = m_dataBitsCombo->currentIndex();
    settings.stopBitsIndex = m_stopBitsCombo->currentIndex();
}

void PortRowPanel::retranslate(Language lang) {
    m_lang = lang;
    for (std::size_t i = 0; i < m_labels.size(); ++i)
        m_labels[i]->setText(form::text(lang, kTextSerial + static_cast<int>(i)));
    m_openButton->setText(form::text(lang, m_session.isOpen() ? kTextClose : kTextOpen));
    m_lockBox->setText(say(windowText::kLock, lang));
    m_accessPasswordLink->setText(say(windowText::kSet, lang));
}

void PortRowPanel::choosePort(const QString& path, int baudItem) {
    m_portCombo->choosePath(path);
    setCombo(m_baudCombo, baudItem);
}

void PortRowPanel::togglePort() {
    if (m_session.isOpen()) {
        m_session.flow().stopProbe();
        m_session.closePort();
        return;
    }
    const QString path = m_portCombo->path();
    const int baud = m_baudCombo->currentIndex() <= 0 ? 0 : m_baudCombo->currentText().toInt();
    if (!m_session.openPort(path, baud, std::max(0, m_parityCombo->currentIndex()),
                            std::max(0, m_stopBitsCombo->currentIndex())) &&
        !m_session.lastOpenError().isEmpty())
        m_session.appendLine(m_session.lastOpenError() + QStringLiteral("\r\n"));
}

void PortRowPanel::setOpen(bool open) {
    m_openButton->setText(form::text(m_lang, open ? kTextClose : kTextOpen));
    for (QComboBox* c : {static_cast<QComboBox*>(m_portCombo), m_baudCombo, m_parityCombo,
                         m_dataBitsCombo, m_stopBitsCombo})
        c->setEnabled(!open);
}

void PortRowPanel::setOpenButtonEnabled(bool enabled) {
    m_openButton->setEnabled(enabled);
}

void PortRowPanel::editAccessPassword() {
    auto* dialog = new LockDialog(m_session.accessPassword(), m_lang, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog] { m_session.setAccessPassword(dialog->password()); });
    dialog->open();
}

}  // namespace dtu
