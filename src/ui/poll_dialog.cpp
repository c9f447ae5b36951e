#include "poll_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <span>
#include <vector>

#include "click_label.h"
#include "file_io.h"
#include "form_widgets.h"
#include "message_box.h"
#include "rtu/poll_csv.h"
#include "rtu/upload_format.h"
#include "session.h"

namespace dtu {

using form::named;
using form::numberEdit;
using form::put;
using form::qs;
using form::setCombo;
using form::text;
using form::utf8;

namespace {

QString text(const PollText& t, Language lang) {
    return qs(t.text(lang));
}

// The type cell is edited with a drop-down of the type names in the window's language.
// Picking an entry ends the edit.
class TypeDelegate : public QStyledItemDelegate {
public:
    TypeDelegate(Language lang, QObject* parent) : QStyledItemDelegate(parent), m_lang(lang) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* combo = named(new QComboBox(parent), "typeEditor");
        for (std::size_t i = 0; i < kModbusDataTypes.size(); ++i)
            combo->addItem(qs(dataTypeText(static_cast<std::uint8_t>(i), m_lang)));
        auto* self = const_cast<TypeDelegate*>(this);
        connect(combo, &QComboBox::activated, self, [self, combo] {
            emit self->commitData(combo);
            emit self->closeEditor(combo);
        });
        return combo;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* combo = static_cast<QComboBox*>(editor);
        combo->setCurrentIndex(dataTypeFromText(index.data().toString().toStdString()));
        // The list opens as the edit starts, once the drop-down stands over its cell.
        QTimer::singleShot(0, combo, [combo] {
            if (combo->isVisible()) combo->showPopup();
        });
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        const int i = static_cast<QComboBox*>(editor)->currentIndex();
        model->setData(index, qs(dataTypeText(static_cast<std::uint8_t>(i < 0 ? 0 : i), m_lang)));
    }

private:
    Language m_lang;
};

// The table's widest: with the form's margins it stays inside a 1280-pixel screen.
constexpr int kWidestTable = 1200;

// Each column as wide as its usual width, never narrower than its header (the type column
// than its longest type name). When the columns side by side would be wider than the table may
// be, the room above those least widths is taken from every column in proportion.
std::vector<int> columnWidths(const QStringList& headers, const QTableWidget* table) {
    const QFontMetrics header(table->horizontalHeader()->font());
    const QFontMetrics cell(table->font());
    std::vector<int> least;
    std::vector<int> want;
    int total = 2 * table->frameWidth() + table->verticalScrollBar()->sizeHint().width();
    int slack = 0;
    for (int c = 0; c < kPollColumnCount; ++c) {
        int l = header.horizontalAdvance(headers[c]) + 16;
        if (c == kPollType)
            for (const ModbusDataType& t : kModbusDataTypes)
                l = std::max(l, cell.horizontalAdvance(qs(t.chinese)) + 16);
        least.push_back(l);
        want.push_back(std::max(kPollColumns[static_cast<std::size_t>(c)].width, l));
        total += want.back();
        slack += want.back() - l;
    }
    const int excess = std::min(total - kWidestTable, slack);
    if (excess > 0)
        for (std::size_t c = 0; c < want.size(); ++c)
            want[c] -= ((want[c] - least[c]) * excess + slack - 1) / slack;  // rounded up
    return want;
}

QComboBox* choiceCombo(const char* name, std::span<const ChoiceText> choices, Language lang) {
    auto* combo = named(new QComboBox, name);
    for (const ChoiceText& c : choices) combo->addItem(qs(c.text(lang)));
    return combo;
}

QPushButton* button(const QString& label, const char* name) {
    auto* b = named(new QPushButton(label), name);
    // Enter ends an edit in this form; it never presses a button.
    b->setAutoDefault(false);
    return b;
}

// A label, its edit and the edit's unit, side by side.
QWidget* field(const QString& label, QLineEdit* edit, const char* unit) {
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(label));
    row->addWidget(edit);
    if (unit) row->addWidget(new QLabel(QString::fromLatin1(unit)));
    return box;
}

}  // namespace

