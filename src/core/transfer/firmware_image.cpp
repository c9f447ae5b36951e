#include "transfer/firmware_image.h"

#include <algorithm>
#include <numeric>

namespace dtu {

namespace {

void be16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void be32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    be16(out, v >> 16);
    be16(out, v & 0xFFFF);
}

// One firmware item as the payload of a request.
std::vector<std::uint8_t> firmwareFrame(std::uint8_t step, std::span<const std::uint8_t> value,
                                        const Lock& lock) {
    std::vector<std::uint8_t> payload;
    payload.reserve(3 + value.size());
    payload.push_back(step);
    be16(payload, static_cast<std::uint32_t>(value.size()));
    payload.insert(payload.end(), value.begin(), value.end());
    return buildRequest(CMD_FIRMWARE, payload, lock);
}

}  // namespace

FirmwareBlock FirmwareImage::block(std::uint32_t n) const {
    FirmwareBlock b{};
    const std::size_t start = std::size_t{n} * kFirmwareBlockSize;
    if (start < data.size()) {
        const std::size_t count = std::min(kFirmwareBlockSize, data.size() - start);
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(start), count, b.begin());
    }
    return b;
}

FirmwareImageParse parseFirmwareImage(std::span<const std::uint8_t> file) {
    FirmwareImageParse r;
    if (file.size() > kFirmwareFileMax) {
        r.error = FirmwareImageError::TooLarge;
        return r;
    }
    if (file.size() < kFirmwareHeaderSize) {
        r.error = FirmwareImageError::NoHeader;
        return r;
    }
    const auto s = file.subspan(kFirmwareSizeOffset, 4);
    const std::uint32_t size =
        std::uint32_t{s[0]} << 24 | std::uint32_t{s[1]} << 16 | std::uint32_t{s[2]} << 8 | s[3];
    const auto image = file.subspan(kFirmwareHeaderSize);
    if (size > image.size()) {
        r.error = FirmwareImageError::Truncated;
        r.claimedSize = size;
        r.availableSize = image.size();
        return r;
    }
    r.image = FirmwareImage{file[kFirmwareTypeOffset], {image.begin(), image.begin() + size}};
    return r;
}

std::string firmwareImageErrorText(const FirmwareImageParse& parse, Language lang) {
    const bool en = lang == Language::English;
    switch (parse.error) {
        case FirmwareImageError::None:
            return {};
        case FirmwareImageError::TooLarge:
            return "file is huge!!!";
        case FirmwareImageError::NoHeader:
            return en ? "The file is shorter than the 20-byte firmware header; nothing was sent."
                      : "文件短于 20 字节的固件头，未发送。";
        case FirmwareImageError::Truncated:
            return en ? "The firmware header announces " + std::to_string(parse.claimedSize) +
                            " image bytes but the file holds only " +
                            std::to_string(parse.availableSize) + "; nothing was sent."
                      : "固件头声明 " + std::to_string(parse.claimedSize) + " 字节，但文件只有 " +
                            std::to_string(parse.availableSize) + " 字节，未发送。";
    }
    return {};
}

std::uint8_t blockSum(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), std::uint32_t{0}));
}

std::vector<std::uint8_t> firmwareStartFrame(std::uint8_t imageType, bool factoryReset,
                                             const Lock& lock) {
    const std::uint8_t second = factoryReset ? kFirmwareFactoryReset : imageType;
    const std::array<std::uint8_t, 5> value{imageType, second, imageType, imageType, imageType};
    return firmwareFrame(FW_START, value, lock);
}

std::vector<std::uint8_t> firmwareSizeFrame(std::uint32_t imageSize, const Lock& lock) {
    std::vector<std::uint8_t> value;
    be32(value, imageSize);
    return firmwareFrame(FW_SIZE, value, lock);
}

std::vector<std::uint8_t> firmwareBlockFrame(const FirmwareImage& image, std::uint32_t n,
                                             const Lock& lock) {
    const FirmwareBlock data = image.block(n);
    std::vector<std::uint8_t> value;
    value.reserve(2 + kFirmwareBlockSize + 1);
    be16(value, n);
    value.insert(value.end(), data.begin(), data.end());
    value.push_back(blockSum(data));
    const std::uint8_t step = n + 1 >= image.blockCount() ? FW_LAST_BLOCK : FW_BLOCK;
    return firmwareFrame(step, value, lock);
}

}  // namespace dtu
