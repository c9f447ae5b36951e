#include "device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "link/frame.h"
#include "params/field_table.h"
#include "params/item_codec.h"
#include "support/bytes.h"
#include "support/random_params.h"

namespace dtu::sim {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::hex;
using test::toBytes;
namespace f = fields;

const LockPassword kPassword{'s', 'e', 'c', 'r', 'e', 't', '0', '1'};
const Bytes kProbe = hex("88 3A 03 00 01 FE 45 2E");

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes suffix(const LockPassword& pw) {
    return toBytes(lockSuffix(pw));
}

using test::savedField;

// A record with random content in every saved field, the table empty at times; unlocked, as
// locking is a test of its own.
DeviceParams randomSettings(std::mt19937& rng) {
    DeviceParams p = test::randomSavedRecord(rng, savedField, 0);
    p.set(f::dtuDataBits, 8);
    p.set(f::configLockFlag, 0);
    return p;
}

Bytes save(Device& d, const DeviceParams& p, Device::Time now = 0ms, const Lock& lock = {}) {
    const SaveFrame frame = buildSaveFrame(p, lock);
    EXPECT_EQ(frame.error, SaveFrameError::None);
    const auto answers = d.receive(frame.view(), now);
    return answers.size() == 1 ? answers[0] : Bytes{};
}

TEST(SimDevice, AnswersManagementCommandsWithTheirGoldenFrames) {
    Device d;
    EXPECT_EQ(d.receive(hex("88 3A 06 00 00 45 2E"), 0ms),
              std::vector<Bytes>{hex("88 3A 86 00 00 45 2E")});
    EXPECT_EQ(d.receive(hex("88 3A 05 00 00 45 2E"), 0ms),
              std::vector<Bytes>{hex("88 3A 85 00 00 45 2E")});
    EXPECT_EQ(d.receive(hex("88 3A 09 00 00 45 2E"), 0ms),
              std::vector<Bytes>{hex("88 3A 89 00 00 45 2E")});
    EXPECT_EQ(d.receive(hex("88 3A 84 00 05 B7 00 02 01 01 45 2E"), 0ms),
              std::vector<Bytes>{hex("88 3A 84 00 02 B7 00 45 2E")});
    EXPECT_EQ(d.receive(hex("88 3A 04 00 04 53 00 01 00 45 2E"), 0ms),
              std::vector<Bytes>{hex("88 3A 84 00 02 53 00 45 2E")});
    EXPECT_EQ(d.runState().counters, (std::array<std::uint32_t, 8>{}));

    // The probe answer is item 254 of exactly five bytes.
    const auto probe = d.receive(kProbe, 0ms);
    ASSERT_EQ(probe.size(), 1u);
    ASSERT_EQ(probe[0].size(), 15u);
    EXPECT_EQ(Bytes(probe[0].begin(), probe[0].begin() + 8), hex("88 3A 83 00 08 FE 00 05"));
    EXPECT_EQ(Bytes(probe[0].end() - 2, probe[0].end()), hex("45 2E"));
}

TEST(SimDevice, ReportsTheMqttStateItKeepsInEightBytes) {
    const Bytes request = hex("88 3A 03 00 01 B4 45 2E");
    Device d;
    // Without a state of its own it follows its settings: MQTT is off at the factory.
    EXPECT_EQ(d.receive(request, 0ms),
              std::vector<Bytes>{hex("88 3A 83 00 0B B4 00 08 00 00 00 00 00 00 00 00 45 2E")});
    d.setMqttState({1, 0, 2, 1, 7});
    EXPECT_EQ(d.receive(request, 0ms),
              std::vector<Bytes>{hex("88 3A 83 00 0B B4 00 08 01 00 02 01 07 00 00 00 45 2E")});
}

TEST(SimDevice, FactoryReadAnswerStartsWithTheDocumentedSerialItem) {
    Device d;
    const auto answers = d.receive(fullReadRequest(), 0ms);
    ASSERT_EQ(answers.size(), 1u);
    const Bytes& a = answers[0];
    // 9600 baud, no parity, 8 data bits, 1 stop bit, 20 ms packing.
    EXPECT_EQ(Bytes(a.begin(), a.begin() + 3), hex("88 3A 83"));
    EXPECT_EQ(Bytes(a.begin() + 5, a.begin() + 13), hex("01 00 05 04 01 08 01 14"));
    EXPECT_EQ(std::size_t(a[3]) << 8 | a[4], a.size() - kFrameOverhead);
}

TEST(SimDevice, StoresSavesAndReadsBackItsWholeImage) {
    std::mt19937 rng(4711);
    const auto fullTags = fullReadTags();
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Device d(round % 2 ? DeviceKind::Rtu : DeviceKind::Dtu);
        const DeviceParams source = randomSettings(rng);
        ASSERT_EQ(save(d, source), hex("88 3A 84 00 02 01 00 45 2E"));
        for (const auto& fi : recordLayout()) {
            if (!savedField(fi)) continue;
            if (fi.modbusRecord >= static_cast<int>(source.get(f::modbusItemCount))) continue;
            ASSERT_EQ(toBytes(d.image().image().subspan(fi.offset, fi.size)),
                      toBytes(source.image().subspan(fi.offset, fi.size)))
                << fi.name;
        }

        // A tool whose record holds stale values (a longer polling table among them) ends up
        // with the device's image in every field the full read carries.
        const auto answers = d.receive(fullReadRequest(), 1s);
        ASSERT_EQ(answers.size(), 1u);
        DeviceParams tool = randomSettings(rng);
        tool.set(f::modbusItemCount, 6);
        LiveState live;
        const auto result = decodeParamBlock(std::span(answers[0]).subspan(3), tool, live);
        EXPECT_TRUE(result.ignored.empty());
        EXPECT_FALSE(result.truncated);
        for (const auto& fi : recordLayout()) {
            if (fi.reserved ||
                std::find(fullTags.begin(), fullTags.end(), fi.tag) == fullTags.end())
                continue;
            if (fi.modbusRecord >= static_cast<int>(d.image().get(f::modbusItemCount))) continue;
            ASSERT_EQ(toBytes(tool.image().subspan(fi.offset, fi.size)),
                      toBytes(d.image().image().subspan(fi.offset, fi.size)))
                << fi.name;
        }
        EXPECT_EQ(live.simInserted, 1);
        EXPECT_EQ(live.netRegState, 1);
    }
}

