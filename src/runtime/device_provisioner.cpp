#include "device_provisioner.h"

#include "cert_upload.h"
#include "firmware_upgrade.h"
#include "transfer/cert_transfer.h"

namespace dtu {

namespace {

QString trimmedLine(const QString& text) {
    return text.trimmed();
}

}  // namespace

DeviceProvisioner::DeviceProvisioner(const Line& line, const Work& work, bool matchByImei,
                                     std::vector<FieldAssignment> row, QObject* parent)
    : QObject(parent),
      m_line(line),
      m_work(work),
      m_matchByImei(matchByImei),
      m_row(std::move(row)) {
    for (QTimer* t : {&m_probeLate, &m_silence}) t->setSingleShot(true);
    connect(&m_session, &Session::commandDone, this, &DeviceProvisioner::onCommandDone);
    connect(&m_session, &Session::decoded, this, [this](const DecodeResult& r) {
        if (r.sawItem1) m_sawParams = true;
    });
    connect(&m_session, &Session::logAppended, this, [this](const QString& text, bool) {
        if (const QString line = trimmedLine(text); !line.isEmpty()) m_lastWords = line;
    });
    connect(&m_session, &Session::messageBoxRequested, this, [this](const QString& text) {
        if (const QString line = trimmedLine(text); !line.isEmpty()) m_lastWords = line;
    });
    connect(&m_session, &Session::baudFound, this, [this](int) {
        if (!m_steps || m_steps->step() != ProvisionStep::Probe) return;
        m_probeLate.stop();
        m_steps->succeed();
        advance();
    });
    connect(&m_session, &Session::probeRanOut, this, [this] {
        if (m_steps && m_steps->step() == ProvisionStep::Probe)
            m_probeLate.start(kProbeLateAnswerMs);
    });
    connect(&m_probeLate, &QTimer::timeout, this, [this] {
        // The record keeps the reason in the words it always had.
        fail(QString::fromUtf8(linkText::kProbeFailed.chinese.data(),
                               static_cast<qsizetype>(linkText::kProbeFailed.chinese.size()))
                 .trimmed());
    });
    connect(&m_session, &Session::portFailed, this,
            [this](const QString& reason) { failWithLastWords(reason); });
    connect(&m_silence, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("nothing reported for %1 s; given up").arg(kSilenceLimitMs / 1000));
    });
}

DeviceProvisioner::~DeviceProvisioner() {
    // The transfers stop before the session they run on goes.
    m_upgrader.reset();
    m_certs.reset();
}

bool DeviceProvisioner::done() const {
    return m_finished;
}

quint64 DeviceProvisioner::lineBytes() const {
    return m_session.port().bytesRead() + m_session.port().bytesWritten();
}

void DeviceProvisioner::start() {
    if (m_steps) return;
    ProvisionOptions options;
    options.probe = m_line.baud == 0;
    options.matchByImei = m_matchByImei;
    options.firmware = m_work.firmware.has_value();
    options.certs = !m_work.caPath.isEmpty();
    options.lang = m_session.language();
    m_steps.emplace(options, m_work.base, std::move(m_row));
    m_startedAt = QDateTime::currentDateTimeUtc();
    runStep();
}

void DeviceProvisioner::assignRow(std::vector<FieldAssignment> row) {
    if (!m_steps || m_steps->step() != ProvisionStep::Match) return;
    m_steps->assignRow(std::move(row));
    advance();
}

void DeviceProvisioner::skip(const QString& reason) {
    if (!m_steps || m_steps->step() != ProvisionStep::Match) return;
    m_steps->skip(reason.toStdString());
    advance();
}

void DeviceProvisioner::failMatch(const QString& reason) {
    if (m_steps && m_steps->step() == ProvisionStep::Match) fail(reason);
}

void DeviceProvisioner::stopAfterStep(const QString& reason) {
    if (m_stopReason.isEmpty()) m_stopReason = reason;
}

void DeviceProvisioner::stopNow(const QString& reason) {
    if (!m_steps || m_finished) return;
    m_steps->interrupt(reason.toStdString());
    finish();
}

void DeviceProvisioner::advance() {
    // From the event loop: a step ends inside the handling of an answer or a transfer's
    // signal, and the next one must not start inside it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_finished) return;
            if (!m_stopReason.isEmpty()) m_steps->interrupt(m_stopReason.toStdString());
            if (m_steps->result() != ProvisionResult::Running)
                finish();
            else
                runStep();
        },
        Qt::QueuedConnection);
}

void DeviceProvisioner::fail(const QString& reason) {
    if (!m_steps || m_finished || m_steps->result() != ProvisionResult::Running) return;
    const ProvisionStep before = m_steps->step();
    const int attempt = m_steps->attempt();
    m_steps->fail(reason.toStdString());
    // A step that may be tried again stays; anything else ends the device.
    if (m_steps->result() != ProvisionResult::Running || m_steps->step() != before ||
        m_steps->attempt() != attempt)
        advance();
}

void DeviceProvisioner::failWithLastWords(const QString& fallback) {
    fail(m_lastWords.isEmpty() ? fallback : m_lastWords);
}

