#include "completion.h"

#include <iostream>

#include "args.h"
#include "command_table.h"
#include "params/field_table.h"

namespace dtu::cli {

int runComplete(const std::vector<std::string>& args) {
    const std::string what = args.empty() ? std::string() : args[0];
    if (what == "commands" && args.size() == 1) {
        for (const auto& c : commands()) std::cout << c.name << "\n";
        std::cout << "--help\n--version\n";
        for (const auto& o : deviceOptions()) std::cout << o.name << "\n";
        return kExitOk;
    }
    if (what == "options" && args.size() == 2) {
        const Command* c = findCommand(args[1]);
        if (!c) return kExitUsage;
        const UsageOptions own = optionsInUsage(c->usage);
        for (const auto& o : own.values) std::cout << o << "\n";
        for (const auto& o : own.flags) std::cout << o << "\n";
        if (isDevice(*c))
            for (const auto& o : deviceOptions()) std::cout << o.name << "\n";
        std::cout << "--help\n";
        return kExitOk;
    }
    if (what == "value-options" && args.size() <= 2) {
        // The options whose next word is their value, so that the shell offers neither a
        // command nor an option there: before a command the device options, after one its own.
        const Command* c = args.size() == 2 ? findCommand(args[1]) : nullptr;
        if (args.size() == 2 && !c) return kExitUsage;
        if (c)
            for (const auto& o : optionsInUsage(c->usage).values) std::cout << o << "\n";
        if (!c || isDevice(*c))
            for (const auto& o : deviceOptions())
                if (!o.value.empty()) std::cout << o.name << "\n";
        return kExitOk;
    }
    if (what == "fields" && args.size() == 1) {
        for (const auto& f : recordLayout())
            if (!f.reserved) std::cout << f.name << "\n";
        return kExitOk;
    }
    std::cerr << "dtuconf: --complete commands | options COMMAND | value-options [COMMAND] | "
                 "fields\n";
    return kExitUsage;
}

}  // namespace dtu::cli
