#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dtu {

// A sectioned key=value settings text, read and written with the semantics of the classic
// profile-file functions: section and key names match case-insensitively (ASCII), the first of
// duplicate sections or keys wins, and sections and keys keep the order they were added in.
class IniDocument {
public:
    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };

    // Lenient: accepts LF or CRLF; "[name]" takes the name verbatim between the first '[' and
    // the last ']'; "key=value" is trimmed of blanks on both sides of both parts; ';' comment
    // lines, blank lines, lines without '=' and entries before the first section are dropped.
    static IniDocument parse(std::string_view text);

    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // The profile integer read: the default when the key is missing or empty; otherwise the
    // leading optional sign and decimal digits (no digits gives 0), clamped to the int range.
    int intValue(std::string_view section, std::string_view key, int def) const;

    // Replaces the value in place, or appends the key to its section, or appends a new
    // section. Line breaks in any part become blanks so that no value can turn into lines of
    // its own.
    void set(std::string_view section, std::string_view key, std::string_view value);

    // Every section as "[name]" followed by its "key=value" lines, LF line ends, sections
    // separated by an empty line.
    std::string toText() const;

    const std::vector<Section>& sections() const { return m_sections; }
    bool empty() const { return m_sections.empty(); }

private:
    const Section* findSection(std::string_view name) const;
    std::vector<Section> m_sections;
};

// One edit of a text: `length` bytes at `offset` are replaced by `text`.
struct IniSplice {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string text;
};

// Reads a settings text once from start to end, in pieces of any size, and notes where one
// section's keys sit, so that a file of any size can be updated by editing one line while
// every other byte (comments, marks of other tools, spacing, line ends) stays as it was.
// Lines are understood as IniDocument::parse understands them; only the first section of the
// name counts, and in it the first line of each key.
class IniScan {
public:
    // Only keys the filter takes are kept (a day's record can hold many thousands).
    IniScan(std::string_view section, std::function<bool(std::string_view key)> wanted);

    void feed(std::string_view bytes);
    // The end of the text: a last line without a line end counts too.
    void finish();

    // The key's trimmed value (its first 1024 bytes), when the section holds a line for it.
    std::optional<std::string> value(std::string_view key) const;

    // The edit that sets one key: its value replaced in its own line, or a new line after the
    // section's last non-blank line, or the section added at the end. New lines take the
    // text's own line end (LF in a text that has none yet); line breaks in the value become
    // blanks. The value's bytes are written as they are.
    IniSplice set(std::string_view key, std::string_view value) const;

    std::uint64_t size() const { return m_size; }

private:
    struct Entry {
        std::string value;
        std::uint64_t valueBegin = 0;  // where the value starts in the text
        std::uint64_t valueEnd = 0;    // the end of the line's characters, before its line end
    };
    void line(std::string_view text, std::uint64_t begin, bool hasEnd);

    std::string m_section;
    std::function<bool(std::string_view)> m_wanted;
    std::map<std::string, Entry> m_entries;  // by lower-case key
    std::string m_partial;                   // a line not yet ended
    std::uint64_t m_size = 0;
    std::string m_eol;  // the first line end of the text
    enum class State { Before, In, After } m_state = State::Before;
    std::uint64_t m_insertAt = 0;   // past the section's last non-blank line
    bool m_insertNeedsEol = false;  // that line is the last of the text and has no line end
    bool m_lastLineEnded = true;
};

}  // namespace dtu
