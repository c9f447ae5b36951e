#include "production/print_job.h"

#include <gtest/gtest.h>

#include <string>

#include "production/label.h"

namespace dtu {
namespace {

std::span<const std::uint8_t> bytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

const std::string kDownload = "DOWNLOAD \"LOGO.PCX\",2,\x0A\x0B\r\n";
const std::string kLabel = "TEXT 1,1,\"3\",0,1,1,\"IMEI:1\"\r\nPRINT 1\r\n";

TEST(PrintJob, Kinds) {
    EXPECT_EQ(classifyDatagram(bytes("test")), DatagramKind::Probe);
    EXPECT_EQ(classifyDatagram(bytes("test ")), DatagramKind::Label);
    EXPECT_EQ(classifyDatagram(bytes(printerSetup())), DatagramKind::Setup);
    EXPECT_EQ(classifyDatagram(bytes(kDownload)), DatagramKind::Download);
    EXPECT_EQ(classifyDatagram(bytes(kLabel)), DatagramKind::Label);
}

TEST(PrintJob, ALabelEndsTheSendersJob) {
    JobAssembler a;
    EXPECT_TRUE(a.onDatagram("A", bytes(printerSetup()), 0).empty());
    // Another sender's print interleaved with the first stays apart.
    EXPECT_TRUE(a.onDatagram("B", bytes(printerSetup()), 1).empty());
    EXPECT_TRUE(a.onDatagram("A", bytes(kDownload), 2).empty());
    auto done = a.onDatagram("A", bytes(kLabel), 3);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].sender, "A");
    EXPECT_EQ(done[0].bytes, std::string(printerSetup()) + kDownload + kLabel);
    EXPECT_EQ(done[0].datagrams, 3);
    EXPECT_TRUE(done[0].labelSeen);
    EXPECT_EQ(a.openJobs(), 1u);
    done = a.onDatagram("B", bytes(kLabel), 4);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].bytes, std::string(printerSetup()) + kLabel);
    EXPECT_FALSE(a.nextDeadline());
}

TEST(PrintJob, AJobWithoutLabelEndsByQuietTimeOrTheNextSetup) {
    JobAssembler a;
    a.onDatagram("A", bytes(printerSetup()), 1000);
    a.onDatagram("A", bytes(kDownload), 1500);
    EXPECT_EQ(a.nextDeadline(), 1500 + kJobQuietMs);
    EXPECT_TRUE(a.onTime(1500 + kJobQuietMs - 1).empty());
    auto done = a.onTime(1500 + kJobQuietMs);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].bytes, std::string(printerSetup()) + kDownload);
    EXPECT_FALSE(done[0].labelSeen);

    a.onDatagram("A", bytes(printerSetup()), 5000);
    a.onDatagram("A", bytes(kDownload), 5001);
    done = a.onDatagram("A", bytes(printerSetup()), 5002);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].datagrams, 2);
    EXPECT_EQ(a.openJobs(), 1u);  // the new set-up opened the next job
    done = a.flush();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].bytes, printerSetup());
}

TEST(PrintJob, NoJobGrowsWithoutEndAndNoDatagramIsLost) {
    JobAssembler a;
    const std::string block(64 * 1024, 'x');
    const std::string download = "DOWNLOAD " + block;
    std::size_t total = 0;
    std::size_t out = 0;
    int jobs = 0;
    for (int i = 0; i < 40; ++i) {
        total += download.size();
        for (const auto& j : a.onDatagram("A", bytes(download), i)) {
            out += j.bytes.size();
            ++jobs;
            EXPECT_LE(j.bytes.size(), kJobByteLimit + download.size());
        }
    }
    for (const auto& j : a.flush()) out += j.bytes.size();
    EXPECT_EQ(jobs, 2);
    EXPECT_EQ(out, total);

    // More senders than the open-job limit: the oldest is passed on, nothing is dropped.
    for (std::size_t i = 0; i < kOpenJobLimit; ++i)
        EXPECT_TRUE(a.onDatagram("S" + std::to_string(i), bytes(kDownload), 0).empty());
    const auto done = a.onDatagram("late", bytes(kDownload), 0);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].sender, "S0");
    EXPECT_EQ(a.flush().size(), kOpenJobLimit);
}

}  // namespace
}  // namespace dtu
