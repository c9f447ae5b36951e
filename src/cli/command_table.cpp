#include "command_table.h"

#include <cstdint>
#include <iostream>
#include <sstream>

#include "args.h"
#include "batch_command.h"
#include "check_command.h"
#include "history_command.h"
#include "offline_commands.h"
#include "poll_commands.h"
#include "records_command.h"

namespace dtu::cli {

namespace {

constexpr std::string_view kFiles =
    "Parameter files (.cfg: the 22160-byte parameter set; .json: the same, readable):";
constexpr std::string_view kFrames = "Frames (printed as hex):";
constexpr std::string_view kDevice =
    "Device commands: dtuconf [--port PATH | --sim] [OPTIONS] COMMAND";

constexpr std::string_view kProduction =
    "Production lines (see the README for the plan and the record):";

constexpr std::string_view kDevicePrefix = "[--port PATH | --sim] [OPTIONS] ";

// Where the help column of the overview starts.
constexpr std::size_t kHelpColumn = 43;
constexpr std::size_t kHelpWidth = 44;

}  // namespace

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {.name = "show",
         .group = kFiles,
         .usage = "show FILE [--json]",
         .help = "print every field as name = value (or JSON)",
         .run = runShow},
        {.name = "convert",
         .group = kFiles,
         .usage = "convert IN OUT",
         .help = "convert between .cfg and .json by extension",
         .run = runConvert},
        {.name = "diff",
         .group = kFiles,
         .usage = "diff A B",
         .help = "list the fields that differ (exit 1 if any)",
         .run = runDiff},
        {.name = "decode",
         .group = kFiles,
         .usage = "decode [-i BASE] [-o OUT] [--json] HEX|-",
         .help = "decode a read answer given as hex text\n"
                 "(a file, or - for standard input); -i: the\n"
                 "parameter file it changes, -o: where to write",
         .run = runDecode},
        {.name = "poll",
         .group = kFiles,
         .usage = "poll export FILE OUT.csv [--names gbk|utf8] [--encoding utf8|gbk]\n"
                  " [--lang zh|en]\n"
                  "poll import FILE IN.csv [-o OUT] [--names gbk|utf8] [--lang zh|en]",
         .help = "the Modbus poll table as CSV, and back;\n"
                 "--names: how poll names are stored (default:\n"
                 "as the desktop tool stores them);\n"
                 "--encoding: the file's text, UTF-8 (default)\n"
                 "or GBK as spreadsheets on Chinese systems\n"
                 "save it (import reads either); --lang: the\n"
                 "language of the messages (default en)",
         .run = runPoll},
        {.name = "frame",
         .group = kFrames,
         .usage = "frame read-request [--password PW]\n"
                  "frame save FILE [--password PW]",
         .help = "the full read request, or the save frame for\n"
                 "the file's parameters",
         .run = runFrame},
        {.name = "check",
         .group = kDevice,
         .usage = "check FILE [--timeout S] [--publish] [--json] [--lang zh|en]\n"
                  "check [--port PATH | --sim] [--timeout S] [--publish] [--json]",
         .help = "try the servers of a parameter file from the\n"
                 "PC (with a device: read it first);\n"
                 "--timeout: seconds per link (default 5);\n"
                 "--publish: one message on publish topic 1;\n"
                 "exit 1 when an enabled link fails",
         .run = runCheck},
        {.name = "probe",
         .group = kDevice,
         .usage = "probe",
         .help = "find the device's baud rate"},
        {.name = "read",
         .group = kDevice,
         .usage = "read [-o FILE] [--json] [--no-history] [--record DB]",
         .help = "read the parameters and the status; -o:\n"
                 "write them to FILE (.cfg or .json); kept in\n"
                 "the parameter history unless --no-history"},
        {.name = "save",
         .group = kDevice,
         .usage = "save FILE [--no-history] [--record DB]",
         .help = "send a parameter file as it stands",
         .minArgs = 1,
         .maxArgs = 1},
        {.name = "set",
         .group = kDevice,
         .usage = "set NAME=VALUE... [--no-history] [--record DB]",
         .help = "read, change the fields, save; a VALUE is\n"
                 "JSON when it parses as JSON, else text",
         .minArgs = 1,
         .maxArgs = SIZE_MAX},
        {.name = "restore",
         .group = kDevice,
         .usage = "restore ID [--yes] [--any-device] [--no-history] [--record DB]",
         .help = "put a history entry's parameters back: read,\n"
                 "show what changes, ask (unless --yes), save,\n"
                 "read back and verify; refused for another\n"
                 "device's entry unless --any-device",
         .minArgs = 1,
         .maxArgs = 1},
        {.name = "reboot", .group = kDevice, .usage = "reboot", .help = "restart the device"},
        {.name = "reset", .group = kDevice, .usage = "reset", .help = "factory reset"},
        {.name = "deep-reset",
         .group = kDevice,
         .usage = "deep-reset",
         .help = "deep factory reset"},
        {.name = "status",
         .group = kDevice,
         .usage = "status",
         .help = "read and show the device's status"},
        {.name = "diag", .group = kDevice, .usage = "diag", .help = "ask for the diagnostics"},
        {.name = "text", .group = kDevice, .usage = "text", .help = "ask for the device text"},
        {.name = "mqtt-status",
         .group = kDevice,
         .usage = "mqtt-status",
         .help = "ask for the device's MQTT connection state"},
        {.name = "flash",
         .group = kDevice,
         .usage = "flash FILE.bin [--factory-reset]",
         .help = "upgrade the firmware (the line runs at 230400)",
         .minArgs = 1,
         .maxArgs = 1},
        {.name = "certs",
         .group = kDevice,
         .usage = "certs [--ca F] [--cert F] [--key F] [--checksums]",
         .help = "save TLS certificates, read their checksums"},
        {.name = "label",
         .group = kDevice,
         .usage = "label --model NAME [--no-logo] [--print-port N]",
         .help = "read, then print the device's label"},
        {.name = "register",
         .group = kDevice,
         .usage = "register [--server HOST:PORT]",
         .help = "read, then register the device with the cloud"},
        {.name = "io",
         .group = kDevice,
         .usage = "io [--watch] [--json]",
         .help = "poll the RTU's inputs, relays, analogue inputs\n"
                 "and counters (--watch: every second)"},
        {.name = "relay",
         .group = kDevice,
         .usage = "relay N open|close",
         .help = "switch relay N (1-8), leave the others",
         .minArgs = 2,
         .maxArgs = 2},
        {.name = "relay-test",
         .group = kDevice,
         .usage = "relay-test close|open",
         .help = "switch the single relay Y1 of a DTU as the\n"
                 "relay dialog's test switch does",
         .minArgs = 1,
         .maxArgs = 1},
        {.name = "counters",
         .group = kDevice,
         .usage = "counters clear",
         .help = "clear the eight input counters",
         .minArgs = 1,
         .maxArgs = 1},
        {.name = "calibrate",
         .group = kDevice,
         .usage = "calibrate",
         .help = "calibrate the analogue inputs"},
        {.name = "batch",
         .group = kProduction,
         .usage = "batch --plan PLAN.csv [--base FILE] [--ports GLOB] [--jobs N]\n"
                  " [--baud N|auto] [--parity P] [--stop S] [--password PW] [--pieces]\n"
                  " [--lang zh|en] [--firmware F.bin [--factory-reset]]\n"
                  " [--ca F [--cert F] [--key F]] [--station NAME] [--production-dir DIR]\n"
                  " [--record FILE|postgresql://USER@HOST[:PORT]/DB] [--no-history]",
         .help = "provision many devices at once, one per port,\n"
                 "each read, saved, read back and verified",
         .run = runBatch},
        {.name = "records",
         .group = kProduction,
         .usage = "records [--record DB] [--imei X] [--csv | --json] [--production-dir DIR]\n"
                  "records [--record DB] --import-journal FILE [--production-dir DIR]",
         .help = "list the provisioning record, or load into it\n"
                 "the rows a batch kept in a journal",
         .run = runRecords},
        {.name = "history",
         .group = kProduction,
         .usage = "history [--imei X] [--limit N] [--json | --csv] [--record DB]\n"
                  " [--production-dir DIR]\n"
                  "history show ID [-o FILE] [--record DB]\n"
                  "history diff ID [ID2] [--record DB]\n"
                  "history prune --keep N [--record DB]",
         .help = "the parameter history: every read, save,\n"
                 "restore and batch device, newest first, with\n"
                 "the fields changed since the device's entry\n"
                 "before; show or diff an entry (against the\n"
                 "one before, or ID2), keep N per device",
         .run = runHistory},
    };
    return table;
}

