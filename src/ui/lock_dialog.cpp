#include "lock_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "message_box.h"
#include "text/gbk.h"

namespace dtu {

LockDialog::LockDialog(const LockPassword& current, QWidget* parent)
    : QDialog(parent), m_current(current) {
    setWindowTitle(QStringLiteral("设备锁"));
    auto* help = new QLabel(
        QStringLiteral("设备锁:给设备加上密码，在获取参数,保存参数,固件升级 "
                       "时必须输入密码才能操作，保护设备参数不被窃取\n如果忘记密码，恢复出厂即可"));
    help->setWordWrap(true);
    m_edit = new QLineEdit(passwordText(current));
    m_edit->setObjectName(QStringLiteral("passwordEdit"));
    auto* ok = new QPushButton(QStringLiteral("确定"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &LockDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("密码")));
    row->addWidget(m_edit);
    row->addWidget(new QLabel(QStringLiteral("8位数字或字母")));
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
        showMessage(this, QStringLiteral("密码必须是8位"));
        return;
    }
    std::copy(gbk->begin(), gbk->end(), m_password.begin());
    QDialog::accept();
}

}  // namespace dtu
