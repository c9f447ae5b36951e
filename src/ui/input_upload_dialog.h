#pragma once

#include <QDialog>
#include <array>

#include "rtu/input_upload.h"
#include "text/language.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace dtu {

class Session;
class SwatchCombo;

// The input upload form: what makes the device report an input event (the edge of each
// input, an analogue value meeting its condition, a timer), in which format and with what
// content, and the SMS texts of each level, which it shows only for the formats that send
// SMS. It edits the record on OK; a refused SMS text leaves the record untouched.
class InputUploadDialog : public QDialog {
    Q_OBJECT
public:
    explicit InputUploadDialog(Session& session, QWidget* parent = nullptr);

    InputUploadForm form() const;
    void showForm(const InputUploadForm& form);

    void accept() override;

private:
    struct ChannelRow {
        QCheckBox* enable = nullptr;
        QComboBox* range = nullptr;
        QLineEdit* value1 = nullptr;
        QLineEdit* value2 = nullptr;
        QComboBox* condition = nullptr;
    };
    QWidget* buildInputs();
    QWidget* buildChannel(int channel, ChannelRow& row);
    QWidget* buildFormat();
    QWidget* buildSms();
    // The SMS section is there for the formats that send SMS; the form takes its size from it.
    void followFormat(int format);

    Session& m_session;
    Language m_lang;
    QCheckBox* m_inputsEnable = nullptr;
    std::array<SwatchCombo*, kRtuInputs> m_triggers{};
    ChannelRow m_adc1;
    ChannelRow m_adc2;
    QCheckBox* m_timedEnable = nullptr;
    QLineEdit* m_timedInterval = nullptr;
    QComboBox* m_format = nullptr;
    std::array<QCheckBox*, kUploadContentBits> m_content{};
    QWidget* m_sms = nullptr;
    std::array<QLineEdit*, 2 * kRtuInputs + 4> m_smsTexts{};
};

}  // namespace dtu
