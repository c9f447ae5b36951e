#include "relay_dialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "form_widgets.h"
#include "relay_switch.h"
#include "relay_tester.h"
#include "session.h"

namespace dtu {

using form::named;
using form::qs;

RelayDialog::RelayDialog(Session& session, QWidget* parent)
    : QDialog(parent), m_session(session), m_tester(new RelayTester(session, this)) {
    const Language lang = session.language();
    setObjectName(QStringLiteral("relayDialog"));
    setWindowTitle(QStringLiteral("DTU Y1"));

    m_switch = named(new RelaySwitch, "testSwitch");
    m_switch->setToolTip(QStringLiteral("Y1"));
    connect(m_switch, &RelaySwitch::clicked, m_tester, &RelayTester::click);
    connect(m_tester, &RelayTester::faceChanged, m_switch, &RelaySwitch::setClosed);
    connect(m_tester, &RelayTester::switchEnabledChanged, m_switch, &QWidget::setEnabled);
    auto* test = new QGroupBox(form::text(lang, kTextTest));
    auto* testLayout = new QHBoxLayout(test);
    testLayout->addWidget(m_switch);

    // One sentence: after so many minutes without network, close or open the relay.
    m_onNetLoss = named(new QCheckBox(form::text(lang, kTextNetBreak)), "onNetLoss");
    m_minutes = form::numberEdit("minutes");
    m_action = named(new QComboBox, "action");
    for (std::string_view entry : relayActionEntries(lang)) m_action->addItem(qs(entry));
    auto* rule = new QHBoxLayout;
    rule->addWidget(m_onNetLoss);
    rule->addWidget(m_minutes);
    rule->addWidget(new QLabel(form::text(lang, kTextMinute)));
    rule->addWidget(m_action);
    rule->addStretch(1);

    auto* buttons = form::closingRow(this, lang, form::Closing::OkCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(test, 1);
    layout->addLayout(rule);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    RelayForm values;
    values.open(session.params());
    showForm(values);
}

RelayForm RelayDialog::form() const {
    RelayForm f;
    f.onNetLoss = m_onNetLoss->isChecked();
    f.minutes = form::utf8(m_minutes);
    f.action = m_action->currentIndex();
    return f;
}

void RelayDialog::showForm(const RelayForm& f) {
    m_onNetLoss->setChecked(f.onNetLoss);
    form::put(m_minutes, f.minutes);
    form::setCombo(m_action, f.action);
}

void RelayDialog::accept() {
    form().accept(m_session.params());
    QDialog::accept();
}

}  // namespace dtu
