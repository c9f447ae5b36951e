#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dtu {

// What the print service does with one datagram.
enum class DatagramKind : std::uint8_t {
    Probe,     // "test": answered, not printed
    Setup,     // the fixed printer set-up: starts a job
    Download,  // "DOWNLOAD ...": a file for the printer's memory, part of the job
    Label,     // anything else: the label itself, which ends the job
};

DatagramKind classifyDatagram(std::span<const std::uint8_t> bytes);

// The print service's answer to the probe.
inline constexpr std::string_view kProbeAnswer = "ok";
// A job that has had no datagram for this long is complete without its label.
inline constexpr int kJobQuietMs = 2000;
// A job is passed on when it holds this many bytes, and the sender's next datagrams start a
// new one, so that no sender can make a job grow without end.
inline constexpr std::size_t kJobByteLimit = 1024 * 1024;
// Senders with an open job at one time; beyond this the oldest job is passed on.
inline constexpr std::size_t kOpenJobLimit = 64;

// One print as the printer gets it: the datagrams of one sender, back to back.
struct PrintJob {
    std::string sender;
    std::string bytes;
    int datagrams = 0;
    bool labelSeen = false;  // ended by its label (not by quiet time, size or a new set-up)
};

// Gathers the datagrams of each sender into jobs. A job is the datagrams one sender sends for
// one print: it starts with the sender's first datagram (normally the set-up) and ends with
// the label datagram; a job without a label ends after kJobQuietMs of quiet, when a new set-up
// arrives or at kJobByteLimit. Nothing accepted is ever dropped: every datagram leaves in a job.
// Time is given by the caller in milliseconds of any steady clock.
class JobAssembler {
public:
    // Takes a datagram that is not a probe; returns the jobs it completes, in order.
    std::vector<PrintJob> onDatagram(const std::string& sender, std::span<const std::uint8_t> bytes,
                                     std::int64_t nowMs);
    // Returns the jobs that have been quiet long enough.
    std::vector<PrintJob> onTime(std::int64_t nowMs);
    // When onTime should next be called; nullopt while no job is open.
    std::optional<std::int64_t> nextDeadline() const;
    // Every open job, as it is (when the service stops).
    std::vector<PrintJob> flush();
    std::size_t openJobs() const { return m_open.size(); }

private:
    struct Open {
        PrintJob job;
        std::int64_t lastMs = 0;
    };
    std::vector<Open> m_open;  // in the order the jobs started
};

}  // namespace dtu
