#pragma once

#include <QGroupBox>
#include <array>

#include "params/form_values.h"
#include "params/main_form.h"
#include "text/language.h"

class QCheckBox;
class QLabel;

namespace dtu {

class ClickLabel;
class Session;
struct StatusReport;

// The device's identity and state as it reports them, with the GPS upload settings, the cell
// information and the base-station positioning box.
class StatusPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit StatusPanel(Session& session, QWidget* parent = nullptr);

    void retranslate(Language lang);
    void fillForm(MainForm& form) const;
    void setForm(const MainForm& form);
    void showStatus(const StatusReport& status);

private:
    // A click on an identity field copies it and says so in the receive box.
    void copyField(const QLabel* field, FormLabel copied);

    Session& m_session;
    Language m_lang = Language::Chinese;
    std::array<QLabel*, 5> m_labels{};  // model, operator, network, signal, version
    QLabel* m_model = nullptr;
    QLabel* m_version = nullptr;
    ClickLabel* m_imei = nullptr;
    ClickLabel* m_iccid = nullptr;
    QLabel* m_operator = nullptr;
    QLabel* m_signal = nullptr;
    QLabel* m_network = nullptr;
    ClickLabel* m_mac = nullptr;
    QLabel* m_sim = nullptr;
    QLabel* m_gps = nullptr;
    ClickLabel* m_gpsUploadLink = nullptr;
    QLabel* m_cell = nullptr;
    ClickLabel* m_cellInfoLink = nullptr;
    QCheckBox* m_cellLocationBox = nullptr;
};

}  // namespace dtu
