#include "io_commands.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <iostream>
#include <optional>
#include <span>
#include <sstream>

#include "common.h"
#include "link/frame.h"
#include "params/relay_form.h"
#include "rtu/output_rules.h"
#include "rtu/rtu_panel.h"
#include "rtu/rtu_texts.h"
#include "rtu_panel_driver.h"
#include "session.h"

namespace dtu::cli {

namespace {

// The device's answer to an I/O poll or a counter clear; the tool's window does not wait for
// either, a script waits this long.
constexpr int kAnswerMs = 3000;
// Longer than any calibration can take: its own checks end it well before.
constexpr int kCalibrationLimitMs = 30000;
constexpr int kWatchPeriodMs = 1000;  // as the panel's auto refresh

bool english(const Session& s) {
    return s.language() == Language::English;
}

std::string noAnswerText(const Session& s) {
    return english(s) ? "No answer from the device" : "设备无应答";
}

// Runs the event loop until a condition holds, a limit passes or the port fails.
class Waiter {
public:
    explicit Waiter(Session& session) : m_session(session) {
        m_connections = {
            QObject::connect(&session, &Session::decoded, [this] { check(); }),
            QObject::connect(&session, &Session::portFailed,
                             [this] {
                                 m_portFailed = true;
                                 m_loop.quit();
                             }),
        };
        m_limit.setSingleShot(true);
        QObject::connect(&m_limit, &QTimer::timeout, &m_loop, &QEventLoop::quit);
    }
    ~Waiter() {
        for (const auto& c : m_connections) QObject::disconnect(c);
    }

