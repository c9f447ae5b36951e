#include "poll_commands.h"

#include <iostream>

#include "args.h"
#include "command_table.h"
#include "common.h"
#include "file_io.h"
#include "files/param_file.h"
#include "pc_settings_file.h"
#include "rtu/poll_csv.h"

namespace dtu::cli {

namespace {

// Poll names are stored in GBK or in the device's UTF-8 as the PC chooses; the window's
// choice unless the command says otherwise.
std::optional<NameEncoding> nameEncoding(const Args& args) {
    const auto names = args.value("--names");
    if (!names) {
        return loadPcSettingsFile().utf8Names == 1 ? NameEncoding::DeviceUtf8 : NameEncoding::Gbk;
    }
    if (*names == "gbk") return NameEncoding::Gbk;
    if (*names == "utf8") return NameEncoding::DeviceUtf8;
    return std::nullopt;
}

int exportTable(const DeviceParams& params, const std::string& out, NameEncoding enc,
                CsvEncoding file, Language lang) {
    if (params.get(fields::modbusItemCount) > kMaxPollEntries)
        return fail(kExitFile,
                    "modbusItemCount is above " + std::to_string(kMaxPollEntries) + ": no table");
    const PollCsvWrite csv = writePollCsv(PollTable::fromRecord(params, enc), enc, file);
    if (csv.badRow) return fail(kExitFile, pollCsvWriteErrorText(csv, enc, lang));
    std::string error;
    const auto bytes =
        std::span(reinterpret_cast<const std::uint8_t*>(csv.csv.data()), csv.csv.size());
    if (!writeFileAtomic(out, bytes, error)) return fail(kExitFile, error);
    return kExitOk;
}

int importTable(DeviceParams& params, const std::string& csvPath, const std::string& out,
                NameEncoding enc, Language lang) {
    std::string error;
    const auto bytes = readFile(csvPath, error, kMaxPollCsvBytes);
    if (!bytes) return fail(kExitFile, error);
    const PollCsvRead read = readPollCsv(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), enc);
    if (read.readAsGbk)
        std::cerr << "dtuconf: " << csvPath << ": " << pollCsvReadAsGbkText(lang) << "\n";
    if (!read.table)
        return fail(kExitFile, csvPath + ": " + pollCsvErrorText(read.error, enc, lang));
    if (auto refusal = read.table->toRecord(params, enc, lang)) return fail(kExitFile, *refusal);
    // The file can hold more than one save frame carries; say so now rather than at the save.
    const SaveFrame frame = buildSaveFrame(params);
    if (frame.error == SaveFrameError::TooLarge)
        std::cerr << "dtuconf: note: the save frame of " << out << " would take " << frame.needed
                  << " bytes; the device accepts at most " << kMaxSaveFrame << "\n";
    return saveParams(out, params);
}

}  // namespace

int runPoll(const std::vector<std::string>& argv) {
    if (argv.empty()) return usageError("poll", "give export or import");
    const std::string kind = argv.front();
    if (kind != "export" && kind != "import")
        return usageError("poll", "unknown poll command '" + kind + "'");
    const bool import = kind == "import";
    std::string error;
    auto args = Args::parse({argv.begin() + 1, argv.end()},
                            import ? std::set<std::string>{"-o", "--names", "--lang"}
                                   : std::set<std::string>{"--names", "--lang", "--encoding"},
                            {}, error);
    if (args && args->positional().size() != 2) error = "expected 2 arguments";
    if (!error.empty()) return usageError("poll", error);

    const auto enc = nameEncoding(*args);
    if (!enc) return fail(kExitUsage, "--names: gbk or utf8");
    const auto langValue = args->value("--lang").value_or("en");
    if (langValue != "en" && langValue != "zh") return fail(kExitUsage, "--lang: zh or en");
    const Language lang = langValue == "zh" ? Language::Chinese : Language::English;
    const auto encoding = args->value("--encoding").value_or("utf8");
    if (encoding != "utf8" && encoding != "gbk") return fail(kExitUsage, "--encoding: utf8 or gbk");

    const std::string file = args->positional()[0];
    DeviceParams params;
    if (int rc = loadParams(file, params); rc != kExitOk) return rc;
    // A locked configuration is written to devices as it stands; its table is not shown, and
    // so not edited either.
    if (isLockedConfig(params))
        return fail(kExitFailed, file +
                                     ": the configuration is locked; its poll table is not "
                                     "exported or replaced");
    if (!import)
        return exportTable(params, args->positional()[1], *enc,
                           encoding == "gbk" ? CsvEncoding::Gbk : CsvEncoding::Utf8, lang);
    return importTable(params, args->positional()[1], args->value("-o").value_or(file), *enc, lang);
}

}  // namespace dtu::cli
