#include "args.h"

namespace dtu::cli {

std::optional<Args> Args::parse(const std::vector<std::string>& args,
                                const std::set<std::string>& valueOptions,
                                const std::set<std::string>& flags, std::string& error) {
    Args out;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a == "-" || a.empty() || a[0] != '-') {
            out.m_positional.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (valueOptions.count(a)) {
            if (i + 1 >= args.size()) {
                error = "option " + a + " needs a value";
                return std::nullopt;
            }
            if (out.m_values.count(a)) {
                error = "option " + a + " given twice";
                return std::nullopt;
            }
            out.m_values[a] = args[++i];
        } else if (flags.count(a)) {
            out.m_flags.insert(a);
        } else {
            error = "unknown option " + a;
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::string> Args::value(const std::string& name) const {
    const auto it = m_values.find(name);
    if (it == m_values.end()) return std::nullopt;
    return it->second;
}

}  // namespace dtu::cli
