#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace dtu::cli {

// Exit codes shared by every command.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,  // the device did not answer or refused; diff found differences
    kExitUsage = 2,
    kExitFile = 3,  // a file could not be read or written, or its content is not valid
};

// The arguments of one command: options (a value option "--x V" or "-x V", or a flag) anywhere
// among the positional arguments; "--" ends the options.
class Args {
public:
    // Parses args against the options the command knows. On error returns a usage message.
    static std::optional<Args> parse(const std::vector<std::string>& args,
                                     const std::set<std::string>& valueOptions,
                                     const std::set<std::string>& flags, std::string& error);

    const std::vector<std::string>& positional() const { return m_positional; }
    bool flag(const std::string& name) const { return m_flags.count(name) != 0; }
    std::optional<std::string> value(const std::string& name) const;

private:
    std::vector<std::string> m_positional;
    std::set<std::string> m_flags;
    std::map<std::string, std::string> m_values;
};

}  // namespace dtu::cli
