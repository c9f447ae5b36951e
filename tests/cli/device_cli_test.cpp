// dtuconf against the simulated device over real pseudo-terminals, one process each, as a
// production script would run them.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "link/command_flow.h"
#include "support/private_home.h"
#include "support/process.h"

namespace dtu {
namespace {

[[maybe_unused]] const bool kPrivateHome = test::usePrivateHome();

using test::RunResult;
using test::SimProcess;

RunResult dtuconf(const std::vector<std::string>& args) {
    return test::runProgram(DTUCONF_BIN, args);
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class Device : public ::testing::Test {
protected:
    // A device at 9600 unless a test starts its own.
    void start(const std::vector<std::string>& simArgs = {}) {
        m_sim = std::make_unique<SimProcess>(DTUSIM_BIN, simArgs);
        ASSERT_FALSE(m_sim->path().empty()) << "dtusim printed no path";
    }
    RunResult run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", m_sim->path()});
        return dtuconf(args);
    }
    std::string file(const char* name) const { return m_dir.filePath(name).toStdString(); }

    std::unique_ptr<SimProcess> m_sim;
    QTemporaryDir m_dir;
};

TEST_F(Device, ReadPrintsTheParametersTheStatusAndTheResultLine) {
    start();
    const RunResult r = run({"read"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("获取参数:成功\n")) << r.out;
    EXPECT_TRUE(has(r.out, "serverAHost = \""));
    EXPECT_TRUE(has(r.out, "\nIMEI: 86"));
    EXPECT_TRUE(has(r.out, "\n基站: 已连接\n"));
    EXPECT_TRUE(has(r.out, "\nSIM: 已插卡; "));

    const RunResult en = run({"--lang", "en", "read", "-o", file("device.cfg")});
    ASSERT_EQ(en.code, 0) << en.err;
    EXPECT_TRUE(en.out.starts_with("Read Successfully\n"));
    EXPECT_FALSE(has(en.out, "serverAHost ="));  // the parameters went to the file
    EXPECT_EQ(QFile(QString::fromStdString(file("device.cfg"))).size(), 22160);

    const RunResult json = run({"read", "--json"});
    ASSERT_EQ(json.code, 0);
    EXPECT_TRUE(json.out.starts_with("{")) << json.out.substr(0, 80);
    EXPECT_TRUE(has(json.err, "获取参数:成功"));  // result lines stay out of the JSON
}

TEST_F(Device, SetSavesTheChangeAndResetBringsBackTheDefaults) {
    start();
    const RunResult before = run({"read"});
    ASSERT_EQ(before.code, 0);
    EXPECT_FALSE(has(before.out, "serverAHost = \"cfg.example.net\""));

    const RunResult set = run({"set", "serverAHost=cfg.example.net", "serverAPort=7001"});
    ASSERT_EQ(set.code, 0) << set.err;
    EXPECT_TRUE(has(set.out, "获取参数:成功\n保存参数:成功\n"));
    EXPECT_TRUE(has(set.out, "serverAHost: "));
    EXPECT_TRUE(has(set.out, "-> \"cfg.example.net\""));
    EXPECT_TRUE(has(set.out, "serverAPort: "));

    const RunResult after = run({"read"});
    EXPECT_TRUE(has(after.out, "serverAHost = \"cfg.example.net\""));
    EXPECT_TRUE(has(after.out, "serverAPort = 7001"));

    // The saved file goes back as it stands.
    ASSERT_EQ(run({"read", "-o", file("kept.cfg")}).code, 0);
    const RunResult reset = run({"reset"});
    EXPECT_EQ(reset.code, 0);
    EXPECT_EQ(reset.out, "恢复出厂:成功\n");
    EXPECT_EQ(run({"read"}).out, before.out);

    const RunResult save = run({"--pieces", "save", file("kept.cfg")});
    EXPECT_EQ(save.code, 0) << save.err;
    EXPECT_EQ(save.out, "保存参数:成功\n");
    EXPECT_TRUE(has(run({"read"}).out, "serverAHost = \"cfg.example.net\""));
    EXPECT_EQ(run({"deep-reset"}).out, "恢复出厂:成功\n");
    EXPECT_EQ(run({"read"}).out, before.out);
}

TEST_F(Device, RebootStatusDiagnosticsAndDeviceText) {
    start({"--kind", "rtu"});
    const RunResult reboot = run({"--lang", "en", "reboot"});
    EXPECT_EQ(reboot.code, 0);
    EXPECT_EQ(reboot.out, "Restart Successfully\n");

    const RunResult status = run({"status"});
    EXPECT_EQ(status.code, 0);
    EXPECT_FALSE(has(status.out, "serverAHost"));
    EXPECT_TRUE(has(status.out, "\nMAC: "));
    EXPECT_TRUE(has(status.out, "\nGPS: 卫星数:"));

    const RunResult diag = run({"diag"});
    EXPECT_EQ(diag.code, 0);
    EXPECT_TRUE(diag.out.starts_with("memery total  :")) << diag.out;
    EXPECT_TRUE(has(diag.out, "\ncore ver:"));

    const RunResult text = run({"text"});
    EXPECT_EQ(text.code, 0);
    EXPECT_FALSE(text.out.empty());
}

TEST_F(Device, MqttStatusPrintsTheDialogsLinesOrTheTimeOut) {
    // TCP up, MQTT connected, no subscribe topic, server down, an SSL state no text stands for.
    start({"--mqtt-state", "1,1,2,0,7", "--drop", "1"});
    const RunResult lost = run({"mqtt-status"});
    EXPECT_EQ(lost.code, 1);
    EXPECT_EQ(lost.out, "获取超时\n");

    const RunResult r = run({"mqtt-status"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "TCP 成功\nMQTT 成功\n无订阅主题\n服务器 失败\n");
    const RunResult en = run({"--lang", "en", "mqtt-status"});
    EXPECT_EQ(en.code, 0);
    EXPECT_EQ(en.out, "TCP Successfully\nMQTT Successfully\nNo subscribed topic\nServer Failed\n");
}

TEST_F(Device, ProbeFindsEveryRateOfItsTable) {
    for (const int baud : kProbeBaudTable) {
        SCOPED_TRACE(baud);
        start({"--baud", std::to_string(baud)});
        const RunResult r = run({"--baud", "auto", "probe"});
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        EXPECT_TRUE(r.out.ends_with("当前波特率：" + std::to_string(baud) + "\n")) << r.out;
        // The last rate's request goes out in the tick that gives up; its answer still counts.
        EXPECT_EQ(has(r.out, "尝试失败"), baud == kProbeBaudTable.back());
    }
}

TEST_F(Device, CommandsAfterAProbeUseTheRateFound) {
    start({"--baud", "2400"});
    const RunResult r = run({"--baud", "auto", "read"});
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(has(r.out, "当前波特率：2400\n获取参数:成功\n"));
}

TEST_F(Device, WrongRateGetsNoAnswer) {
    start({"--baud", "19200"});
    const RunResult r = run({"reboot"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "重启设备:失败\n");
}

TEST_F(Device, LockedDeviceAnswersOnlyWithItsPassword) {
    start({"--lock", "k3y!k3y!"});
    const RunResult without = run({"read"});
    EXPECT_EQ(without.code, 1);
    EXPECT_EQ(without.out, "获取参数失败\n");
    EXPECT_EQ(run({"--password", "wrongpwd", "read"}).code, 1);

    const RunResult with = run({"--password", "k3y!k3y!", "--pieces", "read"});
    EXPECT_EQ(with.code, 0) << with.out;
    EXPECT_TRUE(with.out.starts_with("获取参数:成功\n"));
    // Status requests carry no password and still work.
    EXPECT_EQ(run({"diag"}).code, 0);
    EXPECT_EQ(run({"--password", "k3y!k3y!", "set", "serverAPort=7002"}).code, 0);
    EXPECT_EQ(run({"set", "serverAPort=7003"}).code, 1);
}

TEST_F(Device, LostAnswersGarbageAndHangUpsEndCleanly) {
    start({"--drop", "1", "--corrupt", "2", "--delay", "3:400", "--hangup", "4"});
    const RunResult dropped = run({"read"});
    EXPECT_EQ(dropped.code, 1);
    EXPECT_EQ(dropped.out, "获取参数失败\n");

    const RunResult garbage = run({"reboot"});
    EXPECT_EQ(garbage.code, 1);
    EXPECT_TRUE(garbage.out.starts_with("数据:")) << garbage.out;
    EXPECT_TRUE(garbage.out.ends_with("重启设备:失败\n")) << garbage.out;

    const RunResult late = run({"reboot"});
    EXPECT_EQ(late.code, 0);

    const RunResult hungUp = run({"read"});
    EXPECT_EQ(hungUp.code, 1);
    EXPECT_TRUE(has(hungUp.out, "串口异常，已关闭")) << hungUp.out << hungUp.err;
}

TEST(DeviceCli, TheEmbeddedDeviceNeedsNoPort) {
    const RunResult r = dtuconf({"--sim", "--baud", "auto", "read"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.out, "当前波特率：9600\n获取参数:成功\n"));
}

TEST(DeviceCli, BadOptionsAndFilesAreRefusedBeforeAnythingIsSent) {
    EXPECT_EQ(dtuconf({"read"}).code, 2);
    EXPECT_EQ(dtuconf({"--sim", "--port", "/dev/null", "read"}).code, 2);
    EXPECT_EQ(dtuconf({"--sim", "--baud", "fast", "read"}).code, 2);
    EXPECT_EQ(dtuconf({"--sim", "--password", "short", "read"}).code, 2);
    EXPECT_EQ(dtuconf({"--sim", "set", "noSuchField=1"}).code, 2);
    EXPECT_EQ(dtuconf({"--sim", "set", "serverAPort"}).code, 2);
    EXPECT_EQ(dtuconf({"--sim", "save", "/nonexistent/x.cfg"}).code, 3);
    const RunResult missing = dtuconf({"--port", "/nonexistent/tty", "read"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.out, "打开:失败\n");

    // A host that fills its 64 bytes would be sent and then not read back: refused as it is
    // given, before the port. One byte less gets as far as the port.
    const RunResult full =
        dtuconf({"--port", "/nonexistent/tty", "set", "mqttHost=" + std::string(64, 'm')});
    EXPECT_EQ(full.code, 2);
    EXPECT_EQ(full.err,
              "dtuconf: mqttHost: 64 bytes; the device reads back at most 63, so it is not sent\n");
    EXPECT_EQ(full.out, "");
    EXPECT_EQ(
        dtuconf({"--port", "/nonexistent/tty", "set", "mqttHost=" + std::string(63, 'm')}).code, 1);
}

}  // namespace
}  // namespace dtu
