#include <gtest/gtest.h>

#include <functional>

#include "core/transfer/fake_clock.h"
#include "link/command_flow.h"
#include "support/bytes.h"
#include "transfer/cert_transfer.h"

namespace dtu {
namespace {

using test::Bytes;
using test::hex;
namespace f = fields;

Bytes pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 13);
    return b;
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(CertFiles, ChecksumSumsTheFirst4096BytesModulo65536) {
    EXPECT_EQ(fileChecksum16({}), 0);
    EXPECT_EQ(fileChecksum16(hex("01 02 FF")), 0x0102);
    EXPECT_EQ(fileChecksum16(Bytes(4096, 0xFF)), (4096 * 255) % 65536);
    Bytes longer(4096, 0x10);
    longer.push_back(0x77);
    EXPECT_EQ(fileChecksum16(longer), 4096 * 0x10 % 65536);

    EXPECT_FALSE(certImportRefusal(4000, CertFile::Ca, Language::Chinese));
    EXPECT_EQ(certImportRefusal(4001, CertFile::ClientKey, Language::Chinese), "file is huge!!!");
}

TEST(CertFiles, AnEmptyCaIsRefusedAtImportAnEmptyClientFileIsNoFile) {
    EXPECT_EQ(certImportRefusal(0, CertFile::Ca, Language::Chinese),
              "CA文件是空的，请导入有内容的CA文件！！！");
    EXPECT_EQ(certImportRefusal(0, CertFile::Ca, Language::English),
              "The CA file is empty; import a CA file with content.");
    EXPECT_FALSE(certImportRefusal(1, CertFile::Ca, Language::Chinese));
    EXPECT_FALSE(certImportRefusal(0, CertFile::ClientCert, Language::Chinese));
    EXPECT_FALSE(certImportRefusal(0, CertFile::ClientKey, Language::Chinese));
}

TEST(CertFiles, PathsAreKeptInTheRecordAsGbkTexts) {
    DeviceParams p;
    EXPECT_EQ(certPath(p, CertFile::Ca), "");
    // Chinese characters take two bytes each in the record.
    const std::string chinese = "/home/用户/ca.crt";
    ASSERT_TRUE(setCertPath(p, CertFile::Ca, chinese));
    EXPECT_EQ(certPath(p, CertFile::Ca), chinese);
    EXPECT_EQ(test::toBytes(p.text(f::caPath)),
              hex("2F 68 6F 6D 65 2F D3 C3 BB A7 2F 63 61 2E 63 72 74"));
    ASSERT_TRUE(setCertPath(p, CertFile::ClientCert, "/c.crt"));
    ASSERT_TRUE(setCertPath(p, CertFile::ClientKey, "/k.key"));
    EXPECT_EQ(p.textView(f::clientCertPath), "/c.crt");
    EXPECT_EQ(p.textView(f::clientKeyPath), "/k.key");
    EXPECT_EQ(p.image()[12383], '/');
    EXPECT_EQ(p.image()[12639], '/');

    // At most 255 bytes, so that the field keeps a terminator; only characters GBK has.
    EXPECT_FALSE(certPathRefusal(std::string(255, 'a'), Language::Chinese));
    EXPECT_TRUE(certPathRefusal(std::string(256, 'a'), Language::English));
    // Counted in the record's bytes: 200 + 2 x 20 = 240 there, 260 in UTF-8.
    std::string chars;
    for (int i = 0; i < 10; ++i) chars += "用户";
    EXPECT_FALSE(certPathRefusal(std::string(200, 'a') + chars, Language::Chinese));
    EXPECT_TRUE(certPathRefusal(std::string(216, 'a') + chars, Language::Chinese));
    EXPECT_TRUE(certPathRefusal("/tmp/\xF0\x9F\x98\x80.crt", Language::English));  // an emoji
    EXPECT_FALSE(setCertPath(p, CertFile::Ca, std::string(256, 'a')));
    EXPECT_EQ(certPath(p, CertFile::Ca), chinese);

    // Bytes from a damaged file that are not GBK name no file.
    p.setText(f::clientKeyPath, hex("2F FF"));
    EXPECT_EQ(certPath(p, CertFile::ClientKey), "/\\xFF");
}

TEST(CertBlob, FilesAreJoinedBySeparatorsAndAbsentOnesLeaveOnlyTheSeparator) {
    const Bytes ca = pattern(1000, 1);
    const CertBlob only = buildCertBlob(ca, std::nullopt, std::nullopt);
    ASSERT_EQ(only.error, CertBlobError::None);
    EXPECT_EQ(only.bytes, cat(ca, hex("00 3B 00 3B")));

    const Bytes cert = pattern(300, 2), key = pattern(200, 3);
    const CertBlob all = buildCertBlob(ca, cert, key);
    EXPECT_EQ(all.bytes, cat(cat(cat(cat(ca, hex("00 3B")), cert), hex("00 3B")), key));
    // An empty client certificate counts as none.
    EXPECT_EQ(buildCertBlob(ca, Bytes{}, key).bytes, cat(cat(ca, hex("00 3B 00 3B")), key));
    // Each file gives at most 4096 bytes.
    const Bytes big = pattern(5000, 4);
    EXPECT_EQ(buildCertBlob(big, std::nullopt, std::nullopt).bytes,
              cat(Bytes(big.begin(), big.begin() + 4096), hex("00 3B 00 3B")));
}

TEST(CertBlob, MissingCaAndBlobsOverTheDevicesRoomAreRefused) {
    const CertBlob none = buildCertBlob(std::nullopt, pattern(10, 1), std::nullopt);
    EXPECT_EQ(none.error, CertBlobError::NoCa);
    EXPECT_EQ(certBlobErrorText(none, Language::Chinese), "CA文件是必需的，请导入！！！");
    EXPECT_EQ(buildCertBlob(Bytes{}, std::nullopt, std::nullopt).error, CertBlobError::NoCa);

    // 4096 + 2 + 4092 + 2 = 8192 fits exactly; one byte more does not.
    const CertBlob full = buildCertBlob(pattern(4096, 1), pattern(4092, 2), std::nullopt);
    EXPECT_EQ(full.error, CertBlobError::None);
    EXPECT_EQ(full.bytes.size(), 8192u);
    const CertBlob over = buildCertBlob(pattern(4000, 1), pattern(4000, 2), pattern(189, 3));
    EXPECT_EQ(over.error, CertBlobError::TooLarge);
    EXPECT_EQ(over.needed, 8193u);
    EXPECT_TRUE(over.bytes.empty());
    EXPECT_NE(certBlobErrorText(over, Language::English).find("8193"), std::string::npos);
    EXPECT_NE(certBlobErrorText(over, Language::Chinese).find("8193"), std::string::npos);
}

TEST(CertChunks, ThousandByteCaGoesOutInTwoChunksTheLastWithTheWriteCommand) {
    const Bytes ca = pattern(1000, 9);
    const Bytes blob = buildCertBlob(ca, std::nullopt, std::nullopt).bytes;
    ASSERT_EQ(blob.size(), 1004u);
    EXPECT_EQ(certChunkCount(blob.size()), 2u);

    const auto first = certChunkFrame(blob, 0);
    EXPECT_EQ(Bytes(first.begin(), first.begin() + 10), hex("88 3A 84 02 05 BB 02 02 00 00"));
    EXPECT_TRUE(std::equal(ca.begin(), ca.begin() + 512, first.begin() + 10));
    EXPECT_EQ(Bytes(first.end() - 2, first.end()), hex("45 2E"));

    const auto second = certChunkFrame(blob, 512);
    const Bytes expected =
        cat(cat(cat(cat(hex("88 3A 04 02 05 BB 02 02 02 00"), Bytes(ca.begin() + 512, ca.end())),
                    hex("00 3B 00 3B")),
                Bytes(20, 0)),
            hex("45 2E"));
    EXPECT_EQ(Bytes(second.begin(), second.end()), expected);

    // A blob of exactly one chunk is sent with the write command at once.
    EXPECT_EQ(certChunkCount(512), 1u);
    EXPECT_EQ(certChunkFrame(pattern(512, 1), 0)[2], CMD_WRITE);
    EXPECT_EQ(certChunkFrame(pattern(513, 1), 0)[2], CMD_WRITE_MORE);
}

struct World : CertEffects {
    test::FakeTimers<CertTimer> timers;
    std::vector<Bytes> writes;
    std::vector<std::string> status;
    std::pair<std::uint32_t, std::uint32_t> lastProgress{0, 0};
    std::vector<CertResult> results;
    std::function<void(const Bytes&)> device;

