#pragma once

#include <string>
#include <vector>

namespace dtu::cli {

// "poll export FILE OUT.csv" and "poll import FILE IN.csv [-o OUT]": the poll table of a
// parameter file as CSV, and back. Takes the arguments after "poll"; returns the exit code.
int runPoll(const std::vector<std::string>& args);

}  // namespace dtu::cli
