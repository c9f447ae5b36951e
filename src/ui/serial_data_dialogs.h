#pragma once

#include <QDialog>

#include "params/serial_data_form.h"
#include "text/language.h"

class QCheckBox;
class QLineEdit;

namespace dtu {

class Session;

// The serial filter dialog: the filter pattern as text or hex, on a private copy that OK writes
// back (see ui/mqtt_dialog.h for the pattern). The HEX box is a PC setting: hexView is updated
// whichever way the dialog closes.
class SerialFilterDialog : public QDialog {
    Q_OBJECT
public:
    SerialFilterDialog(Session& session, int& hexView, QWidget* parent = nullptr);

    SerialFilterForm form() const;
    void showForm(const SerialFilterForm& form);

    void accept() override;
    void done(int result) override;

private:
    Session& m_session;
    Language m_lang;
    int& m_hexView;
    QLineEdit* m_data = nullptr;
    QCheckBox* m_hex = nullptr;
};

// The timed send dialog: what the device writes to its own serial port and how often, as text
// or hex, on a private copy that OK writes back; the HEX box is kept like the filter's.
class TimedSendDialog : public QDialog {
    Q_OBJECT
public:
    TimedSendDialog(Session& session, int& hexView, QWidget* parent = nullptr);

    TimedSendForm form() const;
    void showForm(const TimedSendForm& form);

    void accept() override;
    void done(int result) override;

private:
    Session& m_session;
    Language m_lang;
    int& m_hexView;
    QLineEdit* m_interval = nullptr;
    QLineEdit* m_data = nullptr;
    QCheckBox* m_hex = nullptr;
};

}  // namespace dtu
