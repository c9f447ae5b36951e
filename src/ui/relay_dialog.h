#pragma once

#include <QDialog>

#include "params/relay_form.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace dtu {

class RelaySwitch;
class RelayTester;
class Session;

// The relay dialog of a single-relay device: what Y1 does once the network has been lost, on a
// private copy that OK writes back (see ui/mqtt_dialog.h for the pattern), and a test switch
// that closes or opens Y1 at once. A test click is not undone by Cancel: the relay stays as
// switched.
class RelayDialog : public QDialog {
    Q_OBJECT
public:
    explicit RelayDialog(Session& session, QWidget* parent = nullptr);

    RelayForm form() const;
    void showForm(const RelayForm& form);

    void accept() override;

private:
    Session& m_session;
    RelayTester* m_tester;
    RelaySwitch* m_switch = nullptr;
    QCheckBox* m_onNetLoss = nullptr;
    QLineEdit* m_minutes = nullptr;
    QComboBox* m_action = nullptr;
};

}  // namespace dtu
