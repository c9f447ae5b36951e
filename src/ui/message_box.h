#pragma once

#include <QString>

class QWidget;

namespace dtu {

// A plain message box (text and one OK button) that does not block: the event loop, and with
// it the serial line, keeps running while it is shown. The text is shown as plain text.
void showMessage(QWidget* parent, const QString& text);

}  // namespace dtu
