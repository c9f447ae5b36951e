#include "production/record_text.h"

#include <cstdio>

#include "text/json.h"

namespace dtu {

std::string escapeControls(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    char hex[8];
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
            std::snprintf(hex, sizeof hex, "\\u00%02x", static_cast<unsigned char>(s[++i]));
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string spreadsheetSafe(std::string_view cell) {
    if (!cell.empty() && std::string_view("=+-@\t\r").find(cell.front()) != std::string_view::npos)
        return "'" + std::string(cell);
    return std::string(cell);
}

std::string journalLine(const std::vector<RecordCell>& cells) {
    std::string line = "{";
    for (const RecordCell& c : cells) {
        if (line.size() > 1) line += ", ";
        line += jsonQuote(c.name) + ": " + (c.value ? jsonQuote(*c.value) : std::string("null"));
    }
    return line + "}";
}

std::optional<std::vector<RecordCell>> parseJournalLine(std::string_view line, std::string& error) {
    JsonError jsonError;
    const auto doc = parseJson(line, &jsonError);
    if (!doc) {
        error = jsonError.message;
        return std::nullopt;
    }
    if (!doc->isObject()) {
        error = "not an object";
        return std::nullopt;
    }
    std::vector<RecordCell> cells;
    for (const auto& [name, value] : doc->object()) {
        if (value.isNull()) {
            cells.push_back({name, std::nullopt});
        } else if (value.isString()) {
            cells.push_back({name, value.string()});
        } else {
            error = name + " is neither a text nor null";
            return std::nullopt;
        }
    }
    return cells;
}

}  // namespace dtu
