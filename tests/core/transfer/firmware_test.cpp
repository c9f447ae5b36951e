#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "core/transfer/fake_clock.h"
#include "support/bytes.h"
#include "transfer/firmware_image.h"
#include "transfer/firmware_upgrade.h"
#include "transfer/transfer_rate.h"

namespace dtu {
namespace {

using test::Bytes;
using test::hex;

const LockPassword kPassword{'p', 'a', 's', 's', 'w', 'o', 'r', 'd'};
const Bytes kSuffix = hex("70 61 73 73 77 6F 72 64 AA");

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A firmware file: 15 unused bytes, the type, the size, then the image bytes 0, 1, 2, ...
Bytes firmwareFile(std::uint8_t type, std::uint32_t size, std::size_t imageBytes) {
    Bytes f(kFirmwareHeaderSize, 0x5A);
    f[15] = type;
    f[16] = static_cast<std::uint8_t>(size >> 24);
    f[17] = static_cast<std::uint8_t>(size >> 16);
    f[18] = static_cast<std::uint8_t>(size >> 8);
    f[19] = static_cast<std::uint8_t>(size);
    for (std::size_t i = 0; i < imageBytes; ++i) f.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    return f;
}

FirmwareImage image(std::uint32_t size, std::uint8_t type = 0x21) {
    auto parse = parseFirmwareImage(firmwareFile(type, size, size));
    EXPECT_EQ(parse.error, FirmwareImageError::None);
    return parse.image.value_or(FirmwareImage{});
}

Bytes answer(std::uint8_t step, const Bytes& value) {
    Bytes f{0x88,
            0x3A,
            0x87,
            0,
            static_cast<std::uint8_t>(3 + value.size()),
            step,
            0,
            static_cast<std::uint8_t>(value.size())};
    f.insert(f.end(), value.begin(), value.end());
    f.insert(f.end(), {0x45, 0x2E});
    return f;
}

Bytes blockAck(std::uint32_t next) {
    return answer(FW_BLOCK,
                  {static_cast<std::uint8_t>(next >> 8), static_cast<std::uint8_t>(next)});
}

Bytes doneAnswer(std::uint32_t blocks, std::uint8_t result) {
    return answer(FW_LAST_BLOCK, {static_cast<std::uint8_t>(blocks >> 8),
                                  static_cast<std::uint8_t>(blocks), result});
}

TEST(FirmwareImage, HeaderGivesTypeAndSizeAndOnlyThoseBytesAreTaken) {
    const auto parse = parseFirmwareImage(firmwareFile(0x42, 1500, 1600));
    ASSERT_EQ(parse.error, FirmwareImageError::None);
    EXPECT_EQ(parse.image->imageType, 0x42);
    EXPECT_EQ(parse.image->imageSize(), 1500u);
    EXPECT_EQ(parse.image->blockCount(), 2u);
    EXPECT_EQ(parse.image->data[1499], static_cast<std::uint8_t>(1499 * 7 + 3));
}

TEST(FirmwareImage, FilesAreRefusedByTheirLimitsBeforeAnythingIsSent) {
    Bytes largest = firmwareFile(1, 0, 0);
    largest.resize(kFirmwareFileMax);
    EXPECT_EQ(parseFirmwareImage(largest).error, FirmwareImageError::None);
    largest.push_back(0);
    const auto huge = parseFirmwareImage(largest);
    EXPECT_EQ(huge.error, FirmwareImageError::TooLarge);
    EXPECT_EQ(firmwareImageErrorText(huge, Language::English), "file is huge!!!");

    EXPECT_EQ(parseFirmwareImage(Bytes(19, 0)).error, FirmwareImageError::NoHeader);
    EXPECT_FALSE(
        firmwareImageErrorText(parseFirmwareImage(Bytes(19, 0)), Language::Chinese).empty());

    // The header claims one byte more than the file carries.
    const auto cut = parseFirmwareImage(firmwareFile(1, 2049, 2048));
    EXPECT_EQ(cut.error, FirmwareImageError::Truncated);
    EXPECT_FALSE(cut.image);
    const std::string en = firmwareImageErrorText(cut, Language::English);
    EXPECT_NE(en.find("2049"), std::string::npos) << en;
    EXPECT_NE(en.find("2048"), std::string::npos) << en;
    EXPECT_NE(firmwareImageErrorText(cut, Language::Chinese).find("2049"), std::string::npos);
}

TEST(FirmwareImage, LastBlockIsPaddedWithZerosAndItsSumCoversThem) {
    const FirmwareImage exact = image(1024);
    EXPECT_EQ(exact.blockCount(), 2u);
    EXPECT_EQ(exact.block(1), FirmwareBlock{});
    EXPECT_EQ(blockSum(exact.block(1)), 0);

    const FirmwareImage partial = image(1500);
    const FirmwareBlock last = partial.block(1);
    EXPECT_TRUE(std::equal(last.begin(), last.begin() + 476, partial.data.begin() + 1024));
    EXPECT_TRUE(std::all_of(last.begin() + 476, last.end(), [](auto b) { return b == 0; }));
    const auto expected = std::accumulate(partial.data.begin() + 1024, partial.data.end(), 0u);
    EXPECT_EQ(blockSum(last), static_cast<std::uint8_t>(expected));
    EXPECT_EQ(blockSum(hex("FF FF 03")), 0x01);
}

TEST(FirmwareFrames, StartAndSizeMatchTheirGoldenBytes) {
    EXPECT_EQ(firmwareStartFrame(0x21, false), hex("88 3A 07 00 08 0E 00 05 21 21 21 21 21 45 2E"));
    EXPECT_EQ(firmwareStartFrame(0x21, true), hex("88 3A 07 00 08 0E 00 05 21 FA 21 21 21 45 2E"));
    EXPECT_EQ(firmwareSizeFrame(0x00012345), hex("88 3A 07 00 07 0F 00 04 00 01 23 45 45 2E"));

    const Bytes start = firmwareStartFrame(0x21, false, kPassword);
    EXPECT_EQ(start.size(), 24u);
    EXPECT_EQ(start, cat(hex("88 3A 07 00 08 0E 00 05 21 21 21 21 21 45 2E"), kSuffix));
    EXPECT_EQ(firmwareSizeFrame(0x00012345, kPassword),
              cat(hex("88 3A 07 00 07 0F 00 04 00 01 23 45 45 2E"), kSuffix));
}

TEST(FirmwareFrames, BlocksCarryNumberDataAndSumAndTheLastHasItsOwnTag) {
    const FirmwareImage img = image(1500);
    const Bytes b0 = firmwareBlockFrame(img, 0);
    ASSERT_EQ(b0.size(), 1037u);
    EXPECT_EQ(Bytes(b0.begin(), b0.begin() + 10), hex("88 3A 07 04 06 10 04 03 00 00"));
    EXPECT_TRUE(std::equal(b0.begin() + 10, b0.begin() + 1034, img.data.begin()));
    EXPECT_EQ(b0[1034], blockSum(img.block(0)));
    EXPECT_EQ(Bytes(b0.end() - 2, b0.end()), hex("45 2E"));

    const Bytes b1 = firmwareBlockFrame(img, 1, kPassword);
    ASSERT_EQ(b1.size(), 1046u);
    EXPECT_EQ(Bytes(b1.begin(), b1.begin() + 10), hex("88 3A 07 04 06 11 04 03 00 01"));
    EXPECT_EQ(b1[1034], blockSum(img.block(1)));
    EXPECT_EQ(Bytes(b1.begin() + 1035, b1.end()), cat(hex("45 2E"), kSuffix));

    // An image under one block has only the last block.
    EXPECT_EQ(firmwareBlockFrame(image(10), 0)[5], FW_LAST_BLOCK);
}

// The world around the upgrade, with a scripted device that answers each write.
struct World : FirmwareEffects {
    test::FakeTimers<FirmwareTimer> timers;
    std::vector<Bytes> writes;
    std::vector<std::string> lines;  // "transfer", or the rate the port went back to
    std::vector<std::string> status;
    std::pair<std::uint32_t, std::uint32_t> lastProgress{0, 0};
    std::vector<FirmwareResult> results;
    std::function<void(const Bytes&)> device;

