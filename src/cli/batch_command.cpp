#include "batch_command.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSysInfo>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <iostream>
#include <map>
#include <memory>

#include "command_table.h"
#include "common.h"
#include "device_commands.h"
#include "device_provisioner.h"
#include "file_io.h"
#include "link/command_flow.h"
#include "production/batch_plan.h"
#include "production_commands.h"
#include "provisioning_db.h"
#include "text/csv.h"
#include "text/json.h"
#include "transfer_commands.h"

namespace dtu::cli {

namespace {

// The live table is drawn at most this often.
constexpr int kRedrawMs = 100;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

bool hasWildcard(const QString& s) {
    return s.contains('*') || s.contains('?') || s.contains('[');
}

// The ports a glob names; wildcards only in its last part (/dev/ttyUSB*, /tmp/sims/dev?).
std::optional<std::vector<QString>> expandPorts(const std::string& glob, std::string& error) {
    const QFileInfo info(qs(glob));
    if (hasWildcard(info.path())) {
        error = "--ports: wildcards only in the last part of the path";
        return std::nullopt;
    }
    const QDir dir = info.dir();
    std::vector<QString> ports;
    for (const QString& name :
         dir.entryList({info.fileName()}, QDir::Files | QDir::System | QDir::Hidden, QDir::Name))
        ports.push_back(dir.filePath(name));
    if (ports.empty()) {
        error = "--ports: nothing matches " + glob;
        return std::nullopt;
    }
    return ports;
}

// One line of the progress and one row of the record: a device on a port, or a plan row that
// never got one.
struct Entry {
    QString port;
    QString imei;
    std::unique_ptr<DeviceProvisioner> device;
    const PlanRow* row = nullptr;
    // Set once it is over.
    bool over = false;
    ProvisionResult result = ProvisionResult::Running;
    ProvisionStep failedStep = ProvisionStep::Done;
    QString reason;
    QDateTime started, ended;
    // The step now running, for its rate.
    ProvisionStep step = ProvisionStep::Open;
    quint32 done = 0, total = 0;
    QElapsedTimer stepClock;
    quint64 stepBytes = 0;
};

std::string resultText(const Entry& e) {
    switch (e.result) {
        case ProvisionResult::Running:
            return {};
        case ProvisionResult::Succeeded:
            return "ok";
        case ProvisionResult::Skipped:
            return "skipped: " + e.reason.toStdString();
        case ProvisionResult::Failed:
            return "failed at " + std::string(provisionStepName(e.failedStep)) + ": " +
                   e.reason.toStdString();
    }
    return {};
}

// Columns a terminal gives a character (CJK takes two).
int displayWidth(char32_t c) {
    return (c >= 0x1100 &&
            (c <= 0x115F || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
             (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
             (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6)))
               ? 2
               : 1;
}

// The text cut to fit the columns, so that no line wraps and the redraw stays in place.
std::string fitColumns(const std::string& text, int columns) {
    const QString s = qs(text);
    QString out;
    int used = 0;
    for (const char32_t c : s.toUcs4()) {
        const int w = displayWidth(c);
        if (used + w > columns) break;
        used += w;
        out += QString::fromUcs4(&c, 1);
    }
    return out.toStdString();
}

std::string padded(const std::string& s, std::size_t width) {
    const std::size_t shown = static_cast<std::size_t>(qs(s).size());
    return s + std::string(shown < width ? width - shown : 0, ' ') + "  ";
}

// Progress: on a terminal a table with a line per device, redrawn in place; otherwise a plain
// line per step and per result.
class BatchProgress {
public:
    explicit BatchProgress(const std::vector<std::unique_ptr<Entry>>& entries)
        : m_entries(entries), m_terminal(stdoutIsTerminal()) {}

    bool terminal() const { return m_terminal; }

    // A device began a step.
    void stepped(const Entry& e) {
        if (m_terminal) return;
        std::cout << who(e) << ": " << provisionStepName(e.step) << "\n" << std::flush;
    }
    // A device (or a row) is over.
    void ended(const Entry& e) {
        if (m_terminal) return;
        std::cout << who(e) << ": " << resultText(e) << "\n" << std::flush;
    }

    void draw() {
        if (!m_terminal) return;
        std::size_t portWidth = 4;
        for (const auto& e : m_entries)
            portWidth = std::max(portWidth, static_cast<std::size_t>(e->port.size()));
        const int columns = std::max(20, terminalColumns() - 1);
        std::string frame;
        if (m_drawn > 0) frame += "\x1b[" + std::to_string(m_drawn) + "A";
        auto line = [&](const std::string& text) {
            frame += "\r\x1b[2K" + fitColumns(text, columns) + "\n";
        };
        line(padded("PORT", portWidth) + padded("IMEI", 15) + padded("STEP", 8) +
             padded("PROGRESS", 16) + "RESULT");
        for (const auto& e : m_entries) {
            const std::string step =
                e->over ? std::string(provisionStepName(e->result == ProvisionResult::Failed
                                                            ? e->failedStep
                                                            : ProvisionStep::Done))
                        : std::string(provisionStepName(e->step));
            line(padded(e->port.toStdString(), portWidth) + padded(e->imei.toStdString(), 15) +
                 padded(step, 8) + padded(e->over ? std::string() : rate(*e), 16) + resultText(*e));
        }
        m_drawn = static_cast<int>(m_entries.size()) + 1;
        std::cout << frame << std::flush;
    }

private:
    // The port and the IMEI, as far as they are known.
    static std::string who(const Entry& e) {
        std::string s = e.port.toStdString();
        if (!e.imei.isEmpty()) s += (s.empty() ? "" : " ") + e.imei.toStdString();
        return s;
    }

    // Share done of a transfer, and the bytes the line carries in this step.
    static std::string rate(const Entry& e) {
        std::string s;
        if (e.total > 0) s = std::to_string(100u * std::min(e.done, e.total) / e.total) + "% ";
        if (!e.device || !e.stepClock.isValid()) return s;
        const double seconds = double(e.stepClock.nsecsElapsed()) / 1e9;
        const quint64 bytes = e.device->lineBytes() - std::min(e.stepBytes, e.device->lineBytes());
        if (seconds > 0.05)
            s += std::to_string(static_cast<long long>(double(bytes) / seconds)) + " B/s";
        return s;
    }

    const std::vector<std::unique_ptr<Entry>>& m_entries;
    bool m_terminal;
    int m_drawn = 0;
};

QString paramsHash(const DeviceParams& params) {
    const auto image = params.image();
    return QString::fromLatin1(
        QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char*>(image.data()),
                                                static_cast<qsizetype>(image.size())),
                                 QCryptographicHash::Sha256)
            .toHex());
}

struct BatchSetup {
    BatchPlan plan;
    LinkOptions line;
    DeviceProvisioner::Work work;
    std::vector<QString> scanPorts;  // with an imei plan
    std::size_t jobs = 0;            // 0: all at once
    QString station;
    QString productionDir;
};

class BatchRun {
public:
    BatchRun(BatchSetup& setup, ProvisioningDb& db)
        : m_setup(setup), m_db(db), m_progress(m_entries) {}

