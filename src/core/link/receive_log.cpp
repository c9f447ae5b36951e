#include "link/receive_log.h"

namespace dtu {

namespace {

// Characters as the box counts them: one per code point, whatever its UTF-8 length.
std::size_t countCharacters(std::string_view text) {
    std::size_t n = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

}  // namespace

bool ReceiveLog::append(std::string_view text) {
    const bool full = m_chars > kReceiveBoxLimit - kReceiveBoxMargin;
    if (full) clear();
    m_text += text;
    m_chars += countCharacters(text);
    return full;
}

void ReceiveLog::clear() {
    m_text.clear();
    m_chars = 0;
}

}  // namespace dtu
