#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "params/device_params.h"
#include "params/live_state.h"

namespace dtu::sim {

// What the device reports that does not live in its parameter record: values that change while
// it runs and are lost when it powers off.
struct RunState {
    std::uint8_t simInserted = 1;
    std::uint8_t netRegState = 1;  // registered, home network
    std::string deviceText;        // item 181, GBK
    // Item 255 beyond the memory fields, which the record keeps.
    Diagnostics diagnostics;
    // RTU live I/O (items 80..83).
    std::array<std::uint8_t, 8> inputs{};
    std::array<std::uint8_t, 8> relays{};
    std::array<std::uint32_t, 6> analog{};
    std::array<std::uint32_t, 8> counters{};
    // The MQTT state (item 180 bytes 0..4: TCP, MQTT, topic, server, SSL) when set; otherwise
    // it follows the MQTT settings and the network.
    std::optional<std::array<std::uint8_t, 5>> mqttState;
};

// Item 81 of a relay frame: per relay Y1..Y8, 0 opens it, 1 closes it, any other value leaves it
// as it is (3 from the RTU panel, 2 from the relay test of a single-relay device).
void applyRelayActions(std::array<std::uint8_t, 8>& relays, std::span<const std::uint8_t> actions);

// Tags whose values are the device's settings: a locked device gives them out and takes them
// in only against its password. The remote configuration password (20) is read only but is a
// secret all the same.
bool isSettingsTag(std::uint8_t tag);

// The item (tag, big-endian length, value) the device sends for one tag of a read request, in
// the layout the tool's decoder takes; empty for a tag the device does not know.
std::vector<std::uint8_t> readItem(std::uint8_t tag, const DeviceParams& image,
                                   const RunState& run);

// The read answer 88 3A 83 [N] items 45 2E: one item per known tag, in request order. Items that
// would push the payload past what its length field can count are left out.
std::vector<std::uint8_t> readAnswer(std::span<const std::uint8_t> tags, const DeviceParams& image,
                                     const RunState& run);

}  // namespace dtu::sim
