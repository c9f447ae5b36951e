#pragma once

#include <optional>
#include <string>
#include <vector>

#include "args.h"
#include "link/frame.h"
#include "text/language.h"

namespace dtu {
class Session;
}

namespace dtu::cli {

// How the tool talks to a device: the port (or the built-in simulated device) and the line.
struct LinkOptions {
    std::string port;
    bool sim = false;
    bool simRtu = false;  // the simulated device is an RTU (for the I/O commands)
    int baud = 9600;      // 0: probe for it
    int parity = 0;
    int stop = 0;
    Lock lock;
    bool pieces = false;
    Language lang = Language::Chinese;
};

// The line options every device command takes (--baud, --parity, --stop, --lang, --password,
// --pieces), without the port; nothing on error, with the reason in error.
std::optional<LinkOptions> parseLineOptions(const Args& args, std::string& error);
// Sets a session's language, device lock and pieces as the options say.
void configureSession(Session& session, const LinkOptions& options);

// Commands that talk to a device over a serial port (or to the built-in simulated device).
bool isDeviceCommand(const std::string& name);

// The options every device command takes, with how many values each has; main() uses this to
// find the command name behind leading options.
bool isGlobalValueOption(const std::string& arg);
bool isGlobalFlag(const std::string& arg);

// Runs one device command; args are everything but the command name, options anywhere.
int runDeviceCommand(const std::string& command, const std::vector<std::string>& args);

}  // namespace dtu::cli
