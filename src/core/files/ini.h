#pragma once

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

}  // namespace dtu
