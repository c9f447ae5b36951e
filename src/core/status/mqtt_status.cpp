#include "status/mqtt_status.h"

#include "link/frame.h"

namespace dtu {

namespace {

constexpr std::uint8_t kFailure = 0;
constexpr std::uint8_t kSuccess = 1;
constexpr std::uint8_t kNoTopic = 2;

// "<prefix> success" or "<prefix> failure" for the two states the device reports; nothing for
// any other.
std::string outcome(std::string_view prefix, std::uint8_t state, Language lang) {
    if (state != kSuccess && state != kFailure) return {};
    return std::string(prefix) +
           std::string(langText(lang, state == kSuccess ? kTextSuccess : kTextFailed));
}

}  // namespace

MqttStatusLines mqttStatusLines(const LiveState& live, Language lang) {
    MqttStatusLines lines;
    lines[0] = outcome("TCP ", live.mqttStatusTcp, lang);
    lines[1] = outcome("SSL ", live.mqttStatusSsl, lang);
    if (live.mqttStatusConnect == kSuccess)
        lines[2] = outcome("MQTT ", kSuccess, lang);
    else if (live.mqttStatusConnect == kFailure)
        lines[2] = inLanguage(kMqttConnectFailed, lang);
    lines[3] = live.mqttStatusTopic == kNoTopic
                   ? std::string(inLanguage(kMqttNoTopic, lang))
                   : outcome("MQTT Topic ", live.mqttStatusTopic, lang);
    lines[4] = outcome(std::string(langText(lang, kTextServer)) + " ", live.mqttStatusServer, lang);
    return lines;
}

void MqttStatusPoll::request(bool portOpen) {
    m_live.mqttStatusFresh = false;
    show({});
    if (!portOpen) return;
    m_fx.writeBytes(singleTagRead(TAG_MQTT_STATUS));
    m_fx.startTimer(kMqttStatusPollMs);
    m_fx.setButtonEnabled(false);
}

void MqttStatusPoll::onTimer() {
    if (m_live.mqttStatusFresh) {
        show(mqttStatusLines(m_live, m_lang));
    } else {
        MqttStatusLines waiting;
        waiting[0] = inLanguage(kMqttStatusTimedOut, m_lang);
        show(std::move(waiting));
    }
    m_fx.setButtonEnabled(true);
}

void MqttStatusPoll::show(MqttStatusLines lines) {
    m_lines = std::move(lines);
    m_fx.showLines(m_lines);
}

}  // namespace dtu
