#pragma once

#include <cstdint>
#include <span>

#include "params/device_params.h"

namespace dtu {

// A parameter file is the record's 22160 bytes with nothing around them.
inline constexpr std::size_t kParamFileSize = kParamsSize;

// The lock flag that marks a configuration meant to be written, never shown.
inline constexpr std::uint8_t kConfigLocked = 0x78;

// Reads a file's bytes into the record the way an import does: a short file replaces only the
// first bytes and leaves the rest as it was; bytes beyond the record's size are ignored.
void loadParamsImage(std::span<const std::uint8_t> file, DeviceParams& params);

// The bytes an export writes.
inline std::span<const std::uint8_t> paramsImage(const DeviceParams& params) {
    return params.image();
}

inline bool isLockedConfig(const DeviceParams& params) {
    return params.get(fields::configLockFlag) == kConfigLocked;
}

}  // namespace dtu
