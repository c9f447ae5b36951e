#include "production/provisioning.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "params/item_codec.h"
#include "params/read_back.h"
#include "support/random_params.h"

namespace dtu {
namespace {

namespace f = fields;
using S = ProvisionStep;

// A device as a read reports it.
DeviceParams device(const char* imei = "861234050123457") {
    DeviceParams p;
    p.setText(f::imei, imei);
    p.setText(f::iccid, "89860023123456789012");
    p.setText(f::deviceModel, "DTU-4G-C1");
    p.setText(f::firmwareVersion, "V24061");
    const std::uint8_t mac[] = {0x02, 0x4a, 0x7c, 0x31, 0x9e, 0x05};
    p.setBytes(f::macAddress, mac);
    p.setText(f::serverAHost, "factory.example");
    p.set(f::serverAPort, 6000);
    return p;
}

std::vector<FieldAssignment> row(std::initializer_list<std::pair<const char*, const char*>> cells) {
    std::vector<FieldAssignment> out;
    for (const auto& [name, text] : cells) {
        const FieldInfo* field = findField(name);
        EXPECT_NE(field, nullptr) << name;
        out.push_back({field, fieldValueFromText(*field, text)});
    }
    return out;
}

// What a device that stores a save as sent gives back: the save's items decoded onto its own
// record.
DeviceParams storedAsSent(const DeviceParams& saved, DeviceParams device) {
    const SaveFrame frame = buildSaveFrame(saved);
    EXPECT_EQ(frame.error, SaveFrameError::None);
    LiveState live;
    decodeParamBlock(frame.view().subspan(3, frame.size - 5), device, live);
    // Item 186 is saved as the TLS mode alone, a layout the read does not take.
    device.set(f::tlsMode, saved.get(f::tlsMode));
    return device;
}

// Drives the machine as a device that does everything asked, recording the steps it runs.
std::vector<S> runThrough(Provisioning& p, const DeviceParams& dev) {
    std::vector<S> steps;
    for (int guard = 0; guard < 20 && p.result() == ProvisionResult::Running; ++guard) {
        const S s = p.step();
        steps.push_back(s);
        switch (s) {
            case S::Read:
            case S::Reread:
                p.succeed(dev);
                break;
            case S::ReadBack:
                p.succeed(storedAsSent(p.record(), dev));
                break;
            case S::Match:
                p.assignRow({});
                break;
            default:
                p.succeed();
        }
    }
    return steps;
}

TEST(Provisioning, RunsTheStepsItsOptionsAskForInOrder) {
    {
        Provisioning p({}, std::nullopt);
        EXPECT_EQ(runThrough(p, device()), (std::vector{S::Open, S::Read, S::Save, S::ReadBack}));
        EXPECT_EQ(p.result(), ProvisionResult::Succeeded);
        EXPECT_TRUE(p.saved());
    }
    {
        ProvisionOptions all;
        all.probe = all.matchByImei = all.firmware = all.certs = true;
        Provisioning p(all, std::nullopt);
        EXPECT_EQ(runThrough(p, device()),
                  (std::vector{S::Open, S::Probe, S::Read, S::Match, S::Firmware, S::Reread,
                               S::Save, S::Certs, S::ReadBack}));
        EXPECT_EQ(p.result(), ProvisionResult::Succeeded);
    }
}

TEST(Provisioning, SavesTheBaseOrTheDevicesValuesWithTheRow) {
    Provisioning own({}, std::nullopt, row({{"serverAPort", "7001"}}));
    runThrough(own, device());
    EXPECT_EQ(own.record().get(f::serverAPort), 7001);
    EXPECT_EQ(own.record().textView(f::serverAHost), "factory.example");  // the device's own

    DeviceParams base;
    base.setText(f::serverAHost, "base.example");
    base.set(f::serverAPort, 5000);
    base.set(f::heartbeatInterval, 30);
    Provisioning withBase({}, base, row({{"serverAPort", "7002"}}));
    runThrough(withBase, device());
    EXPECT_EQ(withBase.record().get(f::serverAPort), 7002);
    EXPECT_EQ(withBase.record().textView(f::serverAHost), "base.example");
    EXPECT_EQ(withBase.record().get(f::heartbeatInterval), 30u);
    // The identity is what the device said, whatever the base carries.
    EXPECT_EQ(withBase.identity().imei, "861234050123457");
    EXPECT_EQ(withBase.identity().mac, "024a7c319e05");
    EXPECT_EQ(withBase.identity().model, "DTU-4G-C1");
}

TEST(Provisioning, AFailedStepEndsTheDeviceThereWithItsReason) {
    Provisioning p({}, std::nullopt);
    p.succeed();  // open
    p.succeed(device());
    ASSERT_EQ(p.step(), S::Save);
    p.fail("串口异常，已关闭：hang-up");
    EXPECT_EQ(p.result(), ProvisionResult::Failed);
    EXPECT_EQ(p.failedStep(), S::Save);
    EXPECT_EQ(p.reason(), "串口异常，已关闭：hang-up");
    EXPECT_FALSE(p.saved());
    // Nothing moves it on any more.
    p.succeed();
    p.succeed(device());
    EXPECT_EQ(p.step(), S::Done);
    EXPECT_EQ(p.failedStep(), S::Save);
}

TEST(Provisioning, AnInterruptEndsTheDeviceAtTheStepItDidNotFinish) {
    Provisioning p({}, std::nullopt);
    p.succeed();  // open
    p.succeed(device());
    p.succeed();  // the save was acknowledged: the read back is the step not done
    p.interrupt("SIGINT: stopped before this step");
    EXPECT_EQ(p.result(), ProvisionResult::Interrupted);
    EXPECT_EQ(p.failedStep(), S::ReadBack);
    EXPECT_TRUE(p.saved());
    EXPECT_EQ(provisionResultName(p.result()), "interrupted");
    // An answer that comes late changes nothing.
    p.succeed(device());
    EXPECT_EQ(p.result(), ProvisionResult::Interrupted);
    EXPECT_EQ(provisionResultFromName("interrupted"), ProvisionResult::Interrupted);
    EXPECT_EQ(provisionResultFromName("skipped"), std::nullopt);
}

TEST(Provisioning, TheReadAfterTheFirmwareWaitsForTheRestartingDevice) {
    ProvisionOptions o;
    o.firmware = true;
    Provisioning p(o, std::nullopt);
    p.succeed();
    p.succeed(device());
    p.succeed();  // firmware
    ASSERT_EQ(p.step(), S::Reread);
    for (int i = 1; i < kRereadAttempts; ++i) {
        p.fail("获取参数失败");
        EXPECT_EQ(p.result(), ProvisionResult::Running);
        EXPECT_EQ(p.attempt(), i + 1);
    }
    DeviceParams upgraded = device();
    upgraded.setText(f::firmwareVersion, "V25010");
    p.succeed(upgraded);
    EXPECT_EQ(p.step(), S::Save);
    EXPECT_EQ(p.attempt(), 1);
    EXPECT_EQ(p.identity().firmwareVersion, "V25010");

    Provisioning gone(o, std::nullopt);
    gone.succeed();
    gone.succeed(device());
    gone.succeed();
    for (int i = 0; i < kRereadAttempts; ++i) gone.fail("获取参数失败");
    EXPECT_EQ(gone.result(), ProvisionResult::Failed);
    EXPECT_EQ(gone.failedStep(), S::Reread);
    // A first read gets no second chance.
    Provisioning once({}, std::nullopt);
    once.succeed();
    once.fail("获取参数失败");
    EXPECT_EQ(once.failedStep(), S::Read);
}

TEST(Provisioning, TheMatchGivesTheRowOrLeavesTheDeviceAlone) {
    ProvisionOptions o;
    o.matchByImei = true;
    Provisioning p(o, std::nullopt);
    p.succeed();
    p.succeed(device("861234050123465"));
    ASSERT_EQ(p.step(), S::Match);
    EXPECT_EQ(p.identity().imei, "861234050123465");
    p.assignRow(row({{"serverAPort", "7005"}}));
    EXPECT_EQ(p.step(), S::Save);
    EXPECT_EQ(p.record().get(f::serverAPort), 7005);

    Provisioning stranger(o, std::nullopt);
    stranger.succeed();
    stranger.succeed(device());
    stranger.skip("IMEI 861234050123457 is not in the plan");
    EXPECT_EQ(stranger.result(), ProvisionResult::Skipped);
    EXPECT_FALSE(stranger.saved());
}

TEST(Provisioning, ARecordTheSaveWouldRefuseFailsAtTheSaveBeforeAnythingIsSent) {
    DeviceParams dev = device();
    // A text filling its field: a read gives it back with no room for the terminator.
    dev.setText(f::serverAHost, std::string(64, 'h'));
    Provisioning p(ProvisionOptions{.lang = Language::English}, std::nullopt);
    p.succeed();
    p.succeed(dev);
    EXPECT_EQ(p.result(), ProvisionResult::Failed);
    EXPECT_EQ(p.failedStep(), S::Save);
    EXPECT_NE(p.reason().find("serverAHost"), std::string::npos) << p.reason();
}

TEST(Provisioning, AReadBackThatDiffersFailsTheVerificationNamingTheFields) {
    Provisioning p({}, std::nullopt,
                   row({{"serverAPort", "7001"}, {"serverAHost", "new.example"}}));
    p.succeed();
    p.succeed(device());
    p.succeed();  // save
    DeviceParams back = p.record();
    back.set(f::serverAPort, 6000);  // the device kept its old port
    p.succeed(back);
    EXPECT_EQ(p.result(), ProvisionResult::Failed);
    EXPECT_EQ(p.failedStep(), S::Verify);
    ASSERT_EQ(p.mismatches().size(), 1u);
    EXPECT_EQ(p.mismatches()[0].field->name, "serverAPort");
    EXPECT_EQ(p.reason(), "read back otherwise: serverAPort saved 7001, read back 6000");
}

TEST(ReadBack, ComparesOnlyWhatTheSaveCarries) {
    std::mt19937 rng(17);
    for (int round = 0; round < 20; ++round) {
        const DeviceParams saved = test::randomSavedRecord(rng, test::savedField, 0);
        // The device's own values, noise past the texts' terminators and in the high half of
        // numbers sent as 16 bits: none of it is the device's to keep.
        DeviceParams noisy = saved;
        noisy.set(f::userCodeVersion, 99);
        noisy.set(f::certChecksums[0], 0x1234);
        noisy.set(f::heartbeatInterval, saved.get(f::heartbeatInterval) | 0x10000);
        auto host = noisy.bytes(BytesField{f::serverAHost.offset, f::serverAHost.size});
        host[63] = 'x';
        const DeviceParams back = storedAsSent(noisy, device());
        EXPECT_TRUE(compareReadBack(noisy, back).empty()) << "round " << round;

        // A saved value the device did not keep is named, alone.
        DeviceParams changed = back;
        changed.set(f::mqttKeepAlive, static_cast<std::uint16_t>(saved.get(f::mqttKeepAlive) + 1));
        const auto m = compareReadBack(noisy, changed);
        ASSERT_EQ(m.size(), 1u);
        EXPECT_EQ(m[0].field->name, "mqttKeepAlive");
    }
}

TEST(ReadBack, ACountedPacketDiffersOnlyWithinItsCount) {
    DeviceParams saved;
    const std::uint8_t data[] = {1, 2, 3};
    saved.set(f::heartbeatLength, 3);
    saved.setBytes(f::heartbeatData, data);
    DeviceParams back = saved;
    back.bytes(f::heartbeatData)[10] = 0xEE;  // past the count: not sent, not compared
    EXPECT_TRUE(compareReadBack(saved, back).empty());
    back.bytes(f::heartbeatData)[1] = 0xEE;
    const auto m = compareReadBack(saved, back);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].field->name, "heartbeatData");
}

}  // namespace
}  // namespace dtu
