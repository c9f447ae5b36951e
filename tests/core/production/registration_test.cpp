#include "production/registration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../transfer/fake_clock.h"

namespace dtu {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::array<std::uint8_t, 6> kMac{0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

TEST(Registration, RequestSendsZerosForTheFirstMacByte) {
    const auto r = registrationRequest(kMac);
    EXPECT_EQ(Bytes(r.begin(), r.end()),
              (Bytes{0xAD, '0', '0', '2', '2', '3', '3', '4', '4', '5', '5', '6', '6'}));
    const auto lower =
        registrationRequest(std::array<std::uint8_t, 6>{0xFF, 0xAB, 0, 1, 0xCD, 0xEF});
    EXPECT_EQ(std::string(lower.begin() + 1, lower.end()), "00ab0001cdef");
}

TEST(Registration, OnlyTheFirstTwoAnswerBytesCount) {
    auto read = [](std::string_view s) {
        return readRegistrationAnswer({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()});
    };
    EXPECT_EQ(read("ok"), RegistrationResult::Added);
    EXPECT_EQ(read("ok, welcome"), RegistrationResult::Added);
    EXPECT_EQ(read("ko"), RegistrationResult::AlreadyAdded);
    EXPECT_EQ(read("OK"), RegistrationResult::Failed);
    EXPECT_EQ(read("KO"), RegistrationResult::Failed);
    EXPECT_EQ(read("o"), RegistrationResult::Failed);
    EXPECT_EQ(read(""), RegistrationResult::Failed);
    EXPECT_EQ(read(" ok"), RegistrationResult::Failed);
    EXPECT_EQ(registrationText(RegistrationResult::Added), "添加成功\r\n");
    EXPECT_EQ(registrationText(RegistrationResult::AlreadyAdded), "已经添加\r\n");
    EXPECT_EQ(registrationText(RegistrationResult::Failed), "添加失败\r\n");
    EXPECT_EQ(registrationText(RegistrationResult::AlreadyAdded, Language::English),
              "Already added\r\n");
}

TEST(Registration, HostPort) {
    auto hp = parseHostPort("cloud.example.net:8081");
    ASSERT_TRUE(hp);
    EXPECT_EQ(hp->host, "cloud.example.net");
    EXPECT_EQ(hp->port, 8081);
    hp = parseHostPort("[::1]:9");
    ASSERT_TRUE(hp);
    EXPECT_EQ(hp->host, "::1");
    for (const char* bad :
         {"host", "host:", ":80", "host:0", "host:65536", "host:8o", "::1:80", "host:-1"})
        EXPECT_FALSE(parseHostPort(bad)) << bad;
}

// The exchange driven as the event loop would drive it, on a clock that moves when told.
struct Link : RegistrationEffects {
    test::FakeTimers<int> timers;
    int connects = 0;
    int closes = 0;
    Bytes written;
    std::vector<RegistrationResult> results;
    RegistrationExchange exchange{*this};

    void connectToCloud() override { ++connects; }
    void writeBytes(std::span<const std::uint8_t> b) override {
        written.insert(written.end(), b.begin(), b.end());
    }
    void startTimer(int ms) override { timers.start(0, ms); }
    void stopTimer() override { timers.stop(0); }
    void closeConnection() override { ++closes; }
    void finished(RegistrationResult r) override { results.push_back(r); }

    void advance(int ms) {
        timers.advance(ms, [this](int) { exchange.onTimer(); });
    }
    void answer(std::string_view s) {
        exchange.onBytes({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()});
    }
};

TEST(RegistrationExchange, SendsOnConnectAndReadsTheAnswer) {
    Link link;
    ASSERT_TRUE(link.exchange.start(kMac));
    EXPECT_EQ(link.connects, 1);
    EXPECT_FALSE(link.exchange.start(kMac));  // one at a time
    EXPECT_TRUE(link.written.empty());
    link.advance(900);
    link.exchange.onConnected();
    EXPECT_EQ(link.written.size(), 13u);
    EXPECT_EQ(link.timers.period(0), kRegistrationAnswerMs);
    // The answer in two pieces: one byte decides nothing yet.
    link.advance(2000);
    link.answer("k");
    EXPECT_TRUE(link.results.empty());
    link.answer("o!");
    EXPECT_EQ(link.results, std::vector{RegistrationResult::AlreadyAdded});
    EXPECT_EQ(link.closes, 1);
    EXPECT_TRUE(link.timers.idle());
    EXPECT_FALSE(link.exchange.busy());
    // Late events after the end change nothing.
    link.answer("ok");
    link.exchange.onClosed();
    link.advance(5000);
    EXPECT_EQ(link.results.size(), 1u);
}

TEST(RegistrationExchange, EveryFailureEndsAsFailed) {
    {  // no connection within 1 s
        Link link;
        link.exchange.start(kMac);
        link.advance(kRegistrationConnectMs - 1);
        EXPECT_TRUE(link.results.empty());
        link.advance(1);
        EXPECT_EQ(link.results, std::vector{RegistrationResult::Failed});
        EXPECT_TRUE(link.written.empty());
        link.exchange.onConnected();  // too late: nothing is sent
        EXPECT_TRUE(link.written.empty());
    }
    {  // connected, no answer within 3 s
        Link link;
        link.exchange.start(kMac);
        link.exchange.onConnected();
        link.answer("o");
        link.advance(kRegistrationAnswerMs - 1);
        EXPECT_TRUE(link.results.empty());
        link.advance(1);
        EXPECT_EQ(link.results, std::vector{RegistrationResult::Failed});
    }
    {  // refused
        Link link;
        link.exchange.start(kMac);
        link.exchange.onFailed();
        EXPECT_EQ(link.results, std::vector{RegistrationResult::Failed});
        EXPECT_EQ(link.closes, 1);
    }
    {  // closed after one byte, and a new exchange starts clean
        Link link;
        link.exchange.start(kMac);
        link.exchange.onConnected();
        link.answer("o");
        link.exchange.onClosed();
        EXPECT_EQ(link.results, std::vector{RegistrationResult::Failed});
        ASSERT_TRUE(link.exchange.start(kMac));
        link.exchange.onConnected();
        link.answer("k");
        link.answer("o");
        EXPECT_EQ(link.results.back(), RegistrationResult::AlreadyAdded);
    }
    {  // an answer closed right after it still counts
        Link link;
        link.exchange.start(kMac);
        link.exchange.onConnected();
        link.answer("ok");
        link.exchange.onClosed();
        EXPECT_EQ(link.results, std::vector{RegistrationResult::Added});
    }
}

}  // namespace
}  // namespace dtu
