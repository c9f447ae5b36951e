#pragma once

#include <QDialog>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/pc_settings.h"
#include "param_history.h"
#include "params/form_values.h"
#include "text/language.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace dtu {

class HistoryRecorder;
class Session;

// The parameter history of the window's session: every full read and acknowledged save is kept
// in the record the PC settings name (the provisioning record in the production folder unless
// they name another), unless they turn the history off. A record that cannot be opened or
// written is a line in the receive box; the device operation goes on regardless.
class WindowHistory : public QObject {
    Q_OBJECT
public:
    WindowHistory(Session& session, const PcSettings& settings, QObject* parent = nullptr);
    ~WindowHistory() override;

    // Nothing while the history is off or its record could not be opened.
    ParamHistory* history() { return m_recorder ? &m_history : nullptr; }
    // The IMEI of the device on the port, as its last full read reported it; empty before one.
    std::string deviceImei() const;

private:
    ParamHistory m_history;
    std::unique_ptr<HistoryRecorder> m_recorder;
};

// The history's entries, newest first: the connected device's or every device's. The selected
// entry's record is compared with the form, and Load hands it to the window, which puts it into
// the form as an imported file (the user saves as usual).
class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    // imei: the connected device's, empty when none was read. formRecord: the record as a save
    // would collect it from the window now.
    HistoryDialog(ParamHistory& history, const QString& imei,
                  std::function<DeviceParams()> formRecord, Language lang,
                  QWidget* parent = nullptr);

signals:
    void loadRequested(const DeviceParams& params);

private:
    void listEntries();
    void showSelected();
    QString label(FormLabel l) const;

    ParamHistory& m_history;
    QString m_imei;
    std::function<DeviceParams()> m_formRecord;
    Language m_lang;
    std::vector<ParamHistory::Listed> m_entries;
    std::optional<DeviceParams> m_selected;  // the selected entry's record

    QCheckBox* m_allDevices = nullptr;
    QTableWidget* m_entryTable = nullptr;
    QTableWidget* m_differenceTable = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_load = nullptr;
};

}  // namespace dtu
