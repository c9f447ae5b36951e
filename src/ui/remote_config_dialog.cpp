#include "remote_config_dialog.h"

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

RemoteConfigDialog::RemoteConfigDialog(Session& session, QWidget* parent)
    : QDialog(parent), m_session(session), m_lang(session.language()) {
    setObjectName(QStringLiteral("remoteConfigDialog"));
    setWindowTitle(form::text(dialogText::kRemoteConfigTitle, m_lang));
    m_server = form::edit("server", 260);
    m_password = form::edit("password", 260);
    m_status = named(new QLabel, "status");
    // What the device reported: shown as the characters it sent, never as markup.
    m_status->setTextFormat(Qt::PlainText);
    m_status->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setMargin(3);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(form::text(dialogText::kRemoteConfigServer, m_lang)), 0, 0);
    grid->addWidget(m_server, 0, 1);
    grid->addWidget(new QLabel(form::text(dialogText::kRemoteConfigPassword, m_lang)), 1, 0);
    grid->addWidget(m_password, 1, 1);
    grid->addWidget(m_status, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* buttons = form::closingRow(this, m_lang, form::Closing::OkOnly);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);

    RemoteConfigForm values;
    values.open(session.params(), m_lang);
    showForm(values);
}

RemoteConfigForm RemoteConfigDialog::form() const {
    RemoteConfigForm f;
    f.server = form::utf8(m_server);
    f.password = form::utf8(m_password);
    f.status = m_status->text().toStdString();
    return f;
}

void RemoteConfigDialog::showForm(const RemoteConfigForm& f) {
    form::put(m_server, f.server);
    form::put(m_password, f.password);
    m_status->setText(QString::fromStdString(f.status));
}

void RemoteConfigDialog::accept() {
    if (const auto refusal = form().accept(m_session.params(), m_lang)) {
        showMessage(this, qs(*refusal));
        return;
    }
    QDialog::accept();
}

}  // namespace dtu