PollDialog::PollDialog(Session& session, int& utf8Names, QWidget* parent)
    : QDialog(parent),
      m_session(session),
      m_lang(session.language()),
      m_utf8NamesSetting(utf8Names) {
    setObjectName(QStringLiteral("pollDialog"));
    setWindowTitle(text(kPollFormTitle, m_lang));

    // The grid.
    m_table = named(new QTableWidget(0, kPollColumnCount), "pollTable");
    QStringList headers;
    for (int c = 0; c < kPollColumnCount; ++c) headers << qs(pollColumnHeader(c, m_lang));
    m_table->setHorizontalHeaderLabels(headers);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_table->setItemDelegateForColumn(kPollType, new TypeDelegate(m_lang, m_table));
    const std::vector<int> widths = columnWidths(headers, m_table);
    for (int c = 0; c < kPollColumnCount; ++c)
        m_table->setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
    // The selected row keeps its colour while the focus is elsewhere.
    QPalette palette = m_table->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Highlight, QColor(0x33, 0x99, 0xFF));
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
    }
    m_table->setPalette(palette);
    // Wide enough for every column side by side.
    int width = 2 * m_table->frameWidth() + m_table->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < kPollColumnCount; ++c) width += m_table->columnWidth(c);
    m_table->setMinimumSize(width, 260);
    connect(m_table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_rendering) commitCell(item->row(), item->column(), item->text());
    });

    auto* add = button(text(m_lang, kTextAdd), "addButton");
    connect(add, &QPushButton::clicked, this, &PollDialog::addEntry);
    auto* remove = button(text(m_lang, kTextDelete), "deleteButton");
    connect(remove, &QPushButton::clicked, this, &PollDialog::deleteEntry);
    auto* exportButton = button(text(kExportCsvLabel, m_lang), "exportCsvButton");
    connect(exportButton, &QPushButton::clicked, this, &PollDialog::exportWithDialog);
    auto* importButton = button(text(kImportCsvLabel, m_lang), "importCsvButton");
    connect(importButton, &QPushButton::clicked, this, &PollDialog::importWithDialog);
    // How much of the one save frame the table leaves, so a full one shows before OK.
    m_frameUse = named(new QLabel, "frameUse");
    auto* gridButtons = new QHBoxLayout;
    gridButtons->addWidget(add);
    gridButtons->addWidget(remove);
    gridButtons->addSpacing(14);
    gridButtons->addWidget(m_frameUse);
    gridButtons->addStretch(1);
    gridButtons->addWidget(exportButton);
    gridButtons->addWidget(importButton);

    // Polling.
    m_timeout = numberEdit("timeout");
    m_pollInterval = numberEdit("pollInterval");
    m_commandDelay = numberEdit("commandDelay");
    m_mapStart = numberEdit("mapStart", 90);  // an address of up to ten digits
    m_mapStart->setEnabled(false);
    m_relayFollow = choiceCombo("relayFollow", kRelayFollows, m_lang);
    m_timeoutAction = choiceCombo("timeoutAction", kTimeoutActions, m_lang);
    m_utf8Names = named(new QCheckBox(text(kUtf8NamesLabel, m_lang)), "utf8Names");
    connect(m_utf8Names, &QCheckBox::toggled, this, [this](bool on) {
        // A choice of the PC, kept at once, also when the form is cancelled.
        m_utf8NamesSetting = on ? 1 : 0;
        m_form.utf8Names = on;
        showFrameUse();
    });
    // Rows of controls side by side, each as wide as it needs.
    auto row = [](std::initializer_list<QWidget*> widgets) {
        auto* r = new QHBoxLayout;
        r->setSpacing(14);
        for (QWidget* w : widgets) r->addWidget(w);
        r->addStretch(1);
        return r;
    };
    auto* polling = new QVBoxLayout;
    polling->addLayout(row({field(text(m_lang, kTextTimeout), m_timeout, "s"),
                            field(text(m_lang, kTextPollInterval), m_pollInterval, "s"),
                            field(text(m_lang, kTextCommandDelay), m_commandDelay, "ms"),
                            field(text(kMapStartLabel, m_lang), m_mapStart, nullptr)}));
    polling->addLayout(row({m_relayFollow, m_timeoutAction, m_utf8Names}));

    // Upload.
    m_uploadInterval = numberEdit("uploadInterval");
    m_uploadFormat = choiceCombo("uploadFormat", kUploadFormats, m_lang);
    m_changeUpload = choiceCombo("changeUpload", kChangeUploads, m_lang);
    m_timestamp = named(new QCheckBox(text(kTimestampLabel, m_lang)), "timestamp");
    m_jsonArray = named(new QCheckBox(text(kJsonArrayLabel, m_lang)), "jsonArray");
    connect(m_uploadFormat, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_timestamp->setEnabled(index == kTimestampFormat); });
    m_prefix = named(new QLineEdit, "prefix");
    m_prefix->setMinimumWidth(360);
    connect(m_prefix, &QLineEdit::textChanged, this, &PollDialog::showFrameUse);
    auto* help = named(new ClickLabel(ClickLabel::Style::Link), "prefixHelp");
    help->setText(text(kHelpLink, m_lang));
    connect(help, &ClickLabel::clicked, this, [this] {
        showMessage(this, form::text(kUploadPrefixHelp, m_lang)
                              .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    });
    auto* upload = new QVBoxLayout;
    upload->addLayout(row({field(text(m_lang, kTextTimedUpload), m_uploadInterval, "s"),
                           new QLabel(text(m_lang, kTextUploadType)), m_uploadFormat,
                           new QLabel(text(kChangeUploadLabel, m_lang)), m_changeUpload,
                           m_timestamp, m_jsonArray}));
    auto* prefix = new QHBoxLayout;
    prefix->addWidget(new QLabel(text(kPrefixLabel, m_lang)));
    prefix->addWidget(m_prefix, 1);
    prefix->addWidget(help);
    upload->addLayout(prefix);

    auto* ok = button(text(m_lang, kTextOk), "okButton");
    connect(ok, &QPushButton::clicked, this, &PollDialog::accept);
    auto* cancel = button(text(m_lang, kTextCancel), "cancelButton");
    connect(cancel, &QPushButton::clicked, this, &PollDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(gridButtons);
    layout->addLayout(polling);
    layout->addLayout(upload);
    layout->addLayout(buttons);

    PollForm values;
    values.open(session.params(), utf8Names == 1);
    showForm(values);
}

PollForm PollDialog::form() const {
    PollForm f = m_form;
    f.timeout = utf8(m_timeout);
    f.pollInterval = utf8(m_pollInterval);
    f.commandDelay = utf8(m_commandDelay);
    f.mapStart = utf8(m_mapStart);
    f.relayFollow = m_relayFollow->currentIndex();
    f.timeoutAction = m_timeoutAction->currentIndex();
    f.utf8Names = m_utf8Names->isChecked();
    f.uploadInterval = utf8(m_uploadInterval);
    f.uploadFormat = m_uploadFormat->currentIndex();
    f.changeUpload = m_changeUpload->currentIndex();
    f.timestamp = m_timestamp->isChecked();
    f.jsonArray = m_jsonArray->isChecked();
    f.prefix = utf8(m_prefix);
    return f;
}

void PollDialog::showForm(const PollForm& f) {
    m_form = f;
    put(m_timeout, f.timeout);
    put(m_pollInterval, f.pollInterval);
    put(m_commandDelay, f.commandDelay);
    put(m_mapStart, f.mapStart);
    setCombo(m_relayFollow, f.relayFollow);
    setCombo(m_timeoutAction, f.timeoutAction);
    {
        const QSignalBlocker quiet(m_utf8Names);  // showing is no click
        m_utf8Names->setChecked(f.utf8Names);
    }
    put(m_uploadInterval, f.uploadInterval);
    setCombo(m_uploadFormat, f.uploadFormat);
    setCombo(m_changeUpload, f.changeUpload);
    m_timestamp->setChecked(f.timestamp);
    m_timestamp->setEnabled(f.timestampEnabled());
    m_jsonArray->setChecked(f.jsonArray);
    put(m_prefix, f.prefix);
    renderRows();
}

void PollDialog::renderRows() {
    m_rendering = true;
    const PollTable& t = m_form.table;
    m_table->setRowCount(static_cast<int>(t.size()));
    for (int r = 0; r < m_table->rowCount(); ++r) {
        for (int c = 0; c < kPollColumnCount; ++c) {
            QTableWidgetItem* item = m_table->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                if (!isPollColumnEditable(c)) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
                m_table->setItem(r, c, item);
            }
            item->setText(qs(t.cellText(static_cast<std::size_t>(r), c, m_lang)));
        }
    }
    m_rendering = false;
    showFrameUse();
}

