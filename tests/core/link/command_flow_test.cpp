#include "link/command_flow.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "support/bytes.h"

namespace dtu {
namespace {

using test::Block;
using test::Bytes;
using test::hex;

// The world around the flow: records what it is asked to do and keeps a fake clock for its
// timers, so that seconds of time-outs cost nothing.
struct World : LinkEffects {
    std::vector<Bytes> writes;
    std::string log;
    std::vector<std::string> boxes;
    std::vector<int> lineRates;
    std::map<LinkTimer, int> deadlines;  // running timers: when they fire
    int now = 0;
    bool commandsEnabled = true;
    bool portButtonEnabled = true;
    int decodes = 0;
    std::vector<std::pair<PendingCommand, bool>> finished;
    std::vector<int> found;
    std::function<void(const Bytes&)> device;  // answers writes, when set

    std::vector<bool> pieces;  // per write: one piece of a frame
    void writeBytes(std::span<const std::uint8_t> b, bool piece) override {
        writes.emplace_back(b.begin(), b.end());
        pieces.push_back(piece);
        if (device) device(writes.back());
    }
    void startTimer(LinkTimer t, int ms) override { deadlines[t] = now + ms; }
    void stopTimer(LinkTimer t) override { deadlines.erase(t); }
    void appendLog(const std::string& text) override { log += text; }
    void messageBox(const std::string& text) override { boxes.push_back(text); }
    void configureLine(int baud) override { lineRates.push_back(baud); }
    void setCommandsEnabled(bool on) override { commandsEnabled = on; }
    void setPortButtonEnabled(bool on) override { portButtonEnabled = on; }
    void paramsDecoded(const DecodeResult&) override { ++decodes; }
    void commandFinished(PendingCommand c, bool ok) override { finished.emplace_back(c, ok); }
    void probeFound(int baud) override { found.push_back(baud); }

    // Runs the clock forward, firing timers in deadline order.
    void advance(int ms, CommandFlow& flow) {
        const int end = now + ms;
        while (!deadlines.empty()) {
            auto next = deadlines.begin();
            for (auto it = deadlines.begin(); it != deadlines.end(); ++it)
                if (it->second < next->second) next = it;
            if (next->second > end) break;
            now = next->second;
            const LinkTimer t = next->first;
            deadlines.erase(next);
            flow.onTimer(t);
        }
        now = end;
    }
};

Bytes answer(std::uint8_t code, const Bytes& payload) {
    Bytes f{0x88, 0x3A, code, static_cast<std::uint8_t>(payload.size() >> 8),
            static_cast<std::uint8_t>(payload.size())};
    f.insert(f.end(), payload.begin(), payload.end());
    f.insert(f.end(), {0x45, 0x2E});
    return f;
}

Bytes readAnswer(const Block& block) {
    const Bytes b = block.bytes();
    return answer(0x83, Bytes(b.begin() + 2, b.end()));
}

const Bytes kItem1Answer = readAnswer(Block().item(1, hex("04 01 08 01 14")));

class Flow : public ::testing::Test {
protected:
    World world;
    DeviceParams params;
    LiveState live;
    CommandFlow flow{world, params, live};

