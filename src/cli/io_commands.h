#pragma once

#include <string>

#include "args.h"
#include "text/language.h"

namespace dtu {
class Session;
}

namespace dtu::cli {

// The device's live I/O: io [--watch] [--json]; relay N open|close; relay-test close|open (the
// single relay of a DTU); counters clear; calibrate.
bool isIoCommand(const std::string& name);

struct IoJob {
    std::string command;
    bool watch = false;
    bool json = false;
    int relay = 0;  // 0..7
    bool close = false;
};

// Checks the command's arguments before the port opens; kExitOk, or the exit code after saying
// why.
int prepareIo(const std::string& command, const Args& args, IoJob& job);

// Runs a prepared I/O command on an open session; returns the exit code.
int runIo(const IoJob& job, Session& session);

}  // namespace dtu::cli
