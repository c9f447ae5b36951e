// Firmware upgrades and certificate transfers by dtuconf against dtusim processes over
// pseudo-terminals, with faults injected at every step of the exchange.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "support/private_home.h"
#include "support/process.h"
#include "transfer/cert_transfer.h"
#include "transfer_receiver.h"

namespace dtu {
namespace {

[[maybe_unused]] const bool kPrivateHome = test::usePrivateHome();

using test::RunResult;
using test::SimProcess;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class Transfer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    std::unique_ptr<SimProcess> start(const std::vector<std::string>& simArgs = {}) {
        auto sim = std::make_unique<SimProcess>(DTUSIM_BIN, simArgs);
        EXPECT_FALSE(sim->path().empty()) << "dtusim printed no path";
        return sim;
    }
    static std::vector<std::string> on(const SimProcess& sim, std::vector<std::string> args,
                                       const std::string& baud = "9600") {
        args.insert(args.begin(), {"--port", sim.path(), "--baud", baud});
        return args;
    }
    RunResult run(const SimProcess& sim, std::vector<std::string> args,
                  const std::string& baud = "9600") {
        return test::runProgram(DTUCONF_BIN, on(sim, std::move(args), baud));
    }
    std::string write(const char* name, const std::vector<std::uint8_t>& bytes) {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return path.toStdString();
    }
    // A firmware file with a 20-byte header and `size` image bytes (more when extra).
    std::string firmware(const char* name, std::uint32_t size, std::uint8_t type,
                         std::size_t extra = 0) {
        std::vector<std::uint8_t> f(20, 0);
        f[15] = type;
        for (int i = 0; i < 4; ++i) f[16 + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
        for (std::size_t i = 0; i < size + extra; ++i)
            f.push_back(static_cast<std::uint8_t>(i * 131 + (i >> 10)));
        return write(name, f);
    }
    static std::string versionOf(std::uint32_t size, std::uint8_t type) {
        std::vector<std::uint8_t> img;
        for (std::size_t i = 0; i < size; ++i)
            img.push_back(static_cast<std::uint8_t>(i * 131 + (i >> 10)));
        return sim::installedVersion(type, img);
    }

    QTemporaryDir m_dir;
};

TEST_F(Transfer, UpgradeSwitchesToTheTransferRateAndTheDeviceRunsTheNewImage) {
    auto sim = start({"--baud", "19200"});
    const std::string fw = firmware("fw.bin", 5000, 0x21, 100);
    const RunResult r = run(*sim, {"flash", fw}, "19200");
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_TRUE(r.out.ends_with("\n升级成功\n")) << r.out;
    EXPECT_TRUE(has(r.out, "5/5 块")) << r.out;
    // The device is back at its own rate and reports the image it took.
    const RunResult status = run(*sim, {"status"}, "19200");
    ASSERT_EQ(status.code, 0) << status.out;
    EXPECT_TRUE(has(status.out, versionOf(5000, 0x21))) << status.out;
}

TEST_F(Transfer, FactoryResetAfterTheUpgradeAndALockedDevice) {
    auto sim = start({"--lock", "k3y!k3y!"});
    ASSERT_EQ(run(*sim, {"--password", "k3y!k3y!", "set", "serverAPort=7001"}).code, 0);
    const std::string fw = firmware("fw.bin", 3000, 0x05);
    const RunResult r =
        run(*sim, {"--lang", "en", "--password", "k3y!k3y!", "flash", fw, "--factory-reset"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "Upgrade succeeded\nThe device restored its factory settings\n"))
        << r.out;
    const RunResult read = run(*sim, {"read"});
    EXPECT_TRUE(has(read.out, "serverAPort = 6000")) << read.out;  // unlocked by the reset
    EXPECT_TRUE(has(read.out, versionOf(3000, 0x05)));
}

TEST_F(Transfer, LostAndGarbledAcknowledgementsAreRecoveredByRepetition) {
    // Answer 1 accepts the upgrade, 3 the size, 4 and 5 are block acknowledgements.
    auto sim = start({"--drop", "1", "--drop", "4", "--corrupt", "6"});
    const std::string fw = firmware("fw.bin", 4000, 0x11);
    const RunResult r = run(*sim, {"flash", fw});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_TRUE(r.out.ends_with("升级成功\n"));
    EXPECT_TRUE(has(run(*sim, {"status"}).out, versionOf(4000, 0x11)));
}

TEST_F(Transfer, AnAcknowledgementOutOfStepStopsWithBadNumber) {
    // Block 1's acknowledgement comes 4.5 s late, halfway between the block's first repetition
    // (3 s) and its second (6 s), so no timer decides the outcome: the device answers the
    // repetition right behind it, naming a block the tool has already passed.
    auto sim = start({"--delay", "4:4500"});
    const RunResult r = run(*sim, {"flash", firmware("fw.bin", 6000, 0x11)});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.ends_with("升级失败 bad number\n")) << r.out;
    EXPECT_FALSE(has(r.out, "升级成功"));
}

TEST_F(Transfer, HangUpMidTransferGivesAClearResult) {
    auto sim = start({"--hangup", "4"});
    const RunResult r = run(*sim, {"flash", firmware("fw.bin", 6000, 0x11)});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.out, "串口异常，已关闭")) << r.out;
    EXPECT_TRUE(r.out.ends_with("升级中串口已关闭\n")) << r.out;
}