    int exec() {
        QElapsedTimer clock;
        clock.start();
        const bool byImei = m_setup.plan.key == PlanKey::Imei;
        // Rows the plan refuses fail first, without a port.
        for (const PlanRow& row : m_setup.plan.rows) {
            if (row.error.empty()) continue;
            Entry& e = addEntry(byImei ? QString() : qs(row.key), &row);
            if (byImei) e.imei = qs(row.key);
            end(e, ProvisionResult::Failed, ProvisionStep::Plan, qs(row.error));
        }
        if (byImei) {
            for (const PlanRow& row : m_setup.plan.rows) m_rowsByImei[row.key] = &row;
            for (const QString& port : m_setup.scanPorts) addDevice(port, nullptr);
        } else {
            for (const PlanRow& row : m_setup.plan.rows)
                if (row.error.empty()) addDevice(qs(row.key), &row);
        }

        QTimer redraw;
        QObject::connect(&redraw, &QTimer::timeout, [this] { m_progress.draw(); });
        if (m_progress.terminal()) redraw.start(kRedrawMs);
        m_progress.draw();
        fillSlots();
        if (m_running > 0) m_loop.exec();
        redraw.stop();

        if (byImei) {
            for (const PlanRow& row : m_setup.plan.rows) {
                if (!row.error.empty() || m_claimed.count(row.key)) continue;
                Entry& e = addEntry({}, &row);
                e.imei = qs(row.key);
                end(e, ProvisionResult::Failed, ProvisionStep::Match,
                    QStringLiteral("no device on the ports reported this IMEI"));
            }
        }
        m_progress.draw();
        for (const std::string& note : m_notes) std::cerr << "dtuconf: " << note << "\n";

        int ok = 0, failed = 0, skipped = 0;
        for (const auto& e : m_entries) {
            ok += e->result == ProvisionResult::Succeeded;
            failed += e->result == ProvisionResult::Failed;
            skipped += e->result == ProvisionResult::Skipped;
        }
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", double(clock.elapsed()) / 1000.0);
        std::cout << "done " << ok << ", failed " << failed
                  << (skipped ? ", skipped " + std::to_string(skipped) : std::string()) << " in "
                  << seconds << " s\n"
                  << std::flush;
        return everyRowOk() ? kExitOk : kExitFailed;
    }

private:
    Entry& addEntry(const QString& port, const PlanRow* row) {
        auto e = std::make_unique<Entry>();
        e->port = port;
        e->row = row;
        m_entries.push_back(std::move(e));
        return *m_entries.back();
    }

