#include "rtu_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "click_label.h"
#include "form_widgets.h"
#include "input_upload_dialog.h"
#include "io_picture.h"
#include "message_box.h"
#include "output_rules_dialog.h"
#include "rtu/rtu_texts.h"
#include "rtu_panel_driver.h"
#include "session.h"

namespace dtu {

using form::named;
using form::qs;

namespace {

// The live values are green; the groups' titles a green of their own.
const QString kValueStyle = QStringLiteral("color: rgb(0,128,0);");
const QString kTitleStyle = QStringLiteral("QGroupBox::title { color: rgb(0,128,33); }");

QString label(FormLabel l, Language lang) {
    return qs(inLanguage(l, lang));
}

QLabel* valueLabel(const QString& name, const QString& text) {
    auto* l = new QLabel(text);
    l->setObjectName(name);
    l->setStyleSheet(kValueStyle);
    return l;
}

QLabel* centred(const QString& text) {
    auto* l = new QLabel(text);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

}  // namespace

RtuDialog::RtuDialog(Session& session, QWidget* parent)
    : QDialog(parent),
      m_session(session),
      m_lang(session.language()),
      m_driver(new RtuPanelDriver(session, this)) {
    setObjectName(QStringLiteral("rtuDialog"));
    setWindowTitle(qs(rtuText::kRtuTitle));

    auto* columns = new QHBoxLayout;
    columns->addWidget(buildTest(), 3);
    columns->addWidget(buildSettings(), 2);

    auto* buttons = form::closingRow(this, m_lang, form::Closing::OkCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(buttons);

    RtuSettingsForm values;
    values.open(session.params());
    showForm(values);

    connect(m_driver, &RtuPanelDriver::viewUpdated, this, &RtuDialog::showView);
    connect(m_driver, &RtuPanelDriver::messageRequested, this,
            [this](const QString& text) { showMessage(this, text); });
    m_driver->panel().open();
}

QWidget* RtuDialog::buildTest() {
    RtuPanel& panel = m_driver->panel();
    auto* group = named(new QGroupBox(label(rtuText::kTest, m_lang)), "testGroup");
    group->setStyleSheet(kTitleStyle);

    auto* pictures = new QGridLayout;
    for (int i = 0; i < kRtuInputs; ++i) {
        const QString n = QString::number(i + 1);
        m_inputs[i] = new IoPicture(IoPicture::Kind::Input);
        m_inputs[i]->setObjectName(QStringLiteral("inputX") + n);
        m_inputs[i]->setAccessibleName(QStringLiteral("X") + n);
        connect(m_inputs[i], &IoPicture::clicked, this, [&panel, i] { panel.clickInput(i); });
        m_relays[i] = new IoPicture(IoPicture::Kind::Relay);
        m_relays[i]->setObjectName(QStringLiteral("relayY") + n);
        m_relays[i]->setAccessibleName(QStringLiteral("Y") + n);
        connect(m_relays[i], &IoPicture::clicked, this, [&panel, i] { panel.clickRelay(i); });
        pictures->addWidget(centred(QStringLiteral("X") + n), 0, i);
        pictures->addWidget(m_inputs[i], 1, i);
        pictures->addWidget(centred(QStringLiteral("Y") + n), 2, i);
        pictures->addWidget(m_relays[i], 3, i);
    }
    pictures->setRowMinimumHeight(2, 28);  // a gap between inputs and relays

    m_autoRefresh = named(new QCheckBox(label(rtuText::kAutoRefresh, m_lang)), "autoRefresh");
    connect(m_autoRefresh, &QCheckBox::toggled, this,
            [&panel](bool on) { panel.setAutoRefresh(on); });

    // Analogue inputs: readings, display mode and the service buttons.
    auto* analogGroup = new QGroupBox(label(rtuText::kAnalogGroup, m_lang));
    auto* analog = new QGridLayout(analogGroup);
    m_analog1 = valueLabel(QStringLiteral("analog1"), QStringLiteral("0.0"));
    m_analog2 = valueLabel(QStringLiteral("analog2"), QStringLiteral("0.0"));
    for (QLabel* reading : {m_analog1, m_analog2}) reading->setMinimumWidth(110);
    m_analogMode = named(new QComboBox, "analogMode");
    for (std::string_view mode : rtuText::kAnalogModes) m_analogMode->addItem(qs(mode));
    connect(m_analogMode, &QComboBox::currentIndexChanged, this,
            [&panel](int mode) { panel.setDisplayMode(mode); });
    m_calibrate = named(new QPushButton(label(rtuText::kCalibrate, m_lang)), "calibrate");
    connect(m_calibrate, &QPushButton::clicked, this, [&panel] { panel.calibrate(); });
    m_viewCoefficients =
        named(new QPushButton(label(rtuText::kViewCoefficients, m_lang)), "viewCoefficients");
    connect(m_viewCoefficients, &QPushButton::clicked, this,
            [this, &panel] { showMessage(this, qs(panel.coefficientsText())); });
    analog->addWidget(new QLabel(QStringLiteral("A1")), 0, 0);
    analog->addWidget(m_analog1, 0, 1);
    analog->addWidget(new QLabel(QStringLiteral("A2")), 1, 0);
    analog->addWidget(m_analog2, 1, 1);
    analog->addWidget(m_analogMode, 2, 0, 1, 2);
    auto* service = new QHBoxLayout;
    service->addWidget(m_calibrate);
    service->addWidget(m_viewCoefficients);
    analog->addLayout(service, 3, 0, 1, 2);
    analog->setColumnStretch(1, 1);

    // The pulse counters of the inputs.
    auto* countGroup = named(new QGroupBox(label(rtuText::kCount, m_lang)), "countGroup");
    auto* counts = new QGridLayout(countGroup);
    for (int i = 0; i < kRtuInputs; ++i) {
        const QString n = QString::number(i + 1);
        m_counters[i] = valueLabel(QStringLiteral("counterX") + n, QStringLiteral("0"));
        m_counters[i]->setMinimumWidth(56);
        const int row = i % 4, column = 2 * (i / 4);
        counts->addWidget(new QLabel(QStringLiteral("X") + n), row, column);
        counts->addWidget(m_counters[i], row, column + 1);
    }
    m_clearCounters = named(new ClickLabel(ClickLabel::Style::Link), "clearCounters");
    m_clearCounters->setText(label(rtuText::kClearCounters, m_lang));
    connect(m_clearCounters, &ClickLabel::clicked, this, [&panel] { panel.clearCounters(); });
    counts->addWidget(m_clearCounters, 4, 3, Qt::AlignRight);
    counts->setColumnStretch(1, 1);
    counts->setColumnStretch(3, 1);

    auto* lower = new QHBoxLayout;
    lower->addWidget(analogGroup, 1);
    lower->addWidget(countGroup, 1);

    auto* layout = new QVBoxLayout(group);
    layout->addLayout(pictures);
    layout->addWidget(m_autoRefresh);
    layout->addLayout(lower);
    layout->addStretch(1);
    return group;
}

QWidget* RtuDialog::buildSettings() {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* group = named(new QGroupBox(label(rtuText::kSettings, m_lang)), "settingsGroup");
    group->setStyleSheet(kTitleStyle);
    auto* grid = new QGridLayout(group);
    m_address = form::numberEdit("address");
    m_debounce = form::numberEdit("debounce");
    grid->addWidget(new QLabel(label(rtuText::kAddress, m_lang)), 0, 0);
    grid->addWidget(m_address, 0, 1);
    grid->addWidget(new QLabel(label(rtuText::kDebounce, m_lang)), 1, 0);
    grid->addWidget(m_debounce, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("ms")), 1, 2);

    m_linkage = named(new QCheckBox(label(rtuText::kLinkage, m_lang)), "linkage");
    auto* linkageRules = named(new ClickLabel(ClickLabel::Style::Link), "linkageRules");
    linkageRules->setText(label(rtuText::kLinkageRules, m_lang));
    connect(linkageRules, &ClickLabel::clicked, this, &RtuDialog::openOutputRules);
    grid->addWidget(m_linkage, 2, 0);
    grid->addWidget(linkageRules, 2, 1, 1, 2);
    m_report = named(new QCheckBox(label(rtuText::kReport, m_lang)), "report");
    auto* reportRules = named(new ClickLabel(ClickLabel::Style::Link), "reportRules");
    reportRules->setText(label(rtuText::kReportRules, m_lang));
    connect(reportRules, &ClickLabel::clicked, this, &RtuDialog::openInputUpload);
    grid->addWidget(m_report, 3, 0);
    grid->addWidget(reportRules, 3, 1, 1, 2);

    m_powerOffSave = named(new QComboBox, "powerOffSave");
    for (FormLabel mode : rtuText::kPowerOffModes) m_powerOffSave->addItem(label(mode, m_lang));
    auto* help = named(new ClickLabel(ClickLabel::Style::Link), "powerOffHelp");
    help->setText(label(rtuText::kHelpMark, m_lang));
    connect(help, &ClickLabel::clicked, this,
            [this] { showMessage(this, label(rtuText::kPowerOffHelp, m_lang)); });
    grid->addWidget(new QLabel(label(rtuText::kPowerOffSave, m_lang)), 4, 0, 1, 3);
    auto* powerOff = new QHBoxLayout;
    powerOff->addWidget(m_powerOffSave, 1);
    powerOff->addWidget(help);
    grid->addLayout(powerOff, 5, 0, 1, 3);
    grid->setColumnStretch(2, 1);

    auto* powerOnGroup = new QGroupBox(label(rtuText::kPowerOnRelays, m_lang));
    auto* powerOn = new QGridLayout(powerOnGroup);
    for (int i = 0; i < kRtuRelays; ++i) {
        const QString n = QString::number(i + 1);
        m_powerOn[i] = new QCheckBox(QStringLiteral("Y") + n);
        m_powerOn[i]->setObjectName(QStringLiteral("powerOnY") + n);
        powerOn->addWidget(m_powerOn[i], i / 4, i % 4);
    }

    layout->addWidget(group);
    layout->addWidget(powerOnGroup);
    layout->addStretch(1);
    return column;
}

RtuSettingsForm RtuDialog::form() const {
    RtuSettingsForm f;
    f.address = form::utf8(m_address);
    f.debounceMs = form::utf8(m_debounce);
    f.linkage = m_linkage->isChecked();
    f.report = m_report->isChecked();
    f.powerOffSave = m_powerOffSave->currentIndex();
    for (int i = 0; i < kRtuRelays; ++i) f.powerOnRelays[i] = m_powerOn[i]->isChecked();
    return f;
}

void RtuDialog::showForm(const RtuSettingsForm& f) {
    form::put(m_address, f.address);
    form::put(m_debounce, f.debounceMs);
    m_linkage->setChecked(f.linkage);
    m_report->setChecked(f.report);
    form::setCombo(m_powerOffSave, f.powerOffSave);
    for (int i = 0; i < kRtuRelays; ++i) m_powerOn[i]->setChecked(f.powerOnRelays[i]);
}

void RtuDialog::showView() {
    const RtuPanelView& v = m_driver->panel().view();
    for (int i = 0; i < kRtuInputs; ++i) m_inputs[i]->setOn(v.inputActive[i]);
    for (int i = 0; i < kRtuRelays; ++i) {
        IoPicture* relay = m_relays[i];
        relay->setOn(v.relayClosed[i]);
        // Qt hands the focus of a widget it disables on to the next one (the input beside it);
        // the relay takes it back once its click has gone out.
        if (!v.relayEnabled[i] && focusWidget() == relay) m_relayWithFocus = i;
        relay->setEnabled(v.relayEnabled[i]);
        if (v.relayEnabled[i] && m_relayWithFocus == i) {
            m_relayWithFocus = -1;
            relay->setFocus(Qt::OtherFocusReason);
        }
    }
    m_analog1->setText(qs(v.analog1));
    m_analog2->setText(qs(v.analog2));
    for (int i = 0; i < kRtuInputs; ++i) m_counters[i]->setText(qs(v.counters[i]));
    m_calibrate->setVisible(v.serviceButtons);
    m_viewCoefficients->setVisible(v.serviceButtons);
}

void RtuDialog::openOutputRules() {
    auto* dialog = new OutputRulesDialog(m_session, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void RtuDialog::openInputUpload() {
    auto* dialog = new InputUploadDialog(m_session, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void RtuDialog::accept() {
    if (const auto refusal = form().accept(m_session.params(), m_lang)) {
        showMessage(this, qs(*refusal));
        return;
    }
    QDialog::accept();
}

void RtuDialog::done(int result) {
    m_driver->panel().close();
    QDialog::done(result);
}

}  // namespace dtu
