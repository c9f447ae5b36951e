#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "args.h"
#include "history_recorder.h"
#include "param_history.h"

namespace dtu::cli {

// history [--imei X] [--limit N] [--json|--csv], history show ID [-o FILE], history diff ID
// [ID2], history prune --keep N: the parameter history of the record.
int runHistory(const std::vector<std::string>& args);

// Whether a device command keeps its reads and saves in the history.
bool recordsHistory(const std::string& command);

// The history a device command writes to, and the recorder on its session.
struct DeviceHistory {
    std::unique_ptr<ParamHistory> history;
    std::unique_ptr<HistoryRecorder> recorder;
};
// Attaches the history to the session unless --no-history or the PC settings turn it off. A
// record that cannot be opened is reported on stderr and the command goes on without it; so
// is an entry that cannot be written.
DeviceHistory attachHistory(Session& session, const Args& args);

// What `restore ID` puts back, loaded before the device is touched.
struct RestoreJob {
    ParamHistory::Stored stored;
    bool yes = false;
    bool anyDevice = false;
};
int prepareRestore(const Args& args, RestoreJob& job);

// The device steps restore runs, each returning an exit code.
struct RestoreSteps {
    std::function<int()> read;
    std::function<int()> save;
};
// Reads the device, checks it is the entry's, shows and confirms what changes, saves, reads
// back, verifies and records a restore entry.
int runRestore(const RestoreJob& job, Session& session, DeviceHistory& history,
               const RestoreSteps& steps);

}  // namespace dtu::cli
