#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace dtu::cli {

using Argv = std::vector<std::string>;

// One dtuconf command. The overview of `dtuconf --help`, `dtuconf NAME --help`, the usage
// line of a usage error, the options a device command accepts and the shell completion all
// come from this entry, so a new command is one entry here.
struct Command {
    std::string_view name;
    std::string_view group;  // heading of the overview the command is listed under
    // How it is written, after "dtuconf "; one line per form, a line that starts with a blank
    // goes on with the form above it. Options are spelt "--name" or "-n"; one followed by an
    // upper-case word (FILE, N, HOST:PORT) or a list of choices (gbk|utf8) takes a value.
    std::string_view usage;
    std::string_view help;  // what it does, in lines of at most 44 characters
    // Commands that work without a device run here with the arguments after their name.
    int (*run)(const Argv& args) = nullptr;
    // Device commands (run is null) take the shared device options and these arguments.
    std::size_t minArgs = 0;
    std::size_t maxArgs = 0;
};

// A device option every device command takes, before or after the command name.
struct DeviceOption {
    std::string_view name;
    std::string_view value;  // empty for a flag
    std::string_view help;
};

const std::vector<Command>& commands();
const std::vector<DeviceOption>& deviceOptions();
const Command* findCommand(std::string_view name);
bool isDevice(const Command& command);

// The options a usage text names, split into those with a value and flags.
struct UsageOptions {
    std::vector<std::string> values;
    std::vector<std::string> flags;
};
UsageOptions optionsInUsage(std::string_view usage);

// The options a device command takes: every device option and those its usage names.
void deviceCommandOptions(const Command& command, std::set<std::string>& values,
                          std::set<std::string>& flags);

// Everything `dtuconf --help` prints.
std::string overviewText();
// Everything `dtuconf NAME --help` prints.
std::string commandHelpText(const Command& command);
// The usage lines of a usage error, each starting "usage: dtuconf ".
std::string usageLines(const Command& command);

// Prints "dtuconf: error", the command's usage and where its help is on stderr; returns the
// usage exit code.
int usageError(std::string_view command, const std::string& error);

}  // namespace dtu::cli
