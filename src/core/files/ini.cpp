#include "files/ini.h"

#include <algorithm>
#include <climits>

namespace dtu {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

// A value with a line break would be read back as several lines, one of which could pass for
// a key or a section of its own.
std::string oneLine(std::string_view s) {
    std::string out(s);
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return out;
}

}  // namespace

IniDocument IniDocument::parse(std::string_view text) {
    IniDocument doc;
    Section* current = nullptr;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        line = trim(line);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.rfind(']');
            if (close != std::string_view::npos && close > 0) {
                doc.m_sections.push_back({std::string(line.substr(1, close - 1)), {}});
                current = &doc.m_sections.back();
                continue;
            }
            // Without a closing bracket the line is not a section; it may still be a key.
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || current == nullptr) continue;
        const std::string_view key = trim(line.substr(0, eq));
        if (key.empty()) continue;
        current->entries.push_back({std::string(key), std::string(trim(line.substr(eq + 1)))});
    }
    return doc;
}

const IniDocument::Section* IniDocument::findSection(std::string_view name) const {
    for (const Section& s : m_sections)
        if (equalsIgnoreCase(s.name, name)) return &s;
    return nullptr;
}

std::optional<std::string> IniDocument::value(std::string_view section,
                                              std::string_view key) const {
    const Section* s = findSection(section);
    if (!s) return std::nullopt;
    for (const Entry& e : s->entries)
        if (equalsIgnoreCase(e.key, key)) return e.value;
    return std::nullopt;
}

int IniDocument::intValue(std::string_view section, std::string_view key, int def) const {
    const auto text = value(section, key);
    if (!text || text->empty()) return def;
    std::string_view s = *text;
    bool negative = false;
    if (s.front() == '+' || s.front() == '-') {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    long long n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') break;
        n = std::min<long long>(n * 10 + (c - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    if (negative) n = -n;
    return static_cast<int>(std::clamp<long long>(n, INT_MIN, INT_MAX));
}

void IniDocument::set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string name = oneLine(section);
    const std::string k = oneLine(key);
    auto s = std::find_if(m_sections.begin(), m_sections.end(),
                          [&](const Section& x) { return equalsIgnoreCase(x.name, name); });
    if (s == m_sections.end()) {
        m_sections.push_back({name, {}});
        s = std::prev(m_sections.end());
    }
    for (Entry& e : s->entries) {
        if (equalsIgnoreCase(e.key, k)) {
            e.value = oneLine(value);
            return;
        }
    }
    s->entries.push_back({k, oneLine(value)});
}

std::string IniDocument::toText() const {
    std::string out;
    for (const Section& s : m_sections) {
        if (!out.empty()) out += '\n';
        out += '[' + s.name + "]\n";
        for (const Entry& e : s.entries) out += e.key + '=' + e.value + '\n';
    }
    return out;
}

}  // namespace dtu
