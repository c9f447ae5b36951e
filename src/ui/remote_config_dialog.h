#pragma once

#include <QDialog>

#include "params/remote_config_form.h"
#include "text/language.h"

class QLabel;
class QLineEdit;

namespace dtu {

class Session;

// The remote configuration dialog: the configuration server and the communication password,
// edited in the record in place (see ui/mqtt_dialog.h for the pattern), and the state the
// device last reported. OK only; its close box keeps nothing.
class RemoteConfigDialog : public QDialog {
    Q_OBJECT
public:
    explicit RemoteConfigDialog(Session& session, QWidget* parent = nullptr);

    RemoteConfigForm form() const;
    void showForm(const RemoteConfigForm& form);

    void accept() override;

private:
    Session& m_session;
    Language m_lang;
    QLineEdit* m_server = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_status = nullptr;
};

}  // namespace dtu
