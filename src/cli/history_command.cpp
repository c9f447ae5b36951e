#include "history_command.h"

#include <QSysInfo>
#include <iostream>
#include <variant>

#include "command_table.h"
#include "common.h"
#include "files/param_file.h"
#include "params/read_back.h"
#include "pc_settings_file.h"
#include "production/provisioning.h"
#include "production_commands.h"
#include "records_command.h"
#include "text/csv.h"
#include "text/json.h"

namespace dtu::cli {

namespace {

constexpr int kDefaultLimit = 50;

// The --record value, else the PC settings' record, else the provisioning record in the
// production folder.
std::optional<RecordTarget> historyTarget(const Args& args, ProvisioningDb::Mode mode,
                                          std::string& error) {
    const auto given = args.value("--record");
    const QString spec = QString::fromStdString(given ? *given : loadPcSettingsFile().record);
    const QString dir = productionDirOption(args);
    QString why;
    // Only a writer makes the production folder.
    auto target = mode == ProvisioningDb::Mode::Read ? parseRecordTarget(spec, dir, why)
                                                     : historyRecordTarget(spec, dir, why);
    if (!target) error = "--record: " + why.toStdString();
    return target;
}

std::unique_ptr<ParamHistory> openHistory(const Args& args, ProvisioningDb::Mode mode,
                                          std::string& error) {
    const auto target = historyTarget(args, mode, error);
    if (!target) return nullptr;
    auto history = std::make_unique<ParamHistory>();
    QString why;
    if (!history->open(*target, mode, why)) {
        error = "cannot open the record " + escapeControls(target->describe().toStdString()) +
                ": " + escapeControls(why.toStdString());
        return nullptr;
    }
    return history;
}

std::optional<qint64> entryId(const std::string& text) {
    std::size_t used = 0;
    try {
        const long long id = std::stoll(text, &used);
        if (used == text.size() && id > 0) return id;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

std::string shown(const std::string& s) {
    return s.empty() ? std::string("-") : escapeControls(s);
}

std::string changedNames(const std::vector<FieldDifference>& changes, const char* separator) {
    std::string out;
    for (const auto& c : changes) out += (out.empty() ? "" : separator) + c.field->name;
    return out;
}

void printList(const std::vector<ParamHistory::Listed>& entries, bool json, bool csv) {
    if (csv) {
        std::string out = "id";
        for (const auto& cell : historyCells({})) out.append(",").append(cell.name);
        out += ",changed\r\n";
        for (const auto& l : entries) {
            out += std::to_string(l.entry.id);
            for (const auto& cell : historyCells(l.entry))
                out.append(",").append(csvQuoted(spreadsheetSafe(cell.value.value_or(""))));
            out += "," + csvQuoted(changedNames(l.changes, " ")) + "\r\n";
        }
        std::cout << out;
        return;
    }
    if (json) {
        std::cout << "[";
        bool first = true;
        for (const auto& l : entries) {
            std::cout << (first ? "\n" : ",\n") << "  {\"id\": " << l.entry.id;
            first = false;
            for (const auto& cell : historyCells(l.entry))
                std::cout << ", " << jsonQuote(cell.name) << ": "
                          << (cell.value ? jsonQuote(*cell.value) : std::string("null"));
            std::cout << ", \"changed\": [";
            for (std::size_t i = 0; i < l.changes.size(); ++i) {
                const auto& c = l.changes[i];
                std::cout << (i ? ", " : "") << "{\"field\": " << jsonQuote(c.field->name)
                          << ", \"before\": " << c.before << ", \"after\": " << c.after << "}";
            }
            std::cout << "]}";
        }
        std::cout << (first ? "]\n" : "\n]\n");
        return;
    }
    for (const auto& l : entries) {
        const HistoryEntry& e = l.entry;
        std::cout << e.id << "  " << e.time << "  " << historyKindName(e.kind) << "  "
                  << shown(e.imei) << "  " << shown(e.model) << "  " << shown(e.firmwareVersion)
                  << "  " << shown(e.result);
        if (e.paramsSha256.empty()) std::cout << "  (no parameters kept)";
        if (!l.changes.empty()) std::cout << "  changed: " << changedNames(l.changes, ", ");
        std::cout << "\n";
    }
}

// The entry a command names, or the exit code of why there is none.
std::variant<ParamHistory::Stored, int> findEntry(ParamHistory& history, const std::string& arg) {
    const auto id = entryId(arg);
    if (!id) return fail(kExitUsage, "not an entry id: " + escapeControls(arg));
    QString why;
    auto stored = history.entry(*id, why);
    if (!stored) return fail(kExitFailed, why.isEmpty() ? "no entry " + arg : why.toStdString());
    return std::move(*stored);
}

int showEntry(ParamHistory& history, const Args& args) {
    auto found = findEntry(history, args.positional()[1]);
    if (const int* rc = std::get_if<int>(&found)) return *rc;
    const auto& stored = std::get<ParamHistory::Stored>(found);
    if (!stored.params)
        return fail(kExitFailed, "entry " + args.positional()[1] +
                                     " kept no parameters (a locked configuration)");
    if (auto out = args.value("-o")) return saveParams(*out, *stored.params);
    printParams(*stored.params, false);
    return kExitOk;
}

int diffEntries(ParamHistory& history, const Args& args) {
    const auto& pos = args.positional();
    auto later = findEntry(history, pos.size() > 2 ? pos[2] : pos[1]);
    if (const int* rc = std::get_if<int>(&later)) return *rc;
    std::variant<ParamHistory::Stored, int> earlier = kExitFailed;
    if (pos.size() > 2) {
        earlier = findEntry(history, pos[1]);
    } else {
        QString why;
        auto before = history.previous(std::get<ParamHistory::Stored>(later).entry.id, why);
        if (!before)
            return fail(kExitFailed, why.isEmpty() ? "entry " + pos[1] + " is its device's first"
                                                   : why.toStdString());
        earlier = std::move(*before);
    }
    if (const int* rc = std::get_if<int>(&earlier)) return *rc;
    const auto& a = std::get<ParamHistory::Stored>(earlier);
    const auto& b = std::get<ParamHistory::Stored>(later);
    if (!a.params || !b.params) {
        // Whether they differ, never in what.
        for (const auto* s : {&a, &b})
            if (!s->params) std::cout << s->entry.id << ": locked\n";
        return a.entry.paramsSha256 == b.entry.paramsSha256 ? kExitOk : kExitFailed;
    }
    return printDifferences(diffParams(*a.params, *b.params));
}

}  // namespace

int runHistory(const std::vector<std::string>& argv) {
    std::string error;
    auto args =
        Args::parse(argv, {"--record", "--imei", "--limit", "--production-dir", "-o", "--keep"},
                    {"--csv", "--json"}, error);
    const std::string sub =
        args && !args->positional().empty() ? args->positional()[0] : std::string();
    const std::size_t n = args ? args->positional().size() : 0;
    std::optional<int> limit = kDefaultLimit;
    std::optional<int> keep;
    if (args && error.empty()) {
        if (sub == "show"    ? n != 2
            : sub == "diff"  ? n < 2 || n > 3
            : sub == "prune" ? n != 1
                             : n != 0)
            error = n && sub != "show" && sub != "diff" && sub != "prune"
                        ? "unknown argument " + sub
                        : "wrong number of arguments";
        else if (args->flag("--csv") && args->flag("--json"))
            error = "give --csv or --json, not both";
        if (auto v = args->value("--limit"); v && error.empty()) {
            limit = entryId(*v);
            if (!limit) error = "--limit: a number of entries";
        }
        if (sub == "prune" && error.empty()) {
            const auto v = args->value("--keep");
            if (v) keep = entryId(*v);
            if (!keep) error = "--keep N: how many entries of each device to keep, at least 1";
        }
    }
    if (!error.empty()) return usageError("history", error);

    auto app = ensureApp();
    const auto history = openHistory(
        *args, sub == "prune" ? ProvisioningDb::Mode::Append : ProvisioningDb::Mode::Read, error);
    if (!history) return fail(kExitFailed, error);
    if (sub == "show") return showEntry(*history, *args);
    if (sub == "diff") return diffEntries(*history, *args);
    QString why;
    if (sub == "prune") {
        const auto gone = history->prune(*keep, why);
        if (!gone) return fail(kExitFailed, "cannot prune: " + why.toStdString());
        std::cerr << "dtuconf: " << *gone << (*gone == 1 ? " entry" : " entries") << " removed\n";
        return kExitOk;
    }
    const auto entries =
        history->list(QString::fromStdString(args->value("--imei").value_or("")), *limit, why);
    if (!entries) return fail(kExitFailed, "cannot read the history: " + why.toStdString());
    printList(*entries, args->flag("--json"), args->flag("--csv"));
    return kExitOk;
}

bool recordsHistory(const std::string& command) {
    return command == "read" || command == "save" || command == "set" || command == "restore";
}

DeviceHistory attachHistory(Session& session, const Args& args) {
    DeviceHistory h;
    if (args.flag("--no-history") || !loadPcSettingsFile().paramHistory) return h;
    std::string error;
    h.history = openHistory(args, ProvisioningDb::Mode::Append, error);
    if (!h.history) {
        std::cerr << "dtuconf: parameter history not recorded: " << error << "\n";
        return h;
    }
    h.recorder =
        std::make_unique<HistoryRecorder>(session, *h.history, QSysInfo::machineHostName());
    QObject::connect(h.recorder.get(), &HistoryRecorder::failed, [](const QString& message) {
        std::cerr << "dtuconf: " << escapeControls(message.toStdString()) << "\n";
    });
    return h;
}

int prepareRestore(const Args& args, RestoreJob& job) {
    std::string error;
    const auto history = openHistory(args, ProvisioningDb::Mode::Read, error);
    if (!history) return fail(kExitFailed, error);
    auto found = findEntry(*history, args.positional()[0]);
    if (const int* rc = std::get_if<int>(&found)) return *rc;
    job.stored = std::move(std::get<ParamHistory::Stored>(found));
    if (!job.stored.params)
        return fail(kExitFailed, "entry " + args.positional()[0] +
                                     " kept no parameters (a locked configuration)");
    job.yes = args.flag("--yes");
    job.anyDevice = args.flag("--any-device");
    return kExitOk;
}

int runRestore(const RestoreJob& job, Session& session, DeviceHistory& history,
               const RestoreSteps& steps) {
    // What the device holds now is kept as a read, so that the restore can be undone too.
    if (int rc = steps.read(); rc != kExitOk) return rc;
    if (history.recorder) history.recorder->setActive(false);
    const HistoryEntry& entry = job.stored.entry;
    const DeviceParams& target = *job.stored.params;
    const std::string imei = deviceIdentity(session.params()).imei;
    if (imei != entry.imei && !job.anyDevice)
        return fail(kExitFailed, "the device's IMEI " + shown(imei) + " is not entry " +
                                     std::to_string(entry.id) + "'s " + shown(entry.imei) +
                                     " (--any-device restores it anyway)");

    const auto changes = compareReadBack(target, session.params());
    if (changes.empty()) {
        std::cout << "the device holds entry " << entry.id << "'s parameters already\n";
        return kExitOk;
    }
    for (const auto& c : changes)
        std::cout << c.field->name << ": " << c.readBack << " -> " << c.saved << "\n";
    if (!job.yes) {
        if (!stdinIsTerminal())
            return fail(kExitFailed, "not restored: confirm with --yes when not on a terminal");
        std::cout << "Restore these fields to the device? [y/N] " << std::flush;
        std::string answer;
        std::getline(std::cin, answer);
        if (answer != "y" && answer != "Y" && answer != "yes")
            return fail(kExitFailed, "not restored");
    }

    session.params() = target;
    if (int rc = steps.save(); rc != kExitOk) return rc;
    if (int rc = steps.read(); rc != kExitOk) return rc;
    const auto mismatches = compareReadBack(target, session.params());
    for (const auto& m : mismatches)
        std::cerr << "dtuconf: " << m.field->name << " read back as " << m.readBack << ", saved "
                  << m.saved << "\n";

    if (history.history) {
        HistoryEntry e;
        e.station = QSysInfo::machineHostName().toStdString();
        e.port = session.port().path().toStdString();
        e.kind = HistoryKind::Restore;
        setHistoryIdentity(e, session.params());
        e.result = std::string(mismatches.empty() ? kHistoryOk : kHistoryDiffers);
        QString message;
        if (!recordHistory(*history.history, e, session.params(), message))
            std::cerr << "dtuconf: " << escapeControls(message.toStdString()) << "\n";
    }
    return mismatches.empty() ? kExitOk : kExitFailed;
}

}  // namespace dtu::cli