const std::vector<DeviceOption>& deviceOptions() {
    static const std::vector<DeviceOption> options = {
        {"--port", "PATH", "the serial port (or a pseudo-terminal)"},
        {"--sim", "",
         "use the built-in simulated device (an RTU for the I/O commands but relay-test)"},
        {"--baud", "N|auto", "line rate (default 9600); auto probes eleven rates"},
        {"--parity", "none|odd|even", "parity (default none)"},
        {"--stop", "1|1.5|2", "stop bits (default 1)"},
        {"--password", "PW", "device-lock password (8 characters)"},
        {"--pieces", "",
         "write read and save requests in 32-byte pieces, each one on the line before the next"},
        {"--lang", "zh|en", "language of the result lines (default zh)"},
        {"--production-dir", "DIR",
         "the production folder (model list, logo, templates, history, production record); "
         "default from the PC settings"},
    };
    return options;
}

const Command* findCommand(std::string_view name) {
    for (const auto& c : commands())
        if (c.name == name) return &c;
    return nullptr;
}

bool isDevice(const Command& command) {
    return command.run == nullptr;
}

void deviceCommandOptions(const Command& command, std::set<std::string>& values,
                          std::set<std::string>& flags) {
    for (const auto& o : deviceOptions())
        (o.value.empty() ? flags : values).insert(std::string(o.name));
    const UsageOptions own = optionsInUsage(command.usage);
    values.insert(own.values.begin(), own.values.end());
    flags.insert(own.flags.begin(), own.flags.end());
}

