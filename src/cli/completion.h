#pragma once

#include <string>
#include <vector>

namespace dtu::cli {

// `dtuconf --complete WHAT [COMMAND]`, for the shell's completion: the words that may come
// next, one a line. WHAT is "commands" (with the options allowed before one), "options
// COMMAND", "value-options [COMMAND]" (those that take a value) or "fields" (the names `set`
// takes). Returns the exit code.
int runComplete(const std::vector<std::string>& args);

}  // namespace dtu::cli
