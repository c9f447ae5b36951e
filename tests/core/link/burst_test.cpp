#include "link/burst.h"

#include <gtest/gtest.h>

#include "support/bytes.h"

namespace dtu {
namespace {

using test::Bytes;
using test::hex;

const Bytes kReboot = hex("88 3A 86 00 00 45 2E");
const Bytes kSaveAck = hex("88 3A 84 00 02 01 00 45 2E");

std::vector<Bytes> bytesOf(const BurstGatherer::Step& step) {
    std::vector<Bytes> out;
    for (const auto& b : step.bursts) out.push_back(b.bytes);
    return out;
}

TEST(GatherPause, FollowsTheLineRateWhateverTheRate) {
    EXPECT_EQ(frameGatherPauseMs(1200), 320);
    EXPECT_EQ(frameGatherPauseMs(2400), 160);
    EXPECT_EQ(frameGatherPauseMs(4800), 80);
    EXPECT_EQ(frameGatherPauseMs(9600), 50);
    EXPECT_EQ(frameGatherPauseMs(14400), 50);
    EXPECT_EQ(frameGatherPauseMs(460800), 50);
    // Rates outside the table get as many character times as the table's rates do.
    EXPECT_EQ(frameGatherPauseMs(300), 1280);
    EXPECT_EQ(frameGatherPauseMs(600), 640);
    EXPECT_EQ(frameGatherPauseMs(1800), 214);
    EXPECT_EQ(frameGatherPauseMs(7200), 54);
    EXPECT_EQ(frameGatherPauseMs(8000), 50);  // never less than the fast lines' pause
}

TEST(BurstGatherer, DeliversAFrameTheMomentItIsComplete) {
    BurstGatherer g;
    g.setLineBaud(1200);
    // Byte by byte: the quiet timer runs with the frame pause until the tail is in.
    for (std::size_t i = 0; i + 1 < kSaveAck.size(); ++i) {
        const auto step = g.onBytes(std::span(kSaveAck).subspan(i, 1));
        EXPECT_TRUE(step.bursts.empty());
        EXPECT_EQ(step.timerMs, 320);
    }
    const auto last = g.onBytes(std::span(kSaveAck).last(1));
    EXPECT_EQ(bytesOf(last), std::vector<Bytes>{kSaveAck});
    EXPECT_LT(last.timerMs, 0);
    EXPECT_EQ(g.pending(), 0u);
}

TEST(BurstGatherer, SplitsAnswersThatArriveBackToBack) {
    BurstGatherer g;
    Bytes both = kReboot;
    both.insert(both.end(), kSaveAck.begin(), kSaveAck.end());
    both.insert(both.end(), {0x88, 0x3A, 0x83});  // the start of a third
    const auto step = g.onBytes(both);
    EXPECT_EQ(bytesOf(step), (std::vector<Bytes>{kReboot, kSaveAck}));
    EXPECT_EQ(step.timerMs, 50);
    EXPECT_EQ(bytesOf(g.onTimer()), std::vector<Bytes>{hex("88 3A 83")});
}

TEST(BurstGatherer, RawDataAndDamagedFramesWaitForTheLineToGoQuiet) {
    BurstGatherer g;
    g.setLineBaud(9600);
    auto step = g.onBytes(hex("4F 4B"));
    EXPECT_TRUE(step.bursts.empty());
    EXPECT_EQ(step.timerMs, kRawGatherPauseMs);
    step = g.onBytes(hex("0D 0A"));
    EXPECT_EQ(step.timerMs, kRawGatherPauseMs);
    EXPECT_EQ(bytesOf(g.onTimer()), std::vector<Bytes>{hex("4F 4B 0D 0A")});

    // A head whose length field does not meet the tail is kept whole for the frame pause: the
    // answer handling decides what it is.
    const Bytes damaged = hex("88 3A 83 00 09 01 02 45 2E");
    step = g.onBytes(damaged);
    EXPECT_TRUE(step.bursts.empty());
    EXPECT_EQ(step.timerMs, 50);
    EXPECT_EQ(bytesOf(g.onTimer()), std::vector<Bytes>{damaged});
    EXPECT_TRUE(g.onTimer().bursts.empty());
}

TEST(BurstGatherer, FirmwareModeUsesTheShortPauseAndStillDeliversFramesEarly) {
    BurstGatherer g;
    g.setLineBaud(1200);
    g.setFirmwareMode(true);
    EXPECT_EQ(g.onBytes(hex("88 3A 87 00")).timerMs, kRawGatherPauseMs);
    EXPECT_EQ(bytesOf(g.onBytes(hex("00 45 2E"))), std::vector<Bytes>{hex("88 3A 87 00 00 45 2E")});
}

TEST(BurstGatherer, ASlowLineOutsideTheTableStillWaitsForTheRestOfAFrame) {
    BurstGatherer g;
    g.setLineBaud(600);
    const auto first = g.onBytes(std::span(kSaveAck).first(4));
    EXPECT_TRUE(first.bursts.empty());
    EXPECT_EQ(first.timerMs, 640);
    EXPECT_EQ(bytesOf(g.onBytes(std::span(kSaveAck).subspan(4))), std::vector<Bytes>{kSaveAck});
}

TEST(BurstGatherer, TellsWhileAnAnswerIsStillArriving) {
    BurstGatherer g;
    g.setLineBaud(4800);
    EXPECT_FALSE(g.frameArrivingMs());  // nothing gathered
    g.onBytes(std::span(kSaveAck).first(5));
    EXPECT_EQ(g.frameArrivingMs(), 80);
    g.onBytes(std::span(kSaveAck).subspan(5));  // complete: delivered, nothing arriving
    EXPECT_FALSE(g.frameArrivingMs());
    g.onBytes(hex("4F 4B"));  // raw data is no answer
    EXPECT_FALSE(g.frameArrivingMs());
    g.onTimer();
    g.onBytes(std::span(kSaveAck).first(3));
    g.setFirmwareMode(true);  // the firmware receiver keeps its own time
    EXPECT_FALSE(g.frameArrivingMs());
    g.setFirmwareMode(false);
    EXPECT_TRUE(g.onTimer().bursts.size() == 1);  // a stalled answer ends with the pause
    EXPECT_FALSE(g.frameArrivingMs());
}

TEST(BurstGatherer, ARequestKeepsRawDataAndDropsOnlyAHalfFrame) {
    BurstGatherer g;
    g.onBytes(hex("4F 4B 88 3A"));  // raw text, whatever follows it
    auto raw = g.beforeRequest();
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->bytes, hex("4F 4B 88 3A"));
    EXPECT_EQ(g.pending(), 0u);

