#pragma once

#include <string>
#include <vector>

namespace dtu::cli {

// batch --plan PLAN.csv [--base FILE] [--jobs N] [--ports GLOB] [--record DB] ...: provisions
// many devices at once, one session per port on one event loop.
int runBatch(const std::vector<std::string>& args);

}  // namespace dtu::cli
