#include "sim_options.h"

#include <charconv>

namespace dtu::sim {

namespace {

std::optional<int> parsePositive(const std::string& text, int max) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end || value < 1 || value > max) return std::nullopt;
    return value;
}

// "a,b,c,d,e": the five state bytes of item 180.
std::optional<std::array<std::uint8_t, 5>> parseMqttState(const std::string& text) {
    std::array<std::uint8_t, 5> state{};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < state.size(); ++i) {
        const std::size_t end = i + 1 < state.size() ? text.find(',', pos) : text.size();
        if (end == std::string::npos) return std::nullopt;
        int value = 0;
        const char* first = text.data() + pos;
        const char* last = text.data() + end;
        const auto [ptr, ec] = std::from_chars(first, last, value);
        if (ec != std::errc{} || ptr != last || first == last || value < 0 || value > 255)
            return std::nullopt;
        state[i] = static_cast<std::uint8_t>(value);
        pos = end + 1;
    }
    return state;
}

}  // namespace

std::optional<SimOptions> parseSimOptions(const std::vector<std::string>& args,
                                          std::string& error) {
    SimOptions options;
    constexpr int kMaxBaud = 4000000;
    constexpr int kMaxIndex = 1000000;
    constexpr int kMaxDelayMs = 600000;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string* {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return nullptr;
            }
            return &args[++i];
        };
        auto fault = [&](FaultKind kind) -> bool {
            const std::string* v = value();
            if (!v) return false;
            const auto n = parsePositive(*v, kMaxIndex);
            if (!n) {
                error = arg + " expects an answer number from 1, not '" + *v + "'";
                return false;
            }
            options.faults.push_back({kind, *n, 0});
            return true;
        };

        if (arg == "--baud") {
            const std::string* v = value();
            if (!v) return std::nullopt;
            const auto baud = parsePositive(*v, kMaxBaud);
            if (!baud) {
                error = "--baud expects a rate in bits per second, not '" + *v + "'";
                return std::nullopt;
            }
            options.baud = *baud;
        } else if (arg == "--kind") {
            const std::string* v = value();
            if (!v) return std::nullopt;
            if (*v == "dtu") {
                options.kind = DeviceKind::Dtu;
            } else if (*v == "rtu") {
                options.kind = DeviceKind::Rtu;
            } else {
                error = "--kind expects dtu or rtu, not '" + *v + "'";
                return std::nullopt;
            }
        } else if (arg == "--line-rate") {
            options.lineRate = true;
        } else if (arg == "--lock") {
            const std::string* v = value();
            if (!v) return std::nullopt;
            if (v->size() != kLockPasswordSize) {
                error = "--lock expects a password of exactly 8 characters";
                return std::nullopt;
            }
            LockPassword pw{};
            for (std::size_t k = 0; k < pw.size(); ++k) pw[k] = static_cast<std::uint8_t>((*v)[k]);
            options.lock = pw;
        } else if (arg == "--drop") {
            if (!fault(FaultKind::Drop)) return std::nullopt;
        } else if (arg == "--corrupt") {
            if (!fault(FaultKind::Corrupt)) return std::nullopt;
        } else if (arg == "--hangup") {
            if (!fault(FaultKind::HangUp)) return std::nullopt;
        } else if (arg == "--delay") {
            const std::string* v = value();
            if (!v) return std::nullopt;
            const auto colon = v->find(':');
            const auto n = colon == std::string::npos
                               ? std::nullopt
                               : parsePositive(v->substr(0, colon), kMaxIndex);
            const auto ms = colon == std::string::npos
                                ? std::nullopt
                                : parsePositive(v->substr(colon + 1), kMaxDelayMs);
            if (!n || !ms) {
                error = "--delay expects N:MS (answer number and milliseconds), not '" + *v + "'";
                return std::nullopt;
            }
            options.faults.push_back({FaultKind::Delay, *n, *ms});
        } else if (arg == "--mqtt-state") {
            const std::string* v = value();
            if (!v) return std::nullopt;
            const auto state = parseMqttState(*v);
            if (!state) {
                error = "--mqtt-state expects T,M,S,V,L: five numbers 0..255, not '" + *v + "'";
                return std::nullopt;
            }
            options.mqttState = state;
        } else if (arg == "--imei") {
            const std::string* v = value();
            if (!v) return std::nullopt;
            if (v->size() != 15 || v->find_first_not_of("0123456789") != std::string::npos) {
                error = "--imei expects 15 digits, not '" + *v + "'";
                return std::nullopt;
            }
            options.imei = *v;
        } else if (arg == "--link") {
            const std::string* v = value();
            if (!v) return std::nullopt;
            if (v->empty()) {
                error = "--link expects a path";
                return std::nullopt;
            }
            options.linkPath = *v;
        } else {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        }
    }
    return options;
}

std::string simUsage() {
    return "usage: dtusim [OPTIONS]\n"
           "\n"
           "A simulated 4G data terminal on a pseudo-terminal. Prints the terminal's path as the\n"
           "first line, then serves until interrupted.\n"
           "\n"
           "  --baud N        the device's line rate (default 9600); it answers only at this rate\n"
           "  --kind dtu|rtu  device kind (default dtu); an RTU's inputs, counters and analogue\n"
           "                  inputs change by themselves\n"
           "  --line-rate     pace both directions to the line rate (10 bits per byte)\n"
           "  --lock PW       start locked with this 8-character password\n"
           "  --drop N        do not send the Nth answer\n"
           "  --corrupt N     send the Nth answer garbled after its head\n"
           "  --delay N:MS    send the Nth answer MS milliseconds late\n"
           "  --hangup N      send half of the Nth answer, then close the line and exit\n"
           "  --imei N        report this IMEI (15 digits) instead of the model's own\n"
           "  --link PATH     also make PATH a symbolic link to the terminal (removed at exit)\n"
           "  --mqtt-state T,M,S,V,L\n"
           "                  the MQTT state it reports: TCP, MQTT, topic, server, SSL (1\n"
           "                  success, 0 failure, topic 2 no subscribe topic); by default it\n"
           "                  follows the MQTT settings\n"
           "  --help          this text\n"
           "  --version       the program's version\n"
           "\n"
           "Fault options may be repeated.\n";
}

}  // namespace dtu::sim
