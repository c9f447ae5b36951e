#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "answers.h"
#include "link/frame.h"
#include "params/device_params.h"
#include "transfer_receiver.h"

namespace dtu::sim {

enum class DeviceKind { Dtu, Rtu };

// Requests longer than this are not a request the tool sends: dropped, and the device looks
// for the next frame head.
inline constexpr std::size_t kMaxRequest = 8192;
// A partial frame that receives nothing for this long is given up.
inline constexpr std::chrono::milliseconds kStaleRequest{1000};
// How long after a frame a lock suffix may still arrive, beyond its own 9 bytes of wire time.
inline constexpr std::chrono::milliseconds kSuffixGrace{100};

// An RTU's inputs change by themselves in a fixed pattern, so that a poll sees them move: X(i+1)
// holds each state for (i + 1) times this long after power-up, starting from its state at
// power-up. The counters count the rising edges. Analogue input 1 ramps up and down over
// kAnalogSweep, input 2 over three times that.
inline constexpr std::chrono::milliseconds kInputHold{1500};
inline constexpr std::chrono::milliseconds kAnalogSweep{20000};

// The parameters a new device leaves the factory with, and its identity: the identity fields
// of the record (MAC, IMEI, ICCID, model, version, status) belong to the device and survive a
// factory reset.
DeviceParams factoryImage(DeviceKind kind);
RunState initialRunState(DeviceKind kind);

// The device at the other end of the link, with no I/O of its own: bytes arrive with the time
// they finished arriving, answers come back as whole frames in the order they are sent.
class Device {
public:
    using Time = std::chrono::milliseconds;  // from any fixed start
    using Answer = std::vector<std::uint8_t>;

    // baud is the device's own line rate; it sets how long a lock suffix is waited for.
    explicit Device(DeviceKind kind = DeviceKind::Dtu, int baud = 9600);

    // Bytes received, the last of them at `now`. Returns the answers they complete.
    std::vector<Answer> receive(std::span<const std::uint8_t> bytes, Time now);
    // Time passing without bytes: a lock suffix that never came, a request that never finished.
    std::vector<Answer> advance(Time now);
    // When advance() next has something to do.
    std::optional<Time> nextDeadline() const;

    // Locks the device with a password, as a save of item 144 with flag 0x78 does.
    void lock(const LockPassword& password);
    bool locked() const;
    // The free text the device reports (item 181), GBK.
    void setDeviceText(std::string text) { m_run.deviceText = std::move(text); }
    // The IMEI it reports instead of its model's own (15 digits); it survives a factory reset.
    void setImei(const std::string& imei);
    // The MQTT state it reports from now on (item 180 bytes 0..4).
    void setMqttState(const std::array<std::uint8_t, 5>& state) { m_run.mqttState = state; }

    const DeviceParams& image() const { return m_image; }
    // The line rate the device listens and answers at: its own, or the firmware transfer's.
    int lineBaud() const;
    const FirmwareReceiver& firmware() const { return m_firmware; }
    const CertStore& certificates() const { return m_certs; }
    const RunState& runState() const { return m_run; }
    DeviceKind kind() const { return m_kind; }
    // What the device did that a person watching it would want to see (the relays it
    // switched), one line each, oldest first; taking them empties the log.
    std::vector<std::string> takeLog();

private:
    struct Pending {
        std::vector<std::uint8_t> frame;
        Time deadline;
    };

    void process(Time now, std::vector<Answer>& out);
    void handleFrame(std::vector<std::uint8_t> frame, Time now, std::vector<Answer>& out);
    void execute(std::span<const std::uint8_t> frame, Time now, std::vector<Answer>& out);
    bool needsPassword(std::span<const std::uint8_t> frame) const;
    std::optional<Answer> write(std::span<const std::uint8_t> payload);
    std::optional<Answer> writeMore(std::span<const std::uint8_t> payload);
    void storeSaveItem(std::uint8_t tag, std::span<const std::uint8_t> value);
    void refreshStatus(Time now);
    void powerUp(Time now);
    void sampleIo(Time now);
    Time suffixWindow() const;

    DeviceKind m_kind;
    int m_baud;
    DeviceParams m_image;
    RunState m_run;
    Time m_bootTime{0};
    Time m_ioSampled{0};  // the inputs and counters are up to date until here

    std::vector<std::uint8_t> m_rx;
    Time m_lastByte{0};
    std::optional<Pending> m_awaitingSuffix;  // a locked request waiting for its password
    std::optional<Time> m_strayUntil;         // an unneeded suffix may still follow

    FirmwareReceiver m_firmware;
    CertStore m_certs;
    std::optional<std::string> m_installedVersion;  // set by a completed upgrade
    std::optional<std::string> m_imei;              // set by setImei
    std::deque<std::string> m_log;
    void factoryReset();
    void log(std::string line);
    void firmwareRequest(std::span<const std::uint8_t> frame, Time now, std::vector<Answer>& out);
    std::optional<Answer> certChunk(std::span<const std::uint8_t> value, bool last);
};

}  // namespace dtu::sim
