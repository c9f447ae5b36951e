#include "apn_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "form_widgets.h"
#include "message_box.h"
#include "session.h"
#include "text/dialog_texts.h"

namespace dtu {

using form::named;
using form::qs;

ApnDialog::ApnDialog(Session& session, QWidget* parent)
    : QDialog(parent), m_session(session), m_lang(session.language()) {
    setObjectName(QStringLiteral("apnDialog"));
    setWindowTitle(QStringLiteral("APN"));

    m_authType = named(new QComboBox, "authType");
    for (std::string_view entry : apnAuthEntries(m_lang)) m_authType->addItem(qs(entry));
    m_name = form::edit("name", 220);
    m_userName = form::edit("userName", 220);
    m_password = form::edit("password", 220);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(form::text(dialogText::kApnAuth, m_lang)), 0, 0);
    grid->addWidget(m_authType, 0, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("APN")), 1, 0);
    grid->addWidget(m_name, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("USERNAME")), 2, 0);
    grid->addWidget(m_userName, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("PASSWORD")), 3, 0);
    grid->addWidget(m_password, 3, 1);
    grid->setColumnStretch(1, 1);

    auto* buttons = form::closingRow(this, m_lang, form::Closing::OkOnly);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setMinimumWidth(380);

    ApnForm values;
    values.open(session.params());
    showForm(values);
}

ApnForm ApnDialog::form() const {
    ApnForm f;
    f.authType = m_authType->currentIndex();
    f.name = form::utf8(m_name);
    f.userName = form::utf8(m_userName);
    f.password = form::utf8(m_password);
    return f;
}

void ApnDialog::showForm(const ApnForm& f) {
    form::setCombo(m_authType, f.authType);
    form::put(m_name, f.name);
    form::put(m_userName, f.userName);
    form::put(m_password, f.password);
}

void ApnDialog::accept() {
    if (const auto refusal = form().accept(m_session.params(), m_lang)) {
        showMessage(this, qs(*refusal));
        return;
    }
    QDialog::accept();
}

}  // namespace dtu
