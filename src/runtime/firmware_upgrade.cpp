#include "firmware_upgrade.h"

#include <QFile>

#include "qt_bytes.h"
#include "session.h"

namespace dtu {

namespace {

std::string portLostText(Language lang) {
    return lang == Language::English ? "The serial port was closed during the upgrade"
                                     : "升级中串口已关闭";
}

}  // namespace

FirmwareUpgrader::FirmwareUpgrader(Session& session, QObject* parent)
    : QObject(parent), m_session(session), m_flow(m_effects) {
    m_pauseTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_answerTimer, &AnswerTimer::timeout, this,
            [this] { m_flow.onTimer(FirmwareTimer::Answer); });
    connect(&m_pauseTimer, &QTimer::timeout, this,
            [this] { m_flow.onTimer(FirmwareTimer::SwitchPause); });
    // A port that fails is closed, so closing covers both. Queued: a write that breaks the
    // port reports it from inside the flow's own step.
    connect(
        &m_session, &Session::portOpenChanged, this,
        [this](bool open) {
            if (!open) onPortLost();
        },
        Qt::QueuedConnection);
}

FirmwareUpgrader::~FirmwareUpgrader() {
    // Nothing may reach a receiver that is gone; the line goes back for the rest of the tool.
    if (m_flow.running()) {
        const QSignalBlocker quiet(this);
        m_flow.abort({}, m_session.isOpen());
    }
}

std::optional<FirmwareImage> FirmwareUpgrader::loadImage(const QString& path, Language lang,
                                                         QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("open failed");
        return std::nullopt;
    }
    FirmwareImageParse parse;
    if (static_cast<std::uint64_t>(file.size()) > kFirmwareFileMax) {
        parse.error = FirmwareImageError::TooLarge;  // not read at all
    } else {
        const QByteArray bytes = file.readAll();
        parse = parseFirmwareImage(byteSpan(bytes));
    }
    if (parse.error != FirmwareImageError::None) {
        error = QString::fromStdString(firmwareImageErrorText(parse, lang));
        return std::nullopt;
    }
    return std::move(parse.image);
}

bool FirmwareUpgrader::start(FirmwareImage image, bool factoryReset) {
    if (m_flow.running()) return false;
    if (!m_session.isOpen()) {
        m_result = {};
        const std::string_view closed = inLanguage(linkText::kPortNotOpen, m_session.language());
        m_result.text = closed.substr(0, closed.size() - 2);
        emit finished(false, QString::fromStdString(m_result.text));
        return false;
    }
    FirmwareUpgrade::Options options;
    options.factoryReset = factoryReset;
    options.lang = m_session.language();
    if (m_session.lockEnabled()) options.lock = m_session.accessPassword();
    // Back to the rate the port was opened with, or the one the probe found.
    const CommandFlow& link = m_session.flow();
    options.restoreBaud = link.currentBaud() > 0 ? link.currentBaud()
                                                 : link.probedBaud().value_or(m_session.lineBaud());
    m_result = {};
    m_session.setFirmwareReceiver([this](std::span<const std::uint8_t> burst) {
        // The flow may end here and take this receiver away; nothing is touched after it.
        m_flow.onBurst(burst);
    });
    return m_flow.start(std::move(image), options);
}

void FirmwareUpgrader::cancel() {
    m_flow.abort(m_session.language() == Language::English ? "Upgrade stopped" : "升级已停止",
                 m_session.isOpen());
}

void FirmwareUpgrader::onPortLost() {
    if (m_flow.running()) m_flow.abort(portLostText(m_session.language()), false);
}

void FirmwareUpgrader::Effects::writeBytes(std::span<const std::uint8_t> bytes) {
    up.m_session.flow().sendRaw(bytes);
}

void FirmwareUpgrader::Effects::startTimer(FirmwareTimer timer, int ms) {
    if (timer == FirmwareTimer::Answer)
        up.m_answerTimer.start(ms);
    else
        up.m_pauseTimer.start(ms);
}

void FirmwareUpgrader::Effects::stopTimer(FirmwareTimer timer) {
    if (timer == FirmwareTimer::Answer)
        up.m_answerTimer.stop();
    else
        up.m_pauseTimer.stop();
}

void FirmwareUpgrader::Effects::useTransferLine() {
    if (up.m_session.isOpen()) up.m_session.setLineBaud(kFirmwareLineBaud, 0, 0);
}

void FirmwareUpgrader::Effects::restoreLine(int baud) {
    if (up.m_session.isOpen()) up.m_session.setLineBaud(baud);
}

void FirmwareUpgrader::Effects::progress(std::uint32_t done, std::uint32_t total) {
    emit up.progressChanged(done, total);
}

void FirmwareUpgrader::Effects::statusText(const std::string& text) {
    emit up.statusText(QString::fromStdString(text));
}

void FirmwareUpgrader::Effects::finished(const FirmwareResult& result) {
    up.m_result = result;
    up.m_session.setFirmwareReceiver({});
    emit up.finished(result.ok, QString::fromStdString(result.text));
}

}  // namespace dtu
