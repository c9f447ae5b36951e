#include <iostream>
#include <string>
#include <vector>

#include "args.h"
#include "offline_commands.h"

namespace {

const char* kUsage =
    "usage: dtuconf COMMAND [ARGS]\n"
    "\n"
    "Parameter files (.cfg: the 22160-byte parameter set; .json: the same, readable):\n"
    "  show FILE [--json]                       print every field as name = value (or JSON)\n"
    "  convert IN OUT                           convert between .cfg and .json by extension\n"
    "  diff A B                                 list the fields that differ (exit 1 if any)\n"
    "  decode [-i BASE] [-o OUT] [--json] HEX|-  decode a read answer given as hex text\n"
    "\n"
    "Frames (printed as hex):\n"
    "  frame read-request [--password PW]       the full read request\n"
    "  frame save FILE [--password PW]          the save frame for the file's parameters\n"
    "\n"
    "Exit codes: 0 success, 1 refused or differences found, 2 usage error, 3 file error.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace dtu::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return kExitUsage;
    }
    const std::string command = args.front();
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "help" || command == "--help" || command == "-h") {
        std::cout << kUsage;
        return kExitOk;
    }
    if (command == "frame") return runFrame(rest);
    if (command == "decode") return runDecode(rest);
    if (command == "show") return runShow(rest);
    if (command == "convert") return runConvert(rest);
    if (command == "diff") return runDiff(rest);
    std::cerr << "dtuconf: unknown command '" << command << "'\n" << kUsage;
    return kExitUsage;
}
