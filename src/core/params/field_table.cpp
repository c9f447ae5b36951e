#include "params/field_table.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace dtu {

namespace {

std::vector<FieldInfo> buildLayout() {
    std::vector<FieldInfo> out;
    // tagOf gives the item of element i.
    auto add = [&](std::string name, std::uint32_t offset, FieldKind kind, std::uint32_t size,
                   std::uint32_t count, std::uint32_t stride,
                   std::uint8_t (*tagOf)(std::uint32_t)) {
        for (std::uint32_t i = 0; i < count; ++i) {
            FieldInfo f;
            f.name = count == 1 ? name : name + "[" + std::to_string(i) + "]";
            f.offset = offset + i * stride;
            f.size = size;
            f.kind = kind;
            f.tag = tagOf(i);
            out.push_back(std::move(f));
        }
    };
#define DTU_X(name, offset, kind, size, count, stride, tag)  \
    add(#name, offset, FieldKind::kind, size, count, stride, \
        []([[maybe_unused]] std::uint32_t i) { return static_cast<std::uint8_t>(tag); });
    DTU_PARAM_FIELDS(DTU_X)
#undef DTU_X

    for (std::uint32_t r = 0; r < kModbusItemCapacity; ++r) {
        const std::string prefix = "modbusItems[" + std::to_string(r) + "].";
        const std::uint32_t base = kModbusItemsOffset + r * kModbusItemSize;
#define DTU_X(name, offset, kind, size)                               \
    add(prefix + #name, base + (offset), FieldKind::kind, size, 1, 0, \
        [](std::uint32_t) { return std::uint8_t{119}; });             \
    out.back().modbusRecord = static_cast<int>(r);
        DTU_MODBUS_ITEM_FIELDS(DTU_X)
#undef DTU_X
    }

    std::sort(out.begin(), out.end(),
              [](const FieldInfo& a, const FieldInfo& b) { return a.offset < b.offset; });

    // Fill the gaps with reserved runs so that the layout accounts for every byte. A run never
    // crosses the boundary of a polling record, so that each record's bytes stay its own.
    std::vector<FieldInfo> full;
    full.reserve(out.size() * 2);
    std::uint32_t pos = 0;
    auto reserveRun = [&](std::uint32_t end) {
        FieldInfo r;
        r.name = "reserved@" + std::to_string(pos);
        r.offset = pos;
        r.size = end - pos;
        r.reserved = true;
        full.push_back(std::move(r));
        pos = end;
    };
    auto reserve = [&](std::uint32_t end) {
        for (std::uint32_t r = 0; r <= kModbusItemCapacity && pos < end; ++r) {
            const std::uint32_t boundary = kModbusItemsOffset + r * kModbusItemSize;
            if (pos < boundary && boundary < end) reserveRun(boundary);
        }
        if (pos < end) reserveRun(end);
    };
    for (auto& f : out) {
        reserve(f.offset);
        pos = f.offset + f.size;
        full.push_back(std::move(f));
    }
    reserve(static_cast<std::uint32_t>(kParamsSize));
    return full;
}

const std::vector<FieldInfo>& layout() {
    static const std::vector<FieldInfo> table = buildLayout();
    return table;
}

}  // namespace

std::span<const FieldInfo> recordLayout() {
    return layout();
}

const FieldInfo* findField(std::string_view name) {
    static const std::unordered_map<std::string_view, const FieldInfo*> index = [] {
        std::unordered_map<std::string_view, const FieldInfo*> m;
        for (const auto& f : layout()) m.emplace(f.name, &f);
        return m;
    }();
    const auto it = index.find(name);
    return it == index.end() ? nullptr : it->second;
}

const FieldInfo* fieldAt(std::uint32_t offset) {
    const auto& all = layout();
    const auto it =
        std::lower_bound(all.begin(), all.end(), offset,
                         [](const FieldInfo& f, std::uint32_t o) { return f.offset < o; });
    return it != all.end() && it->offset == offset && !it->reserved ? &*it : nullptr;
}

}  // namespace dtu
