#include "check_command.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

#include "check/server_check.h"
#include "common.h"
#include "device_commands.h"
#include "server_checker.h"
#include "text/json.h"

namespace dtu::cli {

namespace {

constexpr double kMaxTimeoutSeconds = 600;

std::string_view linkName(CheckLink link) {
    switch (link) {
        case CheckLink::ServerA:
            return "serverA";
        case CheckLink::ServerB:
            return "serverB";
        case CheckLink::Http:
            return "http";
        case CheckLink::Mqtt:
            return "mqtt";
    }
    return "";
}

// --timeout in seconds (a fraction allowed), as milliseconds; nothing when it is not one.
std::optional<int> timeoutOption(const Args& args) {
    const auto v = args.value("--timeout");
    if (!v) return ServerChecker::kDefaultTimeoutMs;
    char* end = nullptr;
    const double seconds = std::strtod(v->c_str(), &end);
    if (v->empty() || *end != '\0' || !(seconds > 0) || seconds > kMaxTimeoutSeconds)
        return std::nullopt;
    return std::max(1, static_cast<int>(seconds * 1000));
}

constexpr char kTimeoutError[] = "--timeout: seconds, more than 0 and at most 600";

}  // namespace

int runCheck(const Argv& argv) {
    const Command& info = *findCommand("check");
    std::set<std::string> values;
    std::set<std::string> flags;
    deviceCommandOptions(info, values, flags);
    std::string error;
    const auto args = Args::parse(argv, values, flags, error);
    if (!args) return usageError("check", error);
    const bool device = args->value("--port") || args->flag("--sim");
    if (args->positional().size() > 1) return usageError("check", "expected at most one FILE");
    if (device == (args->positional().size() == 1))
        return usageError("check", device ? "give a FILE or a device, not both"
                                          : "give a FILE, or --port PATH or --sim");
    // Checked before the device is read.
    if (!timeoutOption(*args)) return usageError("check", kTimeoutError);
    if (device) return runDeviceCommand("check", argv);

    const auto options = parseLineOptions(*args, error);
    if (!options) return usageError("check", error);
    DeviceParams params;
    if (int rc = loadParams(args->positional()[0], params); rc != kExitOk) return rc;
    return runServerCheck(params, *args, options->lang);
}

int runServerCheck(const DeviceParams& params, const Args& args, Language lang) {
    const auto timeoutMs = timeoutOption(args);
    if (!timeoutMs) return usageError("check", kTimeoutError);

    int argc = 1;
    char arg0[] = "dtuconf";
    char* argvQt[] = {arg0, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argvQt);

    const CheckPlan plan = planChecks(params);
    ServerChecker checker;
    checker.setTimeoutMs(*timeoutMs);
    checker.setPublish(args.flag("--publish"));
    QEventLoop loop;
    bool passed = true;
    QObject::connect(&checker, &ServerChecker::finished, &loop, [&](bool all) {
        passed = all;
        loop.quit();
    });
    checker.start(plan);
    if (checker.running() || plan.items.empty()) loop.exec();

    const auto& results = checker.results();
    const auto notes = planNotes(plan);
    if (args.flag("--json")) {
        std::cout << "{\"passed\": " << (passed ? "true" : "false") << ", \"links\": [";
        for (std::size_t i = 0; i < results.size(); ++i) {
            const CheckResult& r = results[i];
            const CheckItem& item = plan.items[i];
            std::cout << (i ? ", " : "") << "{\"link\": " << jsonQuote(linkName(item.link))
                      << ", \"host\": " << jsonQuote(item.host) << ", \"port\": " << item.port
                      << ", \"passed\": " << (r.passed ? "true" : "false")
                      << ", \"text\": " << jsonQuote(r.text(lang)) << "}";
        }
        std::cout << "], \"notes\": [";
        for (std::size_t i = 0; i < notes.size(); ++i)
            std::cout << (i ? ", " : "") << jsonQuote(notes[i].text(lang));
        std::cout << "]}\n";
    } else {
        for (const auto& r : results) std::cout << r.text(lang) << "\n";
        for (const auto& n : notes) std::cout << n.text(lang) << "\n";
    }
    return passed ? kExitOk : kExitFailed;
}

}  // namespace dtu::cli
