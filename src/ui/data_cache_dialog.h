#pragma once

#include <QDialog>

#include "params/cache_gps_form.h"
#include "text/language.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace dtu {

class Session;

// The data cache dialog: how many packets the device keeps while offline and how it sends them
// once back online, edited in the record in place (see ui/mqtt_dialog.h for the pattern). OK
// only; its close box keeps nothing.
class DataCacheDialog : public QDialog {
    Q_OBJECT
public:
    explicit DataCacheDialog(Session& session, QWidget* parent = nullptr);

    DataCacheForm form() const;
    void showForm(const DataCacheForm& form);

    void accept() override;

private:
    Session& m_session;
    QLineEdit* m_count = nullptr;
    QLineEdit* m_interval = nullptr;
    QCheckBox* m_lengthPrefix = nullptr;
    QCheckBox* m_timePrefix = nullptr;
};

// The GPS upload dialog: off, once at power-on or periodic, and the period, edited in the
// record in place. OK only; its close box keeps nothing.
class GpsDialog : public QDialog {
    Q_OBJECT
public:
    explicit GpsDialog(Session& session, QWidget* parent = nullptr);

    GpsUploadForm form() const;
    void showForm(const GpsUploadForm& form);

    void accept() override;

private:
    Session& m_session;
    QComboBox* m_mode = nullptr;
    QLineEdit* m_interval = nullptr;
};

// The user settings dialog beside the user code box: the device's user flash area. The device
// has no command to read or write it, so its two buttons stay unavailable and say so.
class UserSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit UserSettingsDialog(Language lang, QWidget* parent = nullptr);
};

}  // namespace dtu
