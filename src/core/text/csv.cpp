#include "text/csv.h"

namespace dtu {

std::string_view withoutBom(std::string_view text) {
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
    return text;
}

bool CsvReader::next(std::vector<CsvCell>& cells, CsvQuoteError& error) {
    auto badQuotes = [&](std::size_t line, std::size_t column) {
        error.line = line;
        error.column = column;
        return false;
    };
    cells.clear();
    while (true) {
        CsvCell cell;
        cell.line = m_line;
        const std::size_t column = cells.size() + 1;
        if (m_pos < m_s.size() && m_s[m_pos] == '"') {
            ++m_pos;
            while (true) {
                if (m_pos >= m_s.size()) return badQuotes(cell.line, column);
                const char c = m_s[m_pos];
                if (c == '"') {
                    if (m_pos + 1 < m_s.size() && m_s[m_pos + 1] == '"') {
                        cell.text += '"';
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    break;
                }
                if (c == '\r' || c == '\n') {
                    const std::size_t n = breakLength();
                    cell.text.append(m_s.substr(m_pos, n));
                    m_pos += n;
                    ++m_line;
                    continue;
                }
                cell.text += c;
                ++m_pos;
            }
            if (m_pos < m_s.size() && m_s[m_pos] != ',' && m_s[m_pos] != '\r' && m_s[m_pos] != '\n')
                return badQuotes(cell.line, column);
        } else {
            const std::size_t end = m_s.find_first_of(",\r\n\"", m_pos);
            const std::size_t stop = end == std::string_view::npos ? m_s.size() : end;
            cell.text.assign(m_s.substr(m_pos, stop - m_pos));
            m_pos = stop;
            if (m_pos < m_s.size() && m_s[m_pos] == '"') return badQuotes(cell.line, column);
        }
        cells.push_back(std::move(cell));
        if (m_pos >= m_s.size()) return true;
        if (m_s[m_pos] == ',') {
            ++m_pos;
            continue;
        }
        m_pos += breakLength();
        ++m_line;
        return true;
    }
}

// CR LF, or a lone CR or LF.
std::size_t CsvReader::breakLength() const {
    return m_s[m_pos] == '\r' && m_pos + 1 < m_s.size() && m_s[m_pos + 1] == '\n' ? 2 : 1;
}

bool isEmptyCsvRecord(const std::vector<CsvCell>& cells) {
    return cells.size() == 1 && cells[0].text.empty();
}

std::string csvQuoted(std::string_view cell) {
    if (cell.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(cell);
    std::string out = "\"";
    for (char c : cell) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace dtu
