#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "args.h"
#include "files/param_json.h"
#include "link/frame.h"
#include "params/device_params.h"
#include "params/item_codec.h"

namespace dtu::cli {

// Large enough for any JSON parameter set or hex dump a person would keep; anything bigger is
// not one of ours.
inline constexpr std::size_t kMaxInputFile = 16 * 1024 * 1024;

// Whether stdout is a terminal (progress is drawn in place there), and how wide it is.
bool stdoutIsTerminal();
bool stdinIsTerminal();
int terminalColumns();

// Prints "dtuconf: message" on stderr and returns code.
int fail(int code, const std::string& message);

bool isJsonPath(const std::string& path);

// A parameter set from a .json file or a 22160-byte parameter file; kExitOk or kExitFile.
int loadParams(const std::string& path, DeviceParams& params);
// Writes the parameter set as .json (by extension) or as the raw parameter file, atomically.
int saveParams(const std::string& path, const DeviceParams& params);
void printParams(const DeviceParams& params, bool json);
// "name: before -> after" for each difference; kExitFailed when there is any, as diff exits.
int printDifferences(const std::vector<FieldDifference>& diffs);
void printHexLine(std::span<const std::uint8_t> bytes);

// The device-lock password of --password: exactly 8 characters in the device's character set.
// An absent option gives an empty Lock; a bad one gives nullopt and the reason in error.
std::optional<Lock> parsePassword(const Args& args, std::string& error);

}  // namespace dtu::cli
