#pragma once

#include <string>
#include <vector>

namespace dtu::cli {

// Commands that work on files and frames without a device. Each takes the arguments after its
// name and returns the process exit code; results go to stdout, one line of error to stderr.
int runFrame(const std::vector<std::string>& args);
int runDecode(const std::vector<std::string>& args);
int runShow(const std::vector<std::string>& args);
int runConvert(const std::vector<std::string>& args);
int runDiff(const std::vector<std::string>& args);

}  // namespace dtu::cli
