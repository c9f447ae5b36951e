#pragma once

#include <QObject>
#include <QString>

#include "param_history.h"
#include "session.h"

namespace dtu {

// Adds the entry (its station, port, device, kind and result filled in) now, keeping params
// as the history keeps a record. Returns the entry's id; on failure nothing, with a message
// naming the record and the reason.
std::optional<qint64> recordHistory(ParamHistory& history, HistoryEntry entry,
                                    const DeviceParams& params, QString& message);

// Keeps a session's every full read answer and acknowledged save in the parameter history,
// for the window and the command line alike. An entry that cannot be written is reported by
// failed() and dropped: the device operation goes on as if nothing happened. A save is the
// device's that the session last read; the record saved may come from a file and name another
// device, or none.
class HistoryRecorder : public QObject {
    Q_OBJECT
public:
    HistoryRecorder(Session& session, ParamHistory& history, QString station,
                    QObject* parent = nullptr);

    // While off, nothing is recorded (an operation that records its own entry).
    void setActive(bool on) { m_active = on; }
    // The IMEI of the device on the port as its last full read reported it; empty before one.
    const std::string& deviceImei() const { return m_device.imei; }

signals:
    void recorded(qint64 id);
    void failed(const QString& message);

private:
    void add(HistoryKind kind, const DeviceParams& params);

    Session& m_session;
    ParamHistory& m_history;
    QString m_station;
    bool m_active = true;
    HistoryEntry m_device;  // the identity of the last full read; none before one
    // The record as the last command went out: a save is kept as sent, whatever became of the
    // record before its answer (one-click configuration clears it at once).
    DeviceParams m_sent;
};

}  // namespace dtu
