#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace dtu {

// The link frame: 88 3A, command, payload length (big-endian), payload, "E.". An answer's
// command is the request's with bit 7 set. There is no checksum; a request is matched to its
// answer by the command byte alone.
inline constexpr std::uint8_t FRAME_HEAD_1 = 0x88;
inline constexpr std::uint8_t FRAME_HEAD_2 = 0x3A;
inline constexpr std::uint8_t FRAME_TAIL_1 = 0x45;  // 'E'
inline constexpr std::uint8_t FRAME_TAIL_2 = 0x2E;  // '.'
inline constexpr std::size_t kFrameOverhead = 7;    // head 2, command 1, length 2, tail 2
inline constexpr std::size_t kMaxPayload = 0xFFFF;

inline constexpr std::uint8_t CMD_READ = 0x03;
inline constexpr std::uint8_t CMD_WRITE = 0x04;
inline constexpr std::uint8_t CMD_WRITE_MORE = 0x84;
inline constexpr std::uint8_t CMD_FACTORY_RESET = 0x05;
inline constexpr std::uint8_t CMD_REBOOT = 0x06;
inline constexpr std::uint8_t CMD_FIRMWARE = 0x07;
inline constexpr std::uint8_t CMD_DEEP_RESET = 0x09;
inline constexpr std::uint8_t ANSWER_FLAG = 0x80;

// Tags read on their own, outside the full read.
inline constexpr std::uint8_t TAG_PROBE = 0xFE;
inline constexpr std::uint8_t TAG_DIAGNOSTICS = 0xFF;
inline constexpr std::uint8_t TAG_DEVICE_TEXT = 0xB5;
inline constexpr std::uint8_t TAG_MQTT_STATUS = 0xB4;
inline constexpr std::uint8_t TAG_CERT_CHECKSUMS = 0xBA;
// Tags of the live controls.
inline constexpr std::uint8_t TAG_INPUTS = 0x50;
inline constexpr std::uint8_t TAG_RELAYS = 0x51;
inline constexpr std::uint8_t TAG_ANALOG = 0x52;
inline constexpr std::uint8_t TAG_COUNTERS = 0x53;
inline constexpr std::uint8_t TAG_CALIBRATION = 0xB7;
inline constexpr std::uint8_t TAG_CERT_CHUNK = 0xBB;

// The device-lock password and the suffix that carries it after the tail of the full read,
// the save and the firmware requests. The length field does not count the suffix.
inline constexpr std::size_t kLockPasswordSize = 8;
inline constexpr std::uint8_t LOCK_SUFFIX_MARK = 0xAA;
inline constexpr std::size_t kLockSuffixSize = kLockPasswordSize + 1;
using LockPassword = std::array<std::uint8_t, kLockPasswordSize>;
using Lock = std::optional<LockPassword>;  // set while the device-lock box is ticked

std::array<std::uint8_t, kLockSuffixSize> lockSuffix(const LockPassword& password);

constexpr std::uint8_t answerCode(std::uint8_t requestCode) {
    return requestCode | ANSWER_FLAG;
}

// A request frame around the payload, with the lock suffix when lock is set. The payload must
// not exceed kMaxPayload bytes.
std::vector<std::uint8_t> buildRequest(std::uint8_t command, std::span<const std::uint8_t> payload,
                                       const Lock& lock = std::nullopt);

// Whether the bytes begin with the two head bytes of a frame.
bool startsWithHead(std::span<const std::uint8_t> bytes);

// A burst is taken as a frame when it has more than 3 bytes, starts with the head and ends with
// the tail. The length field is not consulted.
bool isFrame(std::span<const std::uint8_t> burst);

// The check of a recognised frame before its answer is acted on.
enum class FrameCheck { Ok, TooShort, BadHead, BadTail };
FrameCheck checkFrame(std::span<const std::uint8_t> frame);

// Command byte and payload length field of a frame that passed checkFrame.
inline std::uint8_t frameCommand(std::span<const std::uint8_t> frame) {
    return frame[2];
}
inline std::uint16_t frameLengthField(std::span<const std::uint8_t> frame) {
    return static_cast<std::uint16_t>(frame[3] << 8 | frame[4]);
}

// A frame written in pieces of kSavePieceSize bytes one after the other, for devices whose
// receive buffer drops long writes; the last piece holds what remains.
inline constexpr std::size_t kSavePieceSize = 32;
std::vector<std::span<const std::uint8_t>> splitPieces(std::span<const std::uint8_t> frame,
                                                       std::size_t pieceSize = kSavePieceSize);

// The 114 tags of the full read, in the order the device expects them.
std::span<const std::uint8_t> fullReadTags();
// The full read request: 121 bytes, 130 with the lock suffix.
std::vector<std::uint8_t> fullReadRequest(const Lock& lock = std::nullopt);

// A read of one tag: 88 3A 03 00 01 tag 45 2E.
std::array<std::uint8_t, 8> singleTagRead(std::uint8_t tag);

// Fixed requests with an empty payload. They never carry the lock suffix.
std::array<std::uint8_t, 7> rebootRequest();
std::array<std::uint8_t, 7> factoryResetRequest();
std::array<std::uint8_t, 7> deepResetRequest();

// The RTU live controls.
std::array<std::uint8_t, 11> ioPollRequest();         // read items 80, 81, 82, 83
std::array<std::uint8_t, 11> clearCountersRequest();  // item 83 with one zero byte
// Item 81 with the eight relay actions Y1..Y8 (0 open, 1 close, 3 leave unchanged).
std::array<std::uint8_t, 18> relayControlRequest(const std::array<std::uint8_t, 8>& actions);
// The relay test of a single-relay device: Y1 closed (1) or opened (0), Y2..Y8 given the value
// 2, which no relay acts on.
std::array<std::uint8_t, 18> relayTestRequest(bool close);
std::array<std::uint8_t, 12> calibrationRequest();  // item 183 with 01 01

}  // namespace dtu
