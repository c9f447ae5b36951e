#include "rtu/rtu_panel.h"

#include <gtest/gtest.h>

#include <map>

#include "link/frame.h"
#include "support/bytes.h"

namespace dtu {
namespace {

using test::Bytes;
using test::hex;
using test::toBytes;

// The panel's surroundings with a fake clock: frames sent with their time, messages, and the
// running timers with their periods.
struct World : RtuPanelEffects {
    struct Sent {
        int at;
        Bytes bytes;
    };
    struct Running {
        int due;
        int period;
    };
    std::vector<Sent> sent;
    std::vector<std::pair<int, std::string>> messages;
    std::map<RtuTimer, Running> timers;
    int now = 0;
    int viewChanges = 0;

    void sendFrame(std::span<const std::uint8_t> frame) override {
        sent.push_back({now, toBytes(frame)});
    }
    void startTimer(RtuTimer t, int ms) override { timers[t] = {now + ms, ms}; }
    void stopTimer(RtuTimer t) override { timers.erase(t); }
    void viewChanged() override { ++viewChanges; }
    void message(FormLabel text) override { messages.emplace_back(now, text.chinese); }

    // Runs the clock to `until`, firing due timers in time order; a timer that is not stopped
    // or restarted by its handler comes round again after its period. `at` runs once the clock
    // reaches it (a device answer, a user action).
    void runTo(int until, RtuPanel& panel) {
        while (!timers.empty()) {
            auto next = timers.begin();
            for (auto it = timers.begin(); it != timers.end(); ++it)
                if (it->second.due < next->second.due) next = it;
            if (next->second.due > until) break;
            now = next->second.due;
            const RtuTimer t = next->first;
            next->second.due += next->second.period;  // repeats unless restarted or stopped
            panel.onTimer(t);
        }
        now = until;
    }

    std::vector<int> sendTimes(const Bytes& frame) const {
        std::vector<int> times;
        for (const auto& s : sent)
            if (s.bytes == frame) times.push_back(s.at);
        return times;
    }
};

const Bytes kPoll = hex("88 3A 03 00 04 50 51 52 53 45 2E");
const Bytes kClear = hex("88 3A 04 00 04 53 00 01 00 45 2E");
const Bytes kCalibrate = hex("88 3A 84 00 05 B7 00 02 01 01 45 2E");

class Panel : public ::testing::Test {
protected:
    World world;
    LiveState live;
    RtuPanelMemory memory;
    RtuPanel panel{world, live, memory};

