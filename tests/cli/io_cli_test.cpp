// dtuconf's I/O commands against a simulated device over a real pseudo-terminal.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <string>
#include <vector>

#include "support/process.h"
#include "text/json.h"

namespace dtu {
namespace {

using test::RunResult;
using test::SimProcess;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// One line of `io --json` as numbers: inputs, relays, analog, counters.
struct IoLine {
    std::vector<std::int64_t> inputs, relays, analog, counters;
};

std::optional<IoLine> parseIo(const std::string& line) {
    const auto doc = parseJson(line);
    if (!doc || !doc->isObject()) return std::nullopt;
    auto numbers = [&](const char* key) {
        std::vector<std::int64_t> out;
        if (const JsonValue* a = doc->find(key); a && a->isArray())
            for (const auto& v : a->array()) out.push_back(v.integer().value_or(-1));
        return out;
    };
    return IoLine{numbers("inputs"), numbers("relays"), numbers("analog"), numbers("counters")};
}

class Rtu : public ::testing::Test {
protected:
    void start(std::vector<std::string> simArgs = {}) {
        simArgs.insert(simArgs.begin(), {"--kind", "rtu"});
        m_sim = std::make_unique<SimProcess>(DTUSIM_BIN, simArgs);
        ASSERT_FALSE(m_sim->path().empty()) << "dtusim printed no path";
    }
    RunResult run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", m_sim->path()});
        return test::runProgram(DTUCONF_BIN, args);
    }
    IoLine io() {
        const RunResult r = run({"io", "--json"});
        EXPECT_EQ(r.code, 0) << r.err;
        const auto line = parseIo(r.out);
        EXPECT_TRUE(line) << r.out;
        return line.value_or(IoLine{});
    }

