#include "pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <optional>
#include <random>

#include "line_speed.h"

namespace dtu::sim {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// With no tool on the line the terminal may report a hang-up on every poll; look again later.
constexpr auto kHangUpPause = 20ms;
// Paced output is written in pieces of about this much wire time.
constexpr auto kPacedChunk = 2ms;
// Before a hang-up the tool gets the bytes already on the wire: the line closes once they were
// read, after a short settling time, or at the latest after the longer wait.
constexpr auto kHangUpSettle = 30ms;
constexpr auto kHangUpLongest = 1000ms;

bool setFlags(int fd) {
    const int fl = fcntl(fd, F_GETFL);
    const int fdfl = fcntl(fd, F_GETFD);
    return fl >= 0 && fdfl >= 0 && fcntl(fd, F_SETFL, fl | O_NONBLOCK) == 0 &&
           fcntl(fd, F_SETFD, fdfl | FD_CLOEXEC) == 0;
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::string sysError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// An answer on its way out, with the fault that shapes it.
struct Outgoing {
    std::vector<std::uint8_t> bytes;
    std::size_t offset = 0;
    Clock::time_point notBefore;
    bool hangUp = false;
};

// Bytes on the paced receive line: byte i has finished arriving at start + (i + 1) byte times.
struct Incoming {
    Clock::time_point start;
    std::vector<std::uint8_t> bytes;
    std::size_t delivered = 0;
};

}  // namespace

std::vector<std::uint8_t> corruptAnswer(std::vector<std::uint8_t> answer, std::uint32_t seed) {
    std::mt19937 noise(seed);
    for (std::size_t i = 2; i < answer.size(); ++i) answer[i] = static_cast<std::uint8_t>(noise());
    const std::size_t n = answer.size();
    if (n >= 4 && answer[n - 2] == FRAME_TAIL_1 && answer[n - 1] == FRAME_TAIL_2)
        answer[n - 1] ^= 0xFF;
    return answer;
}

PtyServer::PtyServer(const SimOptions& options)
    : m_options(options), m_device(options.kind, options.baud) {
    if (options.lock) m_device.lock(*options.lock);
    if (options.deviceText) m_device.setDeviceText(*options.deviceText);
    if (options.imei) m_device.setImei(*options.imei);
    if (options.mqttState) m_device.setMqttState(*options.mqttState);
}

std::unique_ptr<PtyServer> PtyServer::start(const SimOptions& options, std::string& error) {
    std::unique_ptr<PtyServer> server(new PtyServer(options));
    if (!server->open(error)) return nullptr;
    server->m_thread = std::thread([s = server.get()] { s->run(); });
    return server;
}

bool PtyServer::open(std::string& error) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        error = sysError("cannot open a pseudo-terminal");
        return false;
    }
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 || !setFlags(m_master)) {
        error = sysError("cannot prepare the pseudo-terminal");
        return false;
    }
    const char* name = ptsname(m_master);
    if (!name) {
        error = sysError("cannot name the pseudo-terminal");
        return false;
    }
    m_path = name;
    // Holding the slave open keeps its settings across the tool's reopenings, and spares the
    // master the hang-up state while no tool is attached.
    m_slave = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slave < 0) {
        error = sysError("cannot open the terminal side");
        return false;
    }
    if (!setRawLine(m_slave, m_options.baud)) {
        error = sysError("cannot set the line");
        return false;
    }
    if (pipe(m_wake) != 0 || !setFlags(m_wake[0]) || !setFlags(m_wake[1])) {
        error = sysError("cannot make a wake-up pipe");
        return false;
    }
    if (!m_options.linkPath.empty()) {
        const char* link = m_options.linkPath.c_str();
        struct stat st {};
        // A stale link from an earlier run is replaced; anything else is left alone.
        if (lstat(link, &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = m_options.linkPath + " exists and is not a symbolic link";
                return false;
            }
            ::unlink(link);
        }
        if (symlink(m_path.c_str(), link) != 0) {
            error = sysError(("cannot make the link " + m_options.linkPath).c_str());
            return false;
        }
        m_linkMade = true;
    }
    return true;
}

PtyServer::~PtyServer() {
    m_stop = true;
    if (m_wake[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] const auto n = ::write(m_wake[1], &c, 1);
    }
    if (m_thread.joinable()) m_thread.join();
    closeLine();
    closeFd(m_wake[0]);
    closeFd(m_wake[1]);
    if (m_linkMade) {
        // Only our own link: another run may have taken the name over meanwhile.
        char target[4096];
        const ssize_t n = readlink(m_options.linkPath.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == m_path)
            ::unlink(m_options.linkPath.c_str());
    }
}