    void writeBytes(std::span<const std::uint8_t> b) override {
        writes.emplace_back(b.begin(), b.end());
        if (device) device(writes.back());
    }
    void startTimer(FirmwareTimer t, int ms) override { timers.start(t, ms); }
    void stopTimer(FirmwareTimer t) override { timers.stop(t); }
    void useTransferLine() override { lines.push_back("transfer"); }
    void restoreLine(int baud) override { lines.push_back(std::to_string(baud)); }
    void progress(std::uint32_t done, std::uint32_t total) override {
        lastProgress = {done, total};
    }
    void statusText(const std::string& text) override { status.push_back(text); }
    void finished(const FirmwareResult& r) override { results.push_back(r); }
};

class Upgrade : public ::testing::Test {
protected:
    World world;
    FirmwareUpgrade flow{world};
    std::vector<Bytes> pendingAnswers;  // answers the device gives; delivered by deliver()

    FirmwareUpgrade::Options options(bool reset = false, Lock lock = {}) {
        return {reset, lock, 9600};
    }
    void advance(int ms) {
        world.timers.advance(ms, [&](FirmwareTimer t) { flow.onTimer(t); });
    }
    // Hands over the answers given so far, not those their consequences bring.
    void deliver() {
        const std::vector<Bytes> now = std::move(pendingAnswers);
        pendingAnswers.clear();
        for (const Bytes& a : now) flow.onBurst(a);
    }
    // A device that checks each block and answers as the protocol says; skip answers to drop
    // them (by write index).
    void attachDevice(const FirmwareImage& img, std::uint8_t result = 0,
                      std::function<bool(std::size_t)> drop = {}) {
        world.device = [this, img, result, drop](const Bytes& frame) {
            const std::size_t index = world.writes.size() - 1;
            if (drop && drop(index)) return;
            const std::uint8_t step = frame[5];
            if (step == FW_START) pendingAnswers.push_back(answer(FW_START, {0}));
            if (step == FW_SIZE) pendingAnswers.push_back(answer(FW_SIZE, {0}));
            if (step == FW_BLOCK || step == FW_LAST_BLOCK) {
                const std::uint32_t n = frame[8] << 8 | frame[9];
                EXPECT_EQ(frame, firmwareBlockFrame(img, n));
                pendingAnswers.push_back(step == FW_BLOCK ? blockAck(n + 1)
                                                          : doneAnswer(n + 1, result));
            }
        };
    }
    // Runs until the flow ends or a minute has passed, answering as soon as possible.
    void runToEnd() {
        for (int i = 0; i < 6000 && flow.running(); ++i) {
            deliver();
            advance(10);
        }
    }
};

TEST_F(Upgrade, FullUpgradeSwitchesTheLineForTheTransferAndBack) {
    const FirmwareImage img = image(2500);
    attachDevice(img);
    ASSERT_TRUE(flow.start(img, options()));
    ASSERT_EQ(world.writes.size(), 1u);
    EXPECT_EQ(world.writes[0], firmwareStartFrame(0x21, false));
    EXPECT_EQ(world.timers.period(FirmwareTimer::Answer), 2000);
    EXPECT_EQ(world.status, std::vector<std::string>{" "});
    EXPECT_FALSE(flow.start(img, options()));  // one at a time

    deliver();  // accepted: the line changes, and the size follows after the pause
    EXPECT_EQ(world.lines, std::vector<std::string>{"transfer"});
    EXPECT_EQ(world.writes.size(), 1u);
    EXPECT_FALSE(world.timers.running(FirmwareTimer::Answer));
    advance(799);
    EXPECT_EQ(world.writes.size(), 1u);
    advance(1);
    ASSERT_EQ(world.writes.size(), 2u);
    EXPECT_EQ(world.writes[1], firmwareSizeFrame(2500));
    EXPECT_EQ(world.timers.period(FirmwareTimer::Answer), 2000);

    deliver();  // size accepted: block 0 goes out with the longer time-out
    ASSERT_EQ(world.writes.size(), 3u);
    EXPECT_EQ(world.timers.period(FirmwareTimer::Answer), 3000);
    EXPECT_EQ(world.status.back(), "1/3");
    EXPECT_EQ(world.lastProgress, (std::pair<std::uint32_t, std::uint32_t>{1, 3}));

    runToEnd();
    ASSERT_EQ(world.writes.size(), 5u);  // start, size, three blocks
    EXPECT_EQ(world.writes[4][5], FW_LAST_BLOCK);
    EXPECT_EQ(world.lines, (std::vector<std::string>{"transfer", "9600"}));
    EXPECT_EQ(world.status, (std::vector<std::string>{" ", "1/3", "2/3", "3/3", "升级成功"}));
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_TRUE(world.results[0].ok);
    EXPECT_FALSE(world.results[0].factoryResetAsked);
    EXPECT_TRUE(world.timers.idle());
}

TEST_F(Upgrade, FactoryResetIsAskedForAndTheDevicesResultReported) {
    const FirmwareImage img = image(100);  // one block, the last
    attachDevice(img, 0xFA);
    ASSERT_TRUE(flow.start(img, options(true)));
    EXPECT_EQ(world.writes[0][9], 0xFA);
    runToEnd();
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_TRUE(world.results[0].factoryResetAsked);
    EXPECT_TRUE(world.results[0].factoryResetDone);

    attachDevice(img, 0x00);  // the device did not reset
    ASSERT_TRUE(flow.start(img, options(true)));
    runToEnd();
    ASSERT_EQ(world.results.size(), 2u);
    EXPECT_TRUE(world.results[1].ok);
    EXPECT_FALSE(world.results[1].factoryResetDone);
}

TEST_F(Upgrade, UnansweredFramesAreRepeatedFourTimesThenTheUpgradeFails) {
    ASSERT_TRUE(flow.start(image(3000), options()));
    advance(8000);
    EXPECT_EQ(world.writes.size(), 5u);
    EXPECT_TRUE(flow.running());
    for (const Bytes& w : world.writes) EXPECT_EQ(w, world.writes[0]);
    advance(2000);
    EXPECT_EQ(world.writes.size(), 5u);  // nothing more once it has failed
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_FALSE(world.results[0].ok);
    EXPECT_EQ(world.results[0].text, "升级失败(0x00)");
    EXPECT_TRUE(world.lines.empty());  // the device never took the upgrade
    EXPECT_TRUE(world.timers.idle());
}

TEST_F(Upgrade, BlocksWaitLongerAndAFailureAfterAcceptancePutsTheLineBack) {
    ASSERT_TRUE(flow.start(image(3000), options()));
    flow.onBurst(answer(FW_START, {0}));
    advance(800);
    flow.onBurst(answer(FW_SIZE, {0}));
    ASSERT_EQ(world.writes.size(), 3u);
    advance(12000);
    EXPECT_EQ(world.writes.size(), 7u);
    EXPECT_TRUE(world.results.empty());
    advance(3000);
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_EQ(world.results[0].text, "升级失败(0x04)");
    EXPECT_EQ(world.status.back(), "升级失败(0x04)");
    EXPECT_EQ(world.lines, (std::vector<std::string>{"transfer", "9600"}));
}

TEST_F(Upgrade, LostAnswersAreRecoveredByRepetition) {
    const FirmwareImage img = image(4096);
    // Lose the answers to the first start request and to the first copy of block 1.
    attachDevice(img, 0, [](std::size_t i) { return i == 0 || i == 4; });
    ASSERT_TRUE(flow.start(img, options()));
    runToEnd();
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_TRUE(world.results[0].ok) << world.results[0].text;
    EXPECT_EQ(world.writes[1], world.writes[0]);
    EXPECT_EQ(world.writes[5], world.writes[4]);
    EXPECT_EQ(world.writes.size(), 2 + 1 + 5 + 1u);  // start twice, size, 5 blocks, one repeat
}

TEST_F(Upgrade, WrongBlockNumberStopsTheTransfer) {
    ASSERT_TRUE(flow.start(image(8000), options()));
    flow.onBurst(answer(FW_START, {0}));
    advance(800);
    flow.onBurst(answer(FW_SIZE, {0}));
    for (std::uint32_t n = 1; n <= 3; ++n) flow.onBurst(blockAck(n));
    EXPECT_EQ(flow.blockIndex(), 4u);
    const std::size_t sent = world.writes.size();
    flow.onBurst(blockAck(5));
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_FALSE(world.results[0].ok);
    EXPECT_EQ(world.results[0].text, "升级失败 bad number");
    EXPECT_TRUE(world.results[0].badNumber);
    EXPECT_EQ(world.status.back(), "升级失败 bad number");
    EXPECT_EQ(world.writes.size(), sent);
    EXPECT_TRUE(world.timers.idle());
    EXPECT_EQ(world.lines, (std::vector<std::string>{"transfer", "9600"}));
}

// Block 1's acknowledgement comes after the block was repeated: it moves the transfer on, and the
// acknowledgement of the repetition then names a block the tool has passed.
TEST_F(Upgrade, AnAcknowledgementAfterItsRepetitionEndsWithBadNumber) {
    const FirmwareImage img = image(6000);
    ASSERT_TRUE(flow.start(img, options()));
    flow.onBurst(answer(FW_START, {0}));
    advance(800);
    flow.onBurst(answer(FW_SIZE, {0}));
    flow.onBurst(blockAck(1));
    ASSERT_EQ(world.writes.size(), 4u);
    advance(2999);
    EXPECT_EQ(world.writes.size(), 4u);
    advance(1);
    ASSERT_EQ(world.writes.size(), 5u);
    EXPECT_EQ(world.writes[4], firmwareBlockFrame(img, 1));

    flow.onBurst(blockAck(2));  // the late one
    ASSERT_EQ(world.writes.size(), 6u);
    EXPECT_EQ(world.writes[5], firmwareBlockFrame(img, 2));
    flow.onBurst(blockAck(2));  // the repetition's
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_EQ(world.results[0].text, "升级失败 bad number");
    EXPECT_EQ(world.writes.size(), 6u);
    EXPECT_TRUE(world.timers.idle());
    EXPECT_EQ(world.lines, (std::vector<std::string>{"transfer", "9600"}));
}

TEST_F(Upgrade, APortThatRunsAtTheTransferRateGetsItsOwnLineBack) {
    const FirmwareImage img = image(100);
    attachDevice(img);
    ASSERT_TRUE(flow.start(img, {false, {}, kFirmwareLineBaud}));
    runToEnd();
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_TRUE(world.results[0].ok);
    // Not the transfer's 8N1 a second time: the port's own parity and stop bits come back.
    EXPECT_EQ(world.lines, (std::vector<std::string>{"transfer", "230400"}));
}

TEST_F(Upgrade, OnlyTheAnswerToTheFrameOutstandingCounts) {
    ASSERT_TRUE(flow.start(image(3000), options()));
    flow.onBurst(hex("4F 4B"));                 // raw text
    flow.onBurst(hex("88 3A 83 00 00 45 2E"));  // another command's answer
    flow.onBurst(hex("88 3A 87 45 2E"));        // no step at all
    flow.onBurst(answer(FW_SIZE, {0}));         // not the step asked for
    EXPECT_EQ(flow.state(), FirmwareUpgrade::State::Starting);
    EXPECT_TRUE(world.timers.running(FirmwareTimer::Answer));
    flow.onBurst(answer(FW_START, {0}));
    flow.onBurst(answer(FW_START, {0}));  // a late copy during the pause changes nothing
    advance(800);
    EXPECT_EQ(world.lines, std::vector<std::string>{"transfer"});
    EXPECT_EQ(world.writes.size(), 2u);
    // A block answer too short to carry its number is no answer.
    flow.onBurst(answer(FW_SIZE, {0}));
    flow.onBurst(answer(FW_BLOCK, {0}));
    flow.onBurst(answer(FW_LAST_BLOCK, {0, 1, 0}));  // done before the last block went out
    EXPECT_TRUE(flow.running());
    EXPECT_EQ(flow.blockIndex(), 1u);
    EXPECT_TRUE(world.timers.running(FirmwareTimer::Answer));
}

TEST_F(Upgrade, LockedDeviceGetsThePasswordOnEveryFrameAndRepetition) {
    const FirmwareImage img = image(1024);
    ASSERT_TRUE(flow.start(img, options(false, kPassword)));
    advance(2000);
    flow.onBurst(answer(FW_START, {0}));
    advance(800);
    flow.onBurst(answer(FW_SIZE, {0}));
    flow.onBurst(blockAck(1));
    ASSERT_EQ(world.writes.size(), 5u);
    EXPECT_EQ(world.writes[0].size(), 24u);
    EXPECT_EQ(world.writes[1].size(), 24u);
    EXPECT_EQ(world.writes[2].size(), 23u);
    EXPECT_EQ(world.writes[3], firmwareBlockFrame(img, 0, kPassword));
    EXPECT_EQ(world.writes[4], firmwareBlockFrame(img, 1, kPassword));
    for (const Bytes& w : world.writes) EXPECT_EQ(Bytes(w.end() - 9, w.end()), kSuffix);
}

TEST_F(Upgrade, AbortStopsEverythingAndLeavesAFailedPortAlone) {
    ASSERT_TRUE(flow.start(image(3000), options()));
    flow.onBurst(answer(FW_START, {0}));
    flow.abort("port gone", false);
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_FALSE(world.results[0].ok);
    EXPECT_EQ(world.results[0].text, "port gone");
    EXPECT_EQ(world.lines, std::vector<std::string>{"transfer"});
    EXPECT_TRUE(world.timers.idle());
    advance(5000);
    EXPECT_EQ(world.writes.size(), 1u);
    // A new upgrade may start afterwards.
    EXPECT_TRUE(flow.start(image(10), options()));
}

// A burst of early acknowledgements once showed a rate forty times the line's.
TEST(TransferRate, IsShownOnlyOverASpanThatMeansSomethingAndNeverAboveTheLine) {
    TransferRate rate(1024);
    rate.update(1, 0);
    rate.update(4, 3);  // three blocks acknowledged within 3 ms
    EXPECT_FALSE(rate.bytesPerSecond(23040));
    rate.update(4, TransferRate::kMinSpanMs - 1);
    EXPECT_FALSE(rate.bytesPerSecond(23040));
    rate.update(21, 2000);  // 20 blocks in 2 s
    ASSERT_TRUE(rate.bytesPerSecond(23040));
    EXPECT_DOUBLE_EQ(*rate.bytesPerSecond(23040), 10240.0);
    EXPECT_DOUBLE_EQ(*rate.bytesPerSecond(960), 960.0);
    EXPECT_DOUBLE_EQ(*rate.bytesPerSecond(0), 10240.0);  // no line rate known: unbounded
}

}  // namespace
}  // namespace dtu
