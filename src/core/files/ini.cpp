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

// One line of a settings text, its line end removed.
struct IniLine {
    enum Kind { Blank, Header, Entry, Other } kind = Blank;  // Other: comments, lines without '='
    std::string_view name;   // the section of a header, the key of an entry
    std::string_view value;  // an entry's value, trimmed
};

IniLine classify(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = trim(line);
    if (line.empty()) return {};
    if (line.front() == ';') return {IniLine::Other, {}, {}};
    if (line.front() == '[') {
        const std::size_t close = line.rfind(']');
        if (close != std::string_view::npos && close > 0)
            return {IniLine::Header, line.substr(1, close - 1), {}};
        // Without a closing bracket the line is not a section; it may still be a key.
    }
    const std::size_t eq = line.find('=');
    const std::string_view key = trim(line.substr(0, eq));
    if (eq == std::string_view::npos || key.empty()) return {IniLine::Other, {}, {}};
    return {IniLine::Entry, key, trim(line.substr(eq + 1))};
}

std::string lowerKey(std::string_view key) {
    std::string out(key);
    std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
    return out;
}

}  // namespace

IniDocument IniDocument::parse(std::string_view text) {
    IniDocument doc;
    Section* current = nullptr;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        const IniLine line = classify(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.kind == IniLine::Header) {
            doc.m_sections.push_back({std::string(line.name), {}});
            current = &doc.m_sections.back();
        } else if (line.kind == IniLine::Entry && current) {
            current->entries.push_back({std::string(line.name), std::string(line.value)});
        }
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

IniScan::IniScan(std::string_view section, std::function<bool(std::string_view key)> wanted)
    : m_section(section), m_wanted(std::move(wanted)) {}

void IniScan::feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t eol = bytes.find('\n');
        if (eol == std::string_view::npos) {
            m_partial.append(bytes);
            return;
        }
        m_partial.append(bytes.substr(0, eol + 1));
        bytes.remove_prefix(eol + 1);
        const std::uint64_t begin = m_size;
        m_size += m_partial.size();
        line(m_partial, begin, true);
        m_partial.clear();
    }
}

void IniScan::finish() {
    if (m_partial.empty()) return;
    const std::uint64_t begin = m_size;
    m_size += m_partial.size();
    line(m_partial, begin, false);
    m_partial.clear();
}

void IniScan::line(std::string_view text, std::uint64_t begin, bool hasEnd) {
    m_lastLineEnded = hasEnd;
    const std::string_view content = hasEnd ? text.substr(0, text.size() - 1) : text;
    const bool cr = !content.empty() && content.back() == '\r';
    if (hasEnd && m_eol.empty()) m_eol = cr ? "\r\n" : "\n";
    if (m_state == State::After) return;
    const IniLine l = classify(content);
    if (l.kind == IniLine::Blank) return;
    if (l.kind == IniLine::Header) {
        if (m_state == State::In) {
            m_state = State::After;
            return;
        }
        if (!equalsIgnoreCase(l.name, m_section)) return;
        m_state = State::In;
    }
    if (m_state != State::In) return;
    m_insertAt = begin + text.size();
    m_insertNeedsEol = !hasEnd;
    if (l.kind != IniLine::Entry || !m_wanted(l.name)) return;
    std::string key = lowerKey(l.name);
    if (m_entries.count(key)) return;
    // The views point into `text`, so their places there are places in the whole text.
    const auto valueBegin = begin + static_cast<std::uint64_t>(l.value.data() - text.data());
    const auto valueEnd = begin + content.size() - (cr ? 1 : 0);
    // A value is read through a 1024-byte buffer.
    m_entries.emplace(std::move(key),
                      Entry{std::string(l.value.substr(0, 1024)), valueBegin, valueEnd});
}

std::optional<std::string> IniScan::value(std::string_view key) const {
    const auto e = m_entries.find(lowerKey(key));
    if (e == m_entries.end()) return std::nullopt;
    return e->second.value;
}

IniSplice IniScan::set(std::string_view key, std::string_view value) const {
    const std::string v = oneLine(value);
    if (const auto e = m_entries.find(lowerKey(key)); e != m_entries.end())
        return {e->second.valueBegin, e->second.valueEnd - e->second.valueBegin, v};
    const std::string eol = m_eol.empty() ? "\n" : m_eol;
    const std::string entry = oneLine(key) + '=' + v;
    if (m_state != State::Before)
        return {m_insertAt, 0, m_insertNeedsEol ? eol + entry : entry + eol};
    // A new section goes at the end, after an empty line when the text has lines already.
    std::string text;
    if (m_size > 0) text = (m_lastLineEnded ? "" : eol) + eol;
    text += '[' + oneLine(m_section) + ']' + eol + entry + eol;
    return {m_size, 0, text};
}

}  // namespace dtu
