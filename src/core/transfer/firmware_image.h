#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/frame.h"
#include "text/language.h"

namespace dtu {

// A firmware file: a 20-byte header (byte 15 the image type, bytes 16..19 the image size,
// big-endian), then the image. Only the first imageSize bytes after the header are sent.
inline constexpr std::size_t kFirmwareHeaderSize = 20;
inline constexpr std::size_t kFirmwareTypeOffset = 15;
inline constexpr std::size_t kFirmwareSizeOffset = 16;
inline constexpr std::size_t kFirmwareFileMax = 10485760;  // 10 MiB, header included
inline constexpr std::size_t kFirmwareBlockSize = 1024;

// Steps of the upgrade: the item tag of each request and of its answer.
inline constexpr std::uint8_t FW_START = 0x0E;
inline constexpr std::uint8_t FW_SIZE = 0x0F;
inline constexpr std::uint8_t FW_BLOCK = 0x10;
inline constexpr std::uint8_t FW_LAST_BLOCK = 0x11;
// The start request's second value byte when the device is to reset its settings afterwards,
// and the result byte of the final answer when it did.
inline constexpr std::uint8_t kFirmwareFactoryReset = 0xFA;

using FirmwareBlock = std::array<std::uint8_t, kFirmwareBlockSize>;

struct FirmwareImage {
    std::uint8_t imageType = 0;
    std::vector<std::uint8_t> data;  // exactly the bytes transferred (imageSize of them)

    std::uint32_t imageSize() const { return static_cast<std::uint32_t>(data.size()); }
    // There is always a last block, empty when the size is a multiple of the block size.
    std::uint32_t blockCount() const { return imageSize() / kFirmwareBlockSize + 1; }
    // Block n, the part past the image filled with zeros. Blocks past the last are all zeros.
    FirmwareBlock block(std::uint32_t n) const;
};

enum class FirmwareImageError {
    None,
    TooLarge,   // the file is over kFirmwareFileMax bytes
    NoHeader,   // shorter than the header
    Truncated,  // the header's size claims more bytes than the file carries
};

struct FirmwareImageParse {
    FirmwareImageError error = FirmwareImageError::None;
    std::optional<FirmwareImage> image;
    std::uint32_t claimedSize = 0;  // with Truncated: the header's size
    std::size_t availableSize = 0;  // with Truncated: the image bytes the file has
};

// Reads a whole firmware file. Nothing is taken from beyond what the file holds.
FirmwareImageParse parseFirmwareImage(std::span<const std::uint8_t> file);

// Why a file was refused, for the user; empty when it was not.
std::string firmwareImageErrorText(const FirmwareImageParse& parse, Language lang);

// The 8-bit sum of a block's bytes.
std::uint8_t blockSum(std::span<const std::uint8_t> bytes);

// The requests of the upgrade, each with the lock suffix when lock is set.
// Start: item 0E of 5 bytes [t][r][t][t][t], r = 0xFA when the device is to reset afterwards.
std::vector<std::uint8_t> firmwareStartFrame(std::uint8_t imageType, bool factoryReset,
                                             const Lock& lock = std::nullopt);
// Size: item 0F with the image size, 4 bytes big-endian.
std::vector<std::uint8_t> firmwareSizeFrame(std::uint32_t imageSize,
                                            const Lock& lock = std::nullopt);
// Block n: item 10 (11 for the last block) with the block number, 1024 bytes and their sum.
std::vector<std::uint8_t> firmwareBlockFrame(const FirmwareImage& image, std::uint32_t n,
                                             const Lock& lock = std::nullopt);

}  // namespace dtu
