#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace dtu::sim {

// After accepting an upgrade the device listens at the transfer rate only this long for the
// size request before it gives the upgrade up and returns to its own rate; once blocks flow, a
// pause longer than the tool's repetitions ends the transfer likewise.
inline constexpr std::chrono::milliseconds kFirmwareSizeWait{1500};
inline constexpr std::chrono::milliseconds kFirmwareBlockWait{20000};

// The device's side of a firmware upgrade: checks each block's number and sum, acknowledges
// with the number it expects next, and keeps the image once the last block is in.
class FirmwareReceiver {
public:
    using Time = std::chrono::milliseconds;
    using Answer = std::vector<std::uint8_t>;

    struct Outcome {
        std::optional<Answer> answer;
        bool completed = false;     // the whole image is in
        bool factoryReset = false;  // ... and the settings are to go back to the factory's
    };

    // A whole firmware request (command 0x07), without any lock suffix.
    Outcome onFrame(std::span<const std::uint8_t> frame, Time now);
    // Gives up a transfer that went quiet.
    void advance(Time now);
    std::optional<Time> deadline() const;
    // Whether the line runs at the transfer rate.
    bool active() const { return m_state != State::Idle; }

    std::uint32_t expectedBlock() const { return m_expected; }
    const std::vector<std::uint8_t>& lastImage() const { return m_lastImage; }
    std::uint8_t lastImageType() const { return m_lastType; }
    int completedUpgrades() const { return m_completed; }

private:
    enum class State { Idle, AwaitSize, Blocks };

    Answer onBlock(std::uint8_t step, std::span<const std::uint8_t> value, Outcome& outcome);

    State m_state = State::Idle;
    Time m_deadline{0};
    std::uint8_t m_type = 0;
    bool m_resetAfter = false;
    std::uint32_t m_size = 0;
    std::uint32_t m_expected = 0;
    std::vector<std::uint8_t> m_image;
    std::vector<std::uint8_t> m_lastImage;
    std::uint8_t m_lastType = 0;
    int m_completed = 0;
};

// The version text a device reports after installing an image: its type, size and a hash of
// its bytes, so that a test can tell exactly which image arrived.
std::string installedVersion(std::uint8_t type, std::span<const std::uint8_t> image);

// The device's certificate store: the blob arrives in chunks at their offsets; the last chunk
// (sent with the write command) commits it and the checksums of its three parts.
class CertStore {
public:
    using Answer = std::vector<std::uint8_t>;

    // The value of a certificate chunk item (offset, 512 bytes). Returns the acknowledgement,
    // a refusal for a chunk outside the store, nothing for an item of another size.
    std::optional<Answer> onChunk(std::span<const std::uint8_t> value, bool last);
    bool committed() const { return m_committed; }
    std::span<const std::uint8_t> blob() const { return m_blob; }
    // CA, client certificate and client key, each the 16-bit sum of its bytes.
    std::array<std::uint16_t, 3> checksums() const { return m_checksums; }

private:
    std::vector<std::uint8_t> m_blob = std::vector<std::uint8_t>(8192);
    std::array<std::uint16_t, 3> m_checksums{};
    bool m_committed = false;
};

}  // namespace dtu::sim