TEST(SimDevice, SavesThatTheReadLayoutRejectsAreStoredAllTheSame) {
    Device d;
    DeviceParams p = d.image();
    p.set(f::modbusItemCount, 2);
    p.setText(f::modbusItem(0).jsonName, "k0");
    p.setText(f::modbusItem(1).jsonName, "k1");
    p.set(f::tlsMode, 2);
    save(d, p);
    EXPECT_EQ(d.image().get(f::modbusItemCount), 2);
    EXPECT_EQ(d.image().get(f::tlsMode), 2);  // item 186 of one byte

    p.set(f::modbusItemCount, 0);  // item 119 of the single count byte
    save(d, p);
    EXPECT_EQ(d.image().get(f::modbusItemCount), 0);

    // Read-only values riding on saved items stay the device's own: item 186 with checksums,
    // item 24 with a user code version.
    EXPECT_EQ(
        d.receive(hex("88 3A 04 00 0F BA 00 07 01 12 34 56 78 9A BC 18 00 02 01 63 45 2E"), 0ms)
            .size(),
        1u);
    EXPECT_EQ(d.image().get(f::tlsMode), 1);
    EXPECT_EQ(d.image().get(f::certChecksums[0]), 0);
    EXPECT_EQ(d.image().get(f::userCodeEnable), 1);
    EXPECT_EQ(d.image().get(f::userCodeVersion), 3);
}

TEST(SimDevice, ReassemblesARequestWrittenInPieces) {
    Device d;
    const Bytes request = fullReadRequest(kPassword);  // the stray suffix rides along
    const auto pieces = splitPieces(request);
    ASSERT_EQ(pieces.size(), 5u);
    std::vector<Bytes> answers;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const auto got = d.receive(pieces[i], Device::Time(i));
        EXPECT_EQ(got.size(), i == 3 ? 1u : 0u) << "piece " << i;
        answers.insert(answers.end(), got.begin(), got.end());
    }
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0][2], 0x83);
    // The suffix left nothing behind that would swallow the next request.
    EXPECT_EQ(d.receive(hex("88 3A 06 00 00 45 2E"), 10ms).size(), 1u);
}

TEST(SimDevice, StraySuffixOnAnUnlockedDeviceIsHarmless) {
    Device d;
    // Suffix in the same write, in a later write, and one that holds a frame head.
    EXPECT_EQ(d.receive(cat(fullReadRequest(), suffix(kPassword)), 0ms).size(), 1u);
    EXPECT_EQ(d.receive(kProbe, 1ms).size(), 1u);
    EXPECT_EQ(d.receive(fullReadRequest(), 2ms).size(), 1u);
    EXPECT_TRUE(d.receive(suffix(kPassword), 3ms).empty());
    const LockPassword odd{0x41, 0x88, 0x3A, 0x06, 0x00, 0x00, 0x45, 0x2E};
    EXPECT_EQ(d.receive(cat(fullReadRequest(), suffix(odd)), 4ms).size(), 1u);
    const auto after = d.receive(kProbe, 5ms);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0][2], 0x83);
    EXPECT_FALSE(d.locked());
}