    void addDevice(const QString& port, const PlanRow* row) {
        Entry& e = addEntry(port, row);
        const DeviceProvisioner::Line line{port, m_setup.line.baud, m_setup.line.parity,
                                           m_setup.line.stop};
        e.device = std::make_unique<DeviceProvisioner>(
            line, m_setup.work, row == nullptr, row ? row->values : std::vector<FieldAssignment>{});
        Session& s = e.device->session();
        configureSession(s, m_setup.line);
        s.setFactoryRecordDir(m_setup.productionDir);
        DeviceProvisioner* d = e.device.get();
        QObject::connect(d, &DeviceProvisioner::stepChanged, [this, &e] {
            e.step = e.device->steps().step();
            e.done = e.total = 0;
            e.stepClock.start();
            e.stepBytes = e.device->lineBytes();
            if (const auto& imei = e.device->steps().identity().imei; !imei.empty())
                e.imei = qs(imei);
            m_progress.stepped(e);
        });
        QObject::connect(d, &DeviceProvisioner::progressChanged, [&e](quint32 done, quint32 total) {
            e.done = done;
            e.total = total;
        });
        QObject::connect(d, &DeviceProvisioner::matchWanted, [this, &e] { match(e); });
        QObject::connect(d, &DeviceProvisioner::finished, [this, &e] { deviceOver(e); });
        m_queue.push_back(&e);
    }

    void fillSlots() {
        const std::size_t cap = m_setup.jobs == 0 ? m_queue.size() + m_running : m_setup.jobs;
        while (!m_queue.empty() && m_running < cap) {
            Entry* e = m_queue.front();
            m_queue.pop_front();
            ++m_running;
            e->device->start();
        }
    }

    void match(Entry& e) {
        const std::string imei = e.device->steps().identity().imei;
        e.imei = qs(imei);
        const auto it = m_rowsByImei.find(imei);
        if (it == m_rowsByImei.end()) {
            e.device->skip(imei.empty()
                               ? QStringLiteral("the device reported no IMEI")
                               : QStringLiteral("IMEI %1 is not in the plan").arg(qs(imei)));
            return;
        }
        const PlanRow& row = *it->second;
        if (!row.error.empty()) {
            e.device->skip(QStringLiteral("its plan row failed"));
            return;
        }
        if (const auto claimed = m_claimed.find(imei); claimed != m_claimed.end()) {
            e.device->failMatch(
                QStringLiteral("IMEI %1 is on %2 too").arg(qs(imei), claimed->second));
            return;
        }
        m_claimed[imei] = e.port;
        e.row = &row;
        e.device->assignRow(row.values);
    }

