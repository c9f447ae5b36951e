// dtusim: the simulated device on a pseudo-terminal.

#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "pty_server.h"
#include "sim_options.h"

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

void onStopSignal(int) {
    g_stopRequested = 1;
}

void installSignals() {
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // A reader of our stdout that goes away must not end the device.
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(dtu::sim::simUsage().c_str(), stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("dtusim " DTUCONF_VERSION);
            return 0;
        }
    }
    std::string error;
    const auto options = dtu::sim::parseSimOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "dtusim: %s\nTry 'dtusim --help'.\n", error.c_str());
        return 2;
    }

    installSignals();
    auto server = dtu::sim::PtyServer::start(*options, error);
    if (!server) {
        std::fprintf(stderr, "dtusim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", server->path().c_str());
    std::fflush(stdout);

    // The path first, then what the device does, a line at a time.
    const timespec tick{0, 50'000'000};
    while (!g_stopRequested && !server->finished()) {
        nanosleep(&tick, nullptr);
        for (const std::string& line : server->takeLog()) std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    server.reset();
    return 0;
}
