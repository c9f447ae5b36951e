// The server checks against servers the tests start on loopback: a real MQTT broker, a TCP
// server that never answers, a small HTTP server. Nothing leaves 127.0.0.1.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#include <vector>

#include "server_checker.h"
#include "support/event_loop.h"
#include "support/mqtt_broker.h"

namespace dtu {
namespace {

using test::MqttBroker;

CheckItem mqttItem(quint16 port, const char* password) {
    CheckItem item;
    item.link = CheckLink::Mqtt;
    item.host = "127.0.0.1";
    item.port = port;
    MqttCheck m;
    m.clientId = "dtu-check-test";
    m.userName = MqttBroker::kUser;
    m.password = password;
    m.keepAlive = 60;
    m.qos = 1;
    m.will = true;
    m.willTopic = "dtu/will";
    m.willMessage = "offline";
    m.subscribeTopic = "dtu/down";
    m.publishTopic = "dtu/up";
    item.mqtt = m;
    return item;
}

CheckItem tlsItem(const MqttBroker& broker, const char* ca, const char* client) {
    CheckItem item = mqttItem(broker.tlsPort(), "");
    MqttCheck& m = *item.mqtt;
    m.userName.clear();
    m.clientId = std::string("dtu-tls-") + client;
    m.tls = true;
    m.verifyServer = true;
    m.caFile = broker.path(ca);
    m.certFile = broker.path((std::string(client) + ".crt").c_str());
    m.keyFile = broker.path((std::string(client) + ".key").c_str());
    return item;
}

CheckItem socketItem(CheckLink link, const std::string& host, quint16 port, bool udp = false) {
    CheckItem item;
    item.link = link;
    item.host = host;
    item.port = port;
    item.udp = udp;
    return item;
}

// Runs a plan to its end; the results in plan order.
std::vector<CheckResult> check(const std::vector<CheckItem>& items, int timeoutMs = 5000,
                               bool publish = false, bool* allPassed = nullptr) {
    test::app();
    ServerChecker checker;
    checker.setTimeoutMs(timeoutMs);
    checker.setPublish(publish);
    bool done = false;
    QObject::connect(&checker, &ServerChecker::finished, [&](bool all) {
        done = true;
        if (allPassed) *allPassed = all;
    });
    CheckPlan plan;
    plan.items = items;
    checker.start(plan);
    EXPECT_TRUE(test::waitFor([&] { return done; }, 30000));
    return checker.results();
}

class ServerCheckBroker : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::app();
        s_broker = std::make_unique<MqttBroker>();
    }
    static void TearDownTestSuite() { s_broker.reset(); }
    void SetUp() override { ASSERT_TRUE(s_broker->running()) << s_broker->error(); }

    static std::unique_ptr<MqttBroker> s_broker;
};
std::unique_ptr<MqttBroker> ServerCheckBroker::s_broker;

TEST_F(ServerCheckBroker, RightCredentialsPassAndAWrongPasswordIsNamed) {
    bool all = true;
    const auto r = check(
        {mqttItem(s_broker->port(), MqttBroker::kPassword), mqttItem(s_broker->port(), "wrong")},
        5000, true, &all);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_TRUE(r[0].passed) << r[0].english;
    EXPECT_NE(r[0].english.find("subscription to dtu/down granted (QoS 1)"), std::string::npos)
        << r[0].english;
    EXPECT_NE(r[0].english.find("published one message on dtu/up"), std::string::npos);
    EXPECT_FALSE(r[1].passed);
    // The broker answers "bad user name or password" or "not authorised"; both name them.
    EXPECT_NE(r[1].english.find("password"), std::string::npos) << r[1].english;
    EXPECT_NE(r[1].chinese.find("密码"), std::string::npos);
    EXPECT_FALSE(all);
}