    void deviceOver(Entry& e) {
        const Provisioning& steps = e.device->steps();
        e.started = e.device->startedAt();
        end(e, steps.result(), steps.failedStep(), qs(steps.reason()));
        --m_running;
        fillSlots();
        if (m_running == 0) m_loop.quit();
    }

    void end(Entry& e, ProvisionResult result, ProvisionStep failedStep, const QString& reason) {
        e.over = true;
        e.result = result;
        e.failedStep = failedStep;
        e.reason = reason;
        e.ended = QDateTime::currentDateTimeUtc();
        if (!e.started.isValid()) e.started = e.ended;
        m_progress.ended(e);
        if (result != ProvisionResult::Skipped) record(e);
    }

    void record(Entry& e) {
        ProvisioningRow r;
        r.station = m_setup.station;
        r.port = e.port;
        r.imei = e.imei;
        if (e.device) {
            const Provisioning& steps = e.device->steps();
            const DeviceIdentity& id = steps.identity();
            r.imei = qs(id.imei);
            r.iccid = qs(id.iccid);
            r.mac = qs(id.mac);
            r.model = qs(id.model);
            r.firmwareVersion = qs(id.firmwareVersion);
            if (steps.saved()) r.paramsSha256 = paramsHash(steps.record());
        }
        r.ok = e.result == ProvisionResult::Succeeded;
        if (!r.ok) {
            r.failedStep = qs(std::string(provisionStepName(e.failedStep)));
            r.reason = e.reason;
        }
        r.started = e.started;
        r.ended = e.ended;
        QString error;
        if (!m_db.add(r, error)) {
            m_unrecorded = true;
            const std::string who = e.port.isEmpty() ? e.imei.toStdString() : e.port.toStdString();
            m_notes.push_back("not recorded: " + who + ": " + error.toStdString());
            if (!m_progress.terminal()) std::cerr << "dtuconf: " << m_notes.back() << "\n";
        }
    }

    bool everyRowOk() const {
        if (m_unrecorded) return false;
        std::size_t ok = 0;
        for (const auto& e : m_entries)
            if (e->row && e->result == ProvisionResult::Succeeded) ++ok;
        return ok == m_setup.plan.rows.size();
    }

    BatchSetup& m_setup;
    ProvisioningDb& m_db;
    std::vector<std::unique_ptr<Entry>> m_entries;
    BatchProgress m_progress;
    std::deque<Entry*> m_queue;
    std::size_t m_running = 0;
    std::map<std::string, const PlanRow*> m_rowsByImei;
    std::map<std::string, QString> m_claimed;  // IMEI -> port
    std::vector<std::string> m_notes;
    bool m_unrecorded = false;
    QEventLoop m_loop;
};

std::unique_ptr<QCoreApplication> ensureApp() {
    static int argc = 1;
    static char arg0[] = "dtuconf";
    static char* argv[] = {arg0, nullptr};
    if (QCoreApplication::instance()) return nullptr;
    return std::make_unique<QCoreApplication>(argc, argv);
}

// The --record value, and the production folder the default lives in.
std::optional<RecordTarget> recordTarget(const Args& args, std::string& error) {
    QString why;
    const QString dir = productionDirOption(args);
    auto target = parseRecordTarget(qs(args.value("--record").value_or("")), dir, why);
    if (!target) error = "--record: " + why.toStdString();
    return target;
}

// Every row of the plan against the base: what the save would refuse fails its row now.
void checkRowsAgainstBase(BatchPlan& plan, const DeviceParams& base, Language lang) {
    for (PlanRow& row : plan.rows) {
        if (!row.error.empty()) continue;
        DeviceParams record = base;
        for (const auto& a : row.values) setFieldValue(record, *a.field, a.value);
        const SaveFrame frame = buildSaveFrame(record);
        if (frame.error != SaveFrameError::None) row.error = saveRefusalText(frame, lang);
    }
}

}  // namespace

