#include "params/device_params.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace dtu {

std::size_t DeviceParams::checked(std::uint32_t offset, std::uint32_t size) {
    // A handle outside the record is a programming error, never a consequence of input data;
    // stop rather than touch memory that is not the record.
    if (std::size_t(offset) + size > kSize) std::abort();
    return offset;
}

std::uint16_t DeviceParams::get(U16Field f) const {
    const std::size_t o = checked(f.offset, 2);
    return static_cast<std::uint16_t>(m_bytes[o] | m_bytes[o + 1] << 8);
}

std::uint32_t DeviceParams::get(U32Field f) const {
    return getLe32(f.offset);
}

void DeviceParams::set(U16Field f, std::uint16_t v) {
    const std::size_t o = checked(f.offset, 2);
    m_bytes[o] = static_cast<std::uint8_t>(v);
    m_bytes[o + 1] = static_cast<std::uint8_t>(v >> 8);
}

void DeviceParams::set(U32Field f, std::uint32_t v) {
    setLe32(f.offset, v);
}

std::uint32_t DeviceParams::getLe32(std::uint32_t offset) const {
    const std::size_t o = checked(offset, 4);
    return std::uint32_t(m_bytes[o]) | std::uint32_t(m_bytes[o + 1]) << 8 |
           std::uint32_t(m_bytes[o + 2]) << 16 | std::uint32_t(m_bytes[o + 3]) << 24;
}

void DeviceParams::setLe32(std::uint32_t offset, std::uint32_t v) {
    const std::size_t o = checked(offset, 4);
    for (int i = 0; i < 4; ++i) m_bytes[o + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::span<const std::uint8_t> DeviceParams::text(TextField f) const {
    const auto whole = span(f.offset, f.size);
    const auto end = std::find(whole.begin(), whole.end(), std::uint8_t{0});
    return whole.first(static_cast<std::size_t>(end - whole.begin()));
}

std::string_view DeviceParams::textView(TextField f) const {
    const auto t = text(f);
    return {reinterpret_cast<const char*>(t.data()), t.size()};
}

bool DeviceParams::replace(std::uint32_t offset, std::uint32_t size,
                           std::span<const std::uint8_t> data) {
    if (data.size() > size) return false;
    auto dest = span(offset, size);
    std::fill(dest.begin(), dest.end(), 0);
    std::copy(data.begin(), data.end(), dest.begin());
    return true;
}

bool DeviceParams::setText(TextField f, std::span<const std::uint8_t> text) {
    return replace(f.offset, f.size, text);
}

bool DeviceParams::setText(TextField f, std::string_view text) {
    return setText(f, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

bool DeviceParams::setBytes(BytesField f, std::span<const std::uint8_t> data) {
    return replace(f.offset, f.size, data);
}

}  // namespace dtu
