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

#include "batch_progress.h"
#include "command_table.h"
#include "common.h"
#include "device_commands.h"
#include "device_provisioner.h"
#include "file_io.h"
#include "history_recorder.h"
#include "link/command_flow.h"
#include "pc_settings_file.h"
#include "port_identity.h"
#include "production/batch_plan.h"
#include "production/record_text.h"
#include "production_commands.h"
#include "provisioning_db.h"
#include "record_writer.h"
#include "records_command.h"
#include "stop_signals.h"
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
    ParamHistory* history = nullptr;  // none with --no-history
};

class BatchRun {
public:
    BatchRun(BatchSetup& setup, RecordWriter& writer)
        : m_setup(setup), m_writer(writer), m_progress(m_entries) {
        QObject::connect(&m_writer, &RecordWriter::drained, [this] {
            if (m_running == 0) m_loop.quit();
        });
        QObject::connect(&m_writer, &RecordWriter::rowLost,
                         [](const QString& line, const QString& why) {
                             std::cerr << "dtuconf: a row neither the record nor its journal took ("
                                       << escapeControls(why.toStdString())
                                       << "): " << line.toStdString() << "\n";
                         });
    }

    int exec() {
        QElapsedTimer clock;
        clock.start();
        const bool byImei = m_setup.plan.key == PlanKey::Imei;
        // Rows the plan refuses fail first, without a port.
        for (const PlanRow& row : m_setup.plan.rows) {
            if (row.error.empty()) continue;
            BatchEntry& e = addEntry(byImei ? QString() : qs(row.key), &row);
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

        StopSignals stopSignals;
        QObject::connect(&stopSignals, &StopSignals::received, [this](int signo) { stop(signo); });
        QTimer redraw;
        QObject::connect(&redraw, &QTimer::timeout, [this] { m_progress.draw(); });
        if (m_progress.terminal()) redraw.start(kRedrawMs);
        m_progress.draw();
        fillSlots();
        if (m_running > 0) m_loop.exec();
        redraw.stop();

        if (m_stopSignal != 0) {
            for (const auto& e : m_entries)
                if (e->device && !e->device->started()) m_progress.ended(*e);
        } else if (byImei) {
            // Every port was looked at: a row no device took has none.
            for (const PlanRow& row : m_setup.plan.rows) {
                if (!row.error.empty() || m_claimed.count(row.key)) continue;
                BatchEntry& e = addEntry({}, &row);
                e.imei = qs(row.key);
                end(e, ProvisionResult::Failed, ProvisionStep::Match,
                    QStringLiteral("no device on the ports reported this IMEI"));
            }
        }
        m_progress.draw();
        // The rows still waiting for the record: written, or kept in the journal.
        if (!m_writer.idle()) m_loop.exec();

        int ok = 0, failed = 0, skipped = 0, interrupted = 0, notStarted = 0;
        for (const auto& e : m_entries) {
            ok += e->result == ProvisionResult::Succeeded;
            failed += e->result == ProvisionResult::Failed;
            skipped += e->result == ProvisionResult::Skipped;
            interrupted += e->result == ProvisionResult::Interrupted;
            notStarted += e->device && !e->device->started();
        }
        auto count = [](const char* what, int n) {
            return n ? ", " + std::string(what) + " " + std::to_string(n) : std::string();
        };
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", double(clock.elapsed()) / 1000.0);
        std::cout << "done " << ok << ", failed " << failed << count("skipped", skipped)
                  << count("interrupted", interrupted)
                  << count("not started", m_stopSignal ? notStarted : 0) << " in " << seconds
                  << " s\n";
        if (const int kept = m_writer.journalled()) {
            const std::string journal = escapeControls(m_writer.journalPath().toStdString());
            std::cout << kept << (kept == 1 ? " row" : " rows") << " not in the record but kept in "
                      << journal << " (" << escapeControls(m_writer.lastError().toStdString())
                      << "): the next batch loads it, or dtuconf records --import-journal "
                      << journal << "\n";
        }
        std::cout << std::flush;
        if (m_stopSignal) return 128 + m_stopSignal;
        return everyRowOk() && m_writer.journalled() == 0 && m_writer.lost() == 0 ? kExitOk
                                                                                  : kExitFailed;
    }

private:
    BatchEntry& addEntry(const QString& port, const PlanRow* row) {
        auto e = std::make_unique<BatchEntry>();
        e->port = port;
        e->row = row;
        m_entries.push_back(std::move(e));
        return *m_entries.back();
    }

    void addDevice(const QString& port, const PlanRow* row) {
        BatchEntry& e = addEntry(port, row);
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
            BatchEntry* e = m_queue.front();
            m_queue.pop_front();
            ++m_running;
            e->device->start();
        }
    }

