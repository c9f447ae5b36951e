#include "params/read_back.h"

#include <algorithm>
#include <array>

#include "params/field_value.h"
#include "params/item_codec.h"

namespace dtu {

namespace {

// The named fields of each saved item.
const std::array<std::vector<const FieldInfo*>, 256>& fieldsByTag() {
    static const auto table = [] {
        std::array<std::vector<const FieldInfo*>, 256> t;
        for (const auto& f : recordLayout())
            if (!f.reserved && f.tag != 0 && isSaveItem(f.tag)) t[f.tag].push_back(&f);
        return t;
    }();
    return table;
}

bool sameBytes(const DeviceParams& a, const DeviceParams& b, const FieldInfo& f) {
    const auto x = a.image().subspan(f.offset, f.size);
    const auto y = b.image().subspan(f.offset, f.size);
    return std::equal(x.begin(), x.end(), y.begin());
}

}  // namespace

std::vector<ReadBackMismatch> compareReadBack(const DeviceParams& saved,
                                              const DeviceParams& readBack) {
    std::vector<ReadBackMismatch> out;
    for (const std::uint8_t tag : saveItemOrder()) {
        const auto sent = encodeSaveItem(tag, saved);
        if (sent == encodeSaveItem(tag, readBack)) continue;
        const auto& fields = fieldsByTag()[tag];
        std::vector<const FieldInfo*> differing;
        for (const FieldInfo* f : fields)
            if (!sameBytes(saved, readBack, *f)) differing.push_back(f);
        // Each field on its own: does the device's value change what the save would send?
        std::vector<const FieldInfo*> named;
        for (const FieldInfo* f : differing) {
            DeviceParams mixed = saved;
            const auto theirs = readBack.image().subspan(f->offset, f->size);
            mixed.setBytes(BytesField{f->offset, f->size}, theirs);
            if (encodeSaveItem(tag, mixed) != sent) named.push_back(f);
        }
        // Only together (a count and the bytes it counts): every field that differs.
        for (const FieldInfo* f : named.empty() ? differing : named)
            out.push_back({f, fieldValueJson(saved, *f), fieldValueJson(readBack, *f)});
    }
    return out;
}

}  // namespace dtu
