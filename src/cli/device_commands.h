#pragma once

#include <string>
#include <vector>

namespace dtu::cli {

// Commands that talk to a device over a serial port (or to the built-in simulated device).
bool isDeviceCommand(const std::string& name);

// The options every device command takes, with how many values each has; main() uses this to
// find the command name behind leading options.
bool isGlobalValueOption(const std::string& arg);
bool isGlobalFlag(const std::string& arg);

// Runs one device command; args are everything but the command name, options anywhere.
int runDeviceCommand(const std::string& command, const std::vector<std::string>& args);

}  // namespace dtu::cli
