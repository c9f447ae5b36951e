#include "device_commands.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>

#include "check_command.h"
#include "command_table.h"
#include "common.h"
#include "files/param_json.h"
#include "history_command.h"
#include "io_commands.h"
#include "mqtt_status_command.h"
#include "params/field_table.h"
#include "params/field_value.h"
#include "production_commands.h"
#include "session.h"
#include "status/status_report.h"
#include "text/json.h"
#include "transfer_commands.h"
#ifdef DTUCONF_HAVE_SIM
#include "pty_server.h"
#endif

namespace dtu::cli {

namespace {

// No device command may keep the tool waiting longer than this, whatever the device does.
constexpr int kWatchdogMs = 120000;
// The diagnostics and device text answers are not awaited by the window; a script waits this long.
constexpr int kStatusAnswerMs = 3000;

// The receive box's "\r\n" line ends as the terminal wants them.
std::string terminalText(const QString& text) {
    std::string s = text.toStdString();
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
        out += s[i];
    }
    return out;
}

std::optional<LinkOptions> parseLinkOptions(const Args& args, std::string& error) {
    auto o = parseLineOptions(args, error);
    if (!o) return std::nullopt;
    if (auto v = args.value("--port")) o->port = *v;
    o->sim = args.flag("--sim");
    if (o->sim == !o->port.empty()) {
        error = o->sim ? "give either --port or --sim, not both"
                       : "no device: give --port PATH or --sim";
        return std::nullopt;
    }
    return o;
}

// The NAME=VALUE arguments of `set`.
std::optional<std::vector<FieldAssignment>> parseAssignments(const std::vector<std::string>& args,
                                                             std::string& error) {
    std::vector<FieldAssignment> out;
    for (const auto& a : args) {
        const auto eq = a.find('=');
        if (eq == std::string::npos || eq == 0) {
            error = "'" + a + "': expected NAME=VALUE";
            return std::nullopt;
        }
        const FieldInfo* field = findField(a.substr(0, eq));
        if (!field || field->reserved) {
            error = "'" + a.substr(0, eq) + "': no such field";
            return std::nullopt;
        }
        out.push_back({field, fieldValueFromText(*field, std::string_view(a).substr(eq + 1))});
    }
    return out;
}

// The status fields as the window shows them, one "label: value" line each.
void printStatus(const Session& session, std::ostream& out) {
    const Language lang = session.language();
    const StatusReport r = buildStatusReport(session.params(), session.live(), lang);
    const bool en = lang == Language::English;
    auto label = [&](int id) { return std::string(langText(lang, id)); };
    const std::pair<std::string, const std::string*> lines[] = {
        {label(kTextModel), &r.model},
        {label(kTextVersion), &r.version},
        {"ICCID", &r.iccid},
        {"IMEI", &r.imei},
        {label(kTextSignal), &r.signal},
        {en ? "Operator" : "运营商", &r.operatorName},
        {"MAC", &r.mac},
        {label(kTextStatus), &r.network},
        {label(kTextServer) + "A", &r.serverA},
        {label(kTextServer) + "B", &r.serverB},
        {"HTTP", &r.http},
        {"MQTT", &r.mqtt},
        {"SIM", &r.sim},
        {"GPS", &r.gps},
        {"GSM", &r.cell},
        {en ? "CloudSet" : "远程配置", &r.remoteConfigUuid},
        {label(kTextUserCode), &r.userCode},
        {"TLS", &r.certChecksums},
    };
    for (const auto& [name, value] : lines) out << name << ": " << *value << "\n";
}

class DeviceRun {
public:
    DeviceRun(const LinkOptions& options, bool quietLog)
        : m_options(options), m_log(quietLog ? std::cerr : std::cout) {
        QObject::connect(&m_session, &Session::logAppended, [this](const QString& text, bool) {
            m_log << terminalText(text) << std::flush;
        });
        QObject::connect(&m_session, &Session::messageBoxRequested, [this](const QString& text) {
            m_log << terminalText(text) << (text.endsWith('\n') ? "" : "\n") << std::flush;
        });
        QObject::connect(&m_session, &Session::lineWarning, [](const QString& text) {
            std::cerr << "dtuconf: warning: " << text.toStdString() << "\n";
        });
        QObject::connect(&m_session, &Session::portFailed, [this](const QString&) {
            m_portFailed = true;
            m_loop.quit();
        });
        configureSession(m_session, options);
    }