// Every fault at every answer of a short upgrade: the tool always ends, and claims success
// only when the device really took the image.
TEST_F(Transfer, NoFaultAtAnyStepHangsTheToolOrPassesForSuccess) {
    const std::string fw = firmware("fw.bin", 1500, 0x33);
    struct Case {
        std::string fault;
        int answer;
        std::unique_ptr<SimProcess> sim;
        std::unique_ptr<QProcess> tool;
    };
    std::vector<Case> cases;
    for (const char* fault : {"--drop", "--corrupt", "--hangup"})
        for (int answer = 1; answer <= 4; ++answer)
            cases.push_back({fault, answer, start({fault, std::to_string(answer)}), nullptr});
    for (Case& c : cases) {  // all at once: each spends its time waiting on timers
        c.tool = std::make_unique<QProcess>();
        c.tool->start(DTUCONF_BIN, test::toQt(on(*c.sim, {"flash", fw})));
    }
    for (Case& c : cases) {
        SCOPED_TRACE(c.fault + " " + std::to_string(c.answer));
        ASSERT_TRUE(c.tool->waitForFinished(60000)) << "the tool hung";
        ASSERT_EQ(c.tool->exitStatus(), QProcess::NormalExit) << "the tool crashed";
        const int code = c.tool->exitCode();
        const std::string out = c.tool->readAllStandardOutput().toStdString();
        EXPECT_TRUE(code == 0 || code == 1) << code;
        EXPECT_EQ(code == 0, out.ends_with("升级成功\n")) << out;
        if (code == 0 && c.fault != "--hangup") {
            const RunResult status = run(*c.sim, {"status"});
            EXPECT_TRUE(has(status.out, versionOf(1500, 0x33))) << status.out;
        }
        if (c.fault == "--hangup") {
            EXPECT_EQ(code, 1);
        }
    }
}

TEST_F(Transfer, CertificatesAreSavedAndTheDevicesChecksumsMatchTheFiles) {
    std::vector<std::uint8_t> ca(1800), cert(1200), key(900);
    for (std::size_t i = 0; i < ca.size(); ++i) ca[i] = static_cast<std::uint8_t>('A' + i % 26);
    for (std::size_t i = 0; i < cert.size(); ++i) cert[i] = static_cast<std::uint8_t>('a' + i % 26);
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>('0' + i % 10);
    const std::string caPath = write("ca.crt", ca), certPath = write("client.crt", cert),
                      keyPath = write("client.key", key);
    char sums[32];
    std::snprintf(sums, sizeof sums, "校验和: %04x %04x %04x\n", fileChecksum16(ca),
                  fileChecksum16(cert), fileChecksum16(key));

    auto sim = start();
    const RunResult save =
        run(*sim, {"certs", "--ca", caPath, "--cert", certPath, "--key", keyPath, "--checksums"});
    ASSERT_EQ(save.code, 0) << save.out << save.err;
    EXPECT_TRUE(has(save.out, "8/8 包")) << save.out;  // 1800 + 2 + 1200 + 2 + 900 bytes
    EXPECT_TRUE(has(save.out, "保存成功\n读取成功\n" + std::string(sums))) << save.out;

    const RunResult read = run(*sim, {"certs", "--checksums"});
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(read.out, "读取成功\n" + std::string(sums));
}

TEST_F(Transfer, AnUnacknowledgedChunkEndsTheSaveWithATimeOut) {
    auto sim = start({"--drop", "2"});
    const RunResult r =
        run(*sim, {"certs", "--ca", write("ca.crt", std::vector<std::uint8_t>(1500, 'c'))});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.ends_with("\n保存超时\n")) << r.out;
    EXPECT_TRUE(has(r.out, "2/3 包")) << r.out;
    EXPECT_FALSE(has(r.out, "3/3 包")) << r.out;
    EXPECT_FALSE(has(r.out, "保存成功"));
}

TEST_F(Transfer, FilesAreCheckedBeforeThePortIsOpened) {
    // No such port: a file refusal must come first (exit 3, not the port's 1).
    const std::vector<std::string> port{"--port", "/nonexistent/tty"};
    auto dtuconf = [&](std::vector<std::string> args) {
        args.insert(args.begin(), port.begin(), port.end());
        return test::runProgram(DTUCONF_BIN, args);
    };
    const RunResult cut = dtuconf({"flash", firmware("cut.bin", 4096, 1, 0) + ".missing"});
    EXPECT_EQ(cut.code, 3);
    std::vector<std::uint8_t> shortFile(20 + 100, 0);
    shortFile[18] = 0x01;  // claims 256 bytes, holds 100
    const RunResult truncated = dtuconf({"--lang", "en", "flash", write("t.bin", shortFile)});
    EXPECT_EQ(truncated.code, 3);
    EXPECT_TRUE(has(truncated.err, "announces 256")) << truncated.err;

    const std::string huge = write("huge.crt", std::vector<std::uint8_t>(4001, 'h'));
    const RunResult big = dtuconf({"certs", "--ca", huge});
    EXPECT_EQ(big.code, 3);
    EXPECT_TRUE(has(big.err, "file is huge!!!"));
    const std::string fine = write("ok.crt", std::vector<std::uint8_t>(4000, 'o'));
    const RunResult blob = dtuconf({"certs", "--ca", fine, "--cert", fine, "--key", fine});
    EXPECT_EQ(blob.code, 3);
    EXPECT_TRUE(has(blob.err, "12004")) << blob.err;
    // An empty CA is refused as such; an empty key is no key and gets as far as the port.
    const std::string empty = write("empty.crt", {});
    const RunResult noCa = dtuconf({"certs", "--ca", empty});
    EXPECT_EQ(noCa.code, 3);
    EXPECT_EQ(noCa.err, "dtuconf: " + empty + ": CA文件是空的，请导入有内容的CA文件！！！\n");
    EXPECT_EQ(dtuconf({"certs", "--ca", fine, "--key", empty}).code, 1);
    EXPECT_EQ(dtuconf({"certs", "--key", fine}).code, 2);
    EXPECT_EQ(dtuconf({"certs"}).code, 2);
}

}  // namespace
}  // namespace dtu
