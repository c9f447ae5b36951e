#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

#include "params/field_list.h"

namespace dtu {

enum class FieldKind : std::uint8_t { U8, U16, U32, I32, Text, Bytes };

// A typed handle on one field of the record: its offset and size in bytes.
template <FieldKind K>
struct Field {
    std::uint32_t offset;
    std::uint32_t size;
};

using U8Field = Field<FieldKind::U8>;
using U16Field = Field<FieldKind::U16>;
using U32Field = Field<FieldKind::U32>;
using I32Field = Field<FieldKind::I32>;
using TextField = Field<FieldKind::Text>;
using BytesField = Field<FieldKind::Bytes>;

// Equal fields `stride` bytes apart.
template <FieldKind K>
struct FieldArray {
    Field<K> first;
    std::uint32_t count;
    std::uint32_t stride;
    constexpr Field<K> operator[](std::uint32_t i) const {
        return {first.offset + i * stride, first.size};
    }
};

inline constexpr std::size_t kParamsSize = 22160;
inline constexpr std::uint32_t kModbusItemsOffset = 5668;
inline constexpr std::uint32_t kModbusItemSize = 88;
inline constexpr std::uint32_t kModbusItemCapacity = 64;
inline constexpr std::uint32_t kJsonNameMax = 57;  // bytes of a polling record's name

namespace detail {
template <FieldKind K, std::uint32_t Count>
constexpr auto makeHandle(std::uint32_t offset, std::uint32_t size, std::uint32_t stride) {
    if constexpr (Count == 1) {
        return Field<K>{offset, size};
    } else {
        return FieldArray<K>{Field<K>{offset, size}, Count, stride};
    }
}
}  // namespace detail

// Handles of every field, by the name the record gives it: fields::serverAPort, ...
namespace fields {
#define DTU_X(name, offset, kind, size, count, stride, tag) \
    inline constexpr auto name = detail::makeHandle<FieldKind::kind, count>(offset, size, stride);
DTU_PARAM_FIELDS(DTU_X)
#undef DTU_X

// The fields of polling record i (0..63).
struct ModbusItemFields {
#define DTU_X(name, offset, kind, size) Field<FieldKind::kind> name;
    DTU_MODBUS_ITEM_FIELDS(DTU_X)
#undef DTU_X
};

constexpr ModbusItemFields modbusItem(std::uint32_t i) {
    const std::uint32_t base = kModbusItemsOffset + i * kModbusItemSize;
    return ModbusItemFields{
#define DTU_X(name, offset, kind, size) Field<FieldKind::kind>{base + (offset), size},
        DTU_MODBUS_ITEM_FIELDS(DTU_X)
#undef DTU_X
    };
}
}  // namespace fields

// The parameter set: a flat 22160-byte image, numbers little-endian, texts zero-padded GBK of
// fixed capacity, reserved bytes carried unchanged. It is also the content of a parameter file.
class DeviceParams {
public:
    static constexpr std::size_t kSize = kParamsSize;

    std::uint8_t get(U8Field f) const { return m_bytes[checked(f.offset, 1)]; }
    std::uint16_t get(U16Field f) const;
    std::uint32_t get(U32Field f) const;
    std::int32_t get(I32Field f) const { return static_cast<std::int32_t>(getLe32(f.offset)); }

    void set(U8Field f, std::uint8_t v) { m_bytes[checked(f.offset, 1)] = v; }
    void set(U16Field f, std::uint16_t v);
    void set(U32Field f, std::uint32_t v);
    void set(I32Field f, std::int32_t v) { setLe32(f.offset, static_cast<std::uint32_t>(v)); }

    // The whole field.
    std::span<const std::uint8_t> bytes(BytesField f) const { return span(f.offset, f.size); }
    std::span<std::uint8_t> bytes(BytesField f) { return span(f.offset, f.size); }
    std::span<const std::uint8_t> bytes(TextField f) const { return span(f.offset, f.size); }

    // A text field's characters: up to the first zero byte, or the whole field when it is full.
    std::span<const std::uint8_t> text(TextField f) const;
    std::string_view textView(TextField f) const;
    // Zeroes the field, then copies the text. Refuses (returns false, field untouched) a text
    // longer than the field.
    bool setText(TextField f, std::span<const std::uint8_t> text);
    bool setText(TextField f, std::string_view text);

    // Zeroes a byte array, then copies data into its start. Refuses data longer than the field.
    bool setBytes(BytesField f, std::span<const std::uint8_t> data);

    void clear() { m_bytes.fill(0); }

    std::span<const std::uint8_t, kSize> image() const { return m_bytes; }
    std::span<std::uint8_t, kSize> image() { return m_bytes; }

    friend bool operator==(const DeviceParams&, const DeviceParams&) = default;

private:
    static std::size_t checked(std::uint32_t offset, std::uint32_t size);
    std::span<const std::uint8_t> span(std::uint32_t offset, std::uint32_t size) const {
        return std::span<const std::uint8_t>(m_bytes).subspan(checked(offset, size), size);
    }
    std::span<std::uint8_t> span(std::uint32_t offset, std::uint32_t size) {
        return std::span<std::uint8_t>(m_bytes).subspan(checked(offset, size), size);
    }
    // Zeroes size bytes at offset, then copies data into their start; refuses longer data.
    bool replace(std::uint32_t offset, std::uint32_t size, std::span<const std::uint8_t> data);
    std::uint32_t getLe32(std::uint32_t offset) const;
    void setLe32(std::uint32_t offset, std::uint32_t v);

    std::array<std::uint8_t, kSize> m_bytes{};
};

}  // namespace dtu
