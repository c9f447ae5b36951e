#include "cert_upload.h"

#include <QFile>

#include "file_io.h"
#include "qt_bytes.h"
#include "session.h"

namespace dtu {

namespace {

// At most the first 4096 bytes of a file; nothing when there is no path or no such file.
std::optional<std::vector<std::uint8_t>> readHead(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    std::string error;
    return readFileHead(path.toStdString(), kCertFileReadMax, error);
}

}  // namespace

CertUploader::CertUploader(Session& session, QObject* parent)
    : QObject(parent), m_session(session), m_flow(m_effects, session.params()) {
    // The polls look at the record; the two time-outs wait for the device.
    for (const auto& [timer, id] : {std::pair{&m_tick, CertTimer::Tick},
                                    std::pair{&m_checksumPoll, CertTimer::ChecksumPoll}}) {
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, id = id] { m_flow.onTimer(id); });
    }
    for (const auto& [timer, id] : {std::pair{&m_ackTimeout, CertTimer::AckTimeout},
                                    std::pair{&m_checksumTimeout, CertTimer::ChecksumTimeout}})
        connect(timer, &AnswerTimer::timeout, this, [this, id = id] { m_flow.onTimer(id); });
    // A port that fails is closed, so closing covers both.
    connect(
        &m_session, &Session::portOpenChanged, this,
        [this](bool open) {
            if (!open) onPortLost();
        },
        Qt::QueuedConnection);
}

CertUploader::~CertUploader() {
    const QSignalBlocker quiet(this);
    m_flow.abort({});
}

CertUploader::FileCheck CertUploader::checkFile(const QString& path, CertFile which,
                                                Language lang) {
    FileCheck check;
    if (auto refusal = certPathRefusal(path.toStdString(), lang)) {
        check.error = QString::fromStdString(*refusal);
        return check;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        check.error = QString::fromUtf8(certText::kOpenFailed.data(),
                                        static_cast<qsizetype>(certText::kOpenFailed.size()));
        return check;
    }
    if (auto refusal = certImportRefusal(static_cast<std::uint64_t>(file.size()), which, lang)) {
        check.error = QString::fromStdString(*refusal);
        return check;
    }
    check.checksum = fileChecksum16(byteSpan(file.read(static_cast<qint64>(kCertFileReadMax))));
    return check;
}

std::uint16_t CertUploader::fileChecksum(const QString& path) {
    const auto head = readHead(path);
    return head ? fileChecksum16(*head) : 0;
}

std::array<std::uint16_t, 3> CertUploader::fileChecksums(const QString& caPath,
                                                         const QString& clientCertPath,
                                                         const QString& clientKeyPath) {
    return {fileChecksum(caPath), fileChecksum(clientCertPath), fileChecksum(clientKeyPath)};
}

bool CertUploader::requirePort() {
    if (m_session.isOpen()) return true;
    m_result = {};
    const std::string_view closed = inLanguage(linkText::kPortNotOpen, m_session.language());
    m_result.text = closed.substr(0, closed.size() - 2);
    emit finished(false, QString::fromStdString(m_result.text));
    return false;
}

CertBlob CertUploader::blobFromFiles(const QString& caPath, const QString& clientCertPath,
                                     const QString& clientKeyPath) {
    const auto ca = readHead(caPath), cert = readHead(clientCertPath),
               key = readHead(clientKeyPath);
    auto view = [](const std::optional<std::vector<std::uint8_t>>& b) {
        return b ? std::optional(std::span<const std::uint8_t>(*b)) : std::nullopt;
    };
    return buildCertBlob(view(ca), view(cert), view(key));
}

bool CertUploader::save(const QString& caPath, const QString& clientCertPath,
                        const QString& clientKeyPath) {
    if (m_flow.busy()) return false;
    CertBlob blob = blobFromFiles(caPath, clientCertPath, clientKeyPath);
    if (blob.error != CertBlobError::None) {
        emit refused(QString::fromStdString(certBlobErrorText(blob, m_session.language())));
        return false;
    }
    if (!requirePort()) return false;
    m_result = {};
    m_flow.setLanguage(m_session.language());
    return m_flow.save(std::move(blob.bytes));
}

bool CertUploader::readChecksums() {
    if (m_flow.busy() || !requirePort()) return false;
    m_result = {};
    m_flow.setLanguage(m_session.language());
    return m_flow.readChecksums();
}

void CertUploader::cancel() {
    m_flow.abort(m_session.language() == Language::English ? "Stopped" : "已停止");
}

void CertUploader::onPortLost() {
    if (!m_flow.busy()) return;
    m_flow.abort(m_session.language() == Language::English ? "The serial port was closed"
                                                           : "串口已关闭");
}

void CertUploader::Effects::writeBytes(std::span<const std::uint8_t> bytes) {
    up.m_session.flow().sendRaw(bytes);
}

void CertUploader::Effects::startTimer(CertTimer timer, int ms) {
    switch (timer) {
        case CertTimer::Tick:
            return up.m_tick.start(ms);
        case CertTimer::ChecksumPoll:
            return up.m_checksumPoll.start(ms);
        case CertTimer::AckTimeout:
            return up.m_ackTimeout.start(ms);
        case CertTimer::ChecksumTimeout:
            return up.m_checksumTimeout.start(ms);
    }
}

void CertUploader::Effects::stopTimer(CertTimer timer) {
    switch (timer) {
        case CertTimer::Tick:
            return up.m_tick.stop();
        case CertTimer::ChecksumPoll:
            return up.m_checksumPoll.stop();
        case CertTimer::AckTimeout:
            return up.m_ackTimeout.stop();
        case CertTimer::ChecksumTimeout:
            return up.m_checksumTimeout.stop();
    }
}

void CertUploader::Effects::progress(std::uint32_t done, std::uint32_t total) {
    emit up.progressChanged(done, total);
}

void CertUploader::Effects::statusText(const std::string& text) {
    emit up.statusText(QString::fromStdString(text));
}

void CertUploader::Effects::finished(const CertResult& result) {
    up.m_result = result;
    emit up.finished(result.ok, QString::fromStdString(result.text));
}

}  // namespace dtu
