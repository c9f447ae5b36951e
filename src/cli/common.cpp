#include "common.h"

#ifdef _WIN32
#include <io.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <iostream>

#include "file_io.h"
#include "files/param_file.h"
#include "files/param_json.h"
#include "params/field_table.h"
#include "text/gbk.h"
#include "text/hex.h"

namespace dtu::cli {

bool stdoutIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(STDOUT_FILENO) == 1;
#endif
}

bool stdinIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdin)) != 0;
#else
    return isatty(STDIN_FILENO) == 1;
#endif
}

int terminalColumns() {
    constexpr int kAssumed = 100;
#ifdef _WIN32
    return kAssumed;
#else
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return kAssumed;
    return size.ws_col;
#endif
}

int fail(int code, const std::string& message) {
    std::cerr << "dtuconf: " << message << "\n";
    return code;
}

bool isJsonPath(const std::string& path) {
    if (path.size() < 5) return false;
    std::string ext = path.substr(path.size() - 5);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".json";
}

int loadParams(const std::string& path, DeviceParams& params) {
    std::string error;
    const auto bytes = readFile(path, error, kMaxInputFile);
    if (!bytes) return fail(kExitFile, error);
    if (isJsonPath(path)) {
        const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        if (!paramsFromJson(text, params, error)) return fail(kExitFile, path + ": " + error);
        return kExitOk;
    }
    if (bytes->size() != kParamFileSize)
        return fail(kExitFile, path + ": wrong size, " + std::to_string(bytes->size()) +
                                   " bytes (a parameter file has " +
                                   std::to_string(kParamFileSize) + ")");
    loadParamsImage(*bytes, params);
    return kExitOk;
}

int saveParams(const std::string& path, const DeviceParams& params) {
    std::string error;
    bool ok;
    if (isJsonPath(path)) {
        const std::string json = paramsToJson(params);
        ok = writeFileAtomic(
            path, std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()),
            error);
    } else {
        ok = writeFileAtomic(path, paramsImage(params), error);
    }
    return ok ? kExitOk : fail(kExitFile, error);
}

void printParams(const DeviceParams& params, bool json) {
    if (json) {
        std::cout << paramsToJson(params);
        return;
    }
    for (const auto& line : paramsToLines(params)) std::cout << line << "\n";
}

int printDifferences(const std::vector<FieldDifference>& diffs) {
    for (const auto& d : diffs)
        std::cout << d.field->name << ": " << d.before << " -> " << d.after << "\n";
    return diffs.empty() ? kExitOk : kExitFailed;
}

void printHexLine(std::span<const std::uint8_t> bytes) {
    std::cout << formatHexPairs(bytes) << "\n";
}

std::optional<Lock> parsePassword(const Args& args, std::string& error) {
    const auto pw = args.value("--password");
    if (!pw) return Lock{};
    const auto gbk = utf8ToGbk(*pw);
    if (!gbk || gbk->size() != kLockPasswordSize) {
        error = "--password: the device-lock password has exactly 8 characters";
        return std::nullopt;
    }
    LockPassword p{};
    std::copy(gbk->begin(), gbk->end(), p.begin());
    return Lock{p};
}

}  // namespace dtu::cli
