#include "link/frame.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/bytes.h"

namespace dtu {
namespace {

using test::Bytes;
using test::hex;
using test::toBytes;

const LockPassword kPassword{'p', 'a', 's', 's', 'w', '0', 'r', 'd'};

TEST(FixedFrames, MatchTheCommandTableByteForByte) {
    EXPECT_EQ(toBytes(rebootRequest()), hex("88 3A 06 00 00 45 2E"));
    EXPECT_EQ(toBytes(factoryResetRequest()), hex("88 3A 05 00 00 45 2E"));
    EXPECT_EQ(toBytes(deepResetRequest()), hex("88 3A 09 00 00 45 2E"));
    EXPECT_EQ(toBytes(singleTagRead(TAG_CERT_CHECKSUMS)), hex("88 3A 03 00 01 BA 45 2E"));
    EXPECT_EQ(toBytes(singleTagRead(TAG_PROBE)), hex("88 3A 03 00 01 FE 45 2E"));
    EXPECT_EQ(toBytes(singleTagRead(TAG_MQTT_STATUS)), hex("88 3A 03 00 01 B4 45 2E"));
    EXPECT_EQ(toBytes(ioPollRequest()), hex("88 3A 03 00 04 50 51 52 53 45 2E"));
    EXPECT_EQ(toBytes(clearCountersRequest()), hex("88 3A 04 00 04 53 00 01 00 45 2E"));
    EXPECT_EQ(toBytes(calibrationRequest()), hex("88 3A 84 00 05 B7 00 02 01 01 45 2E"));
    EXPECT_EQ(toBytes(relayControlRequest({3, 3, 1, 3, 3, 3, 3, 3})),
              hex("88 3A 84 00 0B 51 00 08 03 03 01 03 03 03 03 03 45 2E"));
    // The relay test: Y1 closes (1) or opens (0); Y2..Y8 carry 2, which no relay acts on.
    EXPECT_EQ(toBytes(relayTestRequest(true)),
              hex("88 3A 84 00 0B 51 00 08 01 02 02 02 02 02 02 02 45 2E"));
    EXPECT_EQ(toBytes(relayTestRequest(false)),
              hex("88 3A 84 00 0B 51 00 08 00 02 02 02 02 02 02 02 45 2E"));
}

TEST(FullReadRequest, Is121BytesAskingForTheParameterAndStatusTags) {
    const Bytes req = fullReadRequest();
    ASSERT_EQ(req.size(), 121u);
    EXPECT_EQ(Bytes(req.begin(), req.begin() + 8), hex("88 3A 03 00 72 01 02 03"));
    EXPECT_EQ(Bytes(req.end() - 5, req.end()), hex("B7 B8 BA 45 2E"));

    const Bytes tags(req.begin() + 5, req.end() - 2);
    ASSERT_EQ(tags.size(), 114u);
    EXPECT_TRUE(std::is_sorted(tags.begin(), tags.end()));
    auto asked = [&](int t) { return std::count(tags.begin(), tags.end(), t) == 1; };
    for (int t : {1, 41, 48, 69, 85, 114, 117, 129, 144, 176, 179, 183, 184, 186})
        EXPECT_TRUE(asked(t)) << t;
    // Live values, unused tags and the status items other windows ask for separately.
    for (int t :
         {42, 47, 70, 80, 84, 115, 116, 130, 143, 145, 175, 180, 181, 182, 185, 187, 254, 255})
        EXPECT_FALSE(asked(t)) << t;
}

TEST(FullReadRequest, LockSuffixFollowsTheTailAndLeavesTheLengthAlone) {
    const Bytes plain = fullReadRequest();
    const Bytes locked = fullReadRequest(kPassword);
    ASSERT_EQ(locked.size(), 130u);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), locked.begin()));
    EXPECT_EQ(locked[3], 0x00);
    EXPECT_EQ(locked[4], 0x72);
    EXPECT_EQ(Bytes(locked.begin() + 121, locked.end()), hex("70 61 73 73 77 30 72 64 AA"));
}

TEST(BuildRequest, CountsThePayloadBigEndian) {
    const Bytes payload(300, 0x11);
    const Bytes f = buildRequest(CMD_WRITE, payload);
    ASSERT_EQ(f.size(), 307u);
    EXPECT_EQ(f[3], 0x01);
    EXPECT_EQ(f[4], 0x2C);
    EXPECT_EQ(frameLengthField(f), 300);
    EXPECT_EQ(frameCommand(f), CMD_WRITE);
    EXPECT_EQ(toBytes(buildRequest(CMD_REBOOT, {})), toBytes(rebootRequest()));
}

TEST(AnswerCode, SetsBitSeven) {
    EXPECT_EQ(answerCode(CMD_READ), 0x83);
    EXPECT_EQ(answerCode(CMD_WRITE), 0x84);
    EXPECT_EQ(answerCode(CMD_WRITE_MORE), 0x84);
    EXPECT_EQ(answerCode(CMD_FIRMWARE), 0x87);
    EXPECT_EQ(answerCode(CMD_DEEP_RESET), 0x89);
}

TEST(FrameRecognition, HeadAndTailDecideAndShortFramesAreFlagged) {
    // Recognised by head and tail, then refused as too short.
    EXPECT_TRUE(isFrame(hex("88 3A 83 45 2E")));
    EXPECT_EQ(checkFrame(hex("88 3A 83 45 2E")), FrameCheck::TooShort);
    EXPECT_TRUE(isFrame(hex("88 3A 45 2E")));
    EXPECT_FALSE(isFrame(hex("88 3A 2E")));  // three bytes are never a frame
    // A wrong tail makes raw data, not a frame.
    EXPECT_FALSE(isFrame(hex("88 3A 00 00 45 2F")));
    EXPECT_FALSE(isFrame(hex("88 3B 06 00 00 45 2E")));
    EXPECT_FALSE(isFrame({}));
    // The length field is not consulted.
    EXPECT_TRUE(isFrame(hex("88 3A 83 00 09 01 00 01 02 45 2E")));
    EXPECT_EQ(checkFrame(hex("88 3A 83 00 09 01 00 01 02 45 2E")), FrameCheck::Ok);
    EXPECT_EQ(checkFrame(toBytes(rebootRequest())), FrameCheck::Ok);
    EXPECT_EQ(checkFrame(hex("88 3B 06 00 00 45 2E")), FrameCheck::BadHead);
    EXPECT_EQ(checkFrame(hex("88 3A 06 00 00 45 2F")), FrameCheck::BadTail);
}

}  // namespace
}  // namespace dtu
