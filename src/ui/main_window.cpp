#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include "advanced_panel.h"
#include "commands_panel.h"
#include "file_io.h"
#include "files/param_file.h"
#include "firmware_dialog.h"
#include "form_widgets.h"
#include "history_dialog.h"
#include "message_box.h"
#include "panel_widgets.h"
#include "parameters_panel.h"
#include "pc_settings_file.h"
#include "port_row_panel.h"
#include "production_panel.h"
#include "session.h"
#include "status/status_report.h"
#include "status_panel.h"
#include "terminal_panel.h"
#include "text/history_texts.h"

namespace dtu {

using form::qs;
using panel::say;

MainWindow::MainWindow(Session& session, const PcSettings& settings, QWidget* parent)
    : QMainWindow(parent), m_session(session), m_kept(settings) {
    setObjectName(QStringLiteral("mainWindow"));
    m_session.setFactoryRecordDir(productionDir(settings));
    buildMenus();

    m_portRow = new PortRowPanel(m_session);
    m_parameters =
        new ParametersPanel(m_session, m_kept, [this](DeviceParams& p) { return collectInto(p); });
    m_advanced = new AdvancedPanel(m_session, m_kept);
    m_commands = new CommandsPanel(m_session);
    m_production = new ProductionPanel(m_session, m_kept);
    m_status = new StatusPanel(m_session);
    m_terminal = new TerminalPanel(m_session);

    auto* left = new QVBoxLayout;
    for (QWidget* panel : std::initializer_list<QWidget*>{m_portRow, m_parameters, m_advanced,
                                                          m_commands, m_production})
        left->addWidget(panel);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(m_status);
    right->addWidget(m_terminal, 1);
    auto* central = new QWidget;
    auto* columns = new QHBoxLayout(central);
    columns->addLayout(left, 3);
    columns->addLayout(right, 2);
    setCentralWidget(central);

    connect(m_parameters, &ParametersPanel::enablingInputChanged, this, &MainWindow::applyEnabling);
    connect(m_advanced, &AdvancedPanel::enablingInputChanged, this, &MainWindow::applyEnabling);
    connect(m_commands, &CommandsPanel::saveRequested, this, &MainWindow::save);
    connect(m_commands, &CommandsPanel::oneClickRequested, this, &MainWindow::oneClickConfigure);

    // The hidden status requests.
    for (auto key : {Qt::Key_R, Qt::Key_S})
        connect(new QShortcut(QKeySequence(Qt::ALT | key), this), &QShortcut::activated, this,
                [this] { m_session.flow().requestDiagnostics(); });
    connect(new QShortcut(QKeySequence(Qt::ALT | Qt::Key_T), this), &QShortcut::activated, this,
            [this] { m_session.flow().requestDeviceText(); });

    connectSession();

    // Start-up: remembered choices, language, operating guide, empty record, title.
    m_portRow->restore(settings);
    m_parameters->restore(settings);
    // One size for both languages: laid out in each, the window takes the larger, so a
    // language switch never has to grow it.
    const Language lang = languageFromInt(settings.language);
    ensurePolished();
    QSize size;
    for (Language l : {lang == Language::English ? Language::Chinese : Language::English, lang}) {
        showTexts(l);
        size = size.expandedTo(sizeHint());
    }
    // Smaller, its controls would be squeezed below their texts.
    setMinimumSize(size);
    resize(size);
    setLanguage(lang);
    m_session.appendLine(text(kTextGuide));
    m_session.params().clear();
    applyEnabling();
}

QString MainWindow::text(int id) const {
    return qs(langText(m_lang, id));
}

void MainWindow::buildMenus() {
    m_deviceMenu = menuBar()->addMenu(QString());
    m_firmwareAction = m_deviceMenu->addAction(QString());
    connect(m_firmwareAction, &QAction::triggered, this, &MainWindow::openFirmwareDialog);
    m_deviceMenu->addSeparator();
    m_aboutAction = m_deviceMenu->addAction(QString());
    connect(m_aboutAction, &QAction::triggered, this, &MainWindow::showAbout);

    m_toolsMenu = menuBar()->addMenu(QString());
    m_importAction = m_toolsMenu->addAction(QString());
    connect(m_importAction, &QAction::triggered, this, &MainWindow::importWithDialog);
    m_exportAction = m_toolsMenu->addAction(QString());
    connect(m_exportAction, &QAction::triggered, this, &MainWindow::exportWithDialog);
    m_deepResetAction = m_toolsMenu->addAction(QString());
    connect(m_deepResetAction, &QAction::triggered, this, [this] { m_session.flow().deepReset(); });
    m_historyAction = m_toolsMenu->addAction(QString());
    m_historyAction->setEnabled(false);
    connect(m_historyAction, &QAction::triggered, this, &MainWindow::openHistoryDialog);
    m_toolsMenu->addSeparator();
    m_toolsMenu->setToolTipsVisible(true);  // the whole path of the production folder
    m_productionDirAction = m_toolsMenu->addAction(QString());
    m_productionDirAction->setObjectName(QStringLiteral("productionDirAction"));
    connect(m_productionDirAction, &QAction::triggered, this, &MainWindow::chooseProductionDir);

    connect(menuBar()->addAction(QStringLiteral("中文")), &QAction::triggered, this,
            [this] { setLanguage(Language::Chinese); });
    connect(menuBar()->addAction(QStringLiteral("English")), &QAction::triggered, this,
            [this] { setLanguage(Language::English); });
}

void MainWindow::connectSession() {
    connect(&m_session, &Session::logAppended, m_terminal, &TerminalPanel::append);
    connect(&m_session, &Session::messageBoxRequested, this,
            [this](const QString& t) { showMessage(this, t); });
    connect(&m_session, &Session::commandsEnabledChanged, m_commands,
            &CommandsPanel::setCommandsEnabled);
    connect(&m_session, &Session::portButtonEnabledChanged, m_portRow,
            &PortRowPanel::setOpenButtonEnabled);
    connect(&m_session, &Session::portOpenChanged, m_portRow, &PortRowPanel::setOpen);
    connect(&m_session, &Session::decoded, this, &MainWindow::showAnswer);
    connect(&m_session, &Session::lineWarning, this,
            [this](const QString& t) { m_session.appendLine(t + QStringLiteral("\r\n")); });
}

// --- language ---

void MainWindow::setLanguage(Language lang) {
    m_qtTexts.use(lang);
    showTexts(lang);
    m_session.clearLog();
    m_terminal->clear();
    if (m_statusShown) refreshStatus();  // the status texts that have a language follow it
    applyEnabling();
}

void MainWindow::showTexts(Language lang) {
    m_lang = lang;
    m_session.setLanguage(lang);
    retranslateMenus();
    m_portRow->retranslate(lang);
    m_parameters->retranslate(lang);
    m_advanced->retranslate(lang);
    m_commands->retranslate(lang);
    m_production->retranslate(lang);
    m_status->retranslate(lang);
    m_terminal->retranslate(lang);
}

void MainWindow::retranslateMenus() {
    m_deviceMenu->setTitle(text(kTextDevice));
    m_firmwareAction->setText(text(kTextFirmwareUpgrade));
    m_toolsMenu->setTitle(text(kTextTools));
    m_importAction->setText(text(kTextImportConfig));
    m_exportAction->setText(text(kTextExportConfig));
    m_aboutAction->setText(say(windowText::kAbout, m_lang));
    m_deepResetAction->setText(say(windowText::kDeepReset, m_lang));
    m_historyAction->setText(say(historyText::kMenuItem, m_lang));
    setWindowTitle(say(windowText::kTitle, m_lang));
    showProductionDir();
}

// --- the record in the panels ---

MainForm MainWindow::form() const {
    MainForm f;
    m_parameters->fillForm(f);
    m_advanced->fillForm(f);
    m_status->fillForm(f);
    return f;
}

void MainWindow::setForm(const MainForm& f) {
    m_writingForm = true;  // the enabling rules run once, after every control is written
    m_parameters->setForm(f);
    m_advanced->setForm(f);
    m_status->setForm(f);
    m_writingForm = false;
    applyEnabling();
}

void MainWindow::redisplay() {
    MainForm f = form();  // keeps the HEX boxes, which choose the form of the packet data
    showMainForm(m_session.params(), f);
    setForm(f);
    refreshStatus();
}

void MainWindow::showAnswer(const DecodeResult& result) {
    // Only a full read replaces the form. A live answer (status, I/O poll, MQTT status,
    // checksums) feeds the status displays alone: the controls keep what the user is editing.
    if (result.sawItem1) {
        redisplay();
        return;
    }
    refreshStatus();
    applyEnabling();  // the device kind is the record's, which a live answer may bring
}

void MainWindow::showLoadedFile() {
    // Like a read answer: the controls and the status, then the production record.
    redisplay();
    m_session.writeFactoryRecord();
}

void MainWindow::refreshStatus() {
    m_statusShown = true;
    const StatusReport s = buildStatusReport(m_session.params(), m_session.live(), m_lang);
    m_status->showStatus(s);
    m_parameters->showStatus(s);
    m_advanced->showStatus(s);
}

void MainWindow::applyEnabling() {
    if (m_writingForm) return;
    const MainEnabling e = mainEnabling(form(), m_session.params().get(fields::deviceKind));
    m_parameters->applyEnabling(e);
    m_advanced->applyEnabling(e);
    m_production->applyEnabling();
}

// --- port ---

void MainWindow::togglePort() {
    m_portRow->togglePort();
}

void MainWindow::choosePort(const QString& path, int baudItem) {
    m_portRow->choosePort(path, baudItem);
}

// --- save and files ---

bool MainWindow::collectInto(DeviceParams& params) {
    const CollectResult r = collectMainForm(form(), params, m_lang);
    for (const std::string& message : r.messages) showMessage(this, qs(message));
    return r.ok;
}

void MainWindow::save() {
    m_session.flow().save([this] { return collectInto(m_session.params()); });
}

bool MainWindow::exportTo(const QString& path) {
    // What the record holds now: edits not yet collected by a save are not in the file.
    std::string error;
    if (!writeFileAtomic(path.toStdString(), paramsImage(m_session.params()), error)) {
        showMessage(this, QString::fromStdString(error));
        return false;
    }
    showMessage(this, QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    return true;
}

bool MainWindow::importFrom(const QString& path) {
    std::string error;
    const auto bytes = readFileHead(path.toStdString(), kParamFileSize, error);
    if (!bytes) {
        showMessage(this, QString::fromStdString(error));
        return false;
    }
    DeviceParams& params = m_session.params();
    loadParamsImage(*bytes, params);
    if (isLockedConfig(params)) {
        // A locked configuration is written, never shown.
        params.clear();
        m_production->applyEnabling();
        m_commands->offerOneClick();
    } else {
        showLoadedFile();
    }
    m_commands->setOneClickPath(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    return true;
}

void MainWindow::oneClickConfigure() {
    std::string error;
    const auto bytes =
        readFileHead(QDir::fromNativeSeparators(m_commands->oneClickPath()).toStdString(),
                     kParamFileSize, error);
    if (!bytes) {
        showMessage(this, QString::fromStdString(error));
        return;
    }
    DeviceParams& params = m_session.params();
    loadParamsImage(*bytes, params);
    if (!isLockedConfig(params)) showLoadedFile();
    m_session.flow().setParamsRead();
    m_session.flow().save();  // the file as it stands, nothing collected from the window
    params.clear();
    m_production->applyEnabling();
}

void MainWindow::setHistory(WindowHistory* history) {
    m_history = history;
    m_historyAction->setEnabled(history && history->history());
}

void MainWindow::openHistoryDialog() {
    auto* dialog = new HistoryDialog(
        *m_history->history(), qs(m_history->deviceImei()),
        [this] {
            DeviceParams record = m_session.params();
            collectMainForm(form(), record, m_lang);
            return record;
        },
        m_lang, this);
    // An entry comes into the form the way an imported file does.
    connect(dialog, &HistoryDialog::loadRequested, this, [this](const DeviceParams& record) {
        loadParamsImage(paramsImage(record), m_session.params());
        showLoadedFile();
    });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void MainWindow::exportWithDialog() {
    const QString path = QFileDialog::getSaveFileName(this, text(kTextExportConfig),
                                                      QStringLiteral("4g-dtu-rtu.cfg"),
                                                      say(windowText::kFileFilter, m_lang));
    if (!path.isEmpty()) exportTo(path);
}

void MainWindow::importWithDialog() {
    const QString path = QFileDialog::getOpenFileName(this, text(kTextImportConfig), QString(),
                                                      say(windowText::kAllFilesFilter, m_lang));
    if (!path.isEmpty()) importFrom(path);
}

void MainWindow::openFirmwareDialog() {
    auto* dialog =
        new FirmwareDialog(m_session, m_firmwarePath, m_kept.factoryResetAfterUpgrade == 1, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        m_firmwarePath = dialog->path();
        m_kept.factoryResetAfterUpgrade = dialog->factoryReset() ? 1 : 0;
    });
    dialog->open();
}

void MainWindow::showAbout() {
    showMessage(this,
                QStringLiteral("dtuconf %1\n%2\nV169")
                    .arg(QApplication::applicationVersion(), say(windowText::kAboutText, m_lang)));
}

// --- production ---

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The probe waits up to half a second for its answer: it starts once the window is up,
    // and its answer shows the controls whenever it comes.
    if (m_probeStarted) return;
    m_probeStarted = true;
    QTimer::singleShot(0, m_production, &ProductionPanel::startProbe);
}

void MainWindow::setProductionDir(const QString& dir) {
    m_kept.productionDir = dir.toStdString();
    m_session.setFactoryRecordDir(productionDir(m_kept));
    showProductionDir();
    m_production->reloadModels();
}

void MainWindow::showProductionDir() {
    const QString path = QDir::toNativeSeparators(m_session.factoryRecordDir());
    const QString shown =
        fontMetrics().elidedText(path, Qt::ElideMiddle, fontMetrics().averageCharWidth() * 48);
    QString menuText = say(windowText::kProductionFolder, m_lang) + QStringLiteral(" (") + shown +
                       QStringLiteral(")...");
    m_productionDirAction->setText(menuText.replace(QLatin1Char('&'), QStringLiteral("&&")));
    m_productionDirAction->setToolTip(path);
    m_productionDirAction->setStatusTip(path);
}

void MainWindow::chooseProductionDir() {
    const QString dir = QFileDialog::getExistingDirectory(
        this, say(windowText::kProductionFolder, m_lang), m_session.factoryRecordDir());
    if (!dir.isEmpty()) setProductionDir(dir);
}

PcSettings MainWindow::pcSettings() const {
    PcSettings s = m_kept;
    m_production->store(s);
    m_portRow->store(s);
    m_parameters->store(s);
    s.language = static_cast<int>(m_lang);
    return s;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    emit closing(pcSettings());
    if (m_session.isOpen()) m_session.closePort();
    event->accept();
}

}  // namespace dtu
