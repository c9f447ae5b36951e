#include "input_upload_dialog.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

#include "form_widgets.h"
#include "message_box.h"
#include "rtu/rtu_texts.h"
#include "session.h"
#include "swatch_combo.h"

namespace dtu {

using form::named;
using form::qs;

namespace {

QString label(FormLabel l, Language lang) {
    return qs(inLanguage(l, lang));
}

QFrame* divider() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// Wide enough to show a whole SMS text without scrolling: its bytes as capital letters of
// the font's average capital width (half as many Chinese characters take less).
int smsEditWidth(const QLineEdit* edit) {
    const QString capitals = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const QFontMetrics metrics = edit->fontMetrics();
    const int letters = static_cast<int>(capitals.size());
    const int text =
        (metrics.horizontalAdvance(capitals) * static_cast<int>(kSmsMaxBytes) + letters - 1) /
        letters;
    QStyleOptionFrame opt;
    opt.initFrom(edit);
    opt.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit);
    // The edit keeps two pixels either side of its text.
    return edit->style()
        ->sizeFromContents(QStyle::CT_LineEdit, &opt, QSize(text + 4, metrics.height()), edit)
        .width();
}

}  // namespace

InputUploadDialog::InputUploadDialog(Session& session, QWidget* parent)
    : QDialog(parent), m_session(session), m_lang(session.language()) {
    setObjectName(QStringLiteral("inputUploadDialog"));
    setWindowTitle(label(rtuText::kUploadTitle, m_lang));

    auto* buttons = form::closingRow(this, m_lang, form::Closing::OkCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildInputs());
    layout->addWidget(buildChannel(1, m_adc1));
    layout->addWidget(buildChannel(2, m_adc2));
    layout->addWidget(buildFormat());
    m_sms = buildSms();
    layout->addWidget(m_sms);
    layout->addLayout(buttons);

    InputUploadForm values;
    values.open(session.params());
    showForm(values);
    followFormat(values.format);
    connect(m_format, &QComboBox::currentIndexChanged, this, &InputUploadDialog::followFormat);
}

QWidget* InputUploadDialog::buildInputs() {
    auto* box = new QWidget;
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    m_inputsEnable = named(new QCheckBox(label(rtuText::kInputs, m_lang)), "inputsEnable");
    grid->addWidget(m_inputsEnable, 0, 0);
    for (int i = 0; i < kRtuInputs; ++i) {
        auto* list = new SwatchCombo;
        list->setObjectName(QStringLiteral("triggerX%1").arg(i + 1));
        QStringList entries;
        for (int t = 0; t < kInputTriggerCount; ++t)
            entries << QString::fromStdString(inputTriggerText(i, t, m_lang));
        list->setEntries(entries);
        m_triggers[i] = list;
        grid->addWidget(list, i / 4, 1 + i % 4);
    }
    auto* clone = named(new QPushButton(label(rtuText::kClone, m_lang)), "cloneTriggers");
    clone->setAutoDefault(false);
    connect(clone, &QPushButton::clicked, this, [this] {
        InputUploadForm f = form();
        f.cloneInputs();
        showForm(f);
    });
    grid->addWidget(clone, 0, 5);
    grid->setColumnStretch(6, 1);
    return box;
}

QWidget* InputUploadDialog::buildChannel(int channel, ChannelRow& row) {
    const QString prefix = QStringLiteral("adc%1").arg(channel);
    auto* box = new QWidget;
    auto* line = new QHBoxLayout(box);
    line->setContentsMargins(0, 0, 0, 0);
    row.enable = named(new QCheckBox(QStringLiteral("ADC%1").arg(channel)),
                       qPrintable(prefix + QStringLiteral("Enable")));
    row.enable->setMinimumWidth(64);
    row.range = named(new QComboBox, qPrintable(prefix + QStringLiteral("Range")));
    for (const FormLabel& r : rtuText::kRanges) row.range->addItem(label(r, m_lang));
    // Wide enough for the six decimals of a ranged value.
    row.value1 = form::numberEdit(qPrintable(prefix + QStringLiteral("Value1")), 90);
    row.value2 = form::numberEdit(qPrintable(prefix + QStringLiteral("Value2")), 90);
    row.condition = named(new QComboBox, qPrintable(prefix + QStringLiteral("Condition")));
    for (const FormLabel& c : rtuText::kUploadConditions) row.condition->addItem(label(c, m_lang));
    line->addWidget(row.enable);
    line->addWidget(row.range);
    line->addSpacing(8);
    line->addWidget(new QLabel(label(rtuText::kValue1, m_lang)));
    line->addWidget(row.value1);
    line->addWidget(new QLabel(label(rtuText::kValue2, m_lang)));
    line->addWidget(row.value2);
    line->addSpacing(8);
    line->addWidget(new QLabel(label(rtuText::kUploadCondition, m_lang)));
    line->addWidget(row.condition);
    line->addStretch(1);
    return box;
}

