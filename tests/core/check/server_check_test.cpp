#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/server_check.h"

namespace dtu {
namespace {

namespace f = fields;

DeviceParams allLinks() {
    DeviceParams p;
    p.set(f::serverAEnable, 1);
    p.setText(f::serverAHost, "a.example.org");
    p.set(f::serverAPort, 5000);
    p.set(f::serverBEnable, 1);
    p.setText(f::serverBHost, "10.0.0.2");
    p.set(f::serverBPort, 6000);
    p.set(f::serverBProtocol, 1);
    p.set(f::httpEnable, 1);
    p.setText(f::httpHost, "https://api.example.org/ignored");
    p.set(f::httpPort, 8443);
    p.set(f::httpMethod, 2);
    p.setText(f::httpHeader, "POST /in?id=7 HTTP/1.1\r\nHost: x\r\nX-Key: 12 \r\n");
    p.set(f::mqttEnable, 1);
    p.setText(f::mqttHost, "127.0.0.1");
    p.set(f::mqttPort, 1883);
    p.setText(f::mqttClientId, "dev1");
    p.set(f::mqttQos, 1);
    p.set(f::mqttSsl, 1);
    p.set(f::tlsMode, 1);
    p.setText(f::caPath, "/certs/ca.crt");
    p.setText(f::clientCertPath, "/certs/client.crt");
    p.setText(f::clientKeyPath, "/certs/client.key");
    return p;
}

TEST(CheckPlan, WorkModeAndEnableFlagsPickTheLinksWithTheirSettings) {
    DeviceParams p = allLinks();
    CheckPlan plan = planChecks(p);
    ASSERT_EQ(plan.items.size(), 4u);
    EXPECT_FALSE(plan.smsMode);
    EXPECT_EQ(checkLabel(plan.items[0], Language::English), "Server A TCP a.example.org:5000");
    EXPECT_EQ(checkLabel(plan.items[1], Language::Chinese), "服务器B UDP 10.0.0.2:6000");

    const CheckItem& http = plan.items[2];
    EXPECT_EQ(checkLabel(http, Language::English), "HTTPS api.example.org:8443");
    ASSERT_TRUE(http.http);
    EXPECT_EQ(http.http->method, "POST");
    EXPECT_EQ(http.http->path, "/in?id=7");
    using Headers = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(http.http->headers, (Headers{{"Content-Type", "application/json"}, {"X-Key", "12"}}));

    // One-way TLS: the CA only; two-way adds the client pair; off verifies nothing.
    ASSERT_TRUE(plan.items[3].mqtt);
    const MqttCheck& oneWay = *plan.items[3].mqtt;
    EXPECT_TRUE(oneWay.tls && oneWay.verifyServer);
    EXPECT_EQ(oneWay.caFile, "/certs/ca.crt");
    EXPECT_EQ(oneWay.certFile, "");
    EXPECT_EQ(oneWay.clientId, "dev1");
    p.set(f::tlsMode, 2);
    const MqttCheck twoWay = *planChecks(p).items[3].mqtt;
    EXPECT_EQ(twoWay.certFile, "/certs/client.crt");
    EXPECT_EQ(twoWay.keyFile, "/certs/client.key");
    p.set(f::tlsMode, 0);
    const MqttCheck off = *planChecks(p).items[3].mqtt;
    EXPECT_TRUE(off.tls);
    EXPECT_FALSE(off.verifyServer);
    EXPECT_EQ(off.caFile, "");

    p.set(f::serverAEnable, 0);
    p.set(f::httpEnable, 0);
    p.set(f::mqttCloudType, 1);
    plan = planChecks(p);
    ASSERT_EQ(plan.items.size(), 2u);
    EXPECT_EQ(plan.items[0].link, CheckLink::ServerB);
    EXPECT_TRUE(plan.items[1].mqtt->cloud);

    // SMS transparent mode opens no server link, whatever the flags say.
    p.set(f::workMode, 1);
    p.set(f::apnEnable, 1);
    plan = planChecks(p);
    EXPECT_TRUE(plan.items.empty());
    ASSERT_EQ(planMqttCheck(p).items.size(), 1u);  // the MQTT dialog tries what it edits
    EXPECT_EQ(planMqttCheck(p).items[0].link, CheckLink::Mqtt);
    const auto notes = planNotes(plan);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].english, "SMS transparent mode: the device connects to no server");
    EXPECT_NE(notes[1].chinese.find("APN"), std::string::npos);
    EXPECT_NE(notes[1].english.find("the device's network may reach servers the PC cannot"),
              std::string::npos);
}

