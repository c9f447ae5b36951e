#include <gtest/gtest.h>

#include "device.h"
#include "link/frame.h"
#include "params/item_codec.h"
#include "support/bytes.h"
#include "transfer/cert_transfer.h"
#include "transfer/firmware_image.h"

namespace dtu::sim {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::hex;
namespace f = fields;

const LockPassword kPassword{'f', 'w', 'l', 'o', 'c', 'k', '0', '9'};

FirmwareImage image(std::uint32_t size, std::uint8_t type = 0x31) {
    FirmwareImage img{type, Bytes(size)};
    for (std::uint32_t i = 0; i < size; ++i) img.data[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return img;
}

// One request, one answer (or none).
Bytes ask(Device& d, const Bytes& request, Device::Time now = 0ms) {
    const auto answers = d.receive(request, now);
    EXPECT_LE(answers.size(), 1u);
    return answers.empty() ? Bytes{} : answers[0];
}

// Start and size accepted; the device now takes blocks at the transfer rate.
void begin(Device& d, const FirmwareImage& img, bool reset = false) {
    ASSERT_EQ(ask(d, firmwareStartFrame(img.imageType, reset)),
              hex("88 3A 87 00 04 0E 00 01 00 45 2E"));
    EXPECT_EQ(d.lineBaud(), 230400);
    ASSERT_EQ(ask(d, firmwareSizeFrame(img.imageSize()), 800ms),
              hex("88 3A 87 00 04 0F 00 01 00 45 2E"));
}

TEST(SimFirmware, TakesAnImageBlockByBlockAndReturnsToItsOwnRate) {
    Device d(DeviceKind::Dtu, 9600);
    EXPECT_EQ(d.lineBaud(), 9600);
    const FirmwareImage img = image(2100);
    begin(d, img);
    EXPECT_EQ(ask(d, firmwareBlockFrame(img, 0), 900ms),
              hex("88 3A 87 00 05 10 00 02 00 01 45 2E"));
    EXPECT_EQ(ask(d, firmwareBlockFrame(img, 1), 950ms),
              hex("88 3A 87 00 05 10 00 02 00 02 45 2E"));
    EXPECT_EQ(d.lineBaud(), 230400);
    EXPECT_EQ(ask(d, firmwareBlockFrame(img, 2), 1000ms),
              hex("88 3A 87 00 06 11 00 03 00 03 00 45 2E"));
    EXPECT_EQ(d.lineBaud(), 9600);
    EXPECT_EQ(d.firmware().lastImage(), img.data);
    EXPECT_EQ(d.firmware().lastImageType(), 0x31);
    EXPECT_EQ(d.firmware().completedUpgrades(), 1);
    EXPECT_EQ(d.image().textView(f::firmwareVersion), installedVersion(0x31, img.data));
    EXPECT_NE(installedVersion(0x31, img.data), installedVersion(0x32, img.data));
}

TEST(SimFirmware, FactoryResetAfterTheUpgradeIsReportedAndKeepsTheNewVersion) {
    Device d;
    DeviceParams changed = d.image();
    changed.set(f::serverAPort, 7777);
    ASSERT_EQ(d.receive(buildSaveFrame(changed).view(), 0ms).size(), 1u);
    ASSERT_EQ(d.image().get(f::serverAPort), 7777);

    const FirmwareImage img = image(1024);
    begin(d, img, true);
    ask(d, firmwareBlockFrame(img, 0), 900ms);
    EXPECT_EQ(ask(d, firmwareBlockFrame(img, 1), 950ms),
              hex("88 3A 87 00 06 11 00 03 00 02 FA 45 2E"));
    EXPECT_EQ(d.image().get(f::serverAPort), factoryImage(DeviceKind::Dtu).get(f::serverAPort));
    EXPECT_EQ(d.image().textView(f::firmwareVersion), installedVersion(0x31, img.data));
    // A later factory reset keeps the installed version too.
    ask(d, test::toBytes(factoryResetRequest()), 2000ms);
    EXPECT_EQ(d.image().textView(f::firmwareVersion), installedVersion(0x31, img.data));
}

TEST(SimFirmware, BadBlocksAreAnsweredWithTheNumberStillExpected) {
    Device d;
    const FirmwareImage img = image(5000);
    begin(d, img);
    ask(d, firmwareBlockFrame(img, 0), 900ms);
    // A repeat of block 0 (its answer was lost) is answered again.
    EXPECT_EQ(ask(d, firmwareBlockFrame(img, 0), 910ms),
              hex("88 3A 87 00 05 10 00 02 00 01 45 2E"));
    // Block 2 before block 1.
    EXPECT_EQ(ask(d, firmwareBlockFrame(img, 2), 920ms),
              hex("88 3A 87 00 05 10 00 02 00 01 45 2E"));
    // Block 1 with a wrong sum.
    Bytes bad = firmwareBlockFrame(img, 1);
    bad[1034] ^= 0x01;
    EXPECT_EQ(ask(d, bad, 930ms), hex("88 3A 87 00 05 10 00 02 00 01 45 2E"));
    EXPECT_EQ(d.firmware().expectedBlock(), 1u);
    // A last-block tag on a block that is not the last.
    Bytes early = firmwareBlockFrame(img, 1);
    early[5] = FW_LAST_BLOCK;
    EXPECT_EQ(ask(d, early, 940ms), hex("88 3A 87 00 05 10 00 02 00 01 45 2E"));
    EXPECT_EQ(ask(d, firmwareBlockFrame(img, 1), 950ms),
              hex("88 3A 87 00 05 10 00 02 00 02 45 2E"));
    EXPECT_EQ(d.firmware().completedUpgrades(), 0);
}

TEST(SimFirmware, QuietAfterAcceptanceGivesTheUpgradeUp) {
    Device d(DeviceKind::Dtu, 19200);
    ASSERT_FALSE(ask(d, firmwareStartFrame(1, false)).empty());
    ASSERT_EQ(d.nextDeadline(), kFirmwareSizeWait);
    d.advance(kFirmwareSizeWait - 1ms);
    EXPECT_EQ(d.lineBaud(), 230400);
    d.advance(kFirmwareSizeWait);
    EXPECT_EQ(d.lineBaud(), 19200);
    // Blocks without a size are not taken.
    EXPECT_TRUE(ask(d, firmwareBlockFrame(image(10), 0), 2000ms).empty());

    // Once blocks flow, the device waits longer than the tool's repetitions.
    const FirmwareImage img = image(3000);
    begin(d, img);
    ask(d, firmwareBlockFrame(img, 0), 900ms);
    d.advance(900ms + 15000ms);
    EXPECT_EQ(d.lineBaud(), 230400);
    d.advance(900ms + kFirmwareBlockWait);
    EXPECT_EQ(d.lineBaud(), 19200);
}

TEST(SimFirmware, LockedDeviceTakesFirmwareOnlyWithItsPassword) {
    Device d;
    d.lock(kPassword);
    const Bytes start = firmwareStartFrame(1, false);
    EXPECT_TRUE(d.receive(start, 0ms).empty());
    EXPECT_TRUE(d.advance(1000ms).empty());
    EXPECT_EQ(d.lineBaud(), 9600);
    const LockPassword wrong{'w', 'r', 'o', 'n', 'g', 'p', 'w', 'd'};
    EXPECT_TRUE(d.receive(firmwareStartFrame(1, false, wrong), 2000ms).empty());
    EXPECT_EQ(d.receive(firmwareStartFrame(1, false, kPassword), 3000ms),
              std::vector<Bytes>{hex("88 3A 87 00 04 0E 00 01 00 45 2E")});
}

TEST(SimCertificates, StoresTheBlobAndReportsTheChecksumsOfItsParts) {
    Device d;
    Bytes ca(1000), cert(700), key(300);
    for (std::size_t i = 0; i < ca.size(); ++i) ca[i] = static_cast<std::uint8_t>('A' + i % 26);
    for (std::size_t i = 0; i < cert.size(); ++i)
        cert[i] = static_cast<std::uint8_t>(0x80 + i % 50);
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(0xF0 + i % 15);
    const Bytes blob = buildCertBlob(ca, cert, key).bytes;
    ASSERT_EQ(blob.size(), 2004u);
    for (std::size_t offset = 0; offset < blob.size(); offset += kCertChunkSize) {
        const auto chunk = certChunkFrame(blob, offset);
        EXPECT_EQ(d.receive(chunk, 0ms), std::vector<Bytes>{hex("88 3A 84 00 02 BB 00 45 2E")});
    }
    EXPECT_TRUE(d.certificates().committed());
    EXPECT_TRUE(std::equal(blob.begin(), blob.end(), d.certificates().blob().begin()));
    EXPECT_EQ(d.image().get(f::certChecksums[0]), fileChecksum16(ca));
    EXPECT_EQ(d.image().get(f::certChecksums[1]), fileChecksum16(cert));
    EXPECT_EQ(d.image().get(f::certChecksums[2]), fileChecksum16(key));

    // The checksum read reports them in item 186.
    const Bytes answer = ask(d, test::toBytes(singleTagRead(TAG_CERT_CHECKSUMS)));
    DeviceParams tool;
    LiveState live;
    decodeParamBlock(std::span(answer).subspan(3, answer.size() - 5), tool, live);
    EXPECT_EQ(tool.get(f::certChecksums[0]), fileChecksum16(ca));
    EXPECT_EQ(tool.get(f::certChecksums[2]), fileChecksum16(key));
}

TEST(SimCertificates, ChunksOutsideTheStoreAreRefused) {
    Device d;
    Bytes chunk = test::toBytes(certChunkFrame(Bytes(600, 1), 0));
    chunk[8] = 0x1E;  // offset 7680 + 512 still fits
    EXPECT_EQ(ask(d, chunk), hex("88 3A 84 00 02 BB 00 45 2E"));
    chunk[8] = 0x1F;  // offset 7936 does not
    EXPECT_EQ(ask(d, chunk), hex("88 3A 84 00 02 BB 01 45 2E"));
}

}  // namespace
}  // namespace dtu::sim
