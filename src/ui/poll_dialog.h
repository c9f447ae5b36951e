#pragma once

#include <QDialog>

#include "rtu/poll_form.h"
#include "text/language.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace dtu {

class Session;

// The edge computing form: the Modbus poll table as an editable grid, the polling times, the
// relay and time-out behaviour, the name encoding and the upload settings, on a private copy
// of the edge block that OK writes back (see ui/mqtt_dialog.h for the pattern). The table's
// rows live in the form struct: every finished cell edit goes there at once and the grid is
// drawn again from it. The name encoding box is a PC setting, kept at every click.
class PollDialog : public QDialog {
    Q_OBJECT
public:
    PollDialog(Session& session, int& utf8Names, QWidget* parent = nullptr);

    PollForm form() const;
    void showForm(const PollForm& form);

    // The two CSV actions after their file dialogs; false when refused (a message says why).
    bool exportCsv(const QString& path);
    bool importCsv(const QString& path);

    // The grid's buttons.
    void addEntry();
    void deleteEntry();

    void accept() override;

protected:
    // Enter ends a cell's edit and never closes the form.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void commitCell(int row, int column, const QString& text);
    void renderRows();
    void showFrameUse();
    void exportWithDialog();
    void importWithDialog();

    Session& m_session;
    Language m_lang;
    int& m_utf8NamesSetting;
    PollForm m_form;
    bool m_rendering = false;

    QTableWidget* m_table = nullptr;
    QLabel* m_frameUse = nullptr;
    QLineEdit* m_timeout = nullptr;
    QLineEdit* m_pollInterval = nullptr;
    QLineEdit* m_commandDelay = nullptr;
    QLineEdit* m_mapStart = nullptr;
    QComboBox* m_relayFollow = nullptr;
    QComboBox* m_timeoutAction = nullptr;
    QCheckBox* m_utf8Names = nullptr;
    QLineEdit* m_uploadInterval = nullptr;
    QComboBox* m_uploadFormat = nullptr;
    QComboBox* m_changeUpload = nullptr;
    QCheckBox* m_timestamp = nullptr;
    QCheckBox* m_jsonArray = nullptr;
    QLineEdit* m_prefix = nullptr;
};

}  // namespace dtu
