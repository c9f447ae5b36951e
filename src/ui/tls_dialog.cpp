#include "tls_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "form_widgets.h"
#include "message_box.h"
#include "params/field_table.h"
#include "session.h"
#include "text/dialog_texts.h"

namespace dtu {

using form::text;
namespace t = dialogText;

namespace {

QString hex4(std::uint16_t value) {
    return QString::fromStdString(checksumText(value));
}

template <typename L = QLabel>
L* newValue(const QString& name, int minimumWidth) {
    auto* l = new L;
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);  // file paths, shown as they are
    l->setFrameShape(QFrame::StyledPanel);
    l->setMinimumWidth(minimumWidth);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

}  // namespace

// A file path on one line, as wide as the layout gives it: a longer path loses its middle and
// shows whole as the tooltip.
class PathLabel : public QLabel {
public:
    void setPath(const QString& path) {
        m_path = path;
        setToolTip(path);
        elide();
    }
    // The path never widens the dialog; the minimum width is the room it asks for.
    QSize sizeHint() const override { return {minimumWidth(), QLabel::sizeHint().height()}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        elide();
    }

private:
    void elide() {
        setText(fontMetrics().elidedText(m_path, Qt::ElideMiddle,
                                         contentsRect().width() - 2 * margin()));
    }
    QString m_path;
};

TlsDialog::TlsDialog(Session& session, QWidget* parent)
    : QDialog(parent), m_session(session), m_uploader(session) {
    setObjectName(QStringLiteral("tlsDialog"));
    const Language lang = session.language();
    setWindowTitle(text(t::kTlsTitle, lang));

    static const char* const kNames[] = {"ca", "clientCert", "clientKey"};
    const QString buttonTexts[] = {text(t::kImportCa, lang), text(t::kImportClientCert, lang),
                                   text(t::kImportClientKey, lang)};
    auto* files = new QGridLayout;
    files->setColumnStretch(1, 1);
    for (int i = 0; i < 3; ++i) {
        const QString name = QString::fromLatin1(kNames[i]);
        auto* button = new QPushButton(buttonTexts[i]);
        button->setObjectName(name + QStringLiteral("Import"));
        connect(button, &QPushButton::clicked, this,
                [this, i] { importWithDialog(static_cast<CertFile>(i)); });
        m_pathLabels[i] = newValue<PathLabel>(name + QStringLiteral("Path"), 320);
        m_fileChecksums[i] = newValue(name + QStringLiteral("FileChecksum"), 48);
        files->addWidget(button, i, 0);
        files->addWidget(m_pathLabels[i], i, 1);
        files->addWidget(m_fileChecksums[i], i, 2);
        showFile(static_cast<CertFile>(i));
    }

    auto* sums = new QGroupBox(text(t::kChecksums, lang));
    auto* sumRow = new QHBoxLayout(sums);
    static const char* const kCaptions[] = {"CA", "CLIENT", "KEY"};
    for (int i = 0; i < 3; ++i) {
        m_deviceChecksums[i] =
            newValue(QString::fromLatin1(kNames[i]) + QStringLiteral("DeviceChecksum"), 48);
        sumRow->addWidget(new QLabel(QString::fromLatin1(kCaptions[i])));
        sumRow->addWidget(m_deviceChecksums[i]);
        sumRow->addSpacing(12);
    }
    sumRow->addStretch(1);
    std::array<std::uint16_t, 3> stored{};
    for (std::uint32_t i = 0; i < 3; ++i)
        stored[i] = static_cast<std::uint16_t>(session.params().get(fields::certChecksums[i]));
    showDeviceChecksums(stored);

    m_saveButton = new QPushButton(text(t::kSaveCertificates, lang));
    m_saveButton->setObjectName(QStringLiteral("saveCertificates"));
    connect(m_saveButton, &QPushButton::clicked, this, &TlsDialog::saveCertificates);
    m_readButton = new QPushButton(text(t::kReadChecksums, lang));
    m_readButton->setObjectName(QStringLiteral("readChecksums"));
    connect(m_readButton, &QPushButton::clicked, this, &TlsDialog::readChecksums);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_readButton);
    buttons->addStretch(1);

    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("certProgress"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("certStatus"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setMinimumWidth(120);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(m_progress, 1);
    progressRow->addWidget(m_status);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(files);
    layout->addWidget(sums);
    layout->addLayout(buttons);
    layout->addLayout(progressRow);
    layout->addLayout(form::closingRow(this, session.language(), form::Closing::CloseOnly));

    connect(&m_uploader, &CertUploader::progressChanged, this, [this](quint32 done, quint32 total) {
        m_progress->setRange(0, static_cast<int>(total));
        m_progress->setValue(static_cast<int>(done));
    });
    connect(&m_uploader, &CertUploader::statusText, m_status, &QLabel::setText);
    connect(&m_uploader, &CertUploader::refused, this, [this](const QString& text) {
        showMessage(this, text);
        setButtonsEnabled(true);
    });
    connect(&m_uploader, &CertUploader::finished, this, [this](bool ok, const QString& text) {
        m_status->setText(text);
        const CertResult& result = m_uploader.lastResult();
        if (ok && result.checksumRead) showDeviceChecksums(result.checksums);
        setButtonsEnabled(true);
    });
}

QString TlsDialog::path(CertFile which) const {
    return QString::fromStdString(certPath(m_session.params(), which));
}

// An empty slot shows no checksum; a path whose file is gone shows 0000.
void TlsDialog::showFile(CertFile which) {
    const QString file = path(which);
    const auto i = static_cast<std::size_t>(which);
    m_pathLabels[i]->setPath(file);
    m_fileChecksums[i]->setText(file.isEmpty() ? QString()
                                               : hex4(CertUploader::fileChecksum(file)));
}

void TlsDialog::showDeviceChecksums(const std::array<std::uint16_t, 3>& sums) {
    for (std::size_t i = 0; i < sums.size(); ++i) m_deviceChecksums[i]->setText(hex4(sums[i]));
}

void TlsDialog::setButtonsEnabled(bool on) {
    m_saveButton->setEnabled(on);
    m_readButton->setEnabled(on);
}

void TlsDialog::importWithDialog(CertFile which) {
    const QString filter =
        QStringLiteral("(*.%1);;%2(*.*)")
            .arg(which == CertFile::ClientKey ? QStringLiteral("key") : QStringLiteral("crt"),
                 text(t::kAllFiles, m_session.language()));
    const QString current = path(which);
    const QString folder = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    const QString chosen = QFileDialog::getOpenFileName(this, windowTitle(), folder, filter);
    if (!chosen.isEmpty()) importFile(which, chosen);
}

bool TlsDialog::importFile(CertFile which, const QString& file) {
    const CertUploader::FileCheck check =
        CertUploader::checkFile(file, which, m_session.language());
    if (!check.error.isEmpty()) {
        showMessage(this, check.error);
        return false;
    }
    setCertPath(m_session.params(), which, file.toStdString());  // checkFile took the path
    const auto i = static_cast<std::size_t>(which);
    m_pathLabels[i]->setPath(file);
    m_fileChecksums[i]->setText(hex4(check.checksum));
    return true;
}

void TlsDialog::saveCertificates() {
    setButtonsEnabled(false);
    m_uploader.save(path(CertFile::Ca), path(CertFile::ClientCert), path(CertFile::ClientKey));
}

void TlsDialog::readChecksums() {
    setButtonsEnabled(false);
    for (QLabel* l : m_deviceChecksums) l->clear();
    m_uploader.readChecksums();
}

void TlsDialog::done(int result) {
    m_uploader.cancel();
    QDialog::done(result);
}

}  // namespace dtu