    g.onBytes(hex("88 3A 83 00"));  // the start of an answer nobody waits for any more
    EXPECT_FALSE(g.beforeRequest());
    EXPECT_EQ(g.pending(), 0u);
    g.onBytes(hex("88"));  // a first head byte alone may be one too
    EXPECT_FALSE(g.beforeRequest());
    EXPECT_FALSE(g.beforeRequest());  // nothing gathered, nothing to show
    EXPECT_TRUE(g.onTimer().bursts.empty());
}

TEST(BurstGatherer, CutsAnOversizeBurstAndKeepsGathering) {
    BurstGatherer g;
    const Bytes noise(kBurstCapacity + 100, 0x55);
    const auto step = g.onBytes(noise);
    ASSERT_EQ(step.bursts.size(), 1u);
    EXPECT_TRUE(step.bursts[0].cut);
    EXPECT_EQ(step.bursts[0].bytes.size(), kBurstCapacity);
    EXPECT_EQ(g.pending(), 100u);
    EXPECT_EQ(step.timerMs, kRawGatherPauseMs);
    const auto rest = g.onTimer();
    ASSERT_EQ(rest.bursts.size(), 1u);
    EXPECT_FALSE(rest.bursts[0].cut);
    EXPECT_EQ(rest.bursts[0].bytes.size(), 100u);
}

}  // namespace
}  // namespace dtu
