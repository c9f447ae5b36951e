#include "link/relay_test.h"

#include <gtest/gtest.h>

#include "../transfer/fake_clock.h"
#include "support/bytes.h"

namespace dtu {
namespace {

using test::Bytes;
using test::hex;

// The relay dialog's test switch on a clock that only moves when told to.
class RelaySwitchFlow : public ::testing::Test, public RelayTestEffects {
protected:
    void writeBytes(std::span<const std::uint8_t> bytes) override {
        written.emplace_back(bytes.begin(), bytes.end());
    }
    void startTimer(int ms) override { timers.start(0, ms); }
    void stopTimer() override { timers.stop(0); }
    void setSwitchEnabled(bool enabled) override { switchEnabled = enabled; }
    void showClosed(bool closed) override { faceClosed = closed; }

    void advance(int ms) {
        timers.advance(ms, [&](int) { test.onTimer(); });
    }

    RelayTest test{*this};
    test::FakeTimers<int> timers;
    std::vector<Bytes> written;
    bool switchEnabled = true;
    bool faceClosed = false;
};

const Bytes kClose = hex("88 3A 84 00 0B 51 00 08 01 02 02 02 02 02 02 02 45 2E");
const Bytes kOpen = hex("88 3A 84 00 0B 51 00 08 00 02 02 02 02 02 02 02 45 2E");

TEST_F(RelaySwitchFlow, ClicksCloseThenOpenAndHoldTheSwitchFor200Ms) {
    EXPECT_FALSE(test.closed());  // the face starts open, whatever the relay is
    test.click(true);
    EXPECT_EQ(written, std::vector<Bytes>{kClose});
    EXPECT_TRUE(faceClosed);
    EXPECT_FALSE(switchEnabled);
    EXPECT_EQ(timers.period(0), 200);

    // Held: a click now does nothing.
    advance(199);
    test.click(true);
    EXPECT_EQ(written.size(), 1u);
    EXPECT_TRUE(faceClosed);

    advance(1);
    EXPECT_TRUE(switchEnabled);
    EXPECT_TRUE(timers.idle());  // one shot

    test.click(true);
    EXPECT_EQ(written, (std::vector<Bytes>{kClose, kOpen}));
    EXPECT_FALSE(faceClosed);
    EXPECT_FALSE(switchEnabled);
    advance(200);
    EXPECT_TRUE(switchEnabled);
}

TEST_F(RelaySwitchFlow, ClosedPortSendsNothingButTheFaceStillFlips) {
    test.click(false);
    EXPECT_TRUE(written.empty());
    EXPECT_TRUE(faceClosed);
    EXPECT_FALSE(switchEnabled);
    advance(200);
    EXPECT_TRUE(switchEnabled);

    // The next click with the port open sends what the face now says: open.
    test.click(true);
    EXPECT_EQ(written, std::vector<Bytes>{kOpen});
    EXPECT_FALSE(faceClosed);
}

}  // namespace
}  // namespace dtu