UsageOptions optionsInUsage(std::string_view usage) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : usage) {
        if (c == ' ' || c == '\n' || c == '[' || c == ']' || c == '|') {
            if (!word.empty()) words.push_back(word);
            // A bar ends an option's value list: "--csv | --json" are two flags.
            if (c == '|' && (words.empty() || words.back() != "|")) words.push_back("|");
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);

    UsageOptions out;
    auto add = [](std::vector<std::string>& list, const std::string& name) {
        for (const auto& known : list)
            if (known == name) return;
        list.push_back(name);
    };
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w.size() < 2 || w[0] != '-' || w == "--") continue;
        // A value is an upper-case word (FILE, N) or a list of choices (gbk|utf8).
        const std::string next = i + 1 < words.size() ? words[i + 1] : std::string();
        const bool upper = !next.empty() && next[0] >= 'A' && next[0] <= 'Z';
        const bool choices = !next.empty() && next[0] != '-' && next != "|" &&
                             i + 2 < words.size() && words[i + 2] == "|";
        const bool value = upper || choices;
        add(value ? out.values : out.flags, w);
    }
    return out;
}

std::string usageLines(const Command& command) {
    std::string out;
    std::istringstream lines{std::string(command.usage)};
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(' ')) {
            out += "      " + line + "\n";  // under the command's name
            continue;
        }
        out += "usage: dtuconf ";
        if (isDevice(command)) out += kDevicePrefix;
        out += line + "\n";
    }
    return out;
}

namespace {

// "  NAME ARGS     help", the help's further lines under its first.
void appendEntry(std::string& out, std::string_view left, std::string_view help,
                 bool helpBelow = false) {
    std::string line = "  " + std::string(left);
    std::istringstream lines{std::string(help)};
    bool any = false;
    for (std::string helpLine; std::getline(lines, helpLine); any = true) {
        if (line.size() + 2 > kHelpColumn || (helpBelow && !line.empty())) {
            out += line + "\n";
            line.clear();
        }
        line.resize(kHelpColumn, ' ');
        out += line + helpLine + "\n";
        line.clear();
    }
    if (!any) out += line + "\n";
}

// "--name VALUE  help", its help wrapped under the column.
void appendOption(std::string& out, const DeviceOption& o) {
    std::string left = std::string(o.name);
    if (!o.value.empty()) left += " " + std::string(o.value);
    std::string wrapped;
    std::string line;
    std::istringstream words{std::string(o.help)};
    for (std::string w; words >> w;) {
        if (!line.empty() && line.size() + 1 + w.size() > kHelpWidth) {
            wrapped += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + w;
    }
    wrapped += line;
    appendEntry(out, left, wrapped);
}

}  // namespace

std::string overviewText() {
    std::string out = "usage: dtuconf COMMAND [ARGS]\n       dtuconf COMMAND --help\n";
    std::string_view group;
    for (const auto& c : commands()) {
        if (c.group != group) {
            group = c.group;
            out += "\n" + std::string(group) + "\n";
        }
        // Every form of the command, then the help below them.
        std::istringstream lines{std::string(c.usage)};
        std::vector<std::string> forms;
        for (std::string line; std::getline(lines, line);)
            forms.push_back(line.starts_with(' ') ? "      " + line : line);
        for (std::size_t i = 0; i + 1 < forms.size(); ++i) out += "  " + forms[i] + "\n";
        appendEntry(out, forms.back(), c.help, forms.size() > 1);
    }
    out += "\nDevice options:\n";
    for (const auto& o : deviceOptions()) appendOption(out, o);
    out +=
        "\nSerial ports belong to the group dialout: add yourself to it once (sudo adduser $USER\n"
        "dialout) and log in again.\n"
        "\nExit codes: 0 success, 1 refused, no answer or differences found, 2 usage error,\n"
        "3 file error.\n";
    return out;
}

std::string commandHelpText(const Command& command) {
    std::string out = usageLines(command) + "\n" + std::string(command.help) + "\n";
    if (isDevice(command)) {
        out += "\nDevice options:\n";
        for (const auto& o : deviceOptions()) appendOption(out, o);
    }
    return out;
}

int usageError(std::string_view name, const std::string& error) {
    std::cerr << "dtuconf: " << error << "\n";
    if (const Command* c = findCommand(name)) std::cerr << usageLines(*c);
    std::cerr << "Try 'dtuconf " << name << " --help'.\n";
    return kExitUsage;
}

}  // namespace dtu::cli
