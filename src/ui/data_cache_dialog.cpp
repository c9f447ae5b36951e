#include "data_cache_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "form_widgets.h"
#include "session.h"
#include "text/dialog_texts.h"

namespace dtu {

using form::named;
using form::qs;

namespace {

// An edit with its unit after it.
QHBoxLayout* withUnit(QLineEdit* edit, const QString& unit) {
    auto* row = new QHBoxLayout;
    row->addWidget(edit);
    row->addWidget(new QLabel(unit));
    row->addStretch(1);
    return row;
}

}  // namespace

DataCacheDialog::DataCacheDialog(Session& session, QWidget* parent)
    : QDialog(parent), m_session(session) {
    const Language lang = session.language();
    setObjectName(QStringLiteral("dataCacheDialog"));
    setWindowTitle(QStringLiteral("Cache"));

    m_count = form::numberEdit("count", 110);
    m_interval = form::numberEdit("interval");
    m_lengthPrefix = named(new QCheckBox(form::text(lang, kTextWithDataSize)), "lengthPrefix");
    m_timePrefix = named(new QCheckBox(form::text(lang, kTextWithTime)), "timePrefix");

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(form::text(lang, kTextCacheSize)), 0, 0, 1, 2);
    grid->addWidget(new QLabel(form::text(lang, kTextCacheItems)), 1, 0);
    grid->addWidget(m_count, 1, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(form::text(lang, kTextCacheSendInterval)), 2, 0);
    grid->addLayout(withUnit(m_interval, QStringLiteral("ms")), 2, 1);
    grid->addWidget(m_lengthPrefix, 3, 0, 1, 2);
    grid->addWidget(m_timePrefix, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    // One line per row: the dialog grows in width only, so no gap opens between them.
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    layout->addLayout(form::closingRow(this, lang, form::Closing::OkOnly));
    layout->addStrut(320);  // the least width, kept by the layout

    DataCacheForm values;
    values.open(session.params());
    showForm(values);
}

DataCacheForm DataCacheDialog::form() const {
    DataCacheForm f;
    f.count = form::utf8(m_count);
    f.intervalMs = form::utf8(m_interval);
    f.lengthPrefix = m_lengthPrefix->isChecked();
    f.timePrefix = m_timePrefix->isChecked();
    return f;
}

void DataCacheDialog::showForm(const DataCacheForm& f) {
    form::put(m_count, f.count);
    form::put(m_interval, f.intervalMs);
    m_lengthPrefix->setChecked(f.lengthPrefix);
    m_timePrefix->setChecked(f.timePrefix);
}

void DataCacheDialog::accept() {
    form().accept(m_session.params());
    QDialog::accept();
}

GpsDialog::GpsDialog(Session& session, QWidget* parent) : QDialog(parent), m_session(session) {
    const Language lang = session.language();
    setObjectName(QStringLiteral("gpsDialog"));
    setWindowTitle(QStringLiteral("GPS"));

    m_mode = named(new QComboBox, "mode");
    for (std::string_view entry : gpsModeEntries(lang)) m_mode->addItem(qs(entry));
    m_interval = form::numberEdit("interval");

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(form::text(dialogText::kGpsUpload, lang)), 0, 0);
    grid->addWidget(m_mode, 0, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(form::text(dialogText::kGpsInterval, lang)), 1, 0);
    grid->addLayout(withUnit(m_interval, form::text(dialogText::kGpsIntervalUnit, lang)), 1, 1);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    // One line per row: the dialog grows in width only, so no gap opens between them.
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    layout->addLayout(form::closingRow(this, lang, form::Closing::OkOnly));
    layout->addStrut(300);  // the least width, kept by the layout

    GpsUploadForm values;
    values.open(session.params());
    showForm(values);
}

GpsUploadForm GpsDialog::form() const {
    GpsUploadForm f;
    f.mode = m_mode->currentIndex();
    f.interval = form::utf8(m_interval);
    return f;
}

void GpsDialog::showForm(const GpsUploadForm& f) {
    form::setCombo(m_mode, f.mode);
    form::put(m_interval, f.interval);
}

void GpsDialog::accept() {
    form().accept(m_session.params());
    QDialog::accept();
}

UserSettingsDialog::UserSettingsDialog(Language lang, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("userSettingsDialog"));
    setWindowTitle(form::text(dialogText::kUserSettingsTitle, lang));
    const QString unavailable = form::text(dialogText::kUserFlashUnavailable, lang);
    auto* layout = new QVBoxLayout(this);
    struct Row {
        const char* edit;
        const char* button;
        FormLabel label;
    };
    for (const Row& r : {Row{"readData", "readButton", dialogText::kReadUserFlash},
                         Row{"writeData", "writeButton", dialogText::kWriteUserFlash}}) {
        layout->addWidget(form::edit(r.edit, 360));
        auto* button = named(new QPushButton(form::text(r.label, lang)), r.button);
        button->setEnabled(false);
        button->setToolTip(unavailable);
        layout->addWidget(button, 0, Qt::AlignLeft);
    }
    auto* note = named(new QLabel(unavailable), "note");
    note->setWordWrap(true);
    note->setEnabled(false);  // drawn as a remark
    layout->addWidget(note);
    layout->addStretch(1);
    layout->addLayout(form::closingRow(this, lang, form::Closing::CloseOnly));
}

}  // namespace dtu