void PollDialog::showFrameUse() {
    // Built while the constructor still lays out the form: nothing to count yet.
    if (!m_prefix || !m_utf8Names) return;
    const auto bytes = form().saveFrameBytes(m_session.flow().lock());
    m_frameUse->setText(bytes ? qs(saveFrameUseText(*bytes, m_lang)) : QString());
}

void PollDialog::commitCell(int row, int column, const QString& typed) {
    const auto refusal = m_form.table.setCell(static_cast<std::size_t>(row), column,
                                              typed.toStdString(), m_form.nameEncoding(), m_lang);
    // Every cell again: a count or function changes the cache addresses below it.
    renderRows();
    if (refusal) showMessage(this, qs(*refusal));
}

void PollDialog::addEntry() {
    if (const auto refusal = m_form.table.add()) {
        showMessage(this, qs(*refusal));
        return;
    }
    renderRows();
    const int last = m_table->rowCount() - 1;
    m_table->selectRow(last);
    m_table->scrollToItem(m_table->item(last, 0));
}

void PollDialog::deleteEntry() {
    // The row last selected; a current cell alone (the keyboard's) is no selection.
    const QModelIndexList selected = m_table->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    const int row = selected.front().row();
    if (!m_form.table.remove(static_cast<std::size_t>(row))) return;
    renderRows();
    if (row < m_table->rowCount()) m_table->selectRow(row);
}