TEST(CheckPlan, EachOutcomeReadsAsOneLineInEachLanguage) {
    CheckItem mqtt;
    mqtt.link = CheckLink::Mqtt;
    mqtt.host = "127.0.0.1";
    mqtt.port = 1883;
    mqtt.mqtt = MqttCheck{};
    mqtt.mqtt->subscribeTopic = "down";
    mqtt.mqtt->publishTopic = "up";
    CheckItem http = mqtt;
    http.link = CheckLink::Http;
    http.mqtt.reset();
    http.http = HttpCheck{};
    CheckItem cloud = mqtt;
    cloud.mqtt->cloud = true;

    auto outcome = [](CheckStatus s, int code = 0, std::string detail = {},
                      TlsFailure tls = TlsFailure::Other) {
        CheckOutcome o;
        o.status = s;
        o.code = code;
        o.detail = std::move(detail);
        o.tls = tls;
        o.elapsedMs = 12;
        return o;
    };
    CheckOutcome granted = outcome(CheckStatus::Connected);
    granted.grantedQos = 1;
    granted.published = true;

    struct Row {
        const CheckItem& item;
        CheckOutcome outcome;
        bool passed;
        std::string english;
    };
    const std::string m = "MQTT 127.0.0.1:1883: ";
    const Row rows[] = {
        {mqtt, outcome(CheckStatus::Connected), true, m + "connected (12 ms)"},
        {mqtt, granted, true,
         m + "connected (12 ms); subscription to down granted (QoS 1); published one message on "
             "up"},
        {mqtt, outcome(CheckStatus::ConnAckRefused, 4), false,
         m + "bad user name or password (12 ms)"},
        {mqtt, outcome(CheckStatus::ConnAckRefused, 2), false,
         m + "client identifier rejected (12 ms)"},
        {mqtt, outcome(CheckStatus::ConnAckRefused, 9), false,
         m + "connection refused (CONNACK 9) (12 ms)"},
        {mqtt, outcome(CheckStatus::TlsFailed, 0, "", TlsFailure::UnknownCa), false,
         m + "TLS failed: the server's certificate is not signed by the CA (unknown CA)"},
        {mqtt, outcome(CheckStatus::TlsFailed, 0, "", TlsFailure::HostMismatch), false,
         m + "TLS failed: the server's certificate does not match the host name"},
        {mqtt, outcome(CheckStatus::TlsFailed, 0, "no shared cipher"), false,
         m + "TLS failed: no shared cipher"},
        {mqtt, outcome(CheckStatus::SubscribeRefused), false,
         m + "connected, but the subscription to down was refused"},
        {mqtt, outcome(CheckStatus::FileUnreadable, 0, "/x/ca.crt"), false,
         m + "cannot read the certificate file /x/ca.crt"},
        {mqtt, outcome(CheckStatus::TimedOut, 5000), false,
         m + "timed out (no answer within 5000 ms)"},
        {mqtt, outcome(CheckStatus::HostNotFound), false, m + "the host name does not resolve"},
        {cloud, outcome(CheckStatus::Connected), true,
         m + "connected (12 ms); the cloud platform's credentials are derived on the device and "
             "were not checked"},
        {http, outcome(CheckStatus::Connected, 200, "OK"), true,
         "HTTP 127.0.0.1:1883: 200 OK (12 ms)"},
        {http, outcome(CheckStatus::Connected, 404, "Not Found"), false,
         "HTTP 127.0.0.1:1883: 404 Not Found (12 ms)"},
    };
    for (const Row& row : rows) {
        const CheckResult r = readOutcome(row.item, row.outcome);
        EXPECT_EQ(r.passed, row.passed) << row.english;
        EXPECT_EQ(r.english, row.english);
        EXPECT_FALSE(r.chinese.empty());
    }
    EXPECT_EQ(readOutcome(mqtt, outcome(CheckStatus::Connected)).chinese,
              "MQTT 127.0.0.1:1883: 成功 (12 ms)");
    EXPECT_EQ(readOutcome(mqtt, outcome(CheckStatus::ConnAckRefused, 4)).chinese,
              "MQTT 127.0.0.1:1883: 用户名或密码错误 (12 ms)");
}

TEST(CheckPlan, TlsReasonsAndReservedNames) {
    EXPECT_EQ(classifyTlsFailure(20, true, false), TlsFailure::UnknownCa);  // no local issuer
    EXPECT_EQ(classifyTlsFailure(19, true, false), TlsFailure::UnknownCa);  // self-signed chain
    EXPECT_EQ(classifyTlsFailure(62, true, false), TlsFailure::HostMismatch);
    EXPECT_EQ(classifyTlsFailure(0, true, false), TlsFailure::HostMismatch);
    EXPECT_EQ(classifyTlsFailure(1, true, false), TlsFailure::HostMismatch);
    EXPECT_EQ(classifyTlsFailure(0, false, true), TlsFailure::CertificateRefused);
    EXPECT_EQ(classifyTlsFailure(0, false, false), TlsFailure::Other);

    for (const char* name : {"x.invalid", "invalid", "a.b.INVALID.", "Invalid"})
        EXPECT_TRUE(isReservedInvalidName(name)) << name;
    for (const char* name : {"notinvalid", "invalid.example.org", "127.0.0.1", ""})
        EXPECT_FALSE(isReservedInvalidName(name)) << name;
}

}  // namespace
}  // namespace dtu
