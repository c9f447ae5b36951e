#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "params/live_state.h"
#include "text/language.h"

namespace dtu {

// The device's MQTT connection state as the MQTT dialog shows it, top to bottom: TCP, SSL,
// MQTT, topic, server. A line whose state byte no text stands for is empty.
using MqttStatusLines = std::array<std::string, 5>;
MqttStatusLines mqttStatusLines(const LiveState& live, Language lang);

// Shown on the first line while no answer has come.
inline constexpr FormLabel kMqttStatusTimedOut{"获取超时", "No answer in time"};
inline constexpr FormLabel kMqttConnectFailed{"MQTT 连接失败", "MQTT connection failed"};
inline constexpr FormLabel kMqttNoTopic{"无订阅主题", "No subscribed topic"};
inline constexpr int kMqttStatusPollMs = 500;

class MqttStatusEffects {
public:
    virtual ~MqttStatusEffects() = default;
    virtual void writeBytes(std::span<const std::uint8_t> bytes) = 0;
    // The poll timer fires every ms until the dialog closes; starting it again restarts it.
    // Each period counts from when the bytes written before it have left the line.
    virtual void startTimer(int ms) = 0;
    virtual void setButtonEnabled(bool enabled) = 0;
    virtual void showLines(const MqttStatusLines& lines) = 0;
};

// "Get MQTT status": one read request for item 180, then a look at the live state on every
// tick of a repeating timer. The answer itself is not seen here: the link's answer handling
// decodes it into the live state and marks it fresh.
class MqttStatusPoll {
public:
    MqttStatusPoll(MqttStatusEffects& effects, LiveState& live) : m_fx(effects), m_live(live) {}

    void setLanguage(Language lang) { m_lang = lang; }
    // The button. With the port closed the lines are only emptied: nothing is sent.
    void request(bool portOpen);
    // Shows the answer, or the time-out while there is none, and gives the button back. The
    // timer keeps running, so an answer that comes after a tick shows on a later one.
    void onTimer();

    // An answer has come since the last request.
    bool answered() const { return m_live.mqttStatusFresh; }
    const MqttStatusLines& lines() const { return m_lines; }

private:
    void show(MqttStatusLines lines);

    MqttStatusEffects& m_fx;
    LiveState& m_live;
    Language m_lang = Language::Chinese;
    MqttStatusLines m_lines;
};

}  // namespace dtu