TEST(SimDevice, LockedDeviceAnswersSettingsOnlyWithTheRightSuffix) {
    Device d(DeviceKind::Dtu, 9600);
    d.lock(kPassword);
    ASSERT_TRUE(d.locked());

    // Without a suffix: silent, also once the wait for it is over.
    EXPECT_TRUE(d.receive(fullReadRequest(), 0ms).empty());
    ASSERT_TRUE(d.nextDeadline().has_value());
    EXPECT_TRUE(d.advance(*d.nextDeadline()).empty());
    // A wrong password: silent.
    const LockPassword wrong{'s', 'e', 'c', 'r', 'e', 't', '0', '2'};
    EXPECT_TRUE(d.receive(fullReadRequest(wrong), 1s).empty());
    // The right one, also when it arrives in a write of its own.
    EXPECT_EQ(d.receive(fullReadRequest(kPassword), 2s).size(), 1u);
    EXPECT_TRUE(d.receive(fullReadRequest(), 3s).empty());
    EXPECT_EQ(d.receive(suffix(kPassword), 3s + 5ms).size(), 1u);

    // Status reads never need it, and a request without suffix does not swallow the next one.
    EXPECT_EQ(d.receive(kProbe, 4s).size(), 1u);
    EXPECT_EQ(d.receive(hex("88 3A 03 00 03 B0 B1 FF 45 2E"), 4s).size(), 1u);
    EXPECT_EQ(d.receive(cat(fullReadRequest(), kProbe), 5s).size(), 1u);

    // Saves likewise; the factory reset needs nothing and unlocks.
    DeviceParams p = d.image();
    p.set(f::serverAPort, 7001);
    EXPECT_TRUE(save(d, p, 6s).empty());
    d.advance(7s);
    EXPECT_EQ(d.image().get(f::serverAPort), 6000);
    EXPECT_FALSE(save(d, p, 8s, kPassword).empty());
    EXPECT_EQ(d.image().get(f::serverAPort), 7001);
    EXPECT_EQ(d.receive(hex("88 3A 05 00 00 45 2E"), 9s).size(), 1u);
    EXPECT_FALSE(d.locked());
    EXPECT_EQ(d.image(), factoryImage(DeviceKind::Dtu));
}

TEST(SimDevice, AnImeiOfItsOwnSurvivesTheFactoryReset) {
    Device d;
    d.setImei("861234050000011");
    EXPECT_EQ(d.image().textView(f::imei), "861234050000011");
    DeviceParams p = d.image();
    p.set(f::serverAPort, 7001);
    EXPECT_FALSE(save(d, p).empty());
    EXPECT_EQ(d.receive(hex("88 3A 05 00 00 45 2E"), 1s).size(), 1u);
    EXPECT_EQ(d.image().get(f::serverAPort), 6000);
    EXPECT_EQ(d.image().textView(f::imei), "861234050000011");
}

TEST(SimDevice, SavingTheLockFlagLocksWithTheSavedPassword) {
    Device d;
    DeviceParams p = d.image();
    p.set(f::configLockFlag, 0x78);
    p.setText(f::configLockPassword, kPassword);
    EXPECT_FALSE(save(d, p).empty());
    EXPECT_TRUE(d.locked());
    EXPECT_TRUE(d.receive(fullReadRequest(), 1s).empty());
    d.advance(2s);
    EXPECT_EQ(d.receive(fullReadRequest(kPassword), 3s).size(), 1u);
}

TEST(SimDevice, IgnoresGarbageAndUnknownCommands) {
    Device d;
    EXPECT_TRUE(d.receive(hex("00 11 22 88 3A 0A 00 00 45 2E"), 0ms).empty());        // unknown
    EXPECT_TRUE(d.receive(hex("88 3A 06 00 00 45 2F"), 0ms).empty());                 // bad tail
    EXPECT_TRUE(d.receive(hex("88 3A 07 00 01 0E 45 2E"), 0ms).empty());              // firmware
    EXPECT_TRUE(d.receive(hex("88 3A 84 00 05 BB 00 02 01 02 45 2E"), 0ms).empty());  // cert
    // A length no request has: dropped at once, the next frame is found.
    EXPECT_EQ(d.receive(cat(hex("88 3A 03 FF FF 01"), kProbe), 0ms).size(), 1u);
    // A request that stops half way is given up, then the next one is answered.
    EXPECT_TRUE(d.receive(hex("88 3A 03 00 40 01 02"), 1s).empty());
    EXPECT_TRUE(d.advance(1s + kStaleRequest).empty());
    EXPECT_EQ(d.receive(kProbe, 3s).size(), 1u);
}

TEST(SimDevice, RtuLiveRelaysFollowTheRelayCommand) {
    Device d(DeviceKind::Rtu);
    EXPECT_EQ(d.image().get(f::deviceKind), 2);
    EXPECT_EQ(d.receive(hex("88 3A 84 00 0B 51 00 08 01 00 01 03 02 03 03 01 45 2E"), 0ms),
              std::vector<Bytes>{hex("88 3A 84 00 02 51 00 45 2E")});
    const auto answers = d.receive(hex("88 3A 03 00 01 51 45 2E"), 0ms);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], hex("88 3A 83 00 0B 51 00 08 01 00 01 00 00 00 00 01 45 2E"));
}

}  // namespace
}  // namespace dtu::sim
