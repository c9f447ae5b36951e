#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "link/frame.h"
#include "params/device_params.h"
#include "params/item_codec.h"
#include "params/live_state.h"
#include "text/language.h"

namespace dtu {

// The management command outstanding, if any; the values are the device link's own codes.
enum class PendingCommand : std::uint8_t {
    None = 0,
    Read = 1,
    Save = 2,
    Reset = 3,  // factory reset or deep factory reset
    Reboot = 4,
    Probe = 15,
};

enum class LinkTimer : std::uint8_t {
    Probe = 1,  // steps of the baud probe
    Reply = 2,  // answer time-out of the management commands
};

inline constexpr std::array<int, 11> kProbeBaudTable = {115200, 9600, 4800, 19200,  57600, 38400,
                                                        14400,  2400, 1200, 230400, 460800};
inline constexpr int kProbeStartMs = 200;
// How long after giving up the probe still waits for the last rate's answer: its request goes
// out as the probe gives up. A script can afford to wait for it a little longer than the
// window does.
inline constexpr int kProbeLateAnswerMs = 1000;
inline constexpr int kCommandTimeoutMs = 3000;  // reboot and both resets

// Answer time-out of read and save by the baud rate the port was opened with (0 after "AUTO").
int replyTimeoutMs(int currentBaud);
// Wait for the probe answer at one rate before the next rate is tried.
int probeStepMs(int baud);

// Fixed texts of the device link.
namespace linkText {
inline constexpr FormLabel kPortNotOpen{"串口未打开！！\r\n", "The serial port is not open\r\n"};
inline constexpr std::string_view kPortNotOpenReadEn = "Please open the serial port first\r\n";
inline constexpr FormLabel kReadFirst{"请先读取参数，在保存！！\r\n",
                                      "Read the parameters before saving them\r\n"};
inline constexpr FormLabel kProbeTrying{"正在尝试波特率：", "Trying baud rate: "};
inline constexpr FormLabel kProbeFailed{"尝试失败\r\n", "No answer at any baud rate\r\n"};
inline constexpr FormLabel kProbeFound{"当前波特率：", "Baud rate found: "};
inline constexpr FormLabel kTooShort{"长度太短", "Too short"};
}  // namespace linkText

// How a raw (non-frame) burst is shown in the receive box: "Data:" then the bytes as hex, or
// as 8-bit text up to the first zero byte.
std::string rawDataLine(std::span<const std::uint8_t> burst, bool hex, Language lang);

// The message shown when a save frame cannot be built.
std::string saveRefusalText(const SaveFrame& frame, Language lang);

// Everything the command flows ask of the world around them.
class LinkEffects {
public:
    virtual ~LinkEffects() = default;
    // Bytes for the port, one write each. The pieces of a frame are several calls with piece
    // set: each must reach the line on its own, after the one before has left it.
    virtual void writeBytes(std::span<const std::uint8_t> bytes, bool piece) = 0;
    // Starts (or restarts) a timer. An answer's time-out counts from when the bytes written
    // before it have left the line, not from when they were handed over.
    virtual void startTimer(LinkTimer timer, int ms) = 0;
    virtual void stopTimer(LinkTimer timer) = 0;
    virtual void appendLog(const std::string& text) = 0;  // ends in "\r\n" where the line does
    virtual void messageBox(const std::string& text) = 0;
    virtual void configureLine(int baud) = 0;  // the probe tries another rate
    virtual void setCommandsEnabled(bool enabled) = 0;
    virtual void setPortButtonEnabled(bool enabled) = 0;
    // A read answer was decoded into the record: the status displays, and after a full read
    // (result.sawItem1) the parameter controls and the production record.
    virtual void paramsDecoded(const DecodeResult& result) = 0;
    // A management command ended: answered, or its time-out fired.
    virtual void commandFinished(PendingCommand command, bool answered) = 0;
    // The probe tick that sends the last rate has passed; a late answer may still come.
    virtual void probeExhausted() {}
    // A write answer acknowledged an item (status 0) or refused it.
    virtual void writeAnswered(std::uint8_t /*tag*/, std::uint8_t /*status*/) {}
    virtual void probeFound(int baud) = 0;
};

// The device's management commands with one outstanding at a time, the answer handling every
// frame goes through, and the automatic baud probe. Driven by calls and timer events only.
class CommandFlow {
public:
    CommandFlow(LinkEffects& effects, DeviceParams& params, LiveState& live);

    void setLanguage(Language lang) { m_lang = lang; }
    Language language() const { return m_lang; }
    // The port was opened with this baud item (0 for "AUTO"), or closed.
    void setPortOpen(bool open, int currentBaud = 0);
    bool portOpen() const { return m_portOpen; }
    int currentBaud() const { return m_currentBaud; }
    // Device lock box: the password read and save carry after the frame, or none.
    void setLock(const Lock& lock) { m_lock = lock; }
    const Lock& lock() const { return m_lock; }
    // "Save failed, tick and retry": read and save go out as 32-byte writes.
    void setPieces(bool on) { m_pieces = on; }
    bool pieces() const { return m_pieces; }
    void setRawHex(bool on) { m_rawHex = on; }

    // User commands. Each reports in the log and returns whether a request went out.
    bool read();
    // Sends the record. A window first copies its controls into the record: `collect` runs once
    // the port and the read-first rule allow the save, and a false result stops it.
    bool save(const std::function<bool()>& collect = {});
    bool reboot();
    bool factoryReset();
    bool deepReset();
    bool requestDiagnostics();
    bool requestDeviceText();
    // Bytes typed by the user, not framed.
    bool sendRaw(std::span<const std::uint8_t> bytes);

    void startProbe();
    void stopProbe();
    // The rate the probe found, once it has found one.
    std::optional<int> probedBaud() const { return m_probedBaud; }

    void onBurst(std::span<const std::uint8_t> burst);
    void onTimer(LinkTimer timer);

    PendingCommand pending() const { return m_pending; }
    bool paramsRead() const { return m_paramsRead; }
    void setParamsRead() { m_paramsRead = true; }
    bool commandsEnabled() const { return m_commandsEnabled; }

private:
    bool requirePort(bool readText = false);
    void sendFrame(std::span<const std::uint8_t> frame, bool inPieces);
    void begin(PendingCommand command, int timeoutMs);
    void enableCommands(bool on);
    void onAnswer(std::span<const std::uint8_t> frame);
    void onWriteAnswer(std::span<const std::uint8_t> frame);
    void onProbeTick();
    std::string text(int id) const;

    LinkEffects& m_fx;
    DeviceParams& m_params;
    LiveState& m_live;
    Language m_lang = Language::Chinese;
    bool m_portOpen = false;
    int m_currentBaud = 0;
    Lock m_lock;
    bool m_pieces = false;
    bool m_rawHex = false;
    bool m_paramsRead = false;
    bool m_commandsEnabled = true;
    PendingCommand m_pending = PendingCommand::None;
    std::size_t m_probeIndex = 0;
    bool m_probing = false;
    std::optional<int> m_probedBaud;
};

}  // namespace dtu