    void writeBytes(std::span<const std::uint8_t> b) override {
        writes.emplace_back(b.begin(), b.end());
        if (device) device(writes.back());
    }
    void startTimer(CertTimer t, int ms) override { timers.start(t, ms); }
    void stopTimer(CertTimer t) override { timers.stop(t); }
    void progress(std::uint32_t done, std::uint32_t total) override {
        lastProgress = {done, total};
    }
    void statusText(const std::string& text) override { status.push_back(text); }
    void finished(const CertResult& r) override { results.push_back(r); }
};

// The link's own answer handling stands between the device and the transfer: it raises the
// acknowledgement flag and stores the checksums in the record.
struct Link : LinkEffects {
    void writeBytes(std::span<const std::uint8_t>, bool) override {}
    void startTimer(LinkTimer, int) override {}
    void stopTimer(LinkTimer) override {}
    void appendLog(const std::string&) override {}
    void messageBox(const std::string&) override {}
    void configureLine(int) override {}
    void setCommandsEnabled(bool) override {}
    void setPortButtonEnabled(bool) override {}
    void paramsDecoded(const DecodeResult&) override {}
    void commandFinished(PendingCommand, bool) override {}
    void probeFound(int) override {}
};

const Bytes kChunkAck = hex("88 3A 84 00 02 BB 00 45 2E");

class Transfer : public ::testing::Test {
protected:
    World world;
    DeviceParams params;
    LiveState live;
    Link link;
    CommandFlow answers{link, params, live};
    CertTransfer transfer{world, params};
    std::vector<Bytes> pending;  // answers on their way back

