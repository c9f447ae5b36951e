#include "history_dialog.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSysInfo>
#include <QTableWidget>
#include <QVBoxLayout>

#include "form_widgets.h"
#include "history_recorder.h"
#include "pc_settings_file.h"
#include "session.h"
#include "text/history_texts.h"

namespace dtu {

using form::named;
using form::qs;

namespace {

// Enough for any device's history on a PC; the command line reaches further back.
constexpr int kListedEntries = 1000;

QTableWidget* table(const char* name, int columns) {
    auto* t = named(new QTableWidget(0, columns), name);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void setRow(QTableWidget* t, int row, const QStringList& cells) {
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        item->setToolTip(cells[c]);
        t->setItem(row, c, item);
    }
}

// The entry's time (UTC in the record) as the PC's clock shows it.
QString localTime(const std::string& utc) {
    const QDateTime t = QDateTime::fromString(qs(utc), Qt::ISODateWithMs);
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : qs(utc);
}

}  // namespace

WindowHistory::WindowHistory(Session& session, const PcSettings& settings, QObject* parent)
    : QObject(parent) {
    if (settings.paramHistory == 0) return;
    QString error;
    const auto target = historyRecordTarget(qs(settings.record), productionDir(settings), error);
    if (!target || !m_history.open(*target, ProvisioningDb::Mode::Append, error)) {
        session.appendLine(QStringLiteral("parameter history off: %1: %2\r\n")
                               .arg(target ? target->describe() : qs(settings.record), error));
        return;
    }
    m_recorder = std::make_unique<HistoryRecorder>(session, m_history, QSysInfo::machineHostName());
    connect(m_recorder.get(), &HistoryRecorder::failed, &session,
            [&session](const QString& message) { session.appendLine(message + "\r\n"); });
}

// The recorder goes before the history it writes to.
WindowHistory::~WindowHistory() {
    m_recorder.reset();
}

std::string WindowHistory::deviceImei() const {
    return m_recorder ? m_recorder->deviceImei() : std::string();
}

HistoryDialog::HistoryDialog(ParamHistory& history, const QString& imei,
                             std::function<DeviceParams()> formRecord, Language lang,
                             QWidget* parent)
    : QDialog(parent),
      m_history(history),
      m_imei(imei),
      m_formRecord(std::move(formRecord)),
      m_lang(lang) {
    setObjectName(QStringLiteral("historyDialog"));
    setWindowTitle(label(historyText::kTitle));

    m_allDevices = named(new QCheckBox(label(historyText::kAllDevices)), "allDevices");
    // Without a device read there is no device of its own to show.
    m_allDevices->setChecked(m_imei.isEmpty());
    m_allDevices->setEnabled(!m_imei.isEmpty());
    auto* top = new QHBoxLayout;
    top->addWidget(m_allDevices);
    top->addWidget(named(new QLabel(m_imei.isEmpty() ? label(historyText::kNoDevice)
                                                     : QStringLiteral("IMEI ") + m_imei),
                         "device"));
    top->addStretch(1);

    m_entryTable = table("entryTable", int(historyText::kEntryColumns.size()));
    QStringList heads;
    for (const FormLabel& l : historyText::kEntryColumns) heads << label(l);
    m_entryTable->setHorizontalHeaderLabels(heads);
    m_differenceTable = table("differenceTable", int(historyText::kDifferenceColumns.size()));
    heads.clear();
    for (const FormLabel& l : historyText::kDifferenceColumns) heads << label(l);
    m_differenceTable->setHorizontalHeaderLabels(heads);
    m_differenceTable->setSelectionMode(QAbstractItemView::NoSelection);

    m_note = named(new QLabel, "note");
    m_note->setTextFormat(Qt::PlainText);
    m_note->setWordWrap(true);
    m_load = named(new QPushButton(label(historyText::kLoad)), "loadButton");
    m_load->setAutoDefault(false);
    auto* close = named(new QPushButton(label(historyText::kClose)), "closeButton");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_note, 1);
    buttons->addWidget(m_load);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_entryTable, 3);
    layout->addWidget(m_differenceTable, 2);
    layout->addLayout(buttons);
    resize(fontMetrics().averageCharWidth() * 130, fontMetrics().height() * 36);

    connect(m_allDevices, &QCheckBox::toggled, this, &HistoryDialog::listEntries);
    connect(m_entryTable, &QTableWidget::itemSelectionChanged, this, &HistoryDialog::showSelected);
    connect(m_load, &QPushButton::clicked, this, [this] {
        if (!m_selected) return;
        emit loadRequested(*m_selected);
        showSelected();  // the form holds the entry now
    });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    listEntries();
}

QString HistoryDialog::label(FormLabel l) const {
    return qs(m_lang == Language::English ? l.english : l.chinese);
}

void HistoryDialog::listEntries() {
    m_entryTable->clearContents();
    m_entryTable->setRowCount(0);
    m_entries.clear();
    QString error;
    auto listed =
        m_history.list(m_allDevices->isChecked() ? QString() : m_imei, kListedEntries, error);
    if (!listed) {
        m_note->setText(m_history.describe() + QStringLiteral(": ") + error);
        showSelected();
        return;
    }
    m_entries = std::move(*listed);
    m_entryTable->setRowCount(int(m_entries.size()));
    for (int r = 0; r < int(m_entries.size()); ++r) {
        const ParamHistory::Listed& l = m_entries[std::size_t(r)];
        QStringList changed;
        for (const FieldDifference& d : l.changes) changed << qs(d.field->name);
        const HistoryEntry& e = l.entry;
        setRow(
            m_entryTable, r,
            {localTime(e.time), label(historyText::kKinds[std::size_t(e.kind)]), qs(e.imei),
             qs(e.model), qs(e.firmwareVersion), qs(e.result), changed.join(QStringLiteral(", "))});
    }
    m_entryTable->resizeColumnsToContents();
    m_note->clear();
    if (!m_entries.empty()) m_entryTable->selectRow(0);
    showSelected();
}

void HistoryDialog::showSelected() {
    m_differenceTable->clearContents();
    m_differenceTable->setRowCount(0);
    m_selected.reset();
    const auto rows = m_entryTable->selectionModel()->selectedRows();
    m_load->setEnabled(false);
    if (rows.isEmpty()) return;
    const HistoryEntry& e = m_entries[std::size_t(rows.front().row())].entry;
    QString error;
    auto stored = m_history.entry(e.id, error);
    if (!stored) {
        m_note->setText(m_history.describe() + QStringLiteral(": ") + error);
        return;
    }
    if (!stored->params) {
        m_note->setText(label(historyText::kNoRecordKept));
        return;
    }
    m_selected = std::move(stored->params);
    m_load->setEnabled(true);
    const auto differences = historyChanges(m_selected, m_formRecord());
    m_note->setText(differences.empty() ? label(historyText::kSameAsForm) : QString());
    m_differenceTable->setRowCount(int(differences.size()));
    for (int r = 0; r < int(differences.size()); ++r) {
        const FieldDifference& d = differences[std::size_t(r)];
        setRow(m_differenceTable, r, {qs(d.field->name), qs(d.before), qs(d.after)});
    }
    m_differenceTable->resizeColumnsToContents();
}

}  // namespace dtu