    void openAt(int baud) { flow.setPortOpen(true, baud); }
    void burst(const Bytes& b) { flow.onBurst(b); }
};

TEST_F(Flow, ReadSendsTheFullRequestAndDecodesItsAnswer) {
    openAt(9600);
    ASSERT_TRUE(flow.read());
    ASSERT_EQ(world.writes.size(), 1u);
    EXPECT_EQ(world.writes[0], fullReadRequest());
    EXPECT_FALSE(world.commandsEnabled);
    EXPECT_EQ(world.deadlines.at(LinkTimer::Reply), 3000);
    EXPECT_EQ(flow.pending(), PendingCommand::Read);

    burst(kItem1Answer);
    EXPECT_EQ(world.log, "获取参数:成功\r\n");
    EXPECT_TRUE(world.commandsEnabled);
    EXPECT_FALSE(world.deadlines.count(LinkTimer::Reply));
    EXPECT_EQ(flow.pending(), PendingCommand::None);
    EXPECT_TRUE(flow.paramsRead());
    EXPECT_EQ(params.get(fields::packTimeMs), 20);
    EXPECT_EQ(world.decodes, 1);
    EXPECT_EQ(world.finished,
              (std::vector<std::pair<PendingCommand, bool>>{{PendingCommand::Read, true}}));
}

TEST_F(Flow, AnswerBlockStopsAtTheTailEvenWhenTheLengthFieldOverstates) {
    openAt(9600);
    // The length field claims two more bytes than the items: the tail must not be read as
    // the start of another item.
    Bytes f = kItem1Answer;
    f[4] += 2;
    burst(f);
    EXPECT_TRUE(flow.paramsRead());
    EXPECT_EQ(params.get(fields::packTimeMs), 20);
}

TEST_F(Flow, LockedReadInPiecesGoesOutAsFiveWrites) {
    openAt(9600);
    flow.setLock(LockPassword{'1', '2', '3', '4', '5', '6', '7', '8'});
    flow.setPieces(true);
    flow.read();
    ASSERT_EQ(world.writes.size(), 5u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(world.writes[i].size(), 32u);
    EXPECT_EQ(world.writes[4], hex("38 AA"));
    EXPECT_EQ(world.pieces, std::vector<bool>(5, true));

    // Without the box a request is one write, and never a piece.
    flow.setPieces(false);
    flow.reboot();
    ASSERT_EQ(world.pieces.size(), 6u);
    EXPECT_FALSE(world.pieces[5]);
}

TEST_F(Flow, TimedOutReadStillReportsALateAnswer) {
    openAt(1200);
    flow.read();
    world.advance(7999, flow);
    EXPECT_EQ(world.log, "");
    world.advance(1, flow);
    EXPECT_EQ(world.log, "获取参数失败\r\n");
    EXPECT_TRUE(world.commandsEnabled);
    EXPECT_EQ(flow.pending(), PendingCommand::Read);
    burst(kItem1Answer);
    EXPECT_EQ(world.log, "获取参数失败\r\n获取参数:成功\r\n");
    EXPECT_TRUE(flow.paramsRead());
    EXPECT_EQ(world.finished, (std::vector<std::pair<PendingCommand, bool>>{
                                  {PendingCommand::Read, false}, {PendingCommand::Read, true}}));
}

TEST(ReplyTimeout, DependsOnTheRateTheLineWasOpenedWith) {
    EXPECT_EQ(replyTimeoutMs(1200), 8000);
    EXPECT_EQ(replyTimeoutMs(2400), 4000);
    EXPECT_EQ(replyTimeoutMs(4800), 3000);
    EXPECT_EQ(replyTimeoutMs(0), 5000);  // after "AUTO"
    EXPECT_EQ(replyTimeoutMs(1800), 5000);
    EXPECT_EQ(replyTimeoutMs(9600), 3000);
    EXPECT_EQ(replyTimeoutMs(460800), 3000);
    EXPECT_EQ(probeStepMs(115200), 180);
    EXPECT_EQ(probeStepMs(9600), 180);
    EXPECT_EQ(probeStepMs(4800), 288);
    EXPECT_EQ(probeStepMs(2400), 576);
    EXPECT_EQ(probeStepMs(1200), 1152);
}

TEST_F(Flow, SaveIsRefusedWithoutPortOrReadAndWhenTheRecordDoesNotFit) {
    EXPECT_FALSE(flow.save());
    EXPECT_EQ(world.log, "串口未打开！！\r\n");
    openAt(9600);
    EXPECT_FALSE(flow.save());
    EXPECT_EQ(world.log, "串口未打开！！\r\n请先读取参数，在保存！！\r\n");
    flow.setParamsRead();
    params.set(fields::modbusItemCount, 65);
    EXPECT_FALSE(flow.save());
    ASSERT_EQ(world.boxes.size(), 1u);
    EXPECT_NE(world.boxes[0].find("64"), std::string::npos);
    EXPECT_TRUE(world.writes.empty());
    EXPECT_TRUE(world.commandsEnabled);
    EXPECT_FALSE(world.deadlines.count(LinkTimer::Reply));
}

TEST_F(Flow, TheWindowCollectsOnlyWhenTheSaveMayGoAndCanStopIt) {
    int collected = 0;
    auto collect = [&](bool ok) {
        return [&collected, ok] {
            ++collected;
            return ok;
        };
    };
    openAt(9600);
    EXPECT_FALSE(flow.save(collect(true)));  // not read yet: the controls are not collected
    EXPECT_EQ(collected, 0);
    flow.setParamsRead();
    EXPECT_FALSE(flow.save(collect(false)));
    EXPECT_EQ(collected, 1);
    EXPECT_TRUE(world.writes.empty());
    EXPECT_EQ(flow.pending(), PendingCommand::None);
    EXPECT_TRUE(world.commandsEnabled);
    // What the collection put into the record is what goes out.
    ASSERT_TRUE(flow.save([&] {
        params.set(fields::workMode, 1);
        return true;
    }));
    EXPECT_EQ(world.writes.at(0), test::toBytes(buildSaveFrame(params).view()));
    EXPECT_EQ(params.get(fields::workMode), 1);
}

TEST_F(Flow, SaveReportsItsAnswerAndItsTimeOut) {
    openAt(2400);
    flow.setParamsRead();
    flow.setLanguage(Language::English);
    ASSERT_TRUE(flow.save());
    EXPECT_EQ(world.writes.at(0), test::toBytes(buildSaveFrame(params).view()));
    EXPECT_EQ(world.deadlines.at(LinkTimer::Reply), 4000);
    burst(hex("88 3A 84 00 02 01 00 45 2E"));
    EXPECT_EQ(world.log, "Save Successfully\r\n");
    flow.save();
    world.advance(4000, flow);
    EXPECT_EQ(world.log, "Save Successfully\r\nSave Failed\r\n");
}

TEST_F(Flow, AnyReadAnswerEndsAPendingSaveSilently) {
    openAt(9600);
    flow.setParamsRead();
    flow.save();
    burst(readAnswer(Block().item(0x50, Bytes(8, 0))));  // an I/O poll answer
    EXPECT_EQ(flow.pending(), PendingCommand::None);
    EXPECT_FALSE(world.deadlines.count(LinkTimer::Reply));
    burst(hex("88 3A 84 00 02 01 00 45 2E"));
    world.advance(10000, flow);
    EXPECT_EQ(world.log, "");
}

TEST_F(Flow, OnlyAFullReadBringsSettingsLiveAnswersBringWhatTheDeviceReports) {
    namespace f = fields;
    openAt(9600);
    // Settings as an import or a feature dialog left them, not yet saved.
    params.set(f::tlsMode, 2);
    params.set(f::mqttEnable, 1);
    params.set(f::userCodeEnable, 1);
    params.set(f::rtuPowerOffSave, 1);
    // Items that carry settings beside reports, and one of settings alone, in a checksum answer.
    burst(readAnswer(Block()
                         .item(186, hex("00 12 34 56 78 9a bc"))
                         .item(24, hex("00 05"))
                         .item(98, hex("00 01 03"))
                         .item(48, hex("00"))));
    EXPECT_EQ(world.decodes, 1);
    EXPECT_FALSE(flow.paramsRead());
    EXPECT_EQ(params.get(f::certChecksums[0]), 0x1234);
    EXPECT_EQ(params.get(f::certChecksums[2]), 0x9abc);
    EXPECT_EQ(params.get(f::userCodeVersion), 5);
    EXPECT_EQ(live.simInserted, 1);
    EXPECT_EQ(live.netRegState, 3);
    EXPECT_EQ(params.get(f::tlsMode), 2);
    EXPECT_EQ(params.get(f::userCodeEnable), 1);
    EXPECT_EQ(params.get(f::rtuPowerOffSave), 1);
    EXPECT_EQ(params.get(f::mqttEnable), 1);

    // The same items with item 1 are a full read's: the device's settings replace the record's.
    burst(readAnswer(Block()
                         .item(186, hex("00 12 34 56 78 9a bc"))
                         .item(1, hex("04 01 08 01 14"))
                         .item(48, hex("00"))));
    EXPECT_TRUE(flow.paramsRead());
    EXPECT_EQ(params.get(f::tlsMode), 0);
    EXPECT_EQ(params.get(f::mqttEnable), 0);
}

TEST_F(Flow, RebootAndResetsUseTheirFramesTimersAndTexts) {
    openAt(1200);
    flow.reboot();
    EXPECT_EQ(world.writes.back(), hex("88 3A 06 00 00 45 2E"));
    EXPECT_EQ(world.deadlines.at(LinkTimer::Reply), 3000);
    EXPECT_EQ(flow.pending(), PendingCommand::Reboot);
    burst(hex("88 3A 86 00 00 45 2E"));
    flow.factoryReset();
    EXPECT_EQ(world.writes.back(), hex("88 3A 05 00 00 45 2E"));
    burst(hex("88 3A 85 00 00 45 2E"));
    flow.deepReset();
    EXPECT_EQ(world.writes.back(), hex("88 3A 09 00 00 45 2E"));
    burst(hex("88 3A 89 00 00 45 2E"));
    flow.reboot();
    world.advance(3000, flow);
    flow.factoryReset();
    world.advance(3000, flow);
    EXPECT_EQ(
        world.log,
        "重启设备:成功\r\n恢复出厂:成功\r\n恢复出厂:成功\r\n重启设备:失败\r\n恢复出厂:失败\r\n");
    // The lock suffix is for read and save only.
    flow.setLock(LockPassword{'1', '2', '3', '4', '5', '6', '7', '8'});
    flow.reboot();
    EXPECT_EQ(world.writes.back(), hex("88 3A 06 00 00 45 2E"));
}

TEST_F(Flow, ClosedPortTextsFollowTheirTrigger) {
    flow.setLanguage(Language::English);
    EXPECT_FALSE(flow.read());
    EXPECT_FALSE(flow.reboot());
    EXPECT_FALSE(flow.requestDeviceText());
    EXPECT_FALSE(flow.requestDiagnostics());
    EXPECT_EQ(world.log,
              "Please open the serial port first\r\nThe serial port is not open\r\n"
              "The serial port is not open\r\nThe serial port is not open\r\n");
    EXPECT_TRUE(world.writes.empty());
    EXPECT_TRUE(world.commandsEnabled);
}

TEST_F(Flow, StatusRequestsAreNotAwaitedAndTheirAnswersShowMessages) {
    openAt(9600);
    flow.requestDiagnostics();
    flow.requestDeviceText();
    EXPECT_EQ(world.writes[0], hex("88 3A 03 00 01 FF 45 2E"));
    EXPECT_EQ(world.writes[1], hex("88 3A 03 00 01 B5 45 2E"));
    EXPECT_TRUE(world.deadlines.empty());
    EXPECT_TRUE(world.commandsEnabled);
    Bytes diag(121, 0);
    diag[98] = 9;
    burst(readAnswer(Block().item(0xFF, diag).item(0xB5, std::string("hello"))));
    ASSERT_EQ(world.boxes.size(), 2u);
    EXPECT_NE(world.boxes[0].find("reg info:9\r\n"), std::string::npos);
    EXPECT_EQ(world.boxes[1], "hello");
}

TEST_F(Flow, RawBurstsAreShownAsData) {
    openAt(9600);
    burst(hex("4F 4B"));
    flow.setRawHex(true);
    burst(hex("4F 4B"));
    flow.setRawHex(false);
    burst(hex("41 00 42"));
    flow.setLanguage(Language::English);
    burst(hex("88 3A 06 00 45 2F"));  // wrong tail: data, not a frame
    EXPECT_EQ(world.log, "数据:OK \r\n数据:4f 4b \r\n数据:A \r\nData:\\x88:\x06 \r\n");
}

TEST_F(Flow, ShortFramesAndOtherAnswerCodes) {
    openAt(9600);
    flow.read();
    burst(hex("88 3A 83 45 2E"));
    EXPECT_EQ(world.boxes, std::vector<std::string>{"长度太短"});
    EXPECT_FALSE(world.commandsEnabled);  // not an answer: the time-out still runs
    EXPECT_TRUE(world.deadlines.count(LinkTimer::Reply));

    burst(hex("88 3A 8A 00 00 45 2E"));
    EXPECT_TRUE(world.commandsEnabled);
    EXPECT_FALSE(world.deadlines.count(LinkTimer::Reply));
    EXPECT_EQ(flow.pending(), PendingCommand::Read);
    EXPECT_EQ(world.log, "");
}

TEST_F(Flow, WriteAcknowledgementsSetTheFlagsOfWhatTheyAcknowledge) {
    openAt(9600);
    burst(hex("88 3A 84 00 02 BB 01 45 2E"));
    EXPECT_EQ(params.get(fields::certChunkAcked), 0);
    burst(hex("88 3A 84 00 02 BB 00 45 2E"));
    EXPECT_EQ(params.get(fields::certChunkAcked), 1);
    EXPECT_FALSE(live.calibrationAcked);
    burst(hex("88 3A 84 00 02 B7 00 45 2E"));
    EXPECT_TRUE(live.calibrationAcked);
}

TEST_F(Flow, LiveAcknowledgementsAreNoAnswerToTheCommandOutstanding) {
    // A relay switched, counters cleared, a calibration and a certificate chunk, each
    // acknowledged while a save waits for its answer.
    const std::vector<Bytes> acks = {
        hex("88 3A 84 00 02 51 00 45 2E"), hex("88 3A 84 00 02 53 00 45 2E"),
        hex("88 3A 84 00 02 B7 00 45 2E"), hex("88 3A 84 00 02 BB 00 45 2E")};
    openAt(9600);
    flow.setParamsRead();
    ASSERT_TRUE(flow.save());
    for (const Bytes& ack : acks) burst(ack);
    EXPECT_EQ(flow.pending(), PendingCommand::Save);
    EXPECT_FALSE(world.commandsEnabled);
    EXPECT_EQ(world.deadlines.at(LinkTimer::Reply), 3000);
    EXPECT_TRUE(live.calibrationAcked);  // what they acknowledge still counts
    EXPECT_EQ(params.get(fields::certChunkAcked), 1);
    // The save the device never answered fails, and stays failed when a relay is switched
    // after.
    world.advance(3000, flow);
    burst(acks[0]);
    EXPECT_EQ(world.log, "保存参数失败\r\n");
    EXPECT_TRUE(world.finished.size() == 1 && !world.finished[0].second);
    // Its own late answer still reports it.
    burst(hex("88 3A 84 00 02 01 00 45 2E"));
    EXPECT_EQ(world.log, "保存参数失败\r\n保存参数:成功\r\n");

    // A read outstanding is not ended either: its answer still reports success.
    flow.read();
    burst(acks[0]);
    EXPECT_EQ(flow.pending(), PendingCommand::Read);
    burst(kItem1Answer);
    EXPECT_EQ(world.log, "保存参数失败\r\n保存参数:成功\r\n获取参数:成功\r\n");
}

// A device that answers the probe only at its own rate.
void deviceAt(World& world, CommandFlow& flow, int baud) {
    world.device = [&world, &flow, baud](const Bytes& request) {
        if (request != hex("88 3A 03 00 01 FE 45 2E")) return;
        if (world.lineRates.empty() || world.lineRates.back() != baud) return;
        flow.onBurst(readAnswer(Block().item(0xFE, Bytes(5, 0))));
    };
}

TEST_F(Flow, ProbeTriesTheRatesInOrderUntilTheDeviceAnswers) {
    openAt(0);
    deviceAt(world, flow, 1200);
    flow.startProbe();
    EXPECT_FALSE(world.portButtonEnabled);
    EXPECT_EQ(world.deadlines.at(LinkTimer::Probe), 200);
    world.advance(60000, flow);
    EXPECT_EQ(world.lineRates,
              (std::vector<int>{115200, 9600, 4800, 19200, 57600, 38400, 14400, 2400, 1200}));
    EXPECT_EQ(world.found, std::vector<int>{1200});
    EXPECT_EQ(flow.probedBaud(), 1200);
    EXPECT_TRUE(world.portButtonEnabled);
    EXPECT_TRUE(world.deadlines.empty());
    EXPECT_NE(
        world.log.find("正在尝试波特率：2400\r\n正在尝试波特率：1200\r\n当前波特率：1200\r\n"),
        std::string::npos);
    EXPECT_EQ(world.log.find("尝试失败"), std::string::npos);
}

TEST_F(Flow, ProbeGivesUpWithTheLastRequestAndStillTakesItsAnswer) {
    openAt(0);
    flow.startProbe();
    world.advance(60000, flow);
    EXPECT_EQ(world.lineRates.size(), 11u);
    EXPECT_EQ(world.lineRates.back(), 460800);
    EXPECT_TRUE(world.portButtonEnabled);
    EXPECT_TRUE(world.deadlines.empty());
    EXPECT_TRUE(world.log.ends_with("正在尝试波特率：460800\r\n尝试失败\r\n"));
    burst(readAnswer(Block().item(0xFE, Bytes(5, 0))));
    EXPECT_TRUE(world.log.ends_with("尝试失败\r\n当前波特率：460800\r\n"));
    EXPECT_EQ(world.found, std::vector<int>{460800});
}

TEST_F(Flow, ProbeAnswerWithoutAProbeIsOnlyDecoded) {
    openAt(9600);
    burst(readAnswer(Block().item(0xFE, Bytes(5, 0))));
    EXPECT_EQ(world.log, "");
    EXPECT_TRUE(world.found.empty());
    EXPECT_EQ(world.decodes, 1);
}

TEST_F(Flow, ClosingThePortStopsTheProbeButNotACommandTimeOut) {
    openAt(0);
    flow.startProbe();
    world.advance(200, flow);
    flow.read();
    EXPECT_FALSE(world.portButtonEnabled);
    flow.setPortOpen(false);
    EXPECT_FALSE(world.deadlines.count(LinkTimer::Probe));
    EXPECT_TRUE(world.portButtonEnabled);
    world.advance(5000, flow);
    EXPECT_TRUE(world.log.ends_with("获取参数失败\r\n"));
}

}  // namespace
}  // namespace dtu
