#include "pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "line_speed.h"
#include "link/frame.h"
#include "params/item_codec.h"
#include "support/bytes.h"

namespace dtu::sim {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::hex;
using test::toBytes;

const Bytes kProbe = hex("88 3A 03 00 01 FE 45 2E");
constexpr std::size_t kProbeAnswerSize = 15;

// The tool's end of the line: the slave side, opened and set up the way a serial port is.
class ToolPort {
public:
    ToolPort(const std::string& path, int baud) {
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd >= 0) setRawLine(m_fd, baud);
    }
    ~ToolPort() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }
    void setBaud(int baud) { setRawLine(m_fd, baud); }
    void send(const Bytes& b) { ASSERT_EQ(::write(m_fd, b.data(), b.size()), ssize_t(b.size())); }

    // Reads until `want` bytes arrived, the line died, or `limit` passed without them.
    Bytes receive(std::size_t want, std::chrono::milliseconds limit = 2000ms) {
        Bytes got;
        const auto end = std::chrono::steady_clock::now() + limit;
        m_dead = false;
        while (got.size() < want) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left <= 0ms) break;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            std::uint8_t buf[4096];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n > 0) {
                got.insert(got.end(), buf, buf + n);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                m_dead = true;
                break;
            }
        }
        return got;
    }
    bool dead() const { return m_dead; }

private:
    int m_fd = -1;
    bool m_dead = false;
};

std::unique_ptr<PtyServer> startSim(const SimOptions& options) {
    std::string error;
    auto server = PtyServer::start(options, error);
    EXPECT_TRUE(server) << error;
    return server;
}

Bytes fullReadAnswer() {
    Device d;
    return d.receive(fullReadRequest(), Device::Time(0))[0];
}

TEST(SimPty, AnswersAtItsOwnRateAndCountsTheBytes) {
    auto sim = startSim({});
    ASSERT_TRUE(sim);
    ToolPort tool(sim->path(), 9600);
    ASSERT_TRUE(tool.isOpen());
    tool.send(kProbe);
    const Bytes answer = tool.receive(kProbeAnswerSize);
    ASSERT_EQ(answer.size(), kProbeAnswerSize);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 8), hex("88 3A 83 00 08 FE 00 05"));
    EXPECT_EQ(sim->counters().bytesIn, kProbe.size());
    EXPECT_EQ(sim->counters().bytesOut, kProbeAnswerSize);

    // A save reaches the image the in-process user sees.
    DeviceParams p = sim->image();
    p.set(fields::serverAPort, 7100);
    tool.send(toBytes(buildSaveFrame(p).view()));
    EXPECT_EQ(tool.receive(9), hex("88 3A 84 00 02 01 00 45 2E"));
    EXPECT_EQ(sim->image().get(fields::serverAPort), 7100);
}

TEST(SimPty, StaysSilentAtAnotherRate) {
    SimOptions options;
    options.baud = 14400;  // outside the classic rate table
    auto sim = startSim(options);
    ASSERT_TRUE(sim);
    ToolPort tool(sim->path(), 9600);
    tool.send(kProbe);
    EXPECT_TRUE(tool.receive(1, 300ms).empty());
    tool.setBaud(14400);
    tool.send(kProbe);
    EXPECT_EQ(tool.receive(kProbeAnswerSize).size(), kProbeAnswerSize);
}

// How often each thread of this process has gone to sleep, by thread id.
std::map<std::string, long> sleepsByThread() {
    std::map<std::string, long> sleeps;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream status(task.path() / "status");
        const std::string key = "voluntary_ctxt_switches:";
        for (std::string line; std::getline(status, line);)
            if (line.starts_with(key))
                sleeps[task.path().filename().string()] = std::stol(line.substr(key.size()));
    }
    return sleeps;
}

TEST(SimPty, KeepsServingWhenTheToolReopensThePortAndSleepsBetween) {
    const auto before = sleepsByThread();
    auto sim = startSim({});
    ASSERT_TRUE(sim);
    std::string server;  // the thread the simulator started
    for (const auto& [id, n] : sleepsByThread())
        if (!before.contains(id)) server = id;
    ASSERT_FALSE(server.empty());
    for (int round = 0; round < 2; ++round) {
        ToolPort tool(sim->path(), 9600);
        tool.send(kProbe);
        EXPECT_EQ(tool.receive(kProbeAnswerSize).size(), kProbeAnswerSize) << "round " << round;
    }
    // Nobody on the line for a while: the server must not need anyone to carry on, and sleeps
    // without waking until someone writes.
    std::this_thread::sleep_for(100ms);
    const long asleep = sleepsByThread()[server];
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(sleepsByThread()[server], asleep) << "the idle server woke up";
    ToolPort tool(sim->path(), 9600);
    tool.send(kProbe);
    EXPECT_EQ(tool.receive(kProbeAnswerSize).size(), kProbeAnswerSize);
}

