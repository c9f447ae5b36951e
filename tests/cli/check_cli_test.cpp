// dtuconf check on parameter files whose MQTT server is a broker the test starts on loopback.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "support/event_loop.h"
#include "support/mqtt_broker.h"
#include "support/private_home.h"
#include "support/process.h"

namespace dtu {
namespace {

[[maybe_unused]] const bool kPrivateHome = test::usePrivateHome();

using test::MqttBroker;
using test::RunResult;

class CheckCli : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::app();
        s_broker = std::make_unique<MqttBroker>();
    }
    static void TearDownTestSuite() { s_broker.reset(); }
    void SetUp() override { ASSERT_TRUE(s_broker->running()) << s_broker->error(); }

    // A parameter file (.cfg) made from JSON fields: the MQTT link only, on the broker.
    std::string record(const char* name, const std::string& fields) {
        const std::string json = m_dir.filePath(QString(name) + ".json").toStdString();
        QFile f(QString::fromStdString(json));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("{\"workMode\": 0, \"serverAEnable\": 0, \"mqttEnable\": 1, "
                 "\"mqttHost\": \"127.0.0.1\", \"mqttClientId\": \"" +
                 std::string(name) + "\", \"mqttKeepAlive\": 60, " + fields + "}")
                    .c_str());
        f.close();
        const std::string cfg = m_dir.filePath(QString(name) + ".cfg").toStdString();
        EXPECT_EQ(test::runProgram(DTUCONF_BIN, {"convert", json, cfg}).code, 0);
        return cfg;
    }
    std::string credentials(const char* password) {
        return "\"mqttPort\": " + std::to_string(s_broker->port()) + ", \"mqttUserName\": \"" +
               MqttBroker::kUser + "\", \"mqttPassword\": \"" + password + "\"";
    }

    static std::unique_ptr<MqttBroker> s_broker;
    QTemporaryDir m_dir;
};
std::unique_ptr<MqttBroker> CheckCli::s_broker;

TEST_F(CheckCli, RightCredentialsExitZeroAndAWrongPasswordExitsOne) {
    const std::string prefix = "MQTT 127.0.0.1:" + std::to_string(s_broker->port()) + ": ";
    const RunResult good = test::runProgram(
        DTUCONF_BIN, {"check", record("good", credentials(MqttBroker::kPassword))});
    EXPECT_EQ(good.code, 0) << good.out << good.err;
    EXPECT_TRUE(good.out.starts_with(prefix + "成功 (")) << good.out;

    const std::string bad = record("bad", credentials("wrong"));
    const RunResult refused = test::runProgram(DTUCONF_BIN, {"check", bad, "--lang", "en"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.out.starts_with(prefix)) << refused.out;
    EXPECT_NE(refused.out.find("password"), std::string::npos) << refused.out;

    const RunResult json = test::runProgram(DTUCONF_BIN, {"check", bad, "--json"});
    EXPECT_EQ(json.code, 1);
    EXPECT_TRUE(
        json.out.starts_with("{\"passed\": false, \"links\": [{\"link\": \"mqtt\", "
                             "\"host\": \"127.0.0.1\", \"port\": " +
                             std::to_string(s_broker->port()) + ", \"passed\": false"))
        << json.out;
}

TEST_F(CheckCli, TlsListenerRefusingAClientCertificateFromAnotherCaIsNamed) {
    const std::string file = record(
        "tls", "\"mqttPort\": " + std::to_string(s_broker->tlsPort()) +
                   ", \"mqttSsl\": 1, \"tlsMode\": 2, \"caPath\": \"" + s_broker->path("ca.crt") +
                   "\", \"clientCertPath\": \"" + s_broker->path("other-client.crt") +
                   "\", \"clientKeyPath\": \"" + s_broker->path("other-client.key") + "\"");
    const RunResult r = test::runProgram(DTUCONF_BIN, {"check", file});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("TLS 失败：服务器拒绝了客户端证书"), std::string::npos) << r.out << r.err;
}

TEST_F(CheckCli, WithADeviceItsRecordIsReadFirst) {
    test::SimProcess sim(DTUSIM_BIN, {});
    ASSERT_FALSE(sim.path().empty()) << "dtusim printed no path";
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", sim.path()});
        return test::runProgram(DTUCONF_BIN, args);
    };
    const std::string closed = std::to_string(test::freeLoopbackPort());
    const std::string broker = std::to_string(s_broker->port());
    const RunResult set =
        run({"set", "workMode=0", "serverAEnable=1", "serverAHost=127.0.0.1",
             "serverAPort=" + closed, "serverAProtocol=0", "serverBEnable=0", "httpEnable=0",
             "mqttEnable=1", "mqttHost=127.0.0.1", "mqttPort=" + broker,
             std::string("mqttUserName=") + MqttBroker::kUser,
             std::string("mqttPassword=") + MqttBroker::kPassword, "mqttClientId=sim-check",
             "mqttWillEnable=0", "mqttSsl=0", "mqttCloudType=0", "apnEnable=0"});
    ASSERT_EQ(set.code, 0) << set.err;
    const RunResult r = run({"check", "--lang", "en"});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.out.find("Server A TCP 127.0.0.1:" + closed + ": connection refused"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("MQTT 127.0.0.1:" + broker + ": connected ("), std::string::npos) << r.out;
}

}  // namespace
}  // namespace dtu