bool PollDialog::exportCsv(const QString& path) {
    const PollForm f = form();
    const PollCsvWrite csv = writePollCsv(f.table, f.nameEncoding());
    if (csv.badRow) {
        showMessage(this, qs(pollCsvWriteErrorText(csv, f.nameEncoding(), m_lang)));
        return false;
    }
    std::string error;
    const auto bytes =
        std::span(reinterpret_cast<const std::uint8_t*>(csv.csv.data()), csv.csv.size());
    if (!writeFileAtomic(path.toStdString(), bytes, error)) {
        showMessage(this, QString::fromStdString(error));
        return false;
    }
    showMessage(this, QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    return true;
}

bool PollDialog::importCsv(const QString& path) {
    std::string error;
    const auto bytes = readFile(path.toStdString(), error, kMaxPollCsvBytes);
    if (!bytes) {
        showMessage(this, QString::fromStdString(error));
        return false;
    }
    const PollCsvRead read =
        readPollCsv(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                    m_form.nameEncoding());
    if (!read.table) {
        showMessage(this, QFileInfo(path).fileName() + QStringLiteral(": ") +
                              qs(pollCsvErrorText(read.error, m_form.nameEncoding(), m_lang)));
        return false;
    }
    m_form.table = *read.table;
    renderRows();
    if (read.readAsGbk)
        showMessage(this, QFileInfo(path).fileName() + QStringLiteral(": ") +
                              qs(pollCsvReadAsGbkText(m_lang)));
    return true;
}

void PollDialog::exportWithDialog() {
    const QString path = QFileDialog::getSaveFileName(this, text(kExportCsvLabel, m_lang),
                                                      QStringLiteral("modbus-poll.csv"),
                                                      QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty()) exportCsv(path);
}

void PollDialog::importWithDialog() {
    const QString path = QFileDialog::getOpenFileName(this, text(kImportCsvLabel, m_lang),
                                                      QString(), QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty()) importCsv(path);
}

void PollDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_table->setFocus();
        return;
    }
    QDialog::keyPressEvent(event);
}

void PollDialog::accept() {
    if (const auto refusal = form().accept(m_session.params(), m_lang, m_session.flow().lock())) {
        showMessage(this, qs(*refusal));
        return;
    }
    QDialog::accept();
}

}  // namespace dtu
