#pragma once

#include <QDialog>
#include <array>

#include "rtu/output_rules.h"
#include "text/language.h"

class QComboBox;
class QLineEdit;

namespace dtu {

class Session;
class SwatchCombo;

// The output rules form: for each input and analogue channel, what happens to each relay when
// it triggers, with the clone and one-for-one shortcuts, and the analogue triggers. It edits
// the record in place on OK.
class OutputRulesDialog : public QDialog {
    Q_OBJECT
public:
    explicit OutputRulesDialog(Session& session, QWidget* parent = nullptr);

    OutputRulesForm form() const;
    void showForm(const OutputRulesForm& form);

    void accept() override;

private:
    struct TriggerRow {
        QComboBox* range = nullptr;
        QLineEdit* value1 = nullptr;
        QLineEdit* value2 = nullptr;
        QComboBox* condition = nullptr;
    };
    QWidget* buildTrigger(int channel, TriggerRow& row);

    Session& m_session;
    Language m_lang;
    std::array<std::array<SwatchCombo*, kRtuRelays>, kRuleRows> m_actions{};
    TriggerRow m_adc1;
    TriggerRow m_adc2;
};

}  // namespace dtu
