#pragma once

#include <QDialog>

#include "link/frame.h"
#include "params/form_values.h"

class QLineEdit;

namespace dtu {

// The small password dialog of the device lock: edits either the password presented to a
// locked device or the lock the device is to carry.
class LockDialog : public QDialog {
    Q_OBJECT
public:
    LockDialog(const LockPassword& current, Language lang, QWidget* parent = nullptr);

    // The accepted password (valid once the dialog has ended with OK).
    LockPassword password() const { return m_password; }

    // The text shown for a stored password: up to its first zero byte.
    static QString passwordText(const LockPassword& password);

    void accept() override;

private:
    static ShownText shown(const LockPassword& password);

    Language m_lang;
    QLineEdit* m_edit;
    LockPassword m_current;
    LockPassword m_password{};
};

}  // namespace dtu
