#pragma once

#include <QObject>
#include <QString>

#include "param_history.h"
#include "session.h"

namespace dtu {

// Adds an entry of the given kind for the device whose record params is (unless entry names
// the device already), with the station, port and result given in entry. Returns the entry's id; on
// failure nothing, with a message naming the record and the reason.
std::optional<qint64> recordHistory(ParamHistory& history, HistoryEntry entry,
                                    const DeviceParams& params, QString& message);

// Keeps a session's every full read answer and acknowledged save in the parameter history,
// for the window and the command line alike. An entry that cannot be written is reported by
// failed() and dropped: the device operation goes on as if nothing happened.
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
    void add(HistoryKind kind, HistoryEntry entry, const DeviceParams& params);

    Session& m_session;
    ParamHistory& m_history;
    QString m_station;
    bool m_active = true;
    // The device the port's last full read answered for: a save names it, not whatever device
    // an imported file came from.
    HistoryEntry m_device;
    // The record as the last command went out: a save is kept as sent, whatever became of the
    // record before its answer (one-click configuration clears it at once).
    DeviceParams m_sent;
};

}  // namespace dtu
