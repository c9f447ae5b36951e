#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace dtu {

// Values the device reports that are not parameters: kept beside the record, never saved.
// The decoder sets a fresh flag when the matching item arrives; the window that asked clears it.
struct LiveState {
    std::array<std::uint8_t, 32> liveInputs{};  // X1..X8 states (item 80)
    bool liveInputsFresh = false;
    std::array<std::uint8_t, 32> liveRelays{};  // Y1..Y8 states (item 81)
    bool liveRelaysFresh = false;
    std::array<std::uint32_t, 6> liveAnalog{};  // ADC1/ADC2 readings (item 82)
    bool liveAnalogFresh = false;
    std::array<std::uint32_t, 8> liveCounters{};  // pulse counters of X1..X8 (item 83)
    bool liveCountersFresh = false;

    std::uint8_t simInserted = 0;  // item 98 byte 1
    std::uint8_t netRegState = 0;  // item 98 byte 2; 0xFF when the firmware does not report it

    std::uint8_t mqttStatusTcp = 0;  // item 180
    std::uint8_t mqttStatusConnect = 0;
    std::uint8_t mqttStatusTopic = 0;
    std::uint8_t mqttStatusServer = 0;
    std::uint8_t mqttStatusSsl = 0;
    bool mqttStatusFresh = false;

    bool calibrationAcked = false;  // a write answer acknowledged the analogue calibration
};

inline constexpr std::uint8_t kNetRegStateUnknown = 0xFF;

// The diagnostics answer (item 255), all numbers as received. Bytes the item does not carry
// read as zero.
struct Diagnostics {
    struct CacheArea {
        std::uint32_t size = 0;
        std::uint32_t items = 0;
        std::uint32_t start = 0;
        std::uint32_t end = 0;
    };
    std::uint32_t memTotal = 0;
    std::uint32_t memUsed = 0;
    std::uint32_t flashAddr = 0;
    std::uint32_t flashSize = 0;
    std::uint32_t systemTick = 0;
    std::uint32_t netBreakTime = 0;
    std::uint32_t flashPointer = 0;
    std::array<CacheArea, 4> cache{};  // A, B, M, H
    std::uint32_t flightModeTime = 0;
    std::uint8_t netState = 0;
    std::uint8_t simState = 0;
    std::uint8_t regState = 0;
    std::string encid;        // up to 15 characters
    std::string coreVersion;  // up to 7 characters
};

}  // namespace dtu
