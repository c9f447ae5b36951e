#include "http_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "form_widgets.h"
#include "message_box.h"
#include "session.h"
#include "text/dialog_texts.h"

namespace dtu {

using form::named;
using form::qs;

HttpDialog::HttpDialog(Session& session, QWidget* parent)
    : QDialog(parent), m_session(session), m_lang(session.language()) {
    setObjectName(QStringLiteral("httpDialog"));
    setWindowTitle(QStringLiteral("HTTP"));

    m_host = form::edit("host", 240);
    m_port = form::numberEdit("port");
    m_method = named(new QComboBox, "method");
    for (const char* entry : kHttpMethodEntries) m_method->addItem(QString::fromLatin1(entry));
    m_hexToAscii = named(new QCheckBox(form::text(dialogText::kHexToAscii, m_lang)), "hexToAscii");
    m_header = named(new QPlainTextEdit, "header");
    m_header->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_header->setTabChangesFocus(true);
    m_header->setMinimumSize(420, 140);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(form::text(m_lang, kTextAddressPort)), 0, 0);
    auto* address = new QHBoxLayout;
    address->addWidget(m_host, 1);
    address->addWidget(m_port);
    grid->addLayout(address, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Post/Get")), 1, 0);
    auto* method = new QHBoxLayout;
    method->addWidget(m_method);
    method->addSpacing(16);
    method->addWidget(m_hexToAscii);
    method->addStretch(1);
    grid->addLayout(method, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("HTTP HEADER")), 2, 0, Qt::AlignTop);
    grid->addWidget(m_header, 2, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);

    // The demos only change the text shown; Cancel leaves the stored header as it was.
    auto* postDemo = named(new QPushButton(QStringLiteral("POST Demo")), "postDemo");
    connect(postDemo, &QPushButton::clicked, this,
            [this] { m_header->setPlainText(qs(kHttpPostDemo)); });
    auto* getDemo = named(new QPushButton(QStringLiteral("GET Demo")), "getDemo");
    connect(getDemo, &QPushButton::clicked, this,
            [this] { m_header->setPlainText(qs(kHttpGetDemo)); });
    for (QPushButton* demo : {postDemo, getDemo}) demo->setAutoDefault(false);
    auto* buttons = form::closingRow(this, m_lang, form::Closing::OkCancel);
    buttons->insertWidget(0, postDemo);
    buttons->insertWidget(1, getDemo);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);

    HttpForm values;
    values.open(session.params());
    showForm(values);
}

HttpForm HttpDialog::form() const {
    HttpForm f;
    f.host = form::utf8(m_host);
    f.port = form::utf8(m_port);
    f.method = m_method->currentIndex();
    f.hexToAscii = m_hexToAscii->isChecked();
    f.header = m_header->toPlainText().toStdString();
    return f;
}

void HttpDialog::showForm(const HttpForm& f) {
    form::put(m_host, f.host);
    form::put(m_port, f.port);
    form::setCombo(m_method, f.method);
    m_hexToAscii->setChecked(f.hexToAscii);
    m_header->setPlainText(QString::fromStdString(f.header));
}

void HttpDialog::accept() {
    // What was stored before a refusal stays stored, as the form says.
    if (const auto refusal = form().accept(m_session.params(), m_lang)) {
        showMessage(this, qs(*refusal));
        return;
    }
    QDialog::accept();
}

}  // namespace dtu
