#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/frame.h"
#include "params/device_params.h"
#include "params/live_state.h"

namespace dtu {

struct FieldInfo;

// An item the decoder left alone: its length broke the tag's rule, or no table lists the tag.
struct IgnoredItem {
    std::uint8_t tag = 0;
    std::uint16_t length = 0;
    bool unknownTag = false;
};

struct DecodeResult {
    int applied = 0;                   // items stored
    std::vector<IgnoredItem> ignored;  // items skipped by their length
    bool truncated = false;            // stopped at an item running past the block end
    // The device's serial settings arrived: a full read, the only request that asks for them.
    // Only its answer replaces the window's parameter controls and adds the device to the
    // production record; other answers feed the status displays alone.
    bool sawItem1 = false;
    bool probeAnswered = false;              // item 254: the baud probe hit
    std::optional<std::string> deviceText;   // item 181, GBK, at most 127 bytes
    std::optional<Diagnostics> diagnostics;  // item 255
};

// What a parameter block may change in the record.
enum class DecodeScope {
    Everything,  // a save frame, a file, a captured answer: every item it carries
    // The answer on a live line: settings only when it is a full read's (isFullReadBlock). The
    // answers to status, I/O poll, MQTT status and checksum requests bring what the device
    // reports and leave every setting as the record holds it, edited or imported.
    Answer,
};

// Whether the block carries item 1 whole, as the answer to a full read does.
bool isFullReadBlock(std::span<const std::uint8_t> block);

// Decodes a parameter block (the read answer from its length field on) into the record and the
// live state. Lenient by design: items that break their length rule are skipped, unknown tags
// are skipped by their length, absent items leave their fields alone, and nothing is ever read
// past the block or written past a field.
DecodeResult decodeParamBlock(std::span<const std::uint8_t> block, DeviceParams& params,
                              LiveState& live, DecodeScope scope = DecodeScope::Everything);

// The 107 items of the save frame, in the order the device expects them.
std::span<const std::uint8_t> saveItemOrder();

// Whether the tag is one of the items the save sends.
bool isSaveItem(std::uint8_t tag);

// One item of the save frame (tag, big-endian length, value) as buildSaveFrame writes it; empty
// for a tag outside saveItemOrder() and for a polling table that buildSaveFrame would refuse.
std::vector<std::uint8_t> encodeSaveItem(std::uint8_t tag, const DeviceParams& params);

// The most bytes of a field's value that a save can send and a read take back. A text item is
// read only while it leaves room for the terminator, and a packet (heartbeat, registration)
// only below its array's size, so a value that fills its field would be sent and then silently
// not read back: the device's old value would seem to stay. The windows' entry checks,
// `dtuconf set` and the save all use this limit. For a field no saved text or packet item
// carries: its size.
std::size_t sendableBytes(TextField field);
std::size_t sendableBytes(BytesField data);  // the array of a counted item

// A value the save would send but a read would not take back.
struct UnsendableValue {
    const FieldInfo* field = nullptr;  // the text, or the array of a packet
    std::size_t limit = 0;             // sendableBytes of the field
    std::size_t length = 0;            // bytes the value holds
};

// The first such value, in the save's item order; nullopt when every value can be read back.
// Polling record names are the polling table's own check (SaveFrameError::PollNameTooLong).
std::optional<UnsendableValue> findUnsendable(const DeviceParams& params);

inline constexpr std::size_t kMaxSaveFrame = 4096;

enum class SaveFrameError {
    None,
    TooLarge,           // frame and lock suffix exceed kMaxSaveFrame bytes
    PollCountTooLarge,  // modbusItemCount above 64
    PollNameTooLong,    // a polling record's name has no room for its terminator
    NotReadBack,        // a text or packet longer than a read takes back
};

struct SaveFrame {
    SaveFrameError error = SaveFrameError::None;
    std::size_t size = 0;
    // The bytes the whole frame takes or would take; 0 only when the poll table is refused.
    std::size_t needed = 0;
    std::array<std::uint8_t, kMaxSaveFrame> bytes{};
    int badPollRecord = -1;      // with PollNameTooLong: the record at fault
    UnsendableValue unsendable;  // with NotReadBack: the value at fault
    std::span<const std::uint8_t> view() const { return std::span(bytes).first(size); }
};

// The save request (command 0x04) with every item of saveItemOrder() taken from the record,
// followed by the lock suffix when lock is set. Nothing is cut: a record that cannot be sent
// whole yields an error and no frame.
SaveFrame buildSaveFrame(const DeviceParams& params, const Lock& lock = std::nullopt);

}  // namespace dtu