    void SetUp() override {
        panel.open();
        world.sent.clear();  // the opening's poll
    }
    void runTo(int ms) { world.runTo(ms, panel); }
    // A poll answer as the session's answer handling leaves it.
    void answerPoll(std::array<std::uint8_t, 8> inputs, std::array<std::uint8_t, 8> relays) {
        std::copy(inputs.begin(), inputs.end(), live.liveInputs.begin());
        std::copy(relays.begin(), relays.end(), live.liveRelays.begin());
        live.liveInputsFresh = live.liveRelaysFresh = true;
    }
};

TEST_F(Panel, AutoRefreshPollsAfter100MsThenEverySecondUntilUnticked) {
    runTo(5000);
    EXPECT_TRUE(world.sent.empty());  // after the opening's, nothing before auto refresh

    panel.setAutoRefresh(true);
    runTo(8200);
    EXPECT_EQ(world.sendTimes(kPoll), (std::vector<int>{5100, 6100, 7100, 8100}));

    panel.setAutoRefresh(false);
    runTo(20000);
    EXPECT_EQ(world.sendTimes(kPoll).size(), 4u);
}

TEST_F(Panel, EachOpeningPollsOnceAndTakesTheRelaysOfTheNextAnswerNotOfAnOlderOne) {
    answerPoll({}, {0, 1, 0, 0, 0, 0, 0, 0});
    runTo(30);
    EXPECT_TRUE(panel.view().relayClosed[1]);
    panel.clickRelay(1);
    runTo(2000);
    EXPECT_FALSE(panel.view().relayClosed[1]);
    panel.close();

    answerPoll({}, {1, 0, 0, 0, 0, 0, 0, 0});  // an answer from before the next opening
    panel.open();
    EXPECT_EQ(world.sendTimes(kPoll), std::vector<int>{2000});
    runTo(2030);
    EXPECT_FALSE(panel.view().relayClosed[0]);
    answerPoll({}, {0, 0, 1, 0, 0, 0, 0, 0});
    runTo(2060);
    EXPECT_EQ(panel.view().relayClosed,
              (std::array<bool, 8>{false, false, true, false, false, false, false, false}));
}

TEST_F(Panel, RelayClickSendsAfterItsPausesAndHoldsThePollBack) {
    panel.setAutoRefresh(true);
    runTo(100);  // first poll
    runTo(400);
    panel.clickRelay(2);
    // The picture turns at once; the button waits until the frame is out.
    EXPECT_TRUE(panel.view().relayClosed[2]);
    EXPECT_FALSE(panel.view().relayEnabled[2]);
    EXPECT_TRUE(panel.busy());

    runTo(499);
    EXPECT_EQ(world.sent.size(), 1u);
    runTo(500);
    const Bytes closeY3 = hex("88 3A 84 00 0B 51 00 08 03 03 01 03 03 03 03 03 45 2E");
    EXPECT_EQ(world.sendTimes(closeY3), std::vector<int>{500});
    EXPECT_FALSE(panel.view().relayEnabled[2]);
    runTo(530);
    EXPECT_TRUE(panel.view().relayEnabled[2]);
    EXPECT_FALSE(panel.busy());

    // The poll that was due at 1100 waits three seconds after the frame.
    runTo(3600);
    EXPECT_EQ(world.sendTimes(kPoll), (std::vector<int>{100, 3500}));

    panel.clickRelay(2);  // shows closed: this click opens
    runTo(4000);
    EXPECT_FALSE(panel.view().relayClosed[2]);
    EXPECT_EQ(world.sent.back().bytes,
              hex("88 3A 84 00 0B 51 00 08 03 03 00 03 03 03 03 03 45 2E"));
}

TEST_F(Panel, ClicksDuringAClickAreTakenInOrderAfterIt) {
    panel.clickRelay(0);
    runTo(50);
    panel.clickRelay(1);
    panel.clearCounters();
    EXPECT_TRUE(panel.view().relayEnabled[1]);  // not yet taken
    runTo(1000);
    ASSERT_EQ(world.sent.size(), 3u);
    EXPECT_EQ(world.sent[0].bytes, toBytes(relaySwitchRequest(0, true)));
    EXPECT_EQ(world.sent[0].at, 100);
    EXPECT_EQ(world.sent[1].bytes, toBytes(relaySwitchRequest(1, true)));
    EXPECT_EQ(world.sent[1].at, 230);
    EXPECT_EQ(world.sent[2].bytes, kClear);
    EXPECT_EQ(world.sent[2].at, 260);
}

TEST_F(Panel, RelayPicturesFollowTheDeviceOnceAfterAutoRefreshIsTicked) {
    answerPoll({}, {1, 1, 1, 0, 0, 0, 0, 0});
    runTo(30);
    // The first answer after start sets the pictures, later ones do not.
    EXPECT_TRUE(panel.view().relayClosed[0]);
    EXPECT_TRUE(panel.view().relayClosed[2]);
    EXPECT_FALSE(panel.view().relayClosed[3]);
    answerPoll({}, {0, 0, 0, 0, 0, 0, 0, 0});
    runTo(60);
    EXPECT_TRUE(panel.view().relayClosed[0]);

    panel.setAutoRefresh(true);
    answerPoll({}, {0, 2, 0, 0, 0, 0, 0, 0});
    runTo(90);
    EXPECT_FALSE(panel.view().relayClosed[0]);
    EXPECT_TRUE(panel.view().relayClosed[1]);  // 2 is no state: the picture stays
}

TEST_F(Panel, AnAnswerArrivingBetweenAClicksStepsDoesNotTurnThePictureBack) {
    panel.setAutoRefresh(true);  // the next relay states would be taken
    panel.clickRelay(4);
    runTo(40);
    answerPoll({}, {0, 0, 0, 0, 0, 0, 0, 0});  // a poll sent before the click
    runTo(200);
    EXPECT_TRUE(panel.view().relayClosed[4]);
    EXPECT_FALSE(live.liveRelaysFresh);
    runTo(1100);  // nor when the relay states count as fresh again, a second after the click
    EXPECT_TRUE(panel.view().relayClosed[4]);
}

TEST_F(Panel, InputPicturesTakeStatesZeroAndOneOnly) {
    answerPoll({1, 0, 1, 0, 0, 0, 0, 1}, {});
    runTo(30);
    EXPECT_EQ(panel.view().inputActive,
              (std::array<bool, 8>{true, false, true, false, false, false, false, true}));
    answerPoll({0, 2, 2, 0, 0, 0, 0, 0}, {});
    runTo(60);
    EXPECT_EQ(panel.view().inputActive,
              (std::array<bool, 8>{false, false, true, false, false, false, false, false}));
    EXPECT_FALSE(live.liveInputsFresh);
}

TEST_F(Panel, AnalogueReadingsInEachDisplayMode) {
    live.liveAnalog = {12, 3864, 7, 0, 10000, 10020};
    live.liveAnalogFresh = true;
    const std::pair<int, const char*> cases[] = {
        {0, "3864;12"}, {1, "20.000 mA"}, {2, "5.000 V"}, {3, "10.001 V"}};
    int t = 0;
    for (const auto& [mode, text] : cases) {
        panel.setDisplayMode(mode);
        runTo(t += 30);
        EXPECT_EQ(panel.view().analog1, text) << mode;
    }
    panel.setDisplayMode(0);
    runTo(t += 30);
    EXPECT_EQ(panel.view().analog2, "0;7");
    EXPECT_TRUE(live.liveAnalogFresh);  // kept: a form opened later shows the readings at once
    EXPECT_EQ(panel.coefficientsText(), " adc0: 10000 adc1: 10020");

    // Words far above any ADC's range are still converted, not wrapped.
    EXPECT_EQ(analogText(2, 1000000, 0), "1294.163 V");
    EXPECT_EQ(analogText(0, 4000000000u, 1), "4000000000;1");
}

TEST_F(Panel, ClearingTheCountersUnderAutoRefreshHoldsTheZerosForASecond) {
    live.liveCounters = {5, 6, 7, 8, 9, 10, 11, 12};
    live.liveCountersFresh = true;
    panel.setAutoRefresh(true);
    runTo(200);
    EXPECT_EQ(panel.view().counters[0], "5");

    panel.clearCounters();
    EXPECT_EQ(world.sendTimes(kClear), std::vector<int>{200});
    EXPECT_EQ(panel.view().counters[0], "0");
    runTo(1100);
    EXPECT_EQ(panel.view().counters[7], "0");  // the old counters are not shown again yet
    EXPECT_EQ(world.sendTimes(kPoll), (std::vector<int>{100, 700}));
    live.liveCounters = {1, 0, 0, 0, 0, 0, 0, 0};  // the poll's answer
    runTo(1230);
    EXPECT_EQ(panel.view().counters[0], "1");
}

TEST_F(Panel, ClearingTheCountersWithoutAutoRefreshShowsZerosUntilTheNextRefresh) {
    panel.clearCounters();
    EXPECT_EQ(panel.view().counters[3], "0");
    live.liveCounters = {0, 0, 0, 4, 0, 0, 0, 0};
    live.liveCountersFresh = true;
    runTo(30);
    EXPECT_EQ(panel.view().counters[3], "4");
    EXPECT_TRUE(world.sendTimes(kPoll).empty());
}

TEST_F(Panel, TheEleventhClickOnX1RevealsTheServiceButtonsForTheRestOfTheRun) {
    for (int i = 0; i < 10; ++i) panel.clickInput(0);
    panel.clickInput(1);  // other inputs do not count
    EXPECT_FALSE(panel.view().serviceButtons);
    panel.clickInput(0);
    EXPECT_TRUE(panel.view().serviceButtons);

    // A form opened later starts hidden; one more click shows them again.
    RtuPanel later(world, live, memory);
    later.open();
    EXPECT_FALSE(later.view().serviceButtons);
    later.clickInput(0);
    EXPECT_TRUE(later.view().serviceButtons);
}

TEST_F(Panel, CalibrationAcknowledgedAfter500MsSucceeds) {
    panel.calibrate();
    runTo(299);
    EXPECT_TRUE(world.sent.empty());
    runTo(500);
    EXPECT_EQ(world.sendTimes(kCalibrate), std::vector<int>{300});
    live.calibrationAcked = true;  // 0x84 B7 00, as the answer handling records it
    runTo(5000);
    ASSERT_EQ(world.messages.size(), 1u);
    EXPECT_EQ(world.messages[0], (std::pair<int, std::string>{530, "校准成功"}));
}

TEST_F(Panel, CalibrationWithoutAnswerFailsAtTheEleventhCheck) {
    panel.setAutoRefresh(true);
    panel.calibrate();
    runTo(1429);
    EXPECT_TRUE(world.messages.empty());
    runTo(5000);
    ASSERT_EQ(world.messages.size(), 1u);
    EXPECT_EQ(world.messages[0], (std::pair<int, std::string>{1430, "校准失败"}));
    // The poll held back for the calibration resumes a second after the frame.
    EXPECT_EQ(world.sendTimes(kPoll).front(), 1300);
}

TEST_F(Panel, CalibrationCountsOnlyAnAnswerToItsOwnFrame) {
    live.calibrationAcked = true;  // from an earlier calibration
    panel.calibrate();
    runTo(2000);
    EXPECT_EQ(world.messages.back().second, "校准失败");

    // An answer that comes back before the checks begin is not lost.
    panel.calibrate();
    runTo(2300);
    live.calibrationAcked = true;
    runTo(4000);
    EXPECT_EQ(world.messages.back(), (std::pair<int, std::string>{2430, "校准成功"}));
}

TEST_F(Panel, ClosingStopsEveryTimer) {
    panel.setAutoRefresh(true);
    panel.clickRelay(0);
    panel.calibrate();
    panel.close();
    EXPECT_TRUE(world.timers.empty());
    runTo(10000);
    EXPECT_TRUE(world.sent.empty());
}

}  // namespace
}  // namespace dtu
