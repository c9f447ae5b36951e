#pragma once

#include <QDialog>
#include <array>

#include "rtu/rtu_settings.h"
#include "text/language.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dtu {

class ClickLabel;
class IoPicture;
class RtuPanelDriver;
class Session;

// The RTU form: the live test panel (inputs, relays, analogue readings and counters, relay
// switching, counter clear and the hidden calibration) over the session, and the RTU settings,
// which OK writes into the record. The output rules and input upload forms open from here and
// write the record themselves when they end with OK, whatever this form does afterwards.
class RtuDialog : public QDialog {
    Q_OBJECT
public:
    explicit RtuDialog(Session& session, QWidget* parent = nullptr);

    RtuSettingsForm form() const;
    void showForm(const RtuSettingsForm& form);

    void accept() override;
    // The panel's timers end with the form.
    void done(int result) override;

private:
    QWidget* buildTest();
    QWidget* buildSettings();
    void showView();
    void openOutputRules();
    void openInputUpload();

    Session& m_session;
    Language m_lang;
    RtuPanelDriver* m_driver;

    std::array<IoPicture*, kRtuInputs> m_inputs{};
    std::array<IoPicture*, kRtuRelays> m_relays{};
    int m_relayWithFocus = -1;  // disabled while it had the focus
    QCheckBox* m_autoRefresh = nullptr;
    QLabel* m_analog1 = nullptr;
    QLabel* m_analog2 = nullptr;
    QComboBox* m_analogMode = nullptr;
    QPushButton* m_calibrate = nullptr;
    QPushButton* m_viewCoefficients = nullptr;
    std::array<QLabel*, kRtuInputs> m_counters{};
    ClickLabel* m_clearCounters = nullptr;

    QLineEdit* m_address = nullptr;
    QLineEdit* m_debounce = nullptr;
    QCheckBox* m_linkage = nullptr;
    QCheckBox* m_report = nullptr;
    QComboBox* m_powerOffSave = nullptr;
    std::array<QCheckBox*, kRtuRelays> m_powerOn{};
};

}  // namespace dtu
