#include <gtest/gtest.h>

#include "device.h"
#include "link/frame.h"
#include "params/item_codec.h"
#include "support/bytes.h"

namespace dtu::sim {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::hex;
using test::toBytes;

// The device's answer to the I/O poll at `now`, as the tool's answer handling takes it.
LiveState poll(Device& d, Device::Time now) {
    const auto answers = d.receive(ioPollRequest(), now);
    LiveState live;
    EXPECT_EQ(answers.size(), 1u);
    if (answers.size() != 1) return live;
    const Bytes& a = answers[0];
    EXPECT_EQ(a[2], 0x83);
    DeviceParams scratch;
    const DecodeResult r = decodeParamBlock(std::span(a).subspan(3, a.size() - 5), scratch, live);
    EXPECT_EQ(r.applied, 4);
    EXPECT_TRUE(live.liveInputsFresh && live.liveRelaysFresh && live.liveAnalogFresh &&
                live.liveCountersFresh);
    return live;
}

std::array<std::uint8_t, 8> inputs(const LiveState& live) {
    std::array<std::uint8_t, 8> x{};
    std::copy_n(live.liveInputs.begin(), 8, x.begin());
    return x;
}

TEST(SimRtu, InputsChangeInTheirPatternAndCountersCountRisingEdges) {
    Device d(DeviceKind::Rtu);
    LiveState at0 = poll(d, 0ms);
    EXPECT_EQ(inputs(at0), (std::array<std::uint8_t, 8>{1, 0, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(at0.liveCounters[0], 15u);

    // X1 holds each state 1.5 s, X2 3 s, X3 4.5 s.
    LiveState at1500 = poll(d, 1500ms);
    EXPECT_EQ(inputs(at1500), (std::array<std::uint8_t, 8>{0, 0, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(at1500.liveCounters[0], 15u);  // a falling edge
    LiveState at3000 = poll(d, 3000ms);
    EXPECT_EQ(inputs(at3000), (std::array<std::uint8_t, 8>{1, 1, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(at3000.liveCounters[0], 16u);
    EXPECT_EQ(at3000.liveCounters[1], 1u);
    EXPECT_EQ(at3000.liveCounters[2], 3u);

    // However often it is asked, the counts are those of the pattern.
    Device once(DeviceKind::Rtu);
    for (int t = 0; t < 60000; t += 700) poll(d, std::chrono::milliseconds(t));
    const LiveState a = poll(d, 60000ms);
    const LiveState b = poll(once, 60000ms);
    EXPECT_EQ(a.liveCounters, b.liveCounters);
    // X8 (12 s) rose at 12, 36 and 60 s; X1 twenty times in the minute.
    EXPECT_EQ(b.liveCounters[7], 3u);
    EXPECT_EQ(b.liveCounters[0], 15u + 20u);
}

TEST(SimRtu, ClearingTheCountersIsAcknowledgedAndCountingGoesOn) {
    Device d(DeviceKind::Rtu);
    EXPECT_EQ(d.receive(clearCountersRequest(), 3100ms),
              std::vector<Bytes>{hex("88 3A 84 00 02 53 00 45 2E")});
    EXPECT_EQ(poll(d, 3100ms).liveCounters, (std::array<std::uint32_t, 8>{}));
    EXPECT_EQ(poll(d, 4500ms).liveCounters[0], 0u);  // X1 fell
    EXPECT_EQ(poll(d, 6000ms).liveCounters[0], 1u);
}

TEST(SimRtu, AnalogueWordsSweepAndCalibrationIsAcknowledged) {
    Device d(DeviceKind::Rtu);
    const LiveState start = poll(d, 0ms);
    EXPECT_EQ(start.liveAnalog[1], 0u);
    // Half way through the sweep input 1 is at full scale: 3864 reads as 5.000 V.
    const LiveState top = poll(d, 10000ms);
    EXPECT_EQ(top.liveAnalog[0], 4095u);
    EXPECT_EQ(top.liveAnalog[1], 3864u);
    EXPECT_LT(top.liveAnalog[3], top.liveAnalog[1]);  // input 2 sweeps three times slower
    EXPECT_EQ(top.liveAnalog[4], 10000u);

    // A malformed calibration is not answered; the right one is, with new coefficients.
    EXPECT_TRUE(d.receive(hex("88 3A 84 00 05 B7 00 02 01 02 45 2E"), 10000ms).empty());
    EXPECT_EQ(d.receive(calibrationRequest(), 10000ms),
              std::vector<Bytes>{hex("88 3A 84 00 02 B7 00 45 2E")});
    const LiveState after = poll(d, 10000ms);
    EXPECT_NE(after.liveAnalog[4], 10000u);
    EXPECT_NE(after.liveAnalog[5], 10000u);
}

TEST(SimRtu, RelaysFollowThePanelFrameAndTheSingleRelayTestFrame) {
    // Every relay frame is acknowledged as a write of item 81, and logged.
    const Bytes ack = hex("88 3A 84 00 02 51 00 45 2E");
    for (DeviceKind kind : {DeviceKind::Rtu, DeviceKind::Dtu}) {
        Device d(kind);
        EXPECT_EQ(d.receive(relayControlRequest({3, 3, 1, 3, 3, 3, 3, 1}), 0ms),
                  std::vector<Bytes>{ack});
        // The test frame of a device with a single relay: Y1 closes, 2 leaves the others.
        EXPECT_EQ(d.receive(hex("88 3A 84 00 0B 51 00 08 01 02 02 02 02 02 02 02 45 2E"), 0ms),
                  std::vector<Bytes>{ack});
        EXPECT_EQ(d.takeLog(), (std::vector<std::string>{"relays Y1-Y8: 0 0 1 0 0 0 0 1",
                                                         "relays Y1-Y8: 1 0 1 0 0 0 0 1"}));
        EXPECT_TRUE(d.takeLog().empty());
        const LiveState closed = poll(d, 0ms);
        EXPECT_EQ(closed.liveRelays[0], 1);
        EXPECT_EQ(closed.liveRelays[2], 1);
        EXPECT_EQ(closed.liveRelays[7], 1);
        EXPECT_EQ(closed.liveRelays[1], 0);
        d.receive(hex("88 3A 84 00 0B 51 00 08 00 02 02 02 02 02 02 02 45 2E"), 0ms);
        const LiveState opened = poll(d, 0ms);
        EXPECT_EQ(opened.liveRelays[0], 0);
        EXPECT_EQ(opened.liveRelays[2], 1);
    }
}

}  // namespace
}  // namespace dtu::sim
