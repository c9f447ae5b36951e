#include "session.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>

#include "factory_record_file.h"
#include "qt_bytes.h"

namespace dtu {

Session::Session(QObject* parent) : QObject(parent), m_flow(*this, m_params, m_live) {
    for (QTimer* t : {&m_gatherTimer, &m_probeTimer, &m_replyTimer, &m_writeTimer}) {
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
    }
    m_clock.start();
    connect(&m_gatherTimer, &QTimer::timeout, this, &Session::onGatherTimer);
    connect(&m_writeTimer, &QTimer::timeout, this, &Session::writeDue);
    connect(&m_probeTimer, &QTimer::timeout, this, [this] { m_flow.onTimer(LinkTimer::Probe); });
    connect(&m_replyTimer, &QTimer::timeout, this, [this] {
        // An answer still coming in is not late; the gatherer ends it within its pause, whole
        // or cut short, and the time-out looks again after that.
        if (const auto arriving = m_gatherer.frameArrivingMs()) {
            m_replyTimer.start(*arriving + 1);
            return;
        }
        m_flow.onTimer(LinkTimer::Reply);
    });
    connect(&m_port, &SerialPort::bytesArrived, this, &Session::onBytes);
    connect(&m_port, &SerialPort::failed, this, &Session::onPortFailed);
    m_factoryDir = defaultFactoryRecordDir();
}

Session::~Session() = default;

QString Session::defaultFactoryRecordDir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/dtuconf/factory-dtu");
}

bool Session::openPort(const QString& path, int baud, int parityIndex, int stopIndex) {
    if (!m_port.open(path, m_openError)) {
        const Language lang = m_flow.language();
        appendLog(std::string(langText(lang, kTextOpen)) + ":" +
                  std::string(langText(lang, kTextFailed)) + "\r\n");
        return false;
    }
    m_parityIndex = parityIndex;
    m_stopIndex = stopIndex;
    m_gatherer.clear();
    m_output.clear();
    if (baud > 0) {
        setLineBaud(baud);
    } else {
        // The port's opening rate until the probe sets one; frames are gathered at the rate
        // the line really has, also while the probe runs.
        m_lineBaud = 115200;
        m_gatherer.setLineBaud(m_lineBaud);
        m_output.setLine(m_port.line());
    }
    m_flow.setPortOpen(true, baud);
    emit portOpenChanged(true);
    if (baud == 0) m_flow.startProbe();
    return true;
}

void Session::closePort() {
    m_flow.setPortOpen(false);
    m_port.close();
    m_gatherTimer.stop();
    m_gatherer.clear();
    m_writeTimer.stop();
    m_output.clear();
    emit portOpenChanged(false);
}

void Session::setLanguage(Language lang) {
    if (lang == m_flow.language()) return;
    m_flow.setLanguage(lang);
    emit languageChanged(lang);
}

void Session::setAccessPassword(const LockPassword& password) {
    m_accessPassword = password;
    if (m_lockEnabled) m_flow.setLock(m_accessPassword);
}

void Session::setLockEnabled(bool on) {
    m_lockEnabled = on;
    m_flow.setLock(on ? Lock(m_accessPassword) : std::nullopt);
}

void Session::setFirmwareReceiver(BurstReceiver receiver) {
    m_firmwareReceiver = std::move(receiver);
    m_gatherer.setFirmwareMode(static_cast<bool>(m_firmwareReceiver));
}

void Session::setLineBaud(int baud) {
    setLineBaud(baud, m_parityIndex, m_stopIndex);
}

void Session::setLineBaud(int baud, int parityIndex, int stopIndex) {
    LineRefusal refused;
    m_port.configure(baud, parityIndex, stopIndex, &refused);
    if (refused.any())
        emit lineWarning(QString::fromStdString(lineRefusalText(refused, baud, language())));
    m_lineBaud = baud;
    m_gatherer.setLineBaud(baud);
    // The time on the wire follows what the port really took.
    m_output.setLine(m_port.line());
}

int Session::answerTimeoutMs(int ms) const {
    return m_output.answerTimeoutMs(ms, now());
}

LineOutput::Time Session::now() const {
    return std::chrono::duration_cast<LineOutput::Time>(
        std::chrono::nanoseconds(m_clock.nsecsElapsed()));
}

// --- receive path ---

void Session::onBytes(const QByteArray& bytes) {
    applyGather(m_gatherer.onBytes(byteSpan(bytes)));
}

