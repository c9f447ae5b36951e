#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/frame.h"
#include "transfer/firmware_image.h"

namespace dtu {

enum class FirmwareTimer : std::uint8_t {
    Answer = 1,       // no answer in time: repeat the last frame
    SwitchPause = 2,  // the device changes its line rate after accepting the upgrade
};

inline constexpr int kFirmwareLineBaud = 230400;
inline constexpr int kFirmwareSetupTimeoutMs = 2000;  // start and size
inline constexpr int kFirmwareBlockTimeoutMs = 3000;
inline constexpr int kFirmwareSwitchPauseMs = 800;
inline constexpr int kFirmwareMaxRepeats = 4;  // repetitions of one frame before giving up

// Status texts of the upgrade.
namespace firmwareText {
inline constexpr FormLabel kSucceeded{"升级成功", "Upgrade succeeded"};
inline constexpr FormLabel kFailed{"升级失败", "Upgrade failed"};
inline constexpr FormLabel kBadNumber{"升级失败 bad number", "Upgrade failed: bad block number"};
}  // namespace firmwareText

struct FirmwareResult {
    bool ok = false;
    std::string text;  // the final status text
    bool factoryResetAsked = false;
    bool factoryResetDone = false;  // the device reported that it restored its factory settings
    bool badNumber = false;         // the device asked for a block other than the next one
};

// An upgrade with a factory reset asked for is done only when the device did the reset too.
inline bool upgradeComplete(const FirmwareResult& r) {
    return r.ok && (!r.factoryResetAsked || r.factoryResetDone);
}
// What is said of the factory reset an upgrade asked for.
std::string factoryResetText(bool done, Language lang);

// Everything the upgrade asks of the world around it.
class FirmwareEffects {
public:
    virtual ~FirmwareEffects() = default;
    virtual void writeBytes(std::span<const std::uint8_t> bytes) = 0;
    // A timer fires every ms until stopped; starting a running timer restarts it. The answer
    // timer counts each period from when the bytes written before it have left the line.
    virtual void startTimer(FirmwareTimer timer, int ms) = 0;
    virtual void stopTimer(FirmwareTimer timer) = 0;
    // The line for the transfer: kFirmwareLineBaud, 8 data bits, no parity, one stop bit.
    virtual void useTransferLine() = 0;
    // The line back at the port's own rate, with the port's own parity and stop bits (whatever
    // that rate is, the transfer rate included).
    virtual void restoreLine(int baud) = 0;
    virtual void progress(std::uint32_t done, std::uint32_t total) = 0;
    virtual void statusText(const std::string& text) = 0;
    virtual void finished(const FirmwareResult& result) = 0;
};

// Sends a firmware image stop-and-wait: start, size, then the blocks one by one, each frame
// repeated by a timer until the device answers it. The device takes the transfer at 230400
// baud; the line goes back to its own rate when the upgrade ends, however it ends.
class FirmwareUpgrade {
public:
    enum class State {
        Idle,
        Starting,   // start request out
        Switching,  // the device accepted; waiting for both sides to change the line rate
        Sizing,     // size request out
        Sending,    // blocks out
    };

    struct Options {
        bool factoryReset = false;          // the device restores its factory settings afterwards
        Lock lock;                          // device-lock suffix on every frame
        int restoreBaud = 0;                // the line's rate to return to; 0 leaves the line alone
        Language lang = Language::Chinese;  // of the status texts
    };

    explicit FirmwareUpgrade(FirmwareEffects& effects) : m_fx(effects) {}

    // Starts the upgrade; false (and nothing sent) while one is running.
    bool start(FirmwareImage image, const Options& options);
    // Every burst from the line while the upgrade runs.
    void onBurst(std::span<const std::uint8_t> burst);
    void onTimer(FirmwareTimer timer);
    // Ends a running upgrade from outside (the window closed, the port failed). The line is
    // put back only when lineUsable.
    void abort(const std::string& text, bool lineUsable);

    bool running() const { return m_state != State::Idle; }
    State state() const { return m_state; }
    std::uint32_t blockIndex() const { return m_blockIndex; }
    std::uint32_t blockCount() const { return m_image.blockCount(); }
    int retryCount() const { return m_retryCount; }

private:
    void send(std::vector<std::uint8_t> frame, int timeoutMs);
    void sendSize();
    void sendBlock();
    void onAnswer(std::span<const std::uint8_t> frame);
    void finish(bool ok, std::string text, bool factoryResetDone = false, bool lineUsable = true);
    std::string text(FormLabel label) const {
        return std::string(inLanguage(label, m_options.lang));
    }
    void showCount();

    FirmwareEffects& m_fx;
    FirmwareImage m_image;
    Options m_options;
    State m_state = State::Idle;
    bool m_lineSwitched = false;
    std::uint32_t m_blockIndex = 0;
    std::vector<std::uint8_t> m_lastFrame;
    int m_retryCount = 0;
    bool m_badNumber = false;
};

}  // namespace dtu
