#pragma once

#include <QByteArray>
#include <cstdint>
#include <span>

namespace dtu {

// Qt's bytes as the core takes them.
inline std::span<const std::uint8_t> byteSpan(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

}  // namespace dtu
