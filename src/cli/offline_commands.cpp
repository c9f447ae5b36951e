#include "offline_commands.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <iterator>

#include "args.h"
#include "command_table.h"
#include "common.h"
#include "file_io.h"
#include "files/param_file.h"
#include "files/param_json.h"
#include "link/frame.h"
#include "params/field_value.h"
#include "params/item_codec.h"
#include "text/gbk.h"
#include "text/hex.h"

namespace dtu::cli {

namespace {

std::optional<Args> parseArgs(const std::vector<std::string>& argv,
                              const std::set<std::string>& values,
                              const std::set<std::string>& flags, std::size_t positionals,
                              std::string_view command) {
    std::string error;
    auto args = Args::parse(argv, values, flags, error);
    if (args && args->positional().size() != positionals)
        error = "expected " + std::to_string(positionals) + " argument(s)";
    if (!error.empty()) {
        usageError(command, error);
        return std::nullopt;
    }
    return args;
}

// A locked configuration is written to devices as it stands, never shown: the command line
// shows that it is locked and which device it came from, and writes no readable form of it.
int refuseLocked(const std::string& path) {
    return fail(kExitFailed, path +
                                 ": the configuration is locked; its parameters are not shown "
                                 "or converted (it is written to devices as it stands)");
}

void printLocked(const DeviceParams& params, bool json) {
    if (json) {
        std::cout << lockedParamsToJson(params);
        return;
    }
    for (const auto& line : lockedParamsToLines(params)) std::cout << line << "\n";
}

}  // namespace

int runFrame(const std::vector<std::string>& argv) {
    if (argv.empty()) return usageError("frame", "give read-request or save");
    const std::string kind = argv.front();
    const std::vector<std::string> rest(argv.begin() + 1, argv.end());

    if (kind != "read-request" && kind != "save")
        return usageError("frame", "unknown frame kind '" + kind + "'");
    const bool save = kind == "save";
    const auto args = parseArgs(rest, {"--password"}, {}, save ? 1 : 0, "frame");
    if (!args) return kExitUsage;
    std::string error;
    const auto lock = parsePassword(*args, error);
    if (!lock) return fail(kExitUsage, error);
    if (!save) {
        printHexLine(fullReadRequest(*lock));
        return kExitOk;
    }

    DeviceParams params;
    if (int rc = loadParams(args->positional()[0], params); rc != kExitOk) return rc;
    const SaveFrame frame = buildSaveFrame(params, *lock);
    switch (frame.error) {
        case SaveFrameError::None:
            printHexLine(frame.view());
            return kExitOk;
        case SaveFrameError::TooLarge:
            return fail(kExitFile, "the save frame would take " + std::to_string(frame.needed) +
                                       " bytes; the device accepts at most " +
                                       std::to_string(kMaxSaveFrame));
        case SaveFrameError::PollCountTooLarge:
            return fail(kExitFile,
                        "modbusItemCount is above " + std::to_string(kModbusItemCapacity));
        case SaveFrameError::PollNameTooLong:
            return fail(kExitFile, "modbusItems[" + std::to_string(frame.badPollRecord) +
                                       "].jsonName is longer than " + std::to_string(kJsonNameMax) +
                                       " bytes");
        case SaveFrameError::NotReadBack:
            return fail(kExitFile, notReadBackText(frame.unsendable));
    }
    return fail(kExitFile, "the save frame could not be built");
}

int runDecode(const std::vector<std::string>& argv) {
    const auto args = parseArgs(argv, {"-i", "-o"}, {"--json"}, 1, "decode");
    if (!args) return kExitUsage;

    const std::string source = args->positional()[0];
    std::string text;
    if (source == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::string error;
        const auto bytes = readFile(source, error, kMaxInputFile);
        if (!bytes) return fail(kExitFile, error);
        text.assign(bytes->begin(), bytes->end());
    }
    // Hex dumps come with line breaks and tabs as well as blanks.
    std::replace_if(
        text.begin(), text.end(), [](unsigned char c) { return std::isspace(c) != 0; }, ' ');
    const auto frame = parseHex(text);
    if (!frame) return fail(kExitFile, source + ": not hexadecimal text");
    if (!isFrame(*frame) || checkFrame(*frame) != FrameCheck::Ok ||
        frameCommand(*frame) != answerCode(CMD_READ))
        return fail(kExitFile, source + ": not a read answer (88 3a 83 ... 45 2e)");

    DeviceParams params;
    const auto out = args->value("-o");
    const bool printed = !out || args->flag("--json");
    if (const auto base = args->value("-i")) {
        if (int rc = loadParams(*base, params); rc != kExitOk) return rc;
        if (isLockedConfig(params) && (printed || isJsonPath(*out))) return refuseLocked(*base);
    }
    LiveState live;
    const DecodeResult result = decodeParamBlock(std::span(*frame).subspan(3), params, live);
    for (const auto& item : result.ignored) {
        std::cerr << "dtuconf: item " << int(item.tag) << " (" << item.length << " bytes) ignored: "
                  << (item.unknownTag ? "not a parameter item" : "length breaks its rule") << "\n";
    }
    if (result.truncated) std::cerr << "dtuconf: the answer ends inside an item\n";

    if (out) {
        if (int rc = saveParams(*out, params); rc != kExitOk) return rc;
    }
    if (printed) printParams(params, args->flag("--json"));
    return kExitOk;
}

int runShow(const std::vector<std::string>& argv) {
    const auto args = parseArgs(argv, {}, {"--json"}, 1, "show");
    if (!args) return kExitUsage;
    DeviceParams params;
    if (int rc = loadParams(args->positional()[0], params); rc != kExitOk) return rc;
    if (isLockedConfig(params)) {
        printLocked(params, args->flag("--json"));
    } else {
        printParams(params, args->flag("--json"));
    }
    return kExitOk;
}

int runConvert(const std::vector<std::string>& argv) {
    const auto args = parseArgs(argv, {}, {}, 2, "convert");
    if (!args) return kExitUsage;
    DeviceParams params;
    const std::string& in = args->positional()[0];
    const std::string& out = args->positional()[1];
    if (int rc = loadParams(in, params); rc != kExitOk) return rc;
    // A .cfg copy carries the file byte for byte; a JSON one would show it.
    if (isLockedConfig(params) && isJsonPath(out)) return refuseLocked(in);
    return saveParams(out, params);
}

int runDiff(const std::vector<std::string>& argv) {
    const auto args = parseArgs(argv, {}, {}, 2, "diff");
    if (!args) return kExitUsage;
    DeviceParams a;
    DeviceParams b;
    if (int rc = loadParams(args->positional()[0], a); rc != kExitOk) return rc;
    if (int rc = loadParams(args->positional()[1], b); rc != kExitOk) return rc;
    if (isLockedConfig(a) || isLockedConfig(b)) {
        // Whether they differ, never in what.
        for (const auto* p : {&a, &b}) {
            if (isLockedConfig(*p))
                std::cout << args->positional()[p == &a ? 0 : 1] << ": locked\n";
        }
        return a == b ? kExitOk : kExitFailed;
    }
    return printDifferences(diffParams(a, b));
}

}  // namespace dtu::cli
