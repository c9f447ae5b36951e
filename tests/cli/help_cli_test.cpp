// The programs' --help and --version, dtuconf's per-command help and usage errors, and the
// bash completion of dtuconf, run as a user's shell runs them.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/private_home.h"
#include "support/process.h"

namespace dtu {
namespace {

[[maybe_unused]] const bool kPrivateHome = test::usePrivateHome();

using test::RunResult;

RunResult dtuconf(const std::vector<std::string>& args) {
    return test::runProgram(DTUCONF_BIN, args);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

bool contains(const std::vector<std::string>& list, const std::string& word) {
    return std::find(list.begin(), list.end(), word) != list.end();
}

std::vector<std::string> commandNames() {
    std::vector<std::string> out;
    for (const auto& w : lines(dtuconf({"--complete", "commands"}).out))
        if (!w.empty() && w[0] != '-') out.push_back(w);
    return out;
}

TEST(ProgramHelp, EveryCommandHasItsHelpAndIsInTheOverview) {
    const auto names = commandNames();
    ASSERT_GE(names.size(), 20u);
    const RunResult overview = dtuconf({"--help"});
    EXPECT_EQ(overview.code, 0);
    EXPECT_NE(overview.out.find("dialout"), std::string::npos);
    for (const auto& name : names) {
        EXPECT_NE(overview.out.find("\n  " + name), std::string::npos) << name;
        const RunResult r = dtuconf({name, "--help"});
        EXPECT_EQ(r.code, 0) << name << ": " << r.err;
        EXPECT_TRUE(r.err.empty()) << name << ": " << r.err;
        // Each form starts "usage: dtuconf", device commands with the device options.
        const auto first = lines(r.out).at(0);
        EXPECT_EQ(first.rfind("usage: dtuconf ", 0), 0u) << first;
        EXPECT_NE(first.find(" " + name), std::string::npos) << first;
    }
    // Help wins over everything else on the line, and asks nothing of a device.
    const RunResult read = dtuconf({"--port", "/nonexistent/tty", "read", "-o", "x.cfg", "--help"});
    EXPECT_EQ(read.code, 0) << read.err;
    EXPECT_EQ(lines(read.out).at(0),
              "usage: dtuconf [--port PATH | --sim] [OPTIONS] read [-o FILE] [--json] "
              "[--no-history] [--record DB]");
    EXPECT_NE(read.out.find("--baud N|auto"), std::string::npos);
    EXPECT_EQ(dtuconf({"help", "diff"}).out, dtuconf({"diff", "-h"}).out);
    // After "--" it is an argument, not a request for help.
    EXPECT_EQ(dtuconf({"show", "--", "--help"}).code, 3);
}

TEST(ProgramHelp, UsageErrorsNameTheCommandsHelp) {
    struct Case {
        std::vector<std::string> args;
        const char* says;
        const char* help;
    };
    const Case cases[] = {
        {{"--port", "/nonexistent/tty", "read", "--xml"}, "unknown option --xml", "read"},
        {{"--sim", "relay", "1"}, "wrong number of arguments", "relay"},
        {{"show", "a.cfg", "--xml"}, "unknown option --xml", "show"},
        {{"poll", "merge"}, "unknown poll command", "poll"},
        {{"frame"}, "read-request or save", "frame"},
    };
    for (const auto& c : cases) {
        const RunResult r = dtuconf(c.args);
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("usage: dtuconf "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(std::string("Try 'dtuconf ") + c.help + " --help'."),
                  std::string::npos)
            << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    const RunResult option = dtuconf({"--colour", "read"});
    EXPECT_EQ(option.code, 2);
    EXPECT_NE(option.err.find("unknown option '--colour'"), std::string::npos) << option.err;
    EXPECT_NE(option.err.find("Try 'dtuconf --help'."), std::string::npos) << option.err;
}

// The options a command's usage names are the ones it accepts: with them all given it gets as
// far as opening the port.
TEST(ProgramHelp, DeviceCommandsTakeTheOptionsTheirUsageNames) {
    const std::vector<std::vector<std::string>> runs = {
        {"read", "-o", "out.json", "--json"},
        {"io", "--watch", "--json"},
        {"--baud", "auto", "--lang", "en", "--pieces", "status"},
    };
    for (auto args : runs) {
        args.insert(args.begin(), {"--port", "/nonexistent/tty"});
        const RunResult r = dtuconf(args);
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_NE(r.err.find("cannot open /nonexistent/tty"), std::string::npos) << r.err;
    }
    const auto options = lines(dtuconf({"--complete", "options", "certs"}).out);
    for (const char* o : {"--ca", "--cert", "--key", "--checksums", "--port", "--help"})
        EXPECT_TRUE(contains(options, o)) << o;
    const auto values = lines(dtuconf({"--complete", "value-options", "certs"}).out);
    EXPECT_TRUE(contains(values, "--ca"));
    EXPECT_TRUE(contains(values, "--port"));
    EXPECT_FALSE(contains(values, "--checksums"));
    EXPECT_FALSE(contains(values, "--sim"));
    const auto fields = lines(dtuconf({"--complete", "fields"}).out);
    EXPECT_TRUE(contains(fields, "serverAHost"));
    EXPECT_TRUE(contains(fields, "modbusItems[63].jsonName"));
    EXPECT_TRUE(std::none_of(fields.begin(), fields.end(),
                             [](const std::string& f) { return f.rfind("reserved", 0) == 0; }));
}

// What a command's usage names, its parser knows: no option from the table is refused as
// unknown (values point nowhere, so nothing is read, written or opened).
TEST(ProgramHelp, EveryCommandAcceptsTheOptionsItsUsageNames) {
    std::set<std::string> shared;
    for (const auto& o : lines(dtuconf({"--complete", "value-options"}).out)) shared.insert(o);
    shared.insert({"--sim", "--pieces", "--help"});
    int checked = 0;
    for (const auto& name : commandNames()) {
        const auto values = lines(dtuconf({"--complete", "value-options", name}).out);
        const auto options = lines(dtuconf({"--complete", "options", name}).out);
        const bool device = contains(options, "--port");
        for (const auto& option : options) {
            if (shared.count(option)) continue;
            std::vector<std::string> args = {name, option};
            if (device) args.insert(args.begin(), {"--port", "/nonexistent/tty"});
            if (contains(values, option)) args.push_back("/nonexistent/value");
            const RunResult r = dtuconf(args);
            EXPECT_EQ(r.err.find("unknown option"), std::string::npos) << name << " " << option;
            EXPECT_NE(r.code, 0) << name << " " << option;
            ++checked;
        }
    }
    EXPECT_GE(checked, 30);
    // A list of choices is a value, a bar between options is not.
    const auto poll = lines(dtuconf({"--complete", "value-options", "poll"}).out);
    for (const char* o : {"--names", "--lang", "-o"}) EXPECT_TRUE(contains(poll, o)) << o;
    const auto records = lines(dtuconf({"--complete", "value-options", "records"}).out);
    EXPECT_TRUE(contains(records, "--imei"));
    EXPECT_FALSE(contains(records, "--csv"));
    EXPECT_FALSE(contains(records, "--json"));
}

// --version is one line, the program's name and the project's version; --help works with no
// display at all.
TEST(ProgramHelp, EveryProgramAnswersVersionAndHelp) {
    const std::string version = DTUCONF_VERSION;
    const std::pair<const char*, const char*> programs[] = {
        {DTUCONF_BIN, "dtuconf"},
        {DTUSIM_BIN, "dtusim"},
        {DTUPRINTD_BIN, "dtuprintd"},
        {DTUCONF_GUI_BIN, "dtuconf-gui"},
    };
    for (const auto& [path, name] : programs) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
        p.setProcessEnvironment(env);
        p.start(path, {"--version"});
        ASSERT_TRUE(p.waitForFinished(30000)) << name;
        EXPECT_EQ(p.exitCode(), 0) << name;
        EXPECT_EQ(p.readAllStandardOutput().toStdString(),
                  std::string(name) + " " + version + "\n");
        p.start(path, {"--help"});
        ASSERT_TRUE(p.waitForFinished(30000)) << name;
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << name;
        EXPECT_EQ(p.exitCode(), 0) << name << p.readAllStandardError().toStdString();
        const std::string help = p.readAllStandardOutput().toStdString();
        EXPECT_NE(help.find("sage:"), std::string::npos) << name << ": " << help;
        EXPECT_NE(help.find("--help"), std::string::npos) << name << ": " << help;
    }
    for (const char* path : {DTUSIM_BIN, DTUPRINTD_BIN}) {
        const RunResult r = test::runProgram(path, {"--no-such-option"});
        EXPECT_EQ(r.code, 2) << path;
        EXPECT_NE(r.err.find("--help'"), std::string::npos) << r.err;
    }
}

// The completion script as bash runs it: the words it offers for what is typed so far.
std::set<std::string> complete(const std::vector<std::string>& words) {
    std::string script = "source '" DTUCONF_COMPLETION "'\nCOMP_WORDS=('" DTUCONF_BIN "'";
    for (const auto& w : words) script += " '" + w + "'";
    script += ")\nCOMP_CWORD=" + std::to_string(words.size()) +
              "\n_dtuconf\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
    const RunResult r = test::runProgram("/bin/bash", {"-c", script});
    EXPECT_EQ(r.code, 0) << r.err;
    std::set<std::string> out;
    for (const auto& l : lines(r.out))
        if (!l.empty()) out.insert(l);
    return out;
}

TEST(BashCompletion, OffersCommandsOptionsFieldsAndValues) {
    std::set<std::string> re;
    for (const auto& name : commandNames())
        if (name.starts_with("re")) re.insert(name);
    EXPECT_TRUE(re.count("read") && re.count("reset"));
    EXPECT_EQ(complete({"re"}), re);
    // An option's value is not taken for the command.
    EXPECT_EQ(complete({"--port", "/dev/ttyUSB0", "sh"}), (std::set<std::string>{"show"}));
    EXPECT_EQ(complete({"--port", "/dev/ttyUSB0", "read", "--j"}),
              (std::set<std::string>{"--json"}));
    EXPECT_EQ(complete({"--lang", ""}), (std::set<std::string>{"zh", "en"}));
    EXPECT_EQ(complete({"--sim", "set", "serverAH"}), (std::set<std::string>{"serverAHost="}));
    EXPECT_EQ(complete({"--sim", "set", "modbusItems[63].jsonN"}),
              (std::set<std::string>{"modbusItems[63].jsonName="}));
    EXPECT_TRUE(complete({"--sim", "set", "serverAHost", "=", ""}).empty());
    EXPECT_TRUE(complete({"--sim", "label", "--model", ""}).empty());
    EXPECT_EQ(complete({"history", "p"}), (std::set<std::string>{"prune"}));
}

}  // namespace
}  // namespace dtu
