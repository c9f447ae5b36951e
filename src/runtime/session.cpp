#include "session.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>

#include "factory_record_file.h"
#include "qt_bytes.h"

namespace dtu {

Session::Session(QObject* parent) : QObject(parent), m_flow(*this, m_params, m_live) {
    for (QTimer* t : {&m_gatherTimer, &m_probeTimer, &m_replyTimer}) {
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
    }
    connect(&m_gatherTimer, &QTimer::timeout, this, &Session::onGatherTimer);
    connect(&m_probeTimer, &QTimer::timeout, this, [this] { m_flow.onTimer(LinkTimer::Probe); });
    connect(&m_replyTimer, &QTimer::timeout, this, [this] { m_flow.onTimer(LinkTimer::Reply); });
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
    if (baud > 0) {
        setLineBaud(baud);
    } else {
        m_lineBaud = 115200;  // the port's opening rate until the probe sets one
        m_gatherer.setLineBaud(m_lineBaud);
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
    emit portOpenChanged(false);
}

void Session::setLanguage(Language lang) {
    m_flow.setLanguage(lang);
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
    QString warning;
    m_port.configure(baud, parityIndex, stopIndex, &warning);
    if (!warning.isEmpty()) emit lineWarning(warning);
    m_lineBaud = baud;
    m_gatherer.setLineBaud(baud);
}

// --- receive path ---

void Session::onBytes(const QByteArray& bytes) {
    applyGather(m_gatherer.onBytes(byteSpan(bytes)));
}

void Session::onGatherTimer() {
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
    const bool en = m_flow.language() == Language::English;
    appendLog((en ? "The serial port failed and was closed: " : "串口异常，已关闭：") +
              reason.toStdString() + "\r\n");
    emit portOpenChanged(false);
    emit portFailed(reason);
}

// --- effects of the command flows ---

void Session::writeBytes(std::span<const std::uint8_t> bytes) {
    // A request starts a new exchange: bytes still being gathered belong to none, and an answer
    // can only be one that follows its request (the port discards its unread input likewise).
    m_gatherTimer.stop();
    m_gatherer.clear();
    m_port.write(bytes);
}

QTimer& Session::timerFor(LinkTimer timer) {
    return timer == LinkTimer::Probe ? m_probeTimer : m_replyTimer;
}

void Session::startTimer(LinkTimer timer, int ms) {
    timerFor(timer).start(ms);
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
    writeFactoryRecord();
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

void Session::writeFactoryRecord() {
    if (m_factoryDir.isEmpty() || !QDir(m_factoryDir).exists()) return;
    appendFactoryRecord(m_factoryDir, m_params, QDateTime::currentDateTime());
}

}  // namespace dtu
