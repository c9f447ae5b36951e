#include "serial_data_dialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "form_widgets.h"
#include "message_box.h"
#include "session.h"

namespace dtu {

using form::named;
using form::qs;

namespace {

QCheckBox* hexBox() {
    return named(new QCheckBox(QStringLiteral("HEX")), "hexBox");
}

}  // namespace

SerialFilterDialog::SerialFilterDialog(Session& session, int& hexView, QWidget* parent)
    : QDialog(parent), m_session(session), m_lang(session.language()), m_hexView(hexView) {
    setObjectName(QStringLiteral("serialFilterDialog"));
    setWindowTitle(QStringLiteral("Filter"));
    m_data = form::edit("data", 320);
    m_hex = hexBox();

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(form::text(m_lang, kTextFilterData)));
    row->addWidget(m_data, 1);
    row->addWidget(m_hex);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    // One line per row: the dialog grows in width only, so no gap opens between them.
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    layout->addLayout(form::closingRow(this, m_lang, form::Closing::OkCancel));

    SerialFilterForm values;
    values.open(session.params(), hexView == 1);
    showForm(values);
}

SerialFilterForm SerialFilterDialog::form() const {
    SerialFilterForm f;
    f.hex = m_hex->isChecked();
    f.data = form::utf8(m_data);
    return f;
}

void SerialFilterDialog::showForm(const SerialFilterForm& f) {
    m_hex->setChecked(f.hex);
    form::put(m_data, f.data);
}

void SerialFilterDialog::accept() {
    if (const auto refusal = form().accept(m_session.params(), m_lang)) {
        showMessage(this, qs(*refusal));
        return;
    }
    QDialog::accept();
}

void SerialFilterDialog::done(int result) {
    m_hexView = m_hex->isChecked() ? 1 : 0;
    QDialog::done(result);
}

TimedSendDialog::TimedSendDialog(Session& session, int& hexView, QWidget* parent)
    : QDialog(parent), m_session(session), m_lang(session.language()), m_hexView(hexView) {
    setObjectName(QStringLiteral("timedSendDialog"));
    setWindowTitle(form::text(m_lang, kTextSendToSerial));
    m_interval = form::numberEdit("interval", 90);
    m_data = form::edit("data", 320);
    m_hex = hexBox();

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(form::text(m_lang, kTextSendInterval)), 0, 0);
    auto* interval = new QHBoxLayout;
    interval->addWidget(m_interval);
    interval->addWidget(new QLabel(QStringLiteral("s")));
    interval->addStretch(1);
    grid->addLayout(interval, 0, 1);
    grid->addWidget(new QLabel(form::text(m_lang, kTextData)), 1, 0);
    grid->addWidget(m_data, 1, 1);
    grid->addWidget(m_hex, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    // One line per row: the dialog grows in width only, so no gap opens between them.
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    layout->addLayout(form::closingRow(this, m_lang, form::Closing::OkCancel));

    TimedSendForm values;
    values.open(session.params(), hexView == 1);
    showForm(values);
}

TimedSendForm TimedSendDialog::form() const {
    TimedSendForm f;
    f.interval = form::utf8(m_interval);
    f.hex = m_hex->isChecked();
    f.data = form::utf8(m_data);
    return f;
}

void TimedSendDialog::showForm(const TimedSendForm& f) {
    form::put(m_interval, f.interval);
    m_hex->setChecked(f.hex);
    form::put(m_data, f.data);
}

void TimedSendDialog::accept() {
    if (const auto refusal = form().accept(m_session.params(), m_lang)) {
        showMessage(this, qs(*refusal));
        return;
    }
    QDialog::accept();
}

void TimedSendDialog::done(int result) {
    m_hexView = m_hex->isChecked() ? 1 : 0;
    QDialog::done(result);
}

}  // namespace dtu
