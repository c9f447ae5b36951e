#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <span>

#include "link/burst.h"
#include "link/command_flow.h"
#include "link/receive_log.h"
#include "link/serial_line.h"
#include "params/device_params.h"
#include "params/live_state.h"
#include "rtu/rtu_panel.h"
#include "serial_port.h"

namespace dtu {

// One working session with a device: the port, the record and what the device reported, the
// command flows with their timers, and the receive box. The desktop window and the command
// line are two faces of the same session.
class Session : public QObject, private LinkEffects {
    Q_OBJECT
public:
    explicit Session(QObject* parent = nullptr);
    ~Session() override;

    DeviceParams& params() { return m_params; }
    const DeviceParams& params() const { return m_params; }
    LiveState& live() { return m_live; }
    const LiveState& live() const { return m_live; }
    // What the RTU test panel keeps between one opening of its form and the next.
    RtuPanelMemory& rtuPanelMemory() { return m_rtuPanelMemory; }
    CommandFlow& flow() { return m_flow; }
    const ReceiveLog& receiveLog() const { return m_log; }
    void clearLog() { m_log.clear(); }
    // A line of the window's own for the receive box (it ends in "\r\n" where it should).
    void appendLine(const QString& text) { appendLog(text.toStdString()); }

    // Opens the port; baud 0 means "AUTO": the line starts at 115200 and the probe runs. A
    // failure is reported in the receive box ("Open:Failed") and by the result.
    bool openPort(const QString& path, int baud, int parityIndex, int stopIndex);
    void closePort();
    bool isOpen() const { return m_port.isOpen(); }
    // Why the last openPort failed, in the system's words.
    QString lastOpenError() const { return m_openError; }
    int lineBaud() const { return m_lineBaud; }
    const SerialPort& port() const { return m_port; }

    void setLanguage(Language lang);
    Language language() const { return m_flow.language(); }
    // The device lock box and the password it presents.
    void setAccessPassword(const LockPassword& password);
    const LockPassword& accessPassword() const { return m_accessPassword; }
    void setLockEnabled(bool on);
    bool lockEnabled() const { return m_lockEnabled; }

    // While set, every burst goes to this receiver instead of the answer handling.
    using BurstReceiver = std::function<void(std::span<const std::uint8_t>)>;
    void setFirmwareReceiver(BurstReceiver receiver);
    // Reconfigures the open line (a transfer that changes the rate, the probe) with the parity
    // and stop bits it was opened with, or with others for this change only (a firmware
    // transfer runs at 8N1).
    void setLineBaud(int baud);
    void setLineBaud(int baud, int parityIndex, int stopIndex);

    // An answer's time-out of ms started now: it counts from when everything handed to the
    // port so far has left the line, at the line's real settings.
    int answerTimeoutMs(int ms) const;

    // Where the production record goes; nothing is written while the folder does not exist.
    void setFactoryRecordDir(const QString& dir) { m_factoryDir = dir; }
    QString factoryRecordDir() const { return m_factoryDir; }
    static QString defaultFactoryRecordDir();
    // Adds the device in params() to the production record; a full read's answer does this by
    // itself, a parameter file loaded into the record asks for it. A file that could not be
    // updated is named with the reason in the receive box; returns whether all went in.
    bool writeFactoryRecord();

signals:
    // The session's language changed: what shows texts of its own follows it.
    void languageChanged(Language lang);
    // Text for the receive box; cleared is true when the box was emptied before it.
    void logAppended(const QString& text, bool cleared);
    void messageBoxRequested(const QString& text);
    void commandsEnabledChanged(bool enabled);
    void portButtonEnabledChanged(bool enabled);
    void portOpenChanged(bool open);
    // A read answer was decoded into params() and live(); only a full read's (sawItem1) brings
    // settings.
    void decoded(const DecodeResult& result);
    void commandDone(PendingCommand command, bool answered);
    void baudFound(int baud);
    void probeRanOut();
    // A write answer (0x84) for an item: status 0 acknowledges it.
    void writeAnswer(quint8 tag, quint8 status);
    // The port took the line settings only in part (a pseudo-terminal has no parity, some
    // drivers no 1.5 stop bits); the line works with the rest.
    void lineWarning(const QString& text);
    // The port broke while open and has been closed.
    void portFailed(const QString& reason);

private:
    // LinkEffects
    void writeBytes(std::span<const std::uint8_t> bytes, bool piece) override;
    void startTimer(LinkTimer timer, int ms) override;
    void stopTimer(LinkTimer timer) override;
    void appendLog(const std::string& text) override;
    void messageBox(const std::string& text) override;
    void configureLine(int baud) override;
    void setCommandsEnabled(bool enabled) override;
    void setPortButtonEnabled(bool enabled) override;
    void paramsDecoded(const DecodeResult& result) override;
    void commandFinished(PendingCommand command, bool answered) override;
    void probeExhausted() override;
    void probeFound(int baud) override;
    void writeAnswered(std::uint8_t tag, std::uint8_t status) override;

    void onBytes(const QByteArray& bytes);
    void onGatherTimer();
    void applyGather(BurstGatherer::Step step);
    void deliver(const Burst& burst);
    void onPortFailed(const QString& reason);
    void writeDue();
    LineOutput::Time now() const;
    QTimer& timerFor(LinkTimer timer);

    DeviceParams m_params;
    LiveState m_live;
    RtuPanelMemory m_rtuPanelMemory;
    SerialPort m_port;
    BurstGatherer m_gatherer;
    CommandFlow m_flow;
    ReceiveLog m_log;
    QTimer m_gatherTimer;
    QTimer m_probeTimer;
    QTimer m_replyTimer;
    LineOutput m_output;
    QTimer m_writeTimer;  // the next piece of a request in pieces
    QElapsedTimer m_clock;
    LockPassword m_accessPassword{};
    bool m_lockEnabled = false;
    int m_parityIndex = 0;
    int m_stopIndex = 0;
    int m_lineBaud = 0;
    BurstReceiver m_firmwareReceiver;
    QString m_factoryDir;
    QString m_openError;
};

}  // namespace dtu
