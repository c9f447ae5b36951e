#include "records_command.h"

#include <QDir>
#include <QFileInfo>
#include <iostream>

#include "command_table.h"
#include "common.h"
#include "production/record_text.h"
#include "production_commands.h"
#include "text/csv.h"
#include "text/json.h"

namespace dtu::cli {

std::unique_ptr<QCoreApplication> ensureApp() {
    static int argc = 1;
    static char arg0[] = "dtuconf";
    static char* argv[] = {arg0, nullptr};
    if (QCoreApplication::instance()) return nullptr;
    return std::make_unique<QCoreApplication>(argc, argv);
}

std::optional<RecordTarget> recordTarget(const Args& args, std::string& error) {
    QString why;
    const QString dir = productionDirOption(args);
    auto target =
        parseRecordTarget(QString::fromStdString(args.value("--record").value_or("")), dir, why);
    if (!target) error = "--record: " + why.toStdString();
    return target;
}

bool loadJournal(ProvisioningDb& db, const QString& path) {
    const std::string file = escapeControls(path.toStdString());
    QString why;
    const auto load = db.loadJournal(path, why);
    if (!load) {
        std::cerr << "dtuconf: cannot load " << file << ": " << escapeControls(why.toStdString())
                  << "\n";
        return false;
    }
    std::cerr << "dtuconf: " << file << ": " << load->loaded
              << (load->loaded == 1 ? " row" : " rows") << " loaded into the record";
    if (load->present) std::cerr << ", " << load->present << " it held already";
    std::cerr << "\n";
    if (!load->unreadLines.empty()) {
        std::cerr << "dtuconf: " << file << ": kept, its lines";
        for (const int line : load->unreadLines) std::cerr << " " << line;
        std::cerr << " are not rows\n";
    } else if (!load->removed) {
        std::cerr << "dtuconf: " << file << ": kept, it grew while it was loaded\n";
    }
    return true;
}

int runRecords(const std::vector<std::string>& argv) {
    std::string error;
    auto args = Args::parse(argv, {"--record", "--imei", "--production-dir", "--import-journal"},
                            {"--csv", "--json"}, error);
    if (args && !args->positional().empty()) error = "unexpected argument " + args->positional()[0];
    if (args && error.empty() && args->flag("--csv") && args->flag("--json"))
        error = "give --csv or --json, not both";
    if (args && error.empty() && args->value("--import-journal") &&
        (args->flag("--csv") || args->flag("--json") || args->value("--imei")))
        error = "--import-journal loads a journal; list the record in another run";
    if (!error.empty()) return usageError("records", error);

    auto app = ensureApp();
    const auto target = recordTarget(*args, error);
    if (!target) return fail(kExitUsage, error);
    const std::string where = escapeControls(target->describe().toStdString());
    const auto journal = args->value("--import-journal");
    if (journal) {
        // Nothing is opened, let alone made, for a journal that is not there.
        if (!QFileInfo(QString::fromStdString(*journal)).isFile())
            return fail(kExitFile, "cannot read " + escapeControls(*journal) + ": no such file");
        if (!args->value("--record")) QDir().mkpath(productionDirOption(*args));
    }
    ProvisioningDb db;
    QString why;
    if (!db.open(*target, journal ? ProvisioningDb::Mode::Write : ProvisioningDb::Mode::Read, why))
        return fail(kExitFailed, "cannot open the provisioning record " + where + ": " +
                                     escapeControls(why.toStdString()));
    if (journal) return loadJournal(db, QString::fromStdString(*journal)) ? kExitOk : kExitFailed;

    const auto rows = db.list(QString::fromStdString(args->value("--imei").value_or("")), why);
    if (!rows)
        return fail(kExitFailed, "cannot read the provisioning record " + where + ": " +
                                     escapeControls(why.toStdString()));

    if (args->flag("--csv")) {
        std::string out = "id";
        for (const auto& cell : recordCells({})) out.append(",").append(cell.name);
        out += "\r\n";
        for (const auto& r : *rows) {
            out += std::to_string(r.id);
            for (const auto& cell : recordCells(r))
                out.append(",").append(csvQuoted(spreadsheetSafe(cell.value.value_or(""))));
            out += "\r\n";
        }
        std::cout << out;
    } else if (args->flag("--json")) {
        std::cout << "[";
        bool first = true;
        for (const auto& r : *rows) {
            std::cout << (first ? "\n" : ",\n") << "  {\"id\": " << r.id;
            first = false;
            for (const auto& cell : recordCells(r))
                std::cout << ", " << jsonQuote(cell.name) << ": "
                          << (cell.value ? jsonQuote(*cell.value) : std::string("null"));
            std::cout << "}";
        }
        std::cout << (first ? "]\n" : "\n]\n");
    } else {
        for (const auto& r : *rows) {
            auto shown = [](const QString& s) {
                return s.isEmpty() ? std::string("-") : escapeControls(s.toStdString());
            };
            std::cout << r.id << "  " << r.started.toUTC().toString(Qt::ISODate).toStdString()
                      << "  " << shown(r.station) << "  " << shown(r.port) << "  " << shown(r.imei)
                      << "  " << shown(r.model) << "  " << shown(r.firmwareVersion) << "  "
                      << (r.result == ProvisionResult::Succeeded
                              ? std::string("ok")
                              : std::string(provisionResultName(r.result)) + " at " +
                                    shown(r.failedStep) + ": " + shown(r.reason))
                      << "\n";
        }
    }
    return kExitOk;
}

}  // namespace dtu::cli
