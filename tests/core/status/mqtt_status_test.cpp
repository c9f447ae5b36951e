#include "status/mqtt_status.h"

#include <gtest/gtest.h>

#include "../transfer/fake_clock.h"
#include "params/item_codec.h"
#include "support/bytes.h"

namespace dtu {
namespace {

using test::Bytes;
using test::hex;

// The dialog's side of the status request, with the answer handling's decoder standing in for
// the link and a clock that only moves when told to.
class MqttPoll : public ::testing::Test, public MqttStatusEffects {
protected:
    void writeBytes(std::span<const std::uint8_t> bytes) override {
        written.emplace_back(bytes.begin(), bytes.end());
    }
    void startTimer(int ms) override { timers.start(0, ms); }
    void setButtonEnabled(bool enabled) override { button = enabled; }
    void showLines(const MqttStatusLines& l) override { shown = l; }

    void advance(int ms) {
        timers.advance(ms, [&](int) { poll.onTimer(); });
    }
    // The device's answer, decoded as every read answer is.
    void answer(const std::string& value) {
        DeviceParams params;
        decodeParamBlock(test::Block().item(180, hex(value)).bytes(), params, live);
    }

    LiveState live;
    MqttStatusPoll poll{*this, live};
    test::FakeTimers<int> timers;
    std::vector<Bytes> written;
    bool button = true;
    MqttStatusLines shown{"stale", "stale", "stale", "stale", "stale"};
};

TEST_F(MqttPoll, ClosedPortSendsNothingAndOnlyEmptiesTheLines) {
    live.mqttStatusFresh = true;
    poll.request(false);
    EXPECT_TRUE(written.empty());
    EXPECT_TRUE(timers.idle());
    EXPECT_TRUE(button);
    EXPECT_EQ(shown, MqttStatusLines{});
    EXPECT_FALSE(live.mqttStatusFresh);
}

TEST_F(MqttPoll, AnswerShowsOnTheNextTickInTheDialogsOrder) {
    poll.request(true);
    EXPECT_EQ(written, std::vector<Bytes>{hex("88 3A 03 00 01 B4 45 2E")});
    EXPECT_EQ(timers.period(0), 500);
    EXPECT_FALSE(button);
    EXPECT_EQ(shown, MqttStatusLines{});

    answer("01 01 01 00 01 00 00 00");
    advance(499);
    EXPECT_FALSE(button);  // nothing is shown before the tick
    EXPECT_EQ(shown, MqttStatusLines{});
    advance(1);
    EXPECT_TRUE(button);
    EXPECT_EQ(shown, (MqttStatusLines{"TCP 成功", "SSL 成功", "MQTT 成功", "MQTT Topic 成功",
                                      "服务器 失败"}));

    poll.setLanguage(Language::English);
    advance(500);
    EXPECT_EQ(shown, (MqttStatusLines{"TCP Successfully", "SSL Successfully", "MQTT Successfully",
                                      "MQTT Topic Successfully", "Server Failed"}));
}

TEST_F(MqttPoll, NoAnswerShowsTheTimeOutAndALateAnswerALaterTick) {
    poll.request(true);
    advance(500);
    EXPECT_EQ(shown, (MqttStatusLines{"获取超时", "", "", "", ""}));
    EXPECT_TRUE(button);
    EXPECT_FALSE(poll.answered());

    // The timer keeps running while the dialog is open.
    answer("00 00 02 01 00 00 00 00");
    advance(500);
    EXPECT_TRUE(poll.answered());
    EXPECT_EQ(shown, (MqttStatusLines{"TCP 失败", "SSL 失败", "MQTT 连接失败", "无订阅主题",
                                      "服务器 成功"}));

    // A new request forgets the answer before it: without a new one it times out again.
    poll.request(true);
    EXPECT_EQ(written.size(), 2u);
    EXPECT_EQ(shown, MqttStatusLines{});
    advance(500);
    EXPECT_EQ(shown[0], "获取超时");
}

TEST_F(MqttPoll, StatesOutsideTheTableLeaveTheirLinesEmpty) {
    live.mqttStatusTcp = 7;
    live.mqttStatusSsl = 2;
    live.mqttStatusConnect = 2;
    live.mqttStatusTopic = 3;
    live.mqttStatusServer = 0xFF;
    EXPECT_EQ(mqttStatusLines(live, Language::Chinese), MqttStatusLines{});
    live.mqttStatusTopic = 0;
    EXPECT_EQ(mqttStatusLines(live, Language::English)[3], "MQTT Topic Failed");
    live.mqttStatusConnect = 0;
    live.mqttStatusTopic = 2;
    const MqttStatusLines en = mqttStatusLines(live, Language::English);
    EXPECT_EQ(en[2], "MQTT connection failed");
    EXPECT_EQ(en[3], "No subscribed topic");
}

}  // namespace
}  // namespace dtu