int runBatch(const std::vector<std::string>& argv) {
    const std::set<std::string> values = {
        "--plan",    "--base",          "--baud", "--parity", "--stop", "--password", "--lang",
        "--record",  "--firmware",      "--ca",   "--cert",   "--key",  "--jobs",     "--ports",
        "--station", "--production-dir"};
    const std::set<std::string> flags = {"--factory-reset", "--pieces"};
    std::string error;
    auto args = Args::parse(argv, values, flags, error);
    if (args && !args->positional().empty()) error = "unexpected argument " + args->positional()[0];
    std::optional<LinkOptions> line;
    if (args && error.empty()) line = parseLineOptions(*args, error);
    if (error.empty() && !args->value("--plan")) error = "--plan PLAN.csv is required";
    if (error.empty() && args->flag("--factory-reset") && !args->value("--firmware"))
        error = "--factory-reset goes with --firmware";
    std::size_t jobs = 0;
    if (error.empty()) {
        if (auto v = args->value("--jobs")) {
            const int n = std::atoi(v->c_str());
            if (n < 1 || std::to_string(n) != *v)
                error = "--jobs: how many devices at once, from 1";
            else
                jobs = static_cast<std::size_t>(n);
        }
    }
    if (!error.empty()) return usageError("batch", error);

    // The whole plan, and every file, before any port is touched.
    const std::string planPath = *args->value("--plan");
    const auto planBytes = readFile(planPath, error, kMaxPlanBytes);
    if (!planBytes) return fail(kExitFile, error);
    BatchPlanRead read = readBatchPlan(
        std::string_view(reinterpret_cast<const char*>(planBytes->data()), planBytes->size()));
    if (!read.plan) return fail(kExitFile, planPath + ": " + read.error);

    auto app = ensureApp();
    BatchSetup setup;
    setup.plan = std::move(*read.plan);
    setup.line = *line;
    setup.jobs = jobs;
    setup.productionDir = productionDirOption(*args);
    setup.station =
        args->value("--station") ? qs(*args->value("--station")) : QSysInfo::machineHostName();
    if (setup.station.isEmpty()) return fail(kExitUsage, "--station: a name, please");

    const auto ports = args->value("--ports");
    if (setup.plan.key == PlanKey::Imei) {
        if (!ports) return fail(kExitUsage, "an imei plan needs --ports GLOB to look on");
        auto found = expandPorts(*ports, error);
        if (!found) return fail(kExitUsage, error);
        setup.scanPorts = std::move(*found);
    } else if (ports) {
        return fail(kExitUsage, "--ports goes with an imei plan; this plan names its ports");
    }

    if (auto base = args->value("--base")) {
        DeviceParams params;
        if (int rc = loadParams(*base, params); rc != kExitOk) return rc;
        setup.work.base = params;
        checkRowsAgainstBase(setup.plan, params, line->lang);
    }
    TransferJob transfer;
    if (auto fw = args->value("--firmware")) {
        if (int rc = prepareFirmware(*fw, args->flag("--factory-reset"), line->lang, transfer);
            rc != kExitOk)
            return rc;
        setup.work.firmware = std::move(transfer.image);
        setup.work.factoryReset = transfer.factoryReset;
    }
    if (args->value("--ca") || args->value("--cert") || args->value("--key")) {
        if (int rc = prepareCerts(*args, line->lang, transfer); rc != kExitOk) return rc;
        setup.work.caPath = transfer.caPath;
        setup.work.clientCertPath = transfer.clientCertPath;
        setup.work.clientKeyPath = transfer.clientKeyPath;
    }

    // No device is touched unless every attempt can be recorded.
    const auto target = recordTarget(*args, error);
    if (!target) return fail(kExitUsage, error);
    if (!args->value("--record")) QDir().mkpath(setup.productionDir);
    ProvisioningDb db;
    QString why;
    if (!db.open(*target, ProvisioningDb::Mode::Write, why))
        return fail(kExitFailed, "cannot open the provisioning record " +
                                     target->describe().toStdString() + ": " + why.toStdString());

    BatchRun run(setup, db);
    return run.exec();
}

