#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "text/hex.h"

namespace dtu::test {

using Bytes = std::vector<std::uint8_t>;

// Bytes from hex text as the vectors are written ("88 3A 06 00 00 45 2E").
inline Bytes hex(const std::string& text) {
    auto b = parseHex(text);
    return b ? *b : Bytes{0xDE, 0xAD};  // an unparsable vector cannot match anything real
}

inline Bytes toBytes(std::span<const std::uint8_t> s) {
    return Bytes(s.begin(), s.end());
}

// A parameter block (length field, then items) built item by item.
class Block {
public:
    Block& item(std::uint8_t tag, const Bytes& value) {
        m_items.push_back(tag);
        m_items.push_back(static_cast<std::uint8_t>(value.size() >> 8));
        m_items.push_back(static_cast<std::uint8_t>(value.size()));
        m_items.insert(m_items.end(), value.begin(), value.end());
        return *this;
    }
    Block& item(std::uint8_t tag, const std::string& text) {
        return item(tag, Bytes(text.begin(), text.end()));
    }
    Bytes bytes() const {
        Bytes b{static_cast<std::uint8_t>(m_items.size() >> 8),
                static_cast<std::uint8_t>(m_items.size())};
        b.insert(b.end(), m_items.begin(), m_items.end());
        return b;
    }

private:
    Bytes m_items;
};

}  // namespace dtu::test
