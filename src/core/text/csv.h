#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dtu {

// CSV as RFC 4180 has it (UTF-8; lines end in CR LF, or a lone CR or LF): the tokenizer the
// file formats share. What a cell means is the format's business.

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The text without a leading UTF-8 byte order mark.
std::string_view withoutBom(std::string_view text);

struct CsvCell {
    std::string text;
    std::size_t line = 0;  // the line the cell starts on, from 1
};

// Where the quoting went wrong: a quote that does not open or close a quoted cell, or one
// never closed. Lines and columns count from 1.
struct CsvQuoteError {
    std::size_t line = 0;
    std::size_t column = 0;
};

// RFC 4180 records, one at a time, each cell with the line it starts on.
class CsvReader {
public:
    explicit CsvReader(std::string_view text) : m_s(text) {}

    bool atEnd() const { return m_pos >= m_s.size(); }

    // The next record into cells; false with error set on bad quoting.
    bool next(std::vector<CsvCell>& cells, CsvQuoteError& error);

private:
    std::size_t breakLength() const;

    std::string_view m_s;
    std::size_t m_pos = 0;
    std::size_t m_line = 1;
};

// A record that is a completely empty line.
bool isEmptyCsvRecord(const std::vector<CsvCell>& cells);

// The cell as it goes into a file: quoted when it holds a comma, a quote or a line break.
std::string csvQuoted(std::string_view cell);

}  // namespace dtu