void Session::onGatherTimer() {
    // The pause is the line's: on a busy machine the timer can come round after more bytes
    // reached the driver, and those continue the burst instead of cutting it.
    if (m_port.takePending()) return;
    applyGather(m_gatherer.onTimer());
}

void Session::applyGather(BurstGatherer::Step step) {
    if (step.timerMs >= 0)
        m_gatherTimer.start(step.timerMs);
    else
        m_gatherTimer.stop();
    for (const Burst& burst : step.bursts) deliver(burst);
}

void Session::deliver(const Burst& burst) {
    if (burst.cut) {
        appendLog(m_flow.language() == Language::English
                      ? "Received more than 10240 bytes at once; the data was split.\r\n"
                      : "一次收到超过 10240 字节的数据，已分段处理。\r\n");
    }
    if (m_firmwareReceiver) {
        m_firmwareReceiver(burst.bytes);
        return;
    }
    m_flow.onBurst(burst.bytes);
}

void Session::onPortFailed(const QString& reason) {
    m_flow.setPortOpen(false);
    m_gatherTimer.stop();
    m_gatherer.clear();
    m_writeTimer.stop();
    m_output.clear();
    const bool en = m_flow.language() == Language::English;
    appendLog((en ? "The serial port failed and was closed: " : "串口异常，已关闭：") +
              reason.toStdString() + "\r\n");
    emit portOpenChanged(false);
    emit portFailed(reason);
}

// --- effects of the command flows ---

void Session::writeBytes(std::span<const std::uint8_t> bytes, bool piece) {
    // A request starts a new exchange: a half-gathered frame belongs to none, and an answer can
    // only be one that follows its request (the port discards its unread input likewise). Raw
    // data gathered before it is still shown.
    m_gatherTimer.stop();
    if (auto raw = m_gatherer.beforeRequest()) deliver(*raw);
    if (!m_port.isOpen()) return;
    m_output.queue(bytes, piece, now());
    writeDue();
}

void Session::writeDue() {
    const LineOutput::Step step = m_output.take(now());
    for (const auto& bytes : step.writes) {
        if (!m_port.write(bytes)) return;  // the port failed and took the rest with it
    }
    if (!step.next) return;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*step.next - now());
    m_writeTimer.start(static_cast<int>(std::max<std::int64_t>(0, wait.count())));
}

QTimer& Session::timerFor(LinkTimer timer) {
    return timer == LinkTimer::Probe ? m_probeTimer : m_replyTimer;
}

void Session::startTimer(LinkTimer timer, int ms) {
    // Both are answer time-outs: the probe's step waits for the answer at one rate.
    timerFor(timer).start(answerTimeoutMs(ms));
}

void Session::stopTimer(LinkTimer timer) {
    timerFor(timer).stop();
}

void Session::appendLog(const std::string& text) {
    const bool cleared = m_log.append(text);
    emit logAppended(QString::fromStdString(text), cleared);
}

void Session::messageBox(const std::string& text) {
    emit messageBoxRequested(QString::fromStdString(text));
}

void Session::configureLine(int baud) {
    setLineBaud(baud);
}

void Session::setCommandsEnabled(bool enabled) {
    emit commandsEnabledChanged(enabled);
}

void Session::setPortButtonEnabled(bool enabled) {
    emit portButtonEnabledChanged(enabled);
}

void Session::paramsDecoded(const DecodeResult& result) {
    // Live answers (I/O polls every second, status) bring no new device to record.
    if (result.sawItem1) writeFactoryRecord();
    emit decoded(result);
}

void Session::commandFinished(PendingCommand command, bool answered) {
    emit commandDone(command, answered);
}

void Session::probeExhausted() {
    emit probeRanOut();
}

void Session::probeFound(int baud) {
    emit baudFound(baud);
}

void Session::writeAnswered(std::uint8_t tag, std::uint8_t status) {
    emit writeAnswer(tag, status);
}

bool Session::writeFactoryRecord() {
    if (m_factoryDir.isEmpty() || !QDir(m_factoryDir).exists()) return true;
    const QStringList failures =
        appendFactoryRecord(m_factoryDir, m_params, QDateTime::currentDateTime());
    const bool en = m_flow.language() == Language::English;
    for (const QString& f : failures)
        appendLog((en ? "Production record not written: " : "生产记录未写入：") + f.toStdString() +
                  "\r\n");
    return failures.isEmpty();
}

}  // namespace dtu