void PtyServer::closeLine() {
    closeFd(m_master);
    closeFd(m_slave);
}

LineCounters PtyServer::counters() const {
    return {m_bytesIn.load(), m_bytesOut.load()};
}

DeviceParams PtyServer::image() const {
    std::lock_guard lock(m_deviceMutex);
    return m_device.image();
}

std::vector<std::string> PtyServer::takeLog() {
    std::lock_guard lock(m_deviceMutex);
    return m_device.takeLog();
}

void PtyServer::run() {
    const Clock::time_point start = Clock::now();
    // The device changes its rate for a firmware transfer and back.
    int baud = 0;
    const bool paced = m_options.lineRate;
    std::chrono::nanoseconds byteTime{};
    std::size_t pacedChunk = 1;
    auto setBaud = [&](int b) {
        baud = b;
        byteTime = std::chrono::nanoseconds(10'000'000'000LL / baud);
        pacedChunk = std::max<std::size_t>(1, static_cast<std::size_t>(kPacedChunk / byteTime));
    };
    setBaud(m_options.baud);
    int deviceBaud = baud;  // what the device runs at once its answers are out
    // Wire time of n bytes.
    auto wire = [&](auto n) { return byteTime * static_cast<std::int64_t>(n); };

    std::deque<Incoming> incoming;
    std::deque<Outgoing> outgoing;
    Clock::time_point lineBusyUntil = start;  // receive side
    Clock::time_point sendNext = start;       // send side: when the line is free again
    int answerCount = 0;
    bool writeBlocked = false;
    bool hungUp = false;
    std::optional<Clock::time_point> hangUpAt;  // the hang-up answer is out

    auto modelTime = [&](Clock::time_point t) {
        return std::chrono::duration_cast<Device::Time>(t - start);
    };

    auto schedule = [&](std::vector<Device::Answer> answers, Clock::time_point ready) {
        for (auto& answer : answers) {
            const int index = ++answerCount;
            Outgoing out{std::move(answer), 0, ready, false};
            bool dropped = false;
            for (const Fault& fault : m_options.faults) {
                if (fault.answer != index) continue;
                switch (fault.kind) {
                    case FaultKind::Drop:
                        dropped = true;
                        break;
                    case FaultKind::Corrupt:
                        out.bytes =
                            corruptAnswer(std::move(out.bytes), static_cast<std::uint32_t>(index));
                        break;
                    case FaultKind::Delay:
                        out.notBefore += std::chrono::milliseconds(fault.delayMs);
                        break;
                    case FaultKind::HangUp:
                        out.bytes.resize(out.bytes.size() / 2);
                        out.hangUp = true;
                        break;
                }
            }
            if (!dropped) outgoing.push_back(std::move(out));
        }
    };

    auto deliver = [&](std::span<const std::uint8_t> bytes, Clock::time_point at) {
        std::vector<Device::Answer> answers;
        {
            std::lock_guard lock(m_deviceMutex);
            answers = m_device.receive(bytes, modelTime(at));
            deviceBaud = m_device.lineBaud();
        }
        schedule(std::move(answers), at);
    };

    // When the next paced chunk of out has fully crossed the line: the line carries it from the
    // moment both the answer and the line are ready.
    auto chunkDue = [&](const Outgoing& out) {
        const std::size_t chunk = std::min(out.bytes.size() - out.offset, pacedChunk);
        return std::max(out.notBefore, sendNext) + wire(chunk);
    };

    // Writes what is due; false once a hang-up fault has closed the line.
    auto flush = [&](Clock::time_point now) -> bool {
        while (!outgoing.empty()) {
            Outgoing& out = outgoing.front();
            if (now < out.notBefore) return true;
            const std::size_t left = out.bytes.size() - out.offset;
            const std::size_t chunk = paced ? std::min(left, pacedChunk) : left;
            // A paced chunk reaches the tool when its last byte has crossed the line.
            if (paced && now < chunkDue(out)) return true;
            // Counted before the write so that a reader never sees more bytes than the count.
            m_bytesOut += chunk;
            ssize_t written =
                chunk == 0 ? 0 : ::write(m_master, out.bytes.data() + out.offset, chunk);
            m_bytesOut -= chunk - static_cast<std::size_t>(std::max<ssize_t>(written, 0));
            if (written < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    writeBlocked = true;
                    return true;
                }
                if (errno == EINTR) continue;
                // Nobody can take it: the answer is lost as on a dead line.
                outgoing.pop_front();
                continue;
            }
            out.offset += static_cast<std::size_t>(written);
            if (paced) sendNext = std::max(out.notBefore, sendNext) + wire(written);
            if (out.offset < out.bytes.size()) continue;
            if (out.hangUp) return false;
            outgoing.pop_front();
        }
        return true;
    };

    std::vector<std::uint8_t> buffer(4096);
    while (!m_stop) {
        Clock::time_point now = Clock::now();
        // The device sees paced bytes as they finish arriving, not all at once at the end.
        while (!incoming.empty()) {
            Incoming& in = incoming.front();
            const auto arrived = std::min<std::size_t>(
                in.bytes.size(),
                static_cast<std::size_t>(std::max<std::int64_t>(0, (now - in.start) / byteTime)));
            if (arrived > in.delivered) {
                deliver(std::span(in.bytes).subspan(in.delivered, arrived - in.delivered),
                        in.start + wire(arrived));
                in.delivered = arrived;
            }
            if (in.delivered < in.bytes.size()) break;
            incoming.pop_front();
        }
        {
            std::vector<Device::Answer> answers;
            {
                std::lock_guard lock(m_deviceMutex);
                const auto due = m_device.nextDeadline();
                if (due && *due <= modelTime(now)) answers = m_device.advance(modelTime(now));
                deviceBaud = m_device.lineBaud();
            }
            schedule(std::move(answers), now);
        }
        if (!hangUpAt && !writeBlocked && !flush(now)) hangUpAt = now;
        // A new rate applies once the answers given at the old one have crossed the line.
        if (outgoing.empty() && deviceBaud != baud) {
            setBaud(deviceBaud);
            sendNext = std::max(sendNext, now);
        }
        if (hangUpAt) {
            // Closing the master discards what the tool has not read yet; wait for it.
            int unread = 0;
            const bool drained = ::ioctl(m_slave, FIONREAD, &unread) != 0 || unread == 0;
            if ((drained && now - *hangUpAt >= kHangUpSettle) ||
                now - *hangUpAt >= kHangUpLongest) {
                closeLine();
                m_finished = true;
                return;
            }
        }

        // Sleep until the next thing is due; with nothing due, until the tool writes or a stop
        // request comes through the wake-up pipe (an idle device costs no wake-ups).
        Clock::time_point next = hungUp || hangUpAt ? now + kHangUpPause : Clock::time_point::max();
        if (!incoming.empty()) {
            const Incoming& in = incoming.front();
            const std::size_t upTo = std::min(in.bytes.size(), in.delivered + pacedChunk);
            next = std::min(next, in.start + wire(upTo));
        }
        {
            std::lock_guard lock(m_deviceMutex);
            if (const auto due = m_device.nextDeadline()) next = std::min(next, start + *due);
        }
        if (!outgoing.empty() && !writeBlocked)
            next = std::min(next, paced ? chunkDue(outgoing.front()) : outgoing.front().notBefore);
        int timeout = -1;
        if (next != Clock::time_point::max()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now);
            timeout = static_cast<int>(
                std::clamp<std::int64_t>(wait.count(), 0, std::numeric_limits<int>::max()));
        }

        pollfd fds[2] = {{m_wake[0], POLLIN, 0}, {m_master, 0, 0}};
        // While the terminal reports a hang-up, polling it would return at once: only sleep.
        if (!hungUp) fds[1].events = static_cast<short>(POLLIN | (writeBlocked ? POLLOUT : 0));
        const int ready = ::poll(fds, hungUp ? 1 : 2, timeout);
        hungUp = false;
        if (ready < 0) continue;  // interrupted
        if (fds[0].revents & POLLIN) {
            char drain[16];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }
        if (fds[1].revents & POLLOUT) writeBlocked = false;
        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(m_master, buffer.data(), buffer.size());
            if (n > 0) {
                m_bytesIn += static_cast<std::uint64_t>(n);
                const auto bytes = std::span(buffer).first(static_cast<std::size_t>(n));
                const Clock::time_point got = Clock::now();
                // Bytes sent at another rate are noise to the device.
                if (lineRate(m_master) != baud) continue;
                if (paced) {
                    const Clock::time_point begin = std::max(lineBusyUntil, got);
                    lineBusyUntil = begin + wire(n);
                    incoming.push_back({begin, {bytes.begin(), bytes.end()}});
                } else {
                    deliver(bytes, got);
                }
            } else if (n < 0 && errno == EIO) {
                hungUp = true;
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            hungUp = true;
        }
    }
}

}  // namespace dtu::sim
