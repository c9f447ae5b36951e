#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device.h"
#include "params/device_params.h"
#include "sim_options.h"

namespace dtu::sim {

// Bytes that crossed the line in each direction, whatever became of them.
struct LineCounters {
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;
};

// The answer with everything after its head replaced by noise from `seed`, so that it no longer
// ends in the frame tail. Same length as the answer.
std::vector<std::uint8_t> corruptAnswer(std::vector<std::uint8_t> answer, std::uint32_t seed);

// The simulated device served on a pseudo-terminal by a thread of its own. The tool opens the
// slave side (path()) like any serial port.
class PtyServer {
public:
    static std::unique_ptr<PtyServer> start(const SimOptions& options, std::string& error);
    ~PtyServer();  // stops the thread, closes the terminal, removes the link

    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    const std::string& path() const { return m_path; }
    LineCounters counters() const;
    DeviceParams image() const;  // a copy of the device's record at this moment
    // The device's log lines since the last call.
    std::vector<std::string> takeLog();
    // Set once a hang-up fault has closed the line: the server does nothing more.
    bool finished() const { return m_finished.load(); }

private:
    explicit PtyServer(const SimOptions& options);
    bool open(std::string& error);
    void run();
    void closeLine();

    SimOptions m_options;
    std::string m_path;
    int m_master = -1;
    int m_slave = -1;  // held open: the line keeps its settings while the tool is away
    int m_wake[2] = {-1, -1};
    bool m_linkMade = false;

    mutable std::mutex m_deviceMutex;
    Device m_device;

    std::atomic<std::uint64_t> m_bytesIn{0};
    std::atomic<std::uint64_t> m_bytesOut{0};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};

}  // namespace dtu::sim
