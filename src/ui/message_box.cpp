#include "message_box.h"

#include <QMessageBox>

namespace dtu {

void showMessage(QWidget* parent, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("messageBox"));
    // The texts come from the device and from file names: shown as they are, never as markup.
    box->setTextFormat(Qt::PlainText);
    box->open();
}

}  // namespace dtu