int runRecords(const std::vector<std::string>& argv) {
    std::string error;
    auto args =
        Args::parse(argv, {"--record", "--imei", "--production-dir"}, {"--csv", "--json"}, error);
    if (args && !args->positional().empty()) error = "unexpected argument " + args->positional()[0];
    if (args && error.empty() && args->flag("--csv") && args->flag("--json"))
        error = "give --csv or --json, not both";
    if (!error.empty()) return usageError("records", error);

    auto app = ensureApp();
    const auto target = recordTarget(*args, error);
    if (!target) return fail(kExitUsage, error);
    ProvisioningDb db;
    QString why;
    if (!db.open(*target, ProvisioningDb::Mode::Read, why))
        return fail(kExitFailed, "cannot open the provisioning record " +
                                     target->describe().toStdString() + ": " + why.toStdString());
    const auto rows = db.list(qs(args->value("--imei").value_or("")), why);
    if (!rows)
        return fail(kExitFailed, "cannot read the provisioning record " +
                                     target->describe().toStdString() + ": " + why.toStdString());

    auto cells = [](const ProvisioningRow& r) {
        return std::vector<std::pair<const char*, QString>>{
            {"station", r.station},
            {"port", r.port},
            {"imei", r.imei},
            {"iccid", r.iccid},
            {"mac", r.mac},
            {"model", r.model},
            {"firmware_version", r.firmwareVersion},
            {"params_sha256", r.paramsSha256},
            {"result", r.ok ? QStringLiteral("ok") : QStringLiteral("failed")},
            {"failed_step", r.failedStep},
            {"reason", r.reason},
            {"started_at", r.started.toUTC().toString(Qt::ISODateWithMs)},
            {"ended_at", r.ended.toUTC().toString(Qt::ISODateWithMs)},
        };
    };
    if (args->flag("--csv")) {
        std::string out = "id";
        for (const auto& [name, value] : cells({})) out.append(",").append(name);
        out += "\r\n";
        for (const auto& r : *rows) {
            out += std::to_string(r.id);
            for (const auto& [name, value] : cells(r))
                out.append(",").append(csvQuoted(value.toStdString()));
            out += "\r\n";
        }
        std::cout << out;
    } else if (args->flag("--json")) {
        std::cout << "[";
        bool first = true;
        for (const auto& r : *rows) {
            std::cout << (first ? "\n" : ",\n") << "  {\"id\": " << r.id;
            first = false;
            for (const auto& [name, value] : cells(r)) {
                std::cout << ", " << jsonQuote(name) << ": "
                          << (value.isEmpty() ? std::string("null")
                                              : jsonQuote(value.toStdString()));
            }
            std::cout << "}";
        }
        std::cout << (first ? "]\n" : "\n]\n");
    } else {
        for (const auto& r : *rows) {
            auto shown = [](const QString& s) {
                return s.isEmpty() ? std::string("-") : s.toStdString();
            };
            std::cout << r.id << "  " << r.started.toUTC().toString(Qt::ISODate).toStdString()
                      << "  " << shown(r.station) << "  " << shown(r.port) << "  " << shown(r.imei)
                      << "  " << shown(r.model) << "  " << shown(r.firmwareVersion) << "  "
                      << (r.ok ? std::string("ok")
                               : "failed at " + shown(r.failedStep) + ": " + shown(r.reason))
                      << "\n";
        }
    }
    return kExitOk;
}

}  // namespace dtu::cli
