#include "history_recorder.h"

namespace dtu {

std::optional<qint64> recordHistory(ParamHistory& history, HistoryEntry entry,
                                    const DeviceParams& params, QString& message) {
    entry.time = historyTimeNow();
    const auto bytes = historyRecord(params);
    QString error;
    std::optional<std::span<const std::uint8_t>> span;
    if (bytes) span = std::span<const std::uint8_t>(*bytes);
    if (!history.record(entry, span, error)) {
        message = QStringLiteral("parameter history not recorded in %1: %2")
                      .arg(history.describe(), error);
        return std::nullopt;
    }
    return entry.id;
}

HistoryRecorder::HistoryRecorder(Session& session, ParamHistory& history, QString station,
                                 QObject* parent)
    : QObject(parent), m_session(session), m_history(history), m_station(std::move(station)) {
    connect(&session, &Session::decoded, this, [this](const DecodeResult& r) {
        if (!r.sawItem1) return;
        setHistoryIdentity(m_device, m_session.params());
        add(HistoryKind::Read, m_session.params());
    });
    connect(&session, &Session::portOpenChanged, this, [this](bool open) {
        if (!open) m_device = {};  // another device may be on the port when it opens again
    });
    // Commands are disabled just as a command's frame goes out, after a save collected it.
    connect(&session, &Session::commandsEnabledChanged, this, [this](bool enabled) {
        if (!enabled) m_sent = m_session.params();
    });
    connect(&session, &Session::commandDone, this, [this](PendingCommand c, bool answered) {
        if (c == PendingCommand::Save && answered) add(HistoryKind::Save, m_sent);
    });
}

void HistoryRecorder::add(HistoryKind kind, const DeviceParams& params) {
    if (!m_active) return;
    HistoryEntry e = m_device;
    e.station = m_station.toStdString();
    e.port = m_session.port().path().toStdString();
    e.kind = kind;
    e.result = std::string(kHistoryOk);
    QString message;
    if (const auto id = recordHistory(m_history, e, params, message))
        emit recorded(*id);
    else
        emit failed(message);
}

}  // namespace dtu
