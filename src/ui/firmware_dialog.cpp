#include "firmware_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "form_widgets.h"
#include "message_box.h"
#include "session.h"
#include "text/dialog_texts.h"

namespace dtu {

using form::text;
namespace t = dialogText;

namespace {

// A patch of colour that tells whether the device restored its factory settings.
QLabel* newIndicator(const char* name, const char* colour, const QString& meaning) {
    auto* l = new QLabel(QStringLiteral("        "));
    l->setObjectName(QString::fromLatin1(name));
    l->setStyleSheet(QStringLiteral("background-color: %1;").arg(QLatin1String(colour)));
    l->setToolTip(meaning);
    l->setAccessibleName(meaning);
    l->hide();
    return l;
}

}  // namespace

FirmwareDialog::FirmwareDialog(Session& session, const QString& path, bool factoryReset,
                               QWidget* parent)
    : QDialog(parent), m_session(session), m_upgrader(session) {
    setObjectName(QStringLiteral("firmwareDialog"));
    const Language lang = session.language();
    setWindowTitle(text(t::kFirmwareTitle, lang));

    m_path = new QLineEdit(path);
    m_path->setObjectName(QStringLiteral("firmwarePath"));
    m_path->setReadOnly(true);
    m_path->setMinimumWidth(360);
    auto* choose = new QToolButton;
    choose->setObjectName(QStringLiteral("chooseFirmware"));
    choose->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    choose->setToolTip(text(t::kChooseFirmware, lang));
    connect(choose, &QToolButton::clicked, this, &FirmwareDialog::chooseWithDialog);
    auto* group = new QGroupBox(text(t::kFirmwareGroup, lang));
    auto* fileRow = new QHBoxLayout(group);
    fileRow->addWidget(m_path, 1);
    fileRow->addWidget(choose);

    m_factoryBox = new QCheckBox(text(t::kResetAfterUpgrade, lang));
    m_factoryBox->setObjectName(QStringLiteral("factoryReset"));
    m_factoryBox->setChecked(factoryReset);
    m_resetNotDone = newIndicator("resetNotDone", "red", text(t::kResetNotDone, lang));
    m_resetDone = newIndicator("resetDone", "green", text(t::kResetDone, lang));
    auto* resetRow = new QHBoxLayout;
    resetRow->addWidget(m_factoryBox);
    resetRow->addStretch(1);
    resetRow->addWidget(m_resetNotDone);
    resetRow->addWidget(m_resetDone);

    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("firmwareProgress"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("firmwareStatus"));
    m_status->setTextFormat(Qt::PlainText);  // results may name files
    m_status->setMinimumWidth(160);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(m_progress, 1);
    progressRow->addWidget(m_status);

    m_startButton = new QPushButton(text(t::kStartUpgrade, lang));
    m_startButton->setObjectName(QStringLiteral("startUpgrade"));
    m_startButton->setDefault(true);
    connect(m_startButton, &QPushButton::clicked, this, &FirmwareDialog::startUpgrade);
    auto* exit = new QPushButton(text(t::kExit, lang));
    exit->setObjectName(QStringLiteral("exitFirmware"));
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_startButton);
    buttons->addWidget(exit);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(resetRow);
    layout->addLayout(progressRow);
    layout->addLayout(buttons);

    connect(&m_upgrader, &FirmwareUpgrader::progressChanged, this,
            [this](quint32 done, quint32 total) {
                m_progress->setRange(0, static_cast<int>(total));
                m_progress->setValue(static_cast<int>(done));
            });
    connect(&m_upgrader, &FirmwareUpgrader::statusText, m_status, &QLabel::setText);
    connect(&m_upgrader, &FirmwareUpgrader::finished, this, [this](bool ok, const QString& text) {
        m_status->setText(text);
        onFinished(ok);
    });
    holdLine();
}

FirmwareDialog::~FirmwareDialog() {
    if (!m_closed) m_session.setFirmwareReceiver({});
}

QString FirmwareDialog::path() const {
    return m_path->text();
}

bool FirmwareDialog::factoryReset() const {
    return m_factoryBox->isChecked();
}

// Bursts that are not the upgrade's own (it takes the line while it runs) are dropped here:
// none of them is an answer the main window waits for while this dialog is up.
void FirmwareDialog::holdLine() {
    m_session.setFirmwareReceiver([](std::span<const std::uint8_t>) {});
}

void FirmwareDialog::chooseWithDialog() {
    const QString folder = path().isEmpty() ? QString() : QFileInfo(path()).absolutePath();
    const QString filter =
        QStringLiteral("(*.bin);;%1(*.*)").arg(text(t::kAllFiles, m_session.language()));
    const QString chosen = QFileDialog::getOpenFileName(this, windowTitle(), folder, filter);
    if (!chosen.isEmpty()) chooseFile(chosen);
}

void FirmwareDialog::chooseFile(const QString& path) {
    m_path->setText(path);
}

void FirmwareDialog::startUpgrade() {
    if (path().isEmpty() || m_upgrader.running()) return;
    QString error;
    auto image = FirmwareUpgrader::loadImage(path(), m_session.language(), error);
    if (!image) {
        showMessage(this, error);
        return;
    }
    m_startButton->setEnabled(false);
    m_progress->setRange(0, static_cast<int>(image->blockCount()));
    m_progress->setValue(0);
    m_status->setText(QStringLiteral(" "));
    m_resetNotDone->hide();
    m_resetDone->hide();
    m_upgrader.start(std::move(*image), factoryReset());
}

void FirmwareDialog::onFinished(bool ok) {
    if (m_closed) return;
    holdLine();
    const FirmwareResult& result = m_upgrader.lastResult();
    // A device that named the wrong block leaves the button off until the dialog is reopened.
    m_startButton->setEnabled(!result.badNumber);
    if (ok && result.factoryResetAsked)
        (result.factoryResetDone ? m_resetDone : m_resetNotDone)->show();
}

void FirmwareDialog::done(int result) {
    if (!m_closed) {
        m_closed = true;
        m_upgrader.cancel();
        m_session.setFirmwareReceiver({});
    }
    QDialog::done(result);
}

}  // namespace dtu