TEST_F(ServerCheckBroker, TlsNamesAWrongCaAClientCertificateTheBrokerRefusesAndAWrongName) {
    CheckItem byName = tlsItem(*s_broker, "ca.crt", "client");
    byName.port = s_broker->otherNamePort();
    const auto r =
        check({tlsItem(*s_broker, "ca.crt", "client"), tlsItem(*s_broker, "other-ca.crt", "client"),
               tlsItem(*s_broker, "ca.crt", "other-client"), byName});
    ASSERT_EQ(r.size(), 4u);
    EXPECT_TRUE(r[0].passed) << r[0].english;
    EXPECT_FALSE(r[1].passed);
    EXPECT_NE(r[1].english.find("unknown CA"), std::string::npos) << r[1].english;
    EXPECT_FALSE(r[2].passed);
    EXPECT_NE(r[2].english.find("refused the client certificate"), std::string::npos)
        << r[2].english;
    EXPECT_FALSE(r[3].passed);
    EXPECT_NE(r[3].english.find("does not match the host name"), std::string::npos) << r[3].english;
}

TEST(ServerCheck, ClosedPortUnknownHostAndSilentServerEachFailWithTheirReason) {
    test::app();
    QTcpServer silent;  // accepts and never says a word
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    const quint16 closed = test::freeLoopbackPort();
    const auto r = check({socketItem(CheckLink::ServerA, "127.0.0.1", closed),
                          socketItem(CheckLink::ServerB, "no-such-host.invalid", 5000),
                          mqttItem(silent.serverPort(), "x")},
                         1000);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].english, "Server A TCP 127.0.0.1:" + std::to_string(closed) +
                                ": connection refused (the port is closed)");
    EXPECT_EQ(r[1].english,
              "Server B TCP no-such-host.invalid:5000: the host name does not resolve");
    EXPECT_EQ(r[2].english, "MQTT 127.0.0.1:" + std::to_string(silent.serverPort()) +
                                ": timed out (no answer within 1000 ms)");
    for (const auto& result : r) EXPECT_FALSE(result.passed);
}

TEST(ServerCheck, HttpReportsTheStatusLineAndUdpOnlyResolves) {
    test::app();
    QTcpServer http;
    ASSERT_TRUE(http.listen(QHostAddress::LocalHost, 0));
    std::vector<std::string> requests;
    QObject::connect(&http, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = http.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, s, [s, &requests] {
            const QByteArray request = s->readAll();
            requests.push_back(request.toStdString());
            s->write(request.contains("/missing") ? "HTTP/1.1 404 Not Found\r\n"
                                                  : "HTTP/1.1 200 OK\r\n");
            s->write("Content-Length: 0\r\nConnection: close\r\n\r\n");
            s->disconnectFromHost();
        });
    });
    CheckItem found = socketItem(CheckLink::Http, "127.0.0.1", http.serverPort());
    found.http = HttpCheck{false, "POST", "/in", {{"X-Device", "42"}}};
    CheckItem missing = found;
    missing.http = HttpCheck{false, "GET", "/missing?x=1", {}};
    const auto r = check({found, missing, socketItem(CheckLink::ServerA, "127.0.0.1", 9, true)});
    ASSERT_EQ(r.size(), 3u);
    EXPECT_TRUE(r[0].passed);
    EXPECT_NE(r[0].english.find(": 200 OK ("), std::string::npos) << r[0].english;
    EXPECT_FALSE(r[1].passed);
    EXPECT_NE(r[1].english.find(": 404 Not Found ("), std::string::npos) << r[1].english;
    ASSERT_EQ(requests.size(), 2u);
    const std::string& post = requests[0].starts_with("POST") ? requests[0] : requests[1];
    EXPECT_TRUE(post.starts_with("POST /in HTTP/1.1\r\n")) << post;
    EXPECT_NE(post.find("X-Device: 42"), std::string::npos);
    EXPECT_TRUE(r[2].passed);
    EXPECT_EQ(r[2].english,
              "Server A UDP 127.0.0.1:9: resolved to 127.0.0.1; a UDP server cannot "
              "be checked further from the PC");
}

}  // namespace
}  // namespace dtu
