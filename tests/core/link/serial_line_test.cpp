#include "link/serial_line.h"

#include <gtest/gtest.h>

#include "link/frame.h"
#include "support/bytes.h"

namespace dtu {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using Time = LineOutput::Time;

TEST(WireTime, CountsStartDataParityAndStopBitsOfEveryCharacter) {
    EXPECT_EQ(wireTime(2400, {4800, 0, 0}), 5s);   // 10 bits: start, 8 data, stop
    EXPECT_EQ(wireTime(100, {1100, 2, 0}), 1s);    // 11 bits with a parity bit
    EXPECT_EQ(wireTime(100, {1050, 0, 1}), 1s);    // one and a half stop bits
    EXPECT_EQ(wireTime(100, {1200, 1, 2}), 1s);    // parity and two stop bits
    EXPECT_EQ(wireTime(1, {9600, 0, 0}), 1042us);  // rounded up, never short
    EXPECT_EQ(wireTime(0, {9600, 0, 0}), 0us);
    EXPECT_EQ(wireTime(10, {0, 0, 0}), 0us);  // no rate, no time
}

TEST(LineRefusal, NamesWhatThePortRefusedInTheWindowsLanguage) {
    LineRefusal refused;
    refused.parity = true;
    EXPECT_EQ(lineRefusalText(refused, 9600, Language::Chinese), "串口不接受这些设置：校验位");
    refused.baud = true;
    refused.stopBits = true;
    EXPECT_EQ(lineRefusalText(refused, 300, Language::Chinese),
              "串口不接受这些设置：波特率 300、校验位、停止位");
    EXPECT_EQ(lineRefusalText(refused, 300, Language::English),
              "The port refused these line settings: baud rate 300, parity, stop bits");
}

// A save of about 2.4 KB at 4800 baud spends 5 s on the wire: its 3000 ms time-out must start
// only then, wherever in those 5 s it is asked for.
TEST(LineOutput, AnAnswerTimeOutCountsFromTheRequestsLastByteOnTheWire) {
    LineOutput out;
    out.setLine({4800, 0, 0});
    const Bytes save(2400, 0x55);
    out.queue(save, false, 0us);
    const auto step = out.take(0us);
    ASSERT_EQ(step.writes.size(), 1u);
    EXPECT_EQ(step.writes[0].size(), 2400u);
    EXPECT_FALSE(step.next);
    EXPECT_EQ(out.answerTimeoutMs(3000, 0us), 8000);
    EXPECT_EQ(out.answerTimeoutMs(3000, Time{2s}), 6000);
    EXPECT_EQ(out.answerTimeoutMs(3000, Time{4999999us}), 3001);  // a part of a ms is a ms
    EXPECT_EQ(out.answerTimeoutMs(3000, Time{7s}), 3000);         // the line went quiet

    // Writes handed over while the line is busy queue up behind what it still sends.
    out.queue(Bytes(48, 1), false, Time{6s});
    out.queue(Bytes(48, 2), false, Time{6s});
    EXPECT_EQ(out.take(Time{6s}).writes.size(), 2u);
    EXPECT_EQ(out.busyFor(Time{6s}), 200ms);

    out.queue(save, false, Time{7s});
    out.clear();  // the port closed: nothing is on its way any more
    EXPECT_EQ(out.busyFor(Time{7s}), 0us);
    EXPECT_EQ(out.waiting(), 0u);
}

TEST(LineOutput, PiecesGoOneAtATimeEachOnceTheOneBeforeHasLeftTheLine) {
    LineOutput out;
    out.setLine({9600, 0, 0});
    const std::vector<std::uint8_t> read = fullReadRequest();
    for (const auto piece : splitPieces(read)) out.queue(piece, true, 0us);
    out.queue(rebootRequest(), false, 0us);  // a request behind them keeps its place
    const Time piece = wireTime(32, out.line());

    auto step = out.take(0us);
    ASSERT_EQ(step.writes.size(), 1u);
    EXPECT_EQ(step.writes[0], Bytes(read.begin(), read.begin() + 32));
    ASSERT_TRUE(step.next);
    EXPECT_EQ(*step.next, piece);
    EXPECT_TRUE(out.take(piece - 1us).writes.empty());

    std::vector<std::size_t> sizes;
    Time at = piece;
    while (out.waiting() > 0) {
        step = out.take(at);
        ASSERT_EQ(step.writes.size(), 1u) << "one write at a time";
        sizes.push_back(step.writes[0].size());
        if (step.next) at = *step.next;
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{32, 32, 25, 7}));
    EXPECT_EQ(at, 3 * piece + wireTime(25, out.line()));
    // The answer's time-out runs from the reboot request's last byte.
    EXPECT_EQ(out.busyFor(at), wireTime(7, out.line()));
    EXPECT_EQ(out.answerTimeoutMs(3000, 0us), 3000 + 134);  // 128 bytes at 9600: 133.3 ms
}

TEST(LineOutput, APieceAfterAWholeWriteWaitsForTheLineToBeFree) {
    LineOutput out;
    out.setLine({1200, 0, 0});
    out.queue(Bytes(12, 0x41), false, 0us);  // 100 ms on the wire
    out.queue(Bytes(32, 0x42), true, Time{40ms});
    const auto step = out.take(Time{40ms});
    ASSERT_EQ(step.writes.size(), 1u);
    EXPECT_EQ(step.writes[0].size(), 12u);
    ASSERT_TRUE(step.next);
    EXPECT_EQ(*step.next, 100ms);
}

}  // namespace
}  // namespace dtu
