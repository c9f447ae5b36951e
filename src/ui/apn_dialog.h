#pragma once

#include <QDialog>

#include "params/apn_form.h"
#include "text/language.h"

class QComboBox;
class QLineEdit;

namespace dtu {

class Session;

// The APN dialog: the access point the device dials, edited in the record in place. It has
// OK only; the close box stores nothing (see ui/mqtt_dialog.h for the pattern).
class ApnDialog : public QDialog {
    Q_OBJECT
public:
    explicit ApnDialog(Session& session, QWidget* parent = nullptr);

    ApnForm form() const;
    void showForm(const ApnForm& form);

    void accept() override;

private:
    Session& m_session;
    Language m_lang;
    QComboBox* m_authType = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_userName = nullptr;
    QLineEdit* m_password = nullptr;
};

}  // namespace dtu
