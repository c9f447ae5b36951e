#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dtu {

// The receive box: every command result and link message is appended to it. It holds about
// 30000 characters; a line that would find it fuller than that minus 50 empties it first, so
// the box never stops taking lines.
inline constexpr std::size_t kReceiveBoxLimit = 30000;
inline constexpr std::size_t kReceiveBoxMargin = 50;

class ReceiveLog {
public:
    // Appends UTF-8 text; returns true when the box was emptied before it.
    bool append(std::string_view text);
    void clear();
    const std::string& text() const { return m_text; }
    std::size_t characters() const { return m_chars; }

private:
    std::string m_text;
    std::size_t m_chars = 0;
};

}  // namespace dtu