    std::unique_ptr<SimProcess> m_sim;
};

TEST_F(Rtu, IoShowsTheLiveValuesAndRelaySwitchesOneRelayOnly) {
    start();
    const RunResult text = run({"io"});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_TRUE(has(text.out, "X1-X8: ")) << text.out;
    EXPECT_TRUE(has(text.out, "\nY1-Y8: 0 0 0 0 0 0 0 0\n")) << text.out;
    EXPECT_TRUE(has(text.out, "\nA1: ")) << text.out;
    EXPECT_TRUE(has(text.out, "0-5 v: ")) << text.out;
    EXPECT_TRUE(has(text.out, "\n计数 X1-X8: ")) << text.out;

    const RunResult close = run({"relay", "3", "close"});
    ASSERT_EQ(close.code, 0) << close.err;
    EXPECT_EQ(close.out, "Y3闭合\n");
    ASSERT_EQ(run({"relay", "8", "close"}).code, 0);
    EXPECT_EQ(io().relays, (std::vector<std::int64_t>{0, 0, 1, 0, 0, 0, 0, 1}));

    const RunResult open = run({"--lang", "en", "relay", "3", "open"});
    ASSERT_EQ(open.code, 0) << open.err;
    EXPECT_EQ(open.out, "Y3Open\n");
    const IoLine after = io();
    EXPECT_EQ(after.relays, (std::vector<std::int64_t>{0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(after.inputs.size(), 8u);
    EXPECT_EQ(after.analog.size(), 6u);
}

TEST_F(Rtu, CountersClearAndCalibrateAreAcknowledged) {
    start();
    // X1 started with 15 counted; after the clear it counts from 0 again (one edge per three
    // seconds of pattern).
    ASSERT_GE(io().counters.at(0), 15);
    const RunResult clear = run({"counters", "clear"});
    ASSERT_EQ(clear.code, 0) << clear.err;
    EXPECT_EQ(clear.out, "计数已清零\n");
    EXPECT_LT(io().counters.at(0), 15);

    const RunResult cal = run({"calibrate"});
    EXPECT_EQ(cal.code, 0) << cal.err;
    EXPECT_EQ(cal.out, "校准成功\n");
    EXPECT_EQ(io().analog.at(4), 10012);  // the coefficients the calibration left
}

TEST_F(Rtu, WatchPollsEverySecondAndSeesTheInputsChange) {
    start();
    QProcess watch;
    watch.start(DTUCONF_BIN,
                {"--port", QString::fromStdString(m_sim->path()), "io", "--watch", "--json"});
    std::vector<IoLine> lines;
    QElapsedTimer limit;
    limit.start();
    auto changed = [&] { return lines.size() >= 2 && lines.front().inputs != lines.back().inputs; };
    while (!changed() && limit.elapsed() < 30000 && watch.waitForReadyRead(30000)) {
        while (watch.canReadLine()) {
            const auto line = parseIo(watch.readLine().toStdString());
            ASSERT_TRUE(line);
            lines.push_back(*line);
        }
    }
    watch.terminate();
    watch.waitForFinished();
    EXPECT_TRUE(changed()) << lines.size() << " polls";
}

TEST_F(Rtu, EachCommandFailsWithAClearLineWhenTheDeviceDoesNotAnswer) {
    // Every answer the commands wait for is lost: io's poll, the relay's acknowledgement and
    // the poll behind it, the counter clear's acknowledgement, the calibration's.
    start({"--drop", "1", "--drop", "2", "--drop", "3", "--drop", "4", "--drop", "5"});
    const std::vector<std::vector<std::string>> commands = {
        {"io"}, {"relay", "1", "close"}, {"counters", "clear"}};
    for (const auto& c : commands) {
        const RunResult r = run(c);
        EXPECT_EQ(r.code, 1) << c[0];
        EXPECT_TRUE(has(r.err, "设备无应答")) << c[0] << ": " << r.err;
    }
    const RunResult cal = run({"calibrate"});
    EXPECT_EQ(cal.code, 1);
    EXPECT_EQ(cal.out, "校准失败\n");

    const RunResult en = run({"--lang", "en", "io"});  // the sixth answer comes through
    EXPECT_EQ(en.code, 0) << en.err;
}

TEST_F(Rtu, BadArgumentsAreUsageErrors) {
    start();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"relay", "9", "close"}, {"relay", "1", "toggle"}, {"counters", "reset"}}) {
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 2) << args[0];
        EXPECT_TRUE(has(r.err, "dtuconf: ")) << r.err;
    }
}

// The relay dialog's test switch from the command line, against a simulated single-relay DTU
// that prints each relay change it makes.
TEST(RelayTestCommand, SwitchesY1AndFailsWithAClearLineWhenTheDeviceIsSilent) {
    SimProcess sim(DTUSIM_BIN, {"--drop", "3"});  // the third answer is lost
    ASSERT_FALSE(sim.path().empty()) << "dtusim printed no path";
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", sim.path()});
        return test::runProgram(DTUCONF_BIN, args);
    };
    const RunResult close = run({"relay-test", "close"});
    EXPECT_EQ(close.code, 0) << close.err;
    EXPECT_EQ(close.out, "Y1 闭合\n");
    EXPECT_EQ(sim.nextLine(), "relays Y1-Y8: 1 0 0 0 0 0 0 0");

    const RunResult open = run({"--lang", "en", "relay-test", "open"});
    EXPECT_EQ(open.code, 0) << open.err;
    EXPECT_EQ(open.out, "Y1 Open\n");
    EXPECT_EQ(sim.nextLine(), "relays Y1-Y8: 0 0 0 0 0 0 0 0");

    // The device switches but its acknowledgement is lost.
    const RunResult lost = run({"relay-test", "close"});
    EXPECT_EQ(lost.code, 1);
    EXPECT_EQ(lost.out, "");
    EXPECT_EQ(lost.err, "dtuconf: 设备无应答\n");
    EXPECT_EQ(sim.nextLine(), "relays Y1-Y8: 1 0 0 0 0 0 0 0");

    const RunResult bad = run({"relay-test", "toggle"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(has(bad.err, "relay-test: open or close")) << bad.err;
}

}  // namespace
}  // namespace dtu
