#include "output_rules_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "click_label.h"
#include "form_widgets.h"
#include "message_box.h"
#include "rtu/rtu_texts.h"
#include "session.h"
#include "swatch_combo.h"

namespace dtu {

using form::named;
using form::qs;

namespace {

QString label(FormLabel l, Language lang) {
    return qs(inLanguage(l, lang));
}

}  // namespace

OutputRulesDialog::OutputRulesDialog(Session& session, QWidget* parent)
    : QDialog(parent), m_session(session), m_lang(session.language()) {
    setObjectName(QStringLiteral("outputRulesDialog"));
    setWindowTitle(label(rtuText::kRulesTitle, m_lang));

    auto* rules = new QGridLayout;
    rules->setHorizontalSpacing(4);
    auto* cloneHelp = named(new ClickLabel(ClickLabel::Style::Link), "cloneHelp");
    cloneHelp->setText(QStringLiteral("?"));
    connect(cloneHelp, &ClickLabel::clicked, this,
            [this] { showMessage(this, label(rtuText::kCloneHelp, m_lang)); });
    rules->addWidget(cloneHelp, 0, kRtuRelays + 1, Qt::AlignCenter);
    for (int row = 0; row < kRuleRows; ++row) {
        const QString name = QString::fromStdString(ruleRowName(row));
        rules->addWidget(new QLabel(name), row + 1, 0);
        for (int relay = 0; relay < kRtuRelays; ++relay) {
            auto* list = new SwatchCombo;
            list->setObjectName(QStringLiteral("rule%1Y%2").arg(name).arg(relay + 1));
            QStringList entries;
            for (int a = 0; a < kRelayActionCount; ++a)
                entries << QString::fromStdString(
                    actionItemText(relay, static_cast<RelayAction>(a), m_lang));
            list->setEntries(entries);
            m_actions[row][relay] = list;
            rules->addWidget(list, row + 1, relay + 1);
        }
        auto* clone = new QPushButton(label(rtuText::kClone, m_lang));
        clone->setObjectName(QStringLiteral("clone") + name);
        clone->setAutoDefault(false);
        connect(clone, &QPushButton::clicked, this, [this, row] {
            OutputRulesForm f = form();
            f.cloneRow(row);
            showForm(f);
        });
        rules->addWidget(clone, row + 1, kRtuRelays + 1);
    }

    auto* shortcuts = named(new QGroupBox(label(rtuText::kShortcuts, m_lang)), "shortcuts");
    auto* shortcutRow = new QHBoxLayout(shortcuts);
    static const char* const kShortcutNames[] = {"oneForOneOpen", "oneForOneClose",
                                                 "oneForOneTurn"};
    for (int a = 0; a < 3; ++a) {
        auto* b =
            named(new QPushButton(label(rtuText::kShortcutButtons[a], m_lang)), kShortcutNames[a]);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, a] {
            OutputRulesForm f = form();
            f.oneForOne(static_cast<RelayAction>(a));
            showForm(f);
        });
        shortcutRow->addWidget(b);
    }
    shortcutRow->addStretch(1);

    auto* buttons = form::closingRow(this, m_lang, form::Closing::OkCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rules);
    layout->addWidget(shortcuts);
    layout->addWidget(buildTrigger(1, m_adc1));
    layout->addWidget(buildTrigger(2, m_adc2));
    layout->addLayout(buttons);

    OutputRulesForm values;
    values.open(session.params());
    showForm(values);
}

QWidget* OutputRulesDialog::buildTrigger(int channel, TriggerRow& row) {
    const QString prefix = QStringLiteral("adc%1").arg(channel);
    auto* box = new QWidget;
    auto* line = new QHBoxLayout(box);
    line->setContentsMargins(0, 0, 0, 0);
    row.range = named(new QComboBox, qPrintable(prefix + QStringLiteral("Range")));
    for (const FormLabel& r : rtuText::kRanges) row.range->addItem(label(r, m_lang));
    row.value1 = form::numberEdit(qPrintable(prefix + QStringLiteral("Value1")));
    row.value2 = form::numberEdit(qPrintable(prefix + QStringLiteral("Value2")));
    for (QLineEdit* e : {row.value1, row.value2}) e->setMinimumWidth(70);
    row.condition = named(new QComboBox, qPrintable(prefix + QStringLiteral("Condition")));
    const auto& conditions = channel == 1 ? rtuText::kAdc1Conditions : rtuText::kAdc2Conditions;
    for (const FormLabel& c : conditions) row.condition->addItem(label(c, m_lang));

    auto* name = new QLabel(QStringLiteral("ADC%1").arg(channel));
    name->setMinimumWidth(44);
    line->addWidget(name);
    line->addWidget(row.range);
    line->addSpacing(8);
    line->addWidget(new QLabel(label(rtuText::kValue1, m_lang)));
    line->addWidget(row.value1);
    line->addWidget(new QLabel(label(rtuText::kValue2, m_lang)));
    line->addWidget(row.value2);
    line->addSpacing(8);
    line->addWidget(new QLabel(label(rtuText::kTrigger, m_lang)));
    line->addWidget(row.condition);
    line->addStretch(1);
    return box;
}

OutputRulesForm OutputRulesDialog::form() const {
    OutputRulesForm f;
    for (int row = 0; row < kRuleRows; ++row)
        for (int relay = 0; relay < kRtuRelays; ++relay)
            f.actions[row][relay] = static_cast<RelayAction>(m_actions[row][relay]->currentIndex());
    for (auto [w, t] : {std::pair{&m_adc1, &f.adc1}, std::pair{&m_adc2, &f.adc2}}) {
        t->range = w->range->currentIndex();
        t->value1 = form::utf8(w->value1);
        t->value2 = form::utf8(w->value2);
        t->condition = w->condition->currentIndex();
    }
    return f;
}

void OutputRulesDialog::showForm(const OutputRulesForm& f) {
    for (int row = 0; row < kRuleRows; ++row)
        for (int relay = 0; relay < kRtuRelays; ++relay)
            m_actions[row][relay]->setCurrentIndex(static_cast<int>(f.actions[row][relay]));
    for (auto [w, t] : {std::pair{&m_adc1, &f.adc1}, std::pair{&m_adc2, &f.adc2}}) {
        form::setCombo(w->range, t->range);
        form::put(w->value1, t->value1);
        form::put(w->value2, t->value2);
        form::setCombo(w->condition, t->condition);
    }
}

void OutputRulesDialog::accept() {
    if (const auto refusal = form().accept(m_session.params(), m_lang)) {
        showMessage(this, qs(*refusal));
        return;
    }
    QDialog::accept();
}

}  // namespace dtu
