#pragma once

#include "args.h"
#include "command_table.h"
#include "text/language.h"

namespace dtu {
class DeviceParams;
}

namespace dtu::cli {

// check: tries the servers of a parameter file from the PC; with --port or --sim, reads the
// device first and tries its servers.
int runCheck(const Argv& args);
// The checks of a record already at hand (the device's, after a read); the exit code.
int runServerCheck(const DeviceParams& params, const Args& args, Language lang);

}  // namespace dtu::cli