void DeviceProvisioner::runStep() {
    m_silence.start(kSilenceLimitMs);
    emit stepChanged();
    CommandFlow& flow = m_session.flow();
    switch (m_steps->step()) {
        case ProvisionStep::Open:
            if (!m_session.openPort(m_line.port, m_line.baud, m_line.parityIndex,
                                    m_line.stopIndex)) {
                fail(QStringLiteral("cannot open %1: %2")
                         .arg(m_line.port, m_session.lastOpenError()));
                return;
            }
            m_steps->succeed();
            advance();
            return;
        case ProvisionStep::Probe:
            // Running since the port opened; baudFound or the late answer's end decide.
            return;
        case ProvisionStep::ReadBack:
            // Only what the device gives back may count.
            m_session.params().clear();
            [[fallthrough]];
        case ProvisionStep::Read:
        case ProvisionStep::Reread:
            m_sawParams = false;
            m_lastWords.clear();
            if (!flow.read()) failWithLastWords(QStringLiteral("the read was not sent"));
            return;
        case ProvisionStep::Match:
            emit matchWanted();
            return;
        case ProvisionStep::Firmware: {
            m_upgrader = std::make_unique<FirmwareUpgrader>(m_session);
            connect(m_upgrader.get(), &FirmwareUpgrader::progressChanged, this,
                    [this](quint32 done, quint32 total) {
                        m_silence.start(kSilenceLimitMs);
                        emit progressChanged(done, total);
                    });
            connect(m_upgrader.get(), &FirmwareUpgrader::finished, this,
                    &DeviceProvisioner::onFirmwareFinished);
            m_lastWords.clear();
            if (!m_upgrader->start(*m_work.firmware, m_work.factoryReset))
                failWithLastWords(QStringLiteral("the upgrade could not start"));
            return;
        }
        case ProvisionStep::Save:
            m_session.params() = m_steps->record();
            m_lastWords.clear();
            if (!flow.save()) failWithLastWords(QStringLiteral("the save was not sent"));
            return;
        case ProvisionStep::Certs:
            m_certs = std::make_unique<CertUploader>(m_session);
            m_checkingCerts = false;
            connect(m_certs.get(), &CertUploader::progressChanged, this,
                    [this](quint32 done, quint32 total) {
                        m_silence.start(kSilenceLimitMs);
                        emit progressChanged(done, total);
                    });
            connect(m_certs.get(), &CertUploader::finished, this,
                    &DeviceProvisioner::onCertsFinished);
            connect(m_certs.get(), &CertUploader::refused, this,
                    [this](const QString& text) { fail(text); });
            m_lastWords.clear();
            if (!m_certs->save(m_work.caPath, m_work.clientCertPath, m_work.clientKeyPath))
                failWithLastWords(QStringLiteral("the certificates were not sent"));
            return;
        case ProvisionStep::Plan:
        case ProvisionStep::Verify:
        case ProvisionStep::Done:
            // The machine ends in these by itself.
            advance();
            return;
    }
}

void DeviceProvisioner::onCommandDone(PendingCommand command, bool answered) {
    if (!m_steps || m_finished) return;
    const ProvisionStep step = m_steps->step();
    const bool reading = step == ProvisionStep::Read || step == ProvisionStep::Reread ||
                         step == ProvisionStep::ReadBack;
    if (command == PendingCommand::Read && reading) {
        if (!answered) {
            failWithLastWords(QStringLiteral("no answer"));
        } else if (!m_sawParams) {
            fail(QStringLiteral("the answer held no parameters"));
        } else {
            m_steps->succeed(m_session.params());
            advance();
        }
    } else if (command == PendingCommand::Save && step == ProvisionStep::Save) {
        if (!answered) {
            failWithLastWords(QStringLiteral("no answer"));
        } else {
            m_steps->succeed();
            advance();
        }
    }
}

void DeviceProvisioner::onFirmwareFinished() {
    if (!m_steps || m_steps->step() != ProvisionStep::Firmware) return;
    const FirmwareResult& r = m_upgrader->lastResult();
    if (upgradeComplete(r)) {
        m_steps->succeed();
        advance();
    } else if (r.ok) {
        fail(QString::fromStdString(factoryResetText(false, m_session.language())));
    } else {
        fail(QString::fromStdString(r.text));
    }
}

void DeviceProvisioner::onCertsFinished(bool ok, const QString& text) {
    if (!m_steps || m_steps->step() != ProvisionStep::Certs) return;
    if (!ok) {
        fail(text);
        return;
    }
    if (!m_checkingCerts) {
        // Saved; the device's checksums of what it now holds must be the files'. Asked from
        // the event loop, outside the transfer's own report.
        m_checkingCerts = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_steps->step() == ProvisionStep::Certs && !m_certs->readChecksums())
                    failWithLastWords(QStringLiteral("the checksums were not asked for"));
            },
            Qt::QueuedConnection);
        return;
    }
    const auto files =
        CertUploader::fileChecksums(m_work.caPath, m_work.clientCertPath, m_work.clientKeyPath);
    if (files != m_certs->lastResult().checksums) {
        fail(QString::fromStdString(checksumMismatchText(files, m_session.language())));
        return;
    }
    m_steps->succeed();
    advance();
}

void DeviceProvisioner::finish() {
    if (m_finished) return;
    m_finished = true;
    m_silence.stop();
    m_probeLate.stop();
    m_upgrader.reset();
    m_certs.reset();
    if (m_session.isOpen()) m_session.closePort();
    m_endedAt = QDateTime::currentDateTimeUtc();
    emit finished();
}

}  // namespace dtu