QWidget* InputUploadDialog::buildFormat() {
    auto* box = new QWidget;
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    m_timedEnable = named(new QCheckBox(label(rtuText::kTimedUpload, m_lang)), "timedEnable");
    m_timedInterval = form::numberEdit("timedInterval");
    auto* timed = new QHBoxLayout;
    timed->addWidget(m_timedEnable);
    timed->addWidget(m_timedInterval);
    timed->addWidget(new QLabel(QStringLiteral("s")));
    timed->addStretch(1);
    grid->addLayout(timed, 0, 0, 1, 2);

    m_format = named(new QComboBox, "format");
    for (const FormLabel& f : rtuText::kFormats) m_format->addItem(label(f, m_lang));
    grid->addWidget(new QLabel(label(rtuText::kFormat, m_lang)), 1, 0);
    grid->addWidget(m_format, 1, 1, Qt::AlignLeft);

    static const char* const kContentNames[] = {"contentInputs", "contentOutputs", "contentAdc",
                                                "contentCounts"};
    auto* content = new QHBoxLayout;
    for (int b = 0; b < kUploadContentBits; ++b) {
        m_content[b] =
            named(new QCheckBox(label(rtuText::kContentBits[b], m_lang)), kContentNames[b]);
        content->addWidget(m_content[b]);
    }
    content->addStretch(1);
    grid->addWidget(new QLabel(label(rtuText::kContent, m_lang)), 2, 0);
    grid->addLayout(content, 2, 1);
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* InputUploadDialog::buildSms() {
    auto* box = named(new QWidget, "smsSection");
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* grid = new QGridLayout;
    const QString low = label(rtuText::kLowSms, m_lang);
    for (int source = 0; source < kRtuInputs + 2; ++source) {
        const QString name = source < kRtuInputs
                                 ? QStringLiteral("X%1   ").arg(source + 1)
                                 : QStringLiteral("ADC%1  ").arg(source - kRtuInputs + 1);
        const QString key = name.trimmed();
        for (int level = 0; level < 2; ++level) {
            auto* e = form::edit(qPrintable(QStringLiteral("sms%1%2").arg(
                key, level == 0 ? QStringLiteral("High") : QStringLiteral("Low"))));
            e->setMinimumWidth(smsEditWidth(e));
            m_smsTexts[static_cast<std::size_t>(2 * source + level)] = e;
            grid->addWidget(new QLabel(level == 0 ? name + label(rtuText::kHighSms, m_lang) : low),
                            source, 2 * level);
            grid->addWidget(e, source, 2 * level + 1);
        }
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    layout->addWidget(divider());
    layout->addLayout(grid);
    layout->addWidget(new QLabel(label(rtuText::kSmsNote, m_lang)));
    layout->addWidget(divider());
    return box;
}

void InputUploadDialog::followFormat(int format) {
    m_sms->setVisible(showsSmsTexts(format));
    if (!isVisible()) return;  // it opens at the size of its content
    // The form shrinks or grows to its content; the width stays as the user left it.
    layout()->activate();
    resize(width(), sizeHint().height());
}

InputUploadForm InputUploadDialog::form() const {
    InputUploadForm f;
    f.inputsEnable = m_inputsEnable->isChecked();
    for (int i = 0; i < kRtuInputs; ++i) f.inputTriggers[i] = m_triggers[i]->currentIndex();
    for (auto [w, c] : {std::pair{&m_adc1, &f.adc1}, std::pair{&m_adc2, &f.adc2}}) {
        c->enable = w->enable->isChecked();
        c->range = w->range->currentIndex();
        c->value1 = form::utf8(w->value1);
        c->value2 = form::utf8(w->value2);
        c->condition = w->condition->currentIndex();
    }
    f.timedEnable = m_timedEnable->isChecked();
    f.timedInterval = form::utf8(m_timedInterval);
    f.format = m_format->currentIndex();
    for (int b = 0; b < kUploadContentBits; ++b) f.content[b] = m_content[b]->isChecked();
    for (std::size_t i = 0; i < m_smsTexts.size(); ++i) f.smsTexts[i] = form::utf8(m_smsTexts[i]);
    return f;
}

void InputUploadDialog::showForm(const InputUploadForm& f) {
    m_inputsEnable->setChecked(f.inputsEnable);
    for (int i = 0; i < kRtuInputs; ++i) form::setCombo(m_triggers[i], f.inputTriggers[i]);
    for (auto [w, c] : {std::pair{&m_adc1, &f.adc1}, std::pair{&m_adc2, &f.adc2}}) {
        w->enable->setChecked(c->enable);
        form::setCombo(w->range, c->range);
        form::put(w->value1, c->value1);
        form::put(w->value2, c->value2);
        form::setCombo(w->condition, c->condition);
    }
    m_timedEnable->setChecked(f.timedEnable);
    form::put(m_timedInterval, f.timedInterval);
    form::setCombo(m_format, f.format);
    for (int b = 0; b < kUploadContentBits; ++b) m_content[b]->setChecked(f.content[b]);
    for (std::size_t i = 0; i < m_smsTexts.size(); ++i) form::put(m_smsTexts[i], f.smsTexts[i]);
}

void InputUploadDialog::accept() {
    if (const auto refusal = form().accept(m_session.params(), m_lang)) {
        showMessage(this, qs(*refusal));
        return;
    }
    QDialog::accept();
}

}  // namespace dtu
