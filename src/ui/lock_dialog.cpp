#include "lock_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "form_widgets.h"
#include "message_box.h"
#include "text/dialog_texts.h"
#include "text/gbk.h"

namespace dtu {

using form::text;
namespace t = dialogText;

LockDialog::LockDialog(const LockPassword& current, Language lang, QWidget* parent)
    : QDialog(parent), m_lang(lang), m_current(current) {
    setWindowTitle(text(t::kLockTitle, lang));
    auto* help = new QLabel(text(t::kLockHelp, lang));
    help->setWordWrap(true);
    m_edit = new QLineEdit(passwordText(current));
    m_edit->setObjectName(QStringLiteral("passwordEdit"));
    auto* ok = new QPushButton(form::text(lang, kTextOk));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &LockDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(text(t::kLockPassword, lang)));
    row->addWidget(m_edit);
    row->addWidget(new QLabel(text(t::kLockPasswordHint, lang)));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(help);
    layout->addLayout(row);
    layout->addWidget(ok, 0, Qt::AlignRight);
    setMinimumWidth(420);
}

ShownText LockDialog::shown(const LockPassword& password) {
    const auto end = std::find(password.begin(), password.end(), std::uint8_t{0});
    return shownBytes(std::span(password.begin(), end), false);
}

QString LockDialog::passwordText(const LockPassword& password) {
    return QString::fromStdString(shown(password).shown);
}

void LockDialog::accept() {
    // Exactly 8 bytes as the device stores them; letters and digits are not checked further.
    // An untouched password keeps its bytes, GBK or not.
    const std::string typed = m_edit->text().toStdString();
    const ShownText was = shown(m_current);
    const auto gbk = was.editedTo(typed) ? utf8ToGbk(typed) : was.stored;
    if (!gbk || gbk->size() != kLockPasswordSize) {
        showMessage(this, text(t::kLockPasswordLength, m_lang));
        return;
    }
    std::copy(gbk->begin(), gbk->end(), m_password.begin());
    QDialog::accept();
}

}  // namespace dtu