TEST(SimPty, FaultsShapeTheNumberedAnswersOnly) {
    SimOptions options;
    options.faults = {{FaultKind::Drop, 1}, {FaultKind::Corrupt, 2}, {FaultKind::Delay, 3, 50}};
    auto sim = startSim(options);
    ASSERT_TRUE(sim);
    ToolPort tool(sim->path(), 9600);

    tool.send(kProbe);
    EXPECT_TRUE(tool.receive(1, 300ms).empty());

    tool.send(kProbe);
    const Bytes corrupt = tool.receive(kProbeAnswerSize);
    ASSERT_EQ(corrupt.size(), kProbeAnswerSize);
    EXPECT_EQ(Bytes(corrupt.begin(), corrupt.begin() + 2), hex("88 3A"));
    EXPECT_FALSE(isFrame(corrupt));

    tool.send(kProbe);
    EXPECT_TRUE(isFrame(tool.receive(kProbeAnswerSize)));
    tool.send(kProbe);
    EXPECT_TRUE(isFrame(tool.receive(kProbeAnswerSize)));
}

TEST(SimPty, HangUpClosesTheLineHalfWayThroughTheAnswer) {
    SimOptions options;
    options.faults = {{FaultKind::HangUp, 1}};
    auto sim = startSim(options);
    ASSERT_TRUE(sim);
    ToolPort tool(sim->path(), 9600);
    tool.send(fullReadRequest());
    const std::size_t whole = fullReadAnswer().size();
    const Bytes got = tool.receive(whole);
    EXPECT_EQ(got.size(), whole / 2);
    EXPECT_TRUE(tool.dead());
    for (int i = 0; i < 100 && !sim->finished(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(sim->finished());
}

TEST(SimPty, PacedLineDeliversWholeAnswersAndAKeptLink) {
    SimOptions options;
    options.baud = 115200;
    options.lineRate = true;
    options.linkPath = ::testing::TempDir() + "dtusim-test-link";
    std::string path;
    {
        auto sim = startSim(options);
        ASSERT_TRUE(sim);
        path = sim->path();
        char target[256] = {};
        ASSERT_GT(readlink(options.linkPath.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target), path);

        ToolPort tool(options.linkPath, 115200);
        // In pieces, as the tool writes when asked to.
        const Bytes request = fullReadRequest();
        for (const auto piece : splitPieces(request)) tool.send(toBytes(piece));
        const Bytes expected = fullReadAnswer();
        const Bytes got = tool.receive(expected.size(), 5000ms);
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_EQ(Bytes(got.begin(), got.begin() + 13),
                  Bytes(expected.begin(), expected.begin() + 13));
        EXPECT_TRUE(isFrame(got));
    }
    struct stat st {};
    EXPECT_NE(lstat(options.linkPath.c_str(), &st), 0);
}

TEST(SimOptions, ParsesEveryOptionAndRefusesBadOnes) {
    std::string error;
    const auto o = parseSimOptions({"--baud",      "14400",       "--kind",
                                    "rtu",         "--line-rate", "--lock",
                                    "abcd1234",    "--drop",      "2",
                                    "--corrupt",   "3",           "--delay",
                                    "4:250",       "--hangup",    "5",
                                    "--link",      "/tmp/x",      "--mqtt-state",
                                    "1,0,2,255,7", "--imei",      "861234050000011"},
                                   error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->baud, 14400);
    EXPECT_EQ(o->kind, DeviceKind::Rtu);
    EXPECT_TRUE(o->lineRate);
    EXPECT_EQ(o->lock, (LockPassword{'a', 'b', 'c', 'd', '1', '2', '3', '4'}));
    ASSERT_EQ(o->faults.size(), 4u);
    EXPECT_EQ(o->faults[2].kind, FaultKind::Delay);
    EXPECT_EQ(o->faults[2].answer, 4);
    EXPECT_EQ(o->faults[2].delayMs, 250);
    EXPECT_EQ(o->faults[3].kind, FaultKind::HangUp);
    EXPECT_EQ(o->linkPath, "/tmp/x");
    EXPECT_EQ(o->mqttState, (std::array<std::uint8_t, 5>{1, 0, 2, 255, 7}));
    EXPECT_EQ(o->imei, "861234050000011");

    for (const auto& bad : std::vector<std::vector<std::string>>{{"--baud", "0"},
                                                                 {"--baud", "96OO"},
                                                                 {"--kind", "plc"},
                                                                 {"--lock", "short"},
                                                                 {"--drop", "0"},
                                                                 {"--delay", "3"},
                                                                 {"--delay", "3:x"},
                                                                 {"--hangup"},
                                                                 {"--mqtt-state", "1,1,1,1"},
                                                                 {"--mqtt-state", "1,1,1,1,1,1"},
                                                                 {"--mqtt-state", "1,1,,1,1"},
                                                                 {"--mqtt-state", "1,1,1,1,256"},
                                                                 {"--imei", "86123405000001"},
                                                                 {"--imei", "86123405000001x"},
                                                                 {"--verbose"}}) {
        error.clear();
        EXPECT_FALSE(parseSimOptions(bad, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace dtu::sim