    Transfer() { answers.setPortOpen(true, 9600); }
    void advance(int ms) {
        world.timers.advance(ms, [&](CertTimer t) {
            for (const Bytes& a : pending) answers.onBurst(a);
            pending.clear();
            transfer.onTimer(t);
        });
    }
    void ackEveryChunk() {
        world.device = [&](const Bytes& frame) {
            if (frame[5] == TAG_CERT_CHUNK) pending.push_back(kChunkAck);
        };
    }
};

TEST_F(Transfer, TheBlobSentStaysInTheRecord) {
    params.setBytes(f::certBlob, Bytes(8192, 0xEE));  // an earlier, longer blob
    const Bytes blob = buildCertBlob(pattern(1000, 9), std::nullopt, std::nullopt).bytes;
    ASSERT_TRUE(transfer.save(blob));
    EXPECT_EQ(test::toBytes(params.bytes(f::certBlob)), cat(blob, Bytes(8192 - blob.size(), 0)));
    // A refused blob leaves the kept one alone.
    EXPECT_FALSE(transfer.save(Bytes(10, 1)));
    EXPECT_EQ(test::toBytes(params.bytes(f::certBlob).first(blob.size())), blob);
}

TEST_F(Transfer, ChunksGoOutOneAtATimeAndTheSaveEndsWhenTheLastIsAcknowledged) {
    const Bytes blob = buildCertBlob(pattern(1000, 9), std::nullopt, std::nullopt).bytes;
    ackEveryChunk();
    ASSERT_TRUE(transfer.save(blob));
    EXPECT_FALSE(transfer.save(blob));
    EXPECT_TRUE(world.writes.empty());
    advance(50);
    ASSERT_EQ(world.writes.size(), 1u);
    EXPECT_EQ(Bytes(world.writes[0].begin(), world.writes[0].end()),
              test::toBytes(certChunkFrame(blob, 0)));
    EXPECT_EQ(world.status.back(), "1/2");
    EXPECT_EQ(world.timers.period(CertTimer::AckTimeout), 2000);
    advance(50);
    ASSERT_EQ(world.writes.size(), 2u);
    EXPECT_EQ(world.writes[1][2], CMD_WRITE);
    EXPECT_EQ(world.status.back(), "2/2");
    EXPECT_TRUE(world.results.empty());  // the last chunk is not yet acknowledged
    advance(50);
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_TRUE(world.results[0].ok);
    EXPECT_EQ(world.status.back(), "保存成功");
    EXPECT_EQ(world.lastProgress, (std::pair<std::uint32_t, std::uint32_t>{2, 2}));
    EXPECT_TRUE(world.timers.idle());
    EXPECT_FALSE(transfer.busy());
}

TEST_F(Transfer, AChunkWithoutAcknowledgementEndsTheSaveWithoutRepetition) {
    const Bytes blob = buildCertBlob(pattern(2000, 9), std::nullopt, std::nullopt).bytes;
    int acks = 1;  // only the first chunk is acknowledged
    world.device = [&](const Bytes&) {
        if (acks-- > 0) pending.push_back(kChunkAck);
    };
    ASSERT_TRUE(transfer.save(blob));
    advance(100);
    ASSERT_EQ(world.writes.size(), 2u);
    advance(1999);
    EXPECT_TRUE(world.results.empty());
    advance(1);
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_FALSE(world.results[0].ok);
    EXPECT_EQ(world.results[0].text, "保存超时");
    advance(10000);
    EXPECT_EQ(world.writes.size(), 2u);
    EXPECT_TRUE(world.timers.idle());

    // The last chunk unacknowledged is a failure too, never a success.
    world.results.clear();
    world.device = {};
    ASSERT_TRUE(transfer.save(pattern(100, 1)));
    advance(3000);
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_EQ(world.results[0].text, "保存超时");
}

TEST_F(Transfer, ChecksumsAreAskedForAndTakenOnceTheDeviceReportsThem) {
    params.set(f::certChecksums[0], 0x1111);
    world.device = [&](const Bytes&) {
        pending.push_back(hex("88 3A 83 00 0A BA 00 07 01 12 34 0A BC 00 00 45 2E"));
    };
    ASSERT_TRUE(transfer.readChecksums());
    ASSERT_EQ(world.writes.size(), 1u);
    EXPECT_EQ(world.writes[0], hex("88 3A 03 00 01 BA 45 2E"));
    EXPECT_EQ(params.get(f::certChecksums[0]), 0);  // cleared until the answer comes
    EXPECT_FALSE(transfer.save(pattern(10, 1)));
    advance(100);
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_TRUE(world.results[0].ok);
    EXPECT_TRUE(world.results[0].checksumRead);
    EXPECT_EQ(world.results[0].text, "读取成功");
    EXPECT_EQ(world.results[0].checksums, (std::array<std::uint16_t, 3>{0x1234, 0x0ABC, 0}));
    EXPECT_TRUE(world.timers.idle());
}

TEST_F(Transfer, NoChecksumsOrAZeroCaChecksumTimeOut) {
    for (const bool answered : {false, true}) {
        world.results.clear();
        world.device = [&](const Bytes&) {
            if (answered)
                pending.push_back(hex("88 3A 83 00 0A BA 00 07 00 00 00 12 34 56 78 45 2E"));
        };
        ASSERT_TRUE(transfer.readChecksums());
        advance(1999);
        EXPECT_TRUE(world.results.empty());
        advance(1);
        ASSERT_EQ(world.results.size(), 1u);
        EXPECT_FALSE(world.results[0].ok);
        EXPECT_EQ(world.results[0].text, "读取超时");
        EXPECT_TRUE(world.timers.idle());
    }
}

TEST_F(Transfer, AbortEndsASaveAndFreesTheTransfer) {
    ackEveryChunk();
    ASSERT_TRUE(transfer.save(pattern(3000, 1)));
    advance(50);
    transfer.abort("port gone");
    ASSERT_EQ(world.results.size(), 1u);
    EXPECT_FALSE(world.results[0].ok);
    EXPECT_TRUE(world.timers.idle());
    advance(1000);
    EXPECT_EQ(world.writes.size(), 1u);
    EXPECT_TRUE(transfer.readChecksums());
}

}  // namespace
}  // namespace dtu
