#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dtu {

// Texts of the provisioning record on their way out: to a terminal, to a spreadsheet, and to
// the journal that keeps rows the record could not take.

// The text as a terminal may show it: control characters (C0, DEL and the C1 range) written
// as \xNN (C1 as \u00NN), so that a device, a plan or a file cannot move the cursor, clear the
// screen or set a title. Everything else, invalid UTF-8 included, is copied.
std::string escapeControls(std::string_view utf8);

// A CSV cell a spreadsheet will not run as a formula: a text that begins with =, +, -, @, a
// tab or a carriage return gets a leading apostrophe, which spreadsheets show as text.
std::string spreadsheetSafe(std::string_view cell);

// One column of a row: a text, or NULL.
struct RecordCell {
    std::string name;
    std::optional<std::string> value;
};

// A row as one line of the journal: a JSON object of the columns in order, texts and nulls,
// without the line's end.
std::string journalLine(const std::vector<RecordCell>& cells);

// The cells of a journal line; nothing when it is not such an object (a line cut short by a
// crash), with the reason in error.
std::optional<std::vector<RecordCell>> parseJournalLine(std::string_view line, std::string& error);

}  // namespace dtu
