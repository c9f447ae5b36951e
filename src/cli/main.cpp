#include <iostream>
#include <string>
#include <vector>

#include "args.h"
#include "command_table.h"
#include "completion.h"
#include "device_commands.h"

namespace {

bool asksForHelp(const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a == "--") return false;
        if (a == "--help" || a == "-h") return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace dtu::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << overviewText();
        return kExitUsage;
    }
    if (args[0] == "--version") {
        std::cout << "dtuconf " DTUCONF_VERSION "\n";
        return kExitOk;
    }
    if (args[0] == "--complete") return runComplete({args.begin() + 1, args.end()});
    // Device options may come before the command name.
    std::size_t at = 0;
    while (at < args.size() && (isGlobalValueOption(args[at]) || isGlobalFlag(args[at])))
        at += isGlobalValueOption(args[at]) ? 2 : 1;
    if (at >= args.size()) {
        std::cerr << overviewText();
        return kExitUsage;
    }
    const std::string name = args[at];
    std::vector<std::string> rest(args.begin(), args.begin() + std::ptrdiff_t(at));
    rest.insert(rest.end(), args.begin() + std::ptrdiff_t(at) + 1, args.end());
    if (name == "--help" || name == "-h" || name == "help") {
        const Command* topic = rest.empty() ? nullptr : findCommand(rest.back());
        std::cout << (topic ? commandHelpText(*topic) : overviewText());
        return kExitOk;
    }
    const Command* command = findCommand(name);
    if (!command) {
        std::cerr << "dtuconf: " << (name[0] == '-' ? "unknown option " : "unknown command ") << "'"
                  << name << "'\nTry 'dtuconf --help'.\n";
        return kExitUsage;
    }
    if (asksForHelp(rest)) {
        std::cout << commandHelpText(*command);
        return kExitOk;
    }
    return isDevice(*command) ? runDeviceCommand(name, rest) : command->run(rest);
}