    // The limit counts from when what was written so far has left the line.
    bool waitFor(int limitMs, std::function<bool()> done) {
        m_done = std::move(done);
        if (m_done()) return true;
        m_limit.start(m_session.answerTimeoutMs(limitMs));
        m_loop.exec();
        m_limit.stop();
        return !m_portFailed && m_done();
    }
    // Lets time pass with the line running.
    void pause(int ms) {
        if (ms <= 0) return;
        m_done = [] { return false; };
        m_limit.start(ms);
        m_loop.exec();
    }
    bool portFailed() const { return m_portFailed; }
    // Something the condition looks at may have changed.
    void check() {
        if (m_done && m_done()) m_loop.quit();
    }

private:
    Session& m_session;
    QEventLoop m_loop;
    QTimer m_limit;
    std::function<bool()> m_done;
    bool m_portFailed = false;
    std::vector<QMetaObject::Connection> m_connections;
};

// Sends the I/O poll and waits for an answer that carries all four items.
bool poll(Session& s, Waiter& waiter) {
    LiveState& live = s.live();
    live.liveInputsFresh = live.liveRelaysFresh = live.liveAnalogFresh = live.liveCountersFresh =
        false;
    if (!s.flow().sendRaw(ioPollRequest())) return false;
    return waiter.waitFor(kAnswerMs, [&live] {
        return live.liveInputsFresh && live.liveRelaysFresh && live.liveAnalogFresh &&
               live.liveCountersFresh;
    });
}

template <typename T, std::size_t N>
std::string joined(const std::array<T, N>& values, std::size_t count, const char* separator) {
    std::ostringstream out;
    for (std::size_t i = 0; i < count; ++i) out << (i ? separator : "") << unsigned(values[i]);
    return out.str();
}

void printIo(const LiveState& live, Language lang, bool json) {
    const auto& w = live.liveAnalog;
    if (json) {
        std::cout << "{\"inputs\":[" << joined(live.liveInputs, kRtuInputs, ",") << "],\"relays\":["
                  << joined(live.liveRelays, kRtuRelays, ",") << "],\"analog\":["
                  << joined(w, w.size(), ",") << "],\"counters\":["
                  << joined(live.liveCounters, kRtuInputs, ",") << "]}\n";
        return;
    }
    std::cout << "X1-X8: " << joined(live.liveInputs, kRtuInputs, " ") << "\n";
    std::cout << "Y1-Y8: " << joined(live.liveRelays, kRtuRelays, " ") << "\n";
    for (int a = 0; a < 2; ++a) {
        const std::uint32_t reading = w[2 * a + 1];
        std::cout << "A" << a + 1 << ": " << analogText(0, reading, w[2 * a]);
        for (int mode = 1; mode < kAnalogModeCount; ++mode)
            std::cout << "  " << rtuText::kAnalogModes[mode] << ": "
                      << analogText(mode, reading, 0);
        std::cout << "\n";
    }
    std::cout << coefficientsText(w).substr(1) << "\n";
    std::cout << inLanguage(rtuText::kCount, lang)
              << " X1-X8: " << joined(live.liveCounters, kRtuInputs, " ") << "\n";
}

int io(const IoJob& job, Session& s) {
    Waiter waiter(s);
    for (bool first = true;; first = false) {
        QElapsedTimer since;
        since.start();
        if (!poll(s, waiter)) return fail(kExitFailed, noAnswerText(s));
        if (job.watch && !first && !job.json) std::cout << "\n";
        printIo(s.live(), s.language(), job.json);
        std::cout << std::flush;
        if (!job.watch) return kExitOk;
        waiter.pause(kWatchPeriodMs - static_cast<int>(since.elapsed()));
        if (waiter.portFailed()) return kExitFailed;
    }
}

int relay(const IoJob& job, Session& s) {
    Waiter waiter(s);
    s.flow().sendRaw(relaySwitchRequest(job.relay, job.close));
    // The device's acknowledgement of the relay frame says only that it took it; the poll
    // behind it shows what it did.
    if (!poll(s, waiter)) return fail(kExitFailed, noAnswerText(s));
    const std::uint8_t state = s.live().liveRelays[static_cast<std::size_t>(job.relay)];
    const Language lang = s.language();
    const auto shown = [&](bool closed) {
        return actionItemText(job.relay, closed ? RelayAction::Close : RelayAction::Open, lang);
    };
    if (state != (job.close ? 1 : 0)) {
        const std::string reported = state <= 1 ? shown(state == 1) : std::to_string(state);
        return fail(kExitFailed, english(s)
                                     ? "the relay did not switch; the device reports " + reported
                                     : "继电器未切换，设备报告 " + reported);
    }
    std::cout << shown(job.close) << "\n";
    return kExitOk;
}

// Sends a live write request and waits for the device's acknowledgement of its item: the
// status the device gives, or nothing when no acknowledgement came.
std::optional<std::uint8_t> writeAndAwait(Session& s, std::span<const std::uint8_t> request,
                                          std::uint8_t tag) {
    Waiter waiter(s);
    std::optional<std::uint8_t> status;
    auto c = QObject::connect(&s, &Session::writeAnswer, [&](quint8 answered, quint8 st) {
        if (answered != tag) return;
        status = st;
        waiter.check();
    });
    s.flow().sendRaw(request);
    waiter.waitFor(kAnswerMs, [&] { return status.has_value(); });
    QObject::disconnect(c);
    return status;
}

// The relay dialog's test switch: Y1 of a single-relay device closes or opens, the others are
// left alone; what is reported is the device's acknowledgement.
int relayTest(const IoJob& job, Session& s) {
    const auto status = writeAndAwait(s, relayTestRequest(job.close), TAG_RELAYS);
    if (!status) return fail(kExitFailed, noAnswerText(s));
    if (*status != 0)
        return fail(kExitFailed,
                    english(s) ? "the device refused the relay test (status " +
                                     std::to_string(*status) + ")"
                               : "设备拒绝继电器测试（状态 " + std::to_string(*status) + "）");
    std::cout << "Y1 " << relayActionEntries(s.language())[job.close ? 0 : 1] << "\n";
    return kExitOk;
}

int clearCounters(Session& s) {
    const auto status = writeAndAwait(s, clearCountersRequest(), TAG_COUNTERS);
    if (!status) return fail(kExitFailed, noAnswerText(s));
    if (*status != 0)
        return fail(kExitFailed, english(s)
                                     ? "the device refused to clear the counters (status " +
                                           std::to_string(*status) + ")"
                                     : "设备拒绝清零计数（状态 " + std::to_string(*status) + "）");
    std::cout << (english(s) ? "Counters cleared" : "计数已清零") << "\n";
    return kExitOk;
}

int calibrate(Session& s) {
    Waiter waiter(s);
    RtuPanelDriver driver(s);
    std::optional<std::string> result;
    QObject::connect(&driver, &RtuPanelDriver::messageRequested, [&](const QString& text) {
        result = text.toStdString();
        waiter.check();
    });
    driver.panel().calibrate();
    if (!waiter.waitFor(kCalibrationLimitMs, [&] { return result.has_value(); }))
        return kExitFailed;
    std::cout << *result << "\n";
    return *result == inLanguage(rtuText::kCalibrationOk, s.language()) ? kExitOk : kExitFailed;
}

}  // namespace

bool isIoCommand(const std::string& name) {
    return name == "io" || name == "relay" || name == "relay-test" || name == "counters" ||
           name == "calibrate";
}

int prepareIo(const std::string& command, const Args& args, IoJob& job) {
    job.command = command;
    job.watch = args.flag("--watch");
    job.json = args.flag("--json");
    const auto& pos = args.positional();
    if (command == "relay") {
        const std::string& n = pos[0];
        if (n.size() != 1 || n[0] < '1' || n[0] > '8')
            return fail(kExitUsage, "relay: N is a relay number from 1 to 8, not '" + n + "'");
        if (pos[1] != "open" && pos[1] != "close")
            return fail(kExitUsage, "relay: open or close, not '" + pos[1] + "'");
        job.relay = n[0] - '1';
        job.close = pos[1] == "close";
    }
    if (command == "relay-test") {
        if (pos[0] != "open" && pos[0] != "close")
            return fail(kExitUsage, "relay-test: open or close, not '" + pos[0] + "'");
        job.close = pos[0] == "close";
    }
    if (command == "counters" && pos[0] != "clear")
        return fail(kExitUsage, "counters: the only action is clear, not '" + pos[0] + "'");
    return kExitOk;
}

int runIo(const IoJob& job, Session& session) {
    if (job.command == "io") return io(job, session);
    if (job.command == "relay") return relay(job, session);
    if (job.command == "relay-test") return relayTest(job, session);
    if (job.command == "counters") return clearCounters(session);
    return calibrate(session);
}

}  // namespace dtu::cli