    Session& session() { return m_session; }

    // Opens the port (starting the simulated device first with --sim) and, for "auto", waits
    // for the probe. Returns an exit code.
    int open(bool probe) {
        std::string path = m_options.port;
#ifdef DTUCONF_HAVE_SIM
        if (m_options.sim) {
            sim::SimOptions so;
            so.baud = m_options.baud > 0 ? m_options.baud : 9600;
            if (m_options.simRtu) so.kind = sim::DeviceKind::Rtu;
            std::string error;
            m_sim = sim::PtyServer::start(so, error);
            if (!m_sim) return fail(kExitFailed, "cannot start the simulated device: " + error);
            path = m_sim->path();
        }
#else
        if (m_options.sim) return fail(kExitUsage, "--sim: no simulated device in this build");
#endif
        const int baud = probe ? 0 : m_options.baud;
        if (!m_session.openPort(QString::fromStdString(path), baud, m_options.parity,
                                m_options.stop))
            return fail(kExitFailed,
                        "cannot open " + path + ": " + m_session.lastOpenError().toStdString());
        if (baud != 0) return kExitOk;

        bool found = false;
        QTimer lateAnswer;
        lateAnswer.setSingleShot(true);
        QObject::connect(&lateAnswer, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        auto c1 = QObject::connect(&m_session, &Session::baudFound, [&](int) {
            found = true;
            m_loop.quit();
        });
        // The last rate's request goes out as the probe gives up; its answer still counts.
        auto c2 = QObject::connect(&m_session, &Session::probeRanOut,
                                   [&] { lateAnswer.start(kProbeLateAnswerMs); });
        run();
        QObject::disconnect(c1);
        QObject::disconnect(c2);
        if (m_portFailed) return kExitFailed;
        return found ? kExitOk : kExitFailed;
    }

    // Starts a management command with start() and waits for its answer or time-out.
    int command(PendingCommand which, const std::function<bool()>& start) {
        bool answered = false;
        bool done = false;
        auto c =
            QObject::connect(&m_session, &Session::commandDone, [&](PendingCommand cmd, bool ok) {
                if (cmd != which) return;
                answered = ok;
                done = true;
                m_loop.quit();
            });
        const bool sent = start();
        if (sent) run();
        QObject::disconnect(c);
        if (m_portFailed || !sent) return kExitFailed;
        return done && answered ? kExitOk : kExitFailed;
    }

    // Sends a status request and waits for a read answer that carries what want() looks for.
    int statusRequest(const std::function<bool()>& start,
                      const std::function<bool(const DecodeResult&)>& want) {
        bool got = false;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        auto c = QObject::connect(&m_session, &Session::decoded, [&](const DecodeResult& r) {
            if (!want(r)) return;
            got = true;
            m_loop.quit();
        });
        if (!start()) return kExitFailed;
        limit.start(m_session.answerTimeoutMs(kStatusAnswerMs));
        run();
        QObject::disconnect(c);
        if (m_portFailed) return kExitFailed;
        if (!got) {
            const bool en = m_session.language() == Language::English;
            m_log << (en ? "No answer from the device\n" : "设备无应答\n") << std::flush;
        }
        return got ? kExitOk : kExitFailed;
    }

private:
    void run() {
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        watchdog.start(m_session.answerTimeoutMs(kWatchdogMs));  // a slow line's own time aside
        m_loop.exec();
    }

    LinkOptions m_options;
    std::ostream& m_log;
#ifdef DTUCONF_HAVE_SIM
    std::unique_ptr<sim::PtyServer> m_sim;  // outlives the session's port (declared first)
#endif
    Session m_session;
    QEventLoop m_loop;
    bool m_portFailed = false;
};

}  // namespace

std::optional<LinkOptions> parseLineOptions(const Args& args, std::string& error) {
    LinkOptions o;
    if (auto v = args.value("--baud")) {
        if (*v == "auto" || *v == "AUTO") {
            o.baud = 0;
        } else {
            const int b = std::atoi(v->c_str());
            if (b <= 0 || std::to_string(b) != *v) {
                error = "--baud: a rate such as 9600, or auto";
                return std::nullopt;
            }
            o.baud = b;
        }
    }
    if (auto v = args.value("--parity")) {
        const std::vector<std::string> names = {"none", "odd", "even"};
        const auto it = std::find(names.begin(), names.end(), *v);
        if (it == names.end()) {
            error = "--parity: none, odd or even";
            return std::nullopt;
        }
        o.parity = static_cast<int>(it - names.begin());
    }
    if (auto v = args.value("--stop")) {
        const std::vector<std::string> names = {"1", "1.5", "2"};
        const auto it = std::find(names.begin(), names.end(), *v);
        if (it == names.end()) {
            error = "--stop: 1, 1.5 or 2";
            return std::nullopt;
        }
        o.stop = static_cast<int>(it - names.begin());
    }
    if (auto v = args.value("--lang")) {
        if (*v != "zh" && *v != "en") {
            error = "--lang: zh or en";
            return std::nullopt;
        }
        o.lang = *v == "en" ? Language::English : Language::Chinese;
    }
    const auto lock = parsePassword(args, error);
    if (!lock) return std::nullopt;
    o.lock = *lock;
    o.pieces = args.flag("--pieces");
    return o;
}

void configureSession(Session& session, const LinkOptions& options) {
    session.setLanguage(options.lang);
    if (options.lock) {
        session.setAccessPassword(*options.lock);
        session.setLockEnabled(true);
    }
    session.flow().setPieces(options.pieces);
}

bool isDeviceCommand(const std::string& name) {
    const Command* c = findCommand(name);
    return c && isDevice(*c);
}

bool isGlobalValueOption(const std::string& arg) {
    for (const auto& o : deviceOptions())
        if (o.name == arg) return !o.value.empty();
    return false;
}

bool isGlobalFlag(const std::string& arg) {
    for (const auto& o : deviceOptions())
        if (o.name == arg) return o.value.empty();
    return false;
}

int runDeviceCommand(const std::string& name, const std::vector<std::string>& argv) {
    const Command& info = *findCommand(name);
    std::set<std::string> values;
    std::set<std::string> flags;
    deviceCommandOptions(info, values, flags);

    std::string error;
    auto args = Args::parse(argv, values, flags, error);
    if (args &&
        (args->positional().size() < info.minArgs || args->positional().size() > info.maxArgs))
        error = "wrong number of arguments";
    std::optional<LinkOptions> options;
    if (args && error.empty()) options = parseLinkOptions(*args, error);
    std::optional<std::vector<FieldAssignment>> assignments;
    if (options && name == "set") assignments = parseAssignments(args->positional(), error);
    if (!error.empty()) return usageError(name, error);
    if (assignments) {
        if (const std::string why = refuseAssignments(*assignments); !why.empty())
            return fail(kExitUsage, why);
    }

    // Files are checked before anything goes to the device.
    DeviceParams fileParams;
    if (name == "save") {
        if (int rc = loadParams(args->positional()[0], fileParams); rc != kExitOk) return rc;
    }
    TransferJob transfer;
    if (isTransferCommand(name)) {
        if (int rc = prepareTransfer(name, *args, options->lang, transfer); rc != kExitOk)
            return rc;
    }
    IoJob io;
    if (isIoCommand(name)) {
        if (int rc = prepareIo(name, *args, io); rc != kExitOk) return rc;
        // The relay test is the single-relay DTU's; the rest is the RTU's.
        options->simRtu = name != "relay-test";
    }
    ProductionJob production;
    if (isProductionCommand(name)) {
        if (int rc = prepareProduction(name, *args, options->lang, production); rc != kExitOk)
            return rc;
    }

    RestoreJob restore;
    if (name == "restore") {
        if (int rc = prepareRestore(*args, restore); rc != kExitOk) return rc;
    }

    int argc = 1;
    char arg0[] = "dtuconf";
    char* argvQt[] = {arg0, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argvQt);

    const bool json = args->flag("--json");
    DeviceRun run(*options, json);
    Session& s = run.session();
    s.setFactoryRecordDir(productionDirOption(*args));
    if (int rc = run.open(name == "probe"); rc != kExitOk || name == "probe") return rc;
    // Only once there is a device to keep a history of.
    DeviceHistory history;
    if (recordsHistory(name)) history = attachHistory(s, *args);

    if (isTransferCommand(name)) return runTransfer(transfer, s);
    if (isIoCommand(name)) return runIo(io, s);
    CommandFlow& flow = s.flow();
    auto readAll = [&] { return run.command(PendingCommand::Read, [&] { return flow.read(); }); };

    if (isProductionCommand(name)) {
        if (int rc = readAll(); rc != kExitOk) return rc;
        return runProduction(production, s);
    }
    if (name == "check") {
        if (int rc = readAll(); rc != kExitOk) return rc;
        return runServerCheck(s.params(), *args, options->lang);
    }
    if (name == "read" || name == "status") {
        if (int rc = readAll(); rc != kExitOk) return rc;
        if (name == "read") {
            if (auto out = args->value("-o")) {
                if (int rc = saveParams(*out, s.params()); rc != kExitOk) return rc;
            } else {
                printParams(s.params(), json);
            }
        }
        printStatus(s, json ? std::cerr : std::cout);
        return kExitOk;
    }
    if (name == "save") {
        // As a one-click configuration: the file's record goes out as it stands, then the
        // session forgets it.
        s.params() = fileParams;
        flow.setParamsRead();
        const int rc = run.command(PendingCommand::Save, [&] { return flow.save(); });
        s.params().clear();
        return rc;
    }
    if (name == "set") {
        if (int rc = readAll(); rc != kExitOk) return rc;
        const DeviceParams before = s.params();
        for (const auto& a : *assignments) {
            const std::string why = setFieldValue(s.params(), *a.field, a.value);
            if (!why.empty()) return fail(kExitUsage, std::string(a.field->name) + ": " + why);
        }
        if (int rc = run.command(PendingCommand::Save, [&] { return flow.save(); }); rc != kExitOk)
            return rc;
        printDifferences(diffParams(before, s.params()));
        return kExitOk;
    }
    if (name == "restore")
        return runRestore(restore, s, history, {readAll, [&] {
                                                    return run.command(PendingCommand::Save,
                                                                       [&] { return flow.save(); });
                                                }});
    if (name == "reboot") return run.command(PendingCommand::Reboot, [&] { return flow.reboot(); });
    if (name == "reset")
        return run.command(PendingCommand::Reset, [&] { return flow.factoryReset(); });
    if (name == "deep-reset")
        return run.command(PendingCommand::Reset, [&] { return flow.deepReset(); });
    if (name == "diag")
        return run.statusRequest([&] { return flow.requestDiagnostics(); },
                                 [](const DecodeResult& r) { return r.diagnostics.has_value(); });
    if (name == "text")
        return run.statusRequest([&] { return flow.requestDeviceText(); },
                                 [](const DecodeResult& r) { return r.deviceText.has_value(); });
    if (name == "mqtt-status") return runMqttStatus(s);
    return kExitUsage;
}

}  // namespace dtu::cli
