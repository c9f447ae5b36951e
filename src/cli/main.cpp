#include <iostream>
#include <string>
#include <vector>

#include "args.h"
#include "batch_command.h"
#include "device_commands.h"
#include "offline_commands.h"
#include "poll_commands.h"

namespace {

const char* kUsage =
    "usage: dtuconf COMMAND [ARGS]\n"
    "\n"
    "Parameter files (.cfg: the 22160-byte parameter set; .json: the same, readable):\n"
    "  show FILE [--json]                       print every field as name = value (or JSON)\n"
    "  convert IN OUT                           convert between .cfg and .json by extension\n"
    "  diff A B                                 list the fields that differ (exit 1 if any)\n"
    "  decode [-i BASE] [-o OUT] [--json] HEX|-  decode a read answer given as hex text\n"
    "  poll export FILE OUT.csv                 the Modbus poll table as CSV\n"
    "  poll import FILE IN.csv [-o OUT]         replace the poll table from a CSV file\n"
    "       [--names gbk|utf8]                  how poll names are stored (default: as the\n"
    "                                           window's JSON名 UTF-8 box)\n"
    "\n"
    "Frames (printed as hex):\n"
    "  frame read-request [--password PW]       the full read request\n"
    "  frame save FILE [--password PW]          the save frame for the file's parameters\n"
    "\n"
    "Device commands: dtuconf [--port PATH | --sim] [OPTIONS] COMMAND\n"
    "  probe                                    find the device's baud rate\n"
    "  read [-o FILE] [--json]                  read the parameters and the status\n"
    "  save FILE                                send a parameter file as it stands\n"
    "  set NAME=VALUE...                        read, change the fields, save\n"
    "  reboot | reset | deep-reset              restart, factory reset, deep factory reset\n"
    "  status                                   read and show the device's status\n"
    "  diag | text                              ask for the diagnostics or the device text\n"
    "  mqtt-status                              ask for the device's MQTT connection state\n"
    "  flash FILE.bin [--factory-reset]         upgrade the firmware (the line runs at 230400)\n"
    "  certs [--ca F] [--cert F] [--key F] [--checksums]\n"
    "                                           save TLS certificates, read their checksums\n"
    "  label --model NAME [--no-logo] [--print-port N]\n"
    "                                           read, then print the device's label\n"
    "  register [--server HOST:PORT]            read, then register the device with the cloud\n"
    "  io [--watch] [--json]                    poll the RTU's inputs, relays, analogue inputs\n"
    "                                           and counters (--watch: every second)\n"
    "  relay N open|close                       switch relay N (1-8), leave the others\n"
    "  relay-test close|open                    switch the single relay Y1 of a DTU as the\n"
    "                                           relay dialog's test switch does\n"
    "  counters clear                           clear the eight input counters\n"
    "  calibrate                                calibrate the analogue inputs\n"
    "\n"
    "Production lines (see the README for the plan and the record):\n"
    "  batch --plan PLAN.csv [--base FILE] [--ports GLOB] [--jobs N]\n"
    "        [--firmware F.bin [--factory-reset]] [--ca F [--cert F] [--key F]]\n"
    "        [--record FILE|postgresql://USER@HOST[:PORT]/DB] [--station NAME]\n"
    "                                           provision many devices at once, one per port,\n"
    "                                           each read, saved, read back and verified\n"
    "  records [--record DB] [--imei X] [--csv | --json]\n"
    "                                           list the provisioning record\n"
    "Options:\n"
    "  --port PATH            the serial port (or a pseudo-terminal)\n"
    "  --sim                  use the built-in simulated device (an RTU for the I/O commands\n"
    "                         but relay-test)\n"
    "  --baud N|auto          line rate (default 9600); auto probes eleven rates\n"
    "  --parity none|odd|even, --stop 1|1.5|2\n"
    "  --password PW          device-lock password (8 characters)\n"
    "  --pieces               write read and save requests in 32-byte pieces, each one\n"
    "                         on the line before the next\n"
    "  --lang zh|en           language of the result lines (default zh)\n"
    "  --production-dir DIR   the production folder (model list, logo, templates, history,\n"
    "                         production record); default from the PC settings\n"
    "\n"
    "Exit codes: 0 success, 1 refused, no answer or differences found, 2 usage error,\n"
    "3 file error.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace dtu::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return kExitUsage;
    }
    // Device options may come before the command name.
    std::size_t at = 0;
    while (at < args.size() && (isGlobalValueOption(args[at]) || isGlobalFlag(args[at])))
        at += isGlobalValueOption(args[at]) ? 2 : 1;
    if (at >= args.size()) {
        std::cerr << kUsage;
        return kExitUsage;
    }
    const std::string command = args[at];
    std::vector<std::string> rest(args.begin(), args.begin() + std::ptrdiff_t(at));
    rest.insert(rest.end(), args.begin() + std::ptrdiff_t(at) + 1, args.end());
    if (isDeviceCommand(command)) return runDeviceCommand(command, rest);
    if (command == "help" || command == "--help" || command == "-h") {
        std::cout << kUsage;
        return kExitOk;
    }
    if (command == "frame") return runFrame(rest);
    if (command == "decode") return runDecode(rest);
    if (command == "show") return runShow(rest);
    if (command == "convert") return runConvert(rest);
    if (command == "diff") return runDiff(rest);
    if (command == "poll") return runPoll(rest);
    if (command == "batch") return runBatch(rest);
    if (command == "records") return runRecords(rest);
    std::cerr << "dtuconf: unknown command '" << command << "'\n" << kUsage;
    return kExitUsage;
}