    void match(BatchEntry& e) {
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

    // SIGINT or SIGTERM: no device starts any more and those on the line end their step;
    // a second one ends them at once. Either way each is recorded.
    void stop(int signo) {
        const QString name = QString::fromLatin1(StopSignals::name(signo));
        if (m_stopSignal == 0) {
            m_stopSignal = signo;
            m_queue.clear();
            m_progress.stopped();
            m_progress.note(name.toStdString() +
                            ": no device is started any more; those on the line end their step "
                            "(again to stop them at once)");
            for (const auto& e : m_entries)
                if (e->device && e->device->started())
                    e->device->stopAfterStep(name + QStringLiteral(": stopped before this step"));
            if (m_running == 0 && m_writer.idle()) m_loop.quit();
        } else if (!m_stoppingNow) {
            m_stoppingNow = true;
            m_progress.note(name.toStdString() + " again: stopping now");
            for (const auto& e : m_entries)
                if (e->device && e->device->started())
                    e->device->stopNow(name + QStringLiteral(" again: stopped during this step"));
            m_writer.hurry();
        }
    }

    void deviceOver(BatchEntry& e) {
        const Provisioning& steps = e.device->steps();
        e.started = e.device->startedAt();
        end(e, steps.result(), steps.failedStep(), qs(steps.reason()));
        --m_running;
        fillSlots();
        if (m_running == 0 && m_writer.idle()) m_loop.quit();
    }

    void end(BatchEntry& e, ProvisionResult result, ProvisionStep failedStep,
             const QString& reason) {
        e.over = true;
        e.result = result;
        e.failedStep = failedStep;
        e.reason = reason;
        e.ended = QDateTime::currentDateTimeUtc();
        if (!e.started.isValid()) e.started = e.ended;
        m_progress.ended(e);
        if (result != ProvisionResult::Skipped) record(e);
    }

    void record(BatchEntry& e) {
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
            if (steps.saved()) {
                r.paramsSha256 = paramsHash(steps.record());
                keepHistory(e, steps.record());
            }
        }
        r.result = e.result;
        if (e.result != ProvisionResult::Succeeded) {
            r.failedStep = qs(std::string(provisionStepName(e.failedStep)));
            r.reason = e.reason;
        }
        r.started = e.started;
        r.ended = e.ended;
        m_writer.add(r);
    }

    // The record the device was given, as its parameter history keeps it. Kept at once or
    // not at all: the devices on the line wait for no writer.
    void keepHistory(const BatchEntry& e, const DeviceParams& saved) {
        if (!m_setup.history) return;
        HistoryEntry h;
        h.station = m_setup.station.toStdString();
        h.port = e.port.toStdString();
        h.kind = HistoryKind::Batch;
        setHistoryIdentity(h, saved);
        h.result = std::string(provisionResultName(e.result));
        QString message;
        if (!recordHistory(*m_setup.history, h, saved, message))
            std::cerr << "dtuconf: " << escapeControls(message.toStdString()) << "\n";
    }

    bool everyRowOk() const {
        std::size_t ok = 0;
        for (const auto& e : m_entries)
            if (e->row && e->result == ProvisionResult::Succeeded) ++ok;
        return ok == m_setup.plan.rows.size();
    }

    BatchSetup& m_setup;
    RecordWriter& m_writer;
    std::vector<std::unique_ptr<BatchEntry>> m_entries;
    BatchProgress m_progress;
    std::deque<BatchEntry*> m_queue;
    std::size_t m_running = 0;
    std::map<std::string, const PlanRow*> m_rowsByImei;
    std::map<std::string, QString> m_claimed;  // IMEI -> port
    int m_stopSignal = 0;
    bool m_stoppingNow = false;
    QEventLoop m_loop;
};

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

// Two rows that name one device (a link to it, /dev/../dev/pts/6) refuse the plan, as two rows
// of one name do: the device would be driven twice at once.
std::string sameDeviceTwice(const BatchPlan& plan) {
    std::map<QString, const PlanRow*> seen;
    for (const PlanRow& row : plan.rows) {
        const auto [first, fresh] = seen.emplace(portIdentity(qs(row.key)), &row);
        if (!fresh)
            return "line " + std::to_string(row.line) + ": '" + escapeControls(row.key) +
                   "' is the device of line " + std::to_string(first->second->line) + " ('" +
                   escapeControls(first->second->key) + "')";
    }
    return {};
}

// The ports to look on, each device once under the first of its names.
std::vector<QString> oncePerDevice(const std::vector<QString>& ports) {
    std::map<QString, QString> seen;
    std::vector<QString> once;
    for (const QString& port : ports) {
        const auto [first, fresh] = seen.emplace(portIdentity(port), port);
        if (fresh)
            once.push_back(port);
        else
            std::cerr << "dtuconf: " << escapeControls(port.toStdString()) << " is "
                      << escapeControls(first->second.toStdString()) << ": looked at once\n";
    }
    return once;
}

}  // namespace

int runBatch(const std::vector<std::string>& argv) {
    const std::set<std::string> values = {
        "--plan",    "--base",          "--baud", "--parity", "--stop", "--password", "--lang",
        "--record",  "--firmware",      "--ca",   "--cert",   "--key",  "--jobs",     "--ports",
        "--station", "--production-dir"};
    const std::set<std::string> flags = {"--factory-reset", "--pieces", "--no-history"};
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
    if (!read.plan) return fail(kExitFile, escapeControls(planPath + ": " + read.error));

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
        setup.scanPorts = oncePerDevice(*found);
    } else if (ports) {
        return fail(kExitUsage, "--ports goes with an imei plan; this plan names its ports");
    } else if (const std::string twice = sameDeviceTwice(setup.plan); !twice.empty()) {
        return fail(kExitFile, planPath + ": " + twice);
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
                                     escapeControls(target->describe().toStdString()) + ": " +
                                     escapeControls(why.toStdString()));
    // Rows an earlier batch could not write go in first.
    const QString journal = journalPathFor(*target, setup.productionDir);
    if (QFileInfo::exists(journal)) loadJournal(db, journal);

    ParamHistory history;
    if (!args->flag("--no-history") && loadPcSettingsFile().paramHistory) {
        if (history.open(*target, ProvisioningDb::Mode::Append, why))
            setup.history = &history;
        else
            std::cerr << "dtuconf: parameter history not recorded: "
                      << escapeControls(why.toStdString()) << "\n";
    }

    RecordWriter writer(db, journal);
    BatchRun run(setup, writer);
    return run.exec();
}

}  // namespace dtu::cli
