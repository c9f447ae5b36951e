#pragma once

#include <QDialog>

#include "params/http_form.h"
#include "text/language.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace dtu {

class Session;

// The HTTP dialog: the HTTP client's server, method, header and hex-to-ASCII flag, edited in
// the record in place (see ui/mqtt_dialog.h for the pattern).
class HttpDialog : public QDialog {
    Q_OBJECT
public:
    explicit HttpDialog(Session& session, QWidget* parent = nullptr);

    HttpForm form() const;
    void showForm(const HttpForm& form);

    void accept() override;

private:
    Session& m_session;
    Language m_lang;
    QLineEdit* m_host = nullptr;
    QLineEdit* m_port = nullptr;
    QComboBox* m_method = nullptr;
    QCheckBox* m_hexToAscii = nullptr;
    QPlainTextEdit* m_header = nullptr;
};

}  // namespace dtu
