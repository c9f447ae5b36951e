#include "rtu/poll_csv.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "params/item_codec.h"
#include "text/csv.h"
#include "text/gbk.h"

namespace dtu {

namespace {

// Table column of file column i (kPollCsvColumns[i]).
constexpr int tableColumn(std::size_t i) {
    return static_cast<int>(i) + kPollAddress;
}

std::size_t nameLimit() {
    return sendableBytes(fields::modbusItem(0).jsonName);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool equalsAsciiCaseless(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// The file column a header names: the record's field name, or the table's header in either
// language; -1 for none.
int columnOfHeader(std::string_view header) {
    header = trimBlanks(header);
    for (std::size_t i = 0; i < kPollCsvColumns.size(); ++i) {
        const int col = tableColumn(i);
        if (equalsAsciiCaseless(header, kPollCsvColumns[i]) ||
            equalsAsciiCaseless(header, pollColumnHeader(col, Language::English)) ||
            header == pollColumnHeader(col, Language::Chinese))
            return static_cast<int>(i);
    }
    return -1;
}

std::optional<std::int64_t> wholeNumber(std::string_view text, std::int64_t min, std::int64_t max) {
    text = trimBlanks(text);
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 12) return std::nullopt;
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (negative) v = -v;
    if (v < min || v > max) return std::nullopt;
    return v;
}

struct Range {
    std::int64_t min;
    std::int64_t max;
};

Range rangeOf(int column) {
    switch (column) {
        case kPollStart:
        case kPollCount:
            return {0, 65535};
        case kPollThreshold1:
        case kPollThreshold2:
            return {std::numeric_limits<std::int32_t>::min(),
                    std::numeric_limits<std::int32_t>::max()};
        default:
            return {0, 255};
    }
}

// Stores one cell into the row; the problem when it holds no value of its field.
PollCsvProblem storeCell(PollRow& row, int column, const std::string& text, NameEncoding enc) {
    ModbusItem& it = row.item;
    if (column == kPollName) {
        const EncodedName e = encodeName(text, enc, nameLimit());
        if (e.error == NameError::NotGbk) return PollCsvProblem::NameNotGbk;
        if (e.error == NameError::TooLong) return PollCsvProblem::NameTooLong;
        row.name = text;
        return PollCsvProblem::None;
    }
    if (column == kPollType) {
        const auto type = findDataType(text);
        if (!type) return PollCsvProblem::BadValue;
        it.dataType = *type;
        return PollCsvProblem::None;
    }
    if (column == kPollK || column == kPollB) {
        const auto v = column == kPollK ? parseScaleK(text) : parseOffsetB(text);
        if (!v) return PollCsvProblem::BadValue;
        (column == kPollK ? it.scaleK : it.offsetB) = *v;
        return PollCsvProblem::None;
    }
    const Range r = rangeOf(column);
    const auto v = wholeNumber(text, r.min, r.max);
    if (!v) return PollCsvProblem::BadValue;
    switch (column) {
        case kPollAddress:
            it.slaveAddress = static_cast<std::uint8_t>(*v);
            break;
        case kPollFunction:
            it.functionCode = static_cast<std::uint8_t>(*v);
            break;
        case kPollStart:
            it.startRegister = static_cast<std::uint16_t>(*v);
            break;
        case kPollCount:
            it.registerCount = static_cast<std::uint16_t>(*v);
            break;
        case kPollDecimals:
            it.decimals = static_cast<std::uint8_t>(*v);
            break;
        case kPollThreshold1:
            it.threshold1 = static_cast<std::int32_t>(*v);
            break;
        case kPollThreshold2:
            it.threshold2 = static_cast<std::int32_t>(*v);
            break;
        case kPollEmergency:
            it.emergencyData = static_cast<std::uint8_t>(*v);
            break;
        default:
            break;
    }
    return PollCsvProblem::None;
}

std::string valueExpected(int column, Language lang) {
    const bool en = lang == Language::English;
    if (column == kPollType)
        return en ? "not one of the eleven data types (or a number from 0 to 255)"
                  : "不是11种数据类型之一（或0到255之间的数）";
    if (column == kPollK)
        return en ? "not a number from 0 to 429496.7295 with at most 4 decimal places"
                  : "不是0到429496.7295之间、最多4位小数的数";
    if (column == kPollB)
        return en ? "not a number from -214748.3647 to 214748.3647 with at most 4 decimal places"
                  : "不是-214748.3647到214748.3647之间、最多4位小数的数";
    const Range r = rangeOf(column);
    return en ? "not a whole number from " + std::to_string(r.min) + " to " + std::to_string(r.max)
              : "不是" + std::to_string(r.min) + "到" + std::to_string(r.max) + "之间的整数";
}

}  // namespace

PollCsvRead readPollCsv(std::string_view bytes, NameEncoding enc) {
    PollCsvRead result;
    PollCsvError& err = result.error;
    std::string_view text = withoutBom(bytes);
    std::string fromGbk;
    if (const std::size_t bad = firstNonUtf8(text);
        bad != std::string_view::npos && text.size() == bytes.size()) {
        const auto utf8 =
            gbkToUtf8(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        if (!utf8) {
            err.problem = PollCsvProblem::NotText;
            err.line =
                1 + static_cast<std::size_t>(std::count(
                        text.begin(), text.begin() + static_cast<std::ptrdiff_t>(bad), '\n'));
            err.column = 1;
            return result;
        }
        fromGbk = *utf8;
        text = fromGbk;
        result.readAsGbk = true;
    }
    CsvReader reader(text);
    std::vector<CsvCell> cells;
    CsvQuoteError quotes;
    auto next = [&] {
        if (reader.next(cells, quotes)) return true;
        err.problem = PollCsvProblem::BadQuotes;
        err.line = quotes.line;
        err.column = quotes.column;
        return false;
    };

    auto fail = [&](PollCsvProblem problem, std::size_t line, std::size_t column) {
        err.problem = problem;
        err.line = line;
        err.column = column;
        return result;
    };

    // The header: the first line that is not empty.
    std::vector<int> columns;  // file column of each cell
    while (columns.empty()) {
        if (reader.atEnd()) return fail(PollCsvProblem::NoHeader, 1, 1);
        if (!next()) return result;
        if (isEmptyCsvRecord(cells)) continue;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            err.columnName = cells[c].text;
            const int col = columnOfHeader(cells[c].text);
            if (col < 0) return fail(PollCsvProblem::UnknownColumn, cells[c].line, c + 1);
            if (std::find(columns.begin(), columns.end(), col) != columns.end())
                return fail(PollCsvProblem::DuplicateColumn, cells[c].line, c + 1);
            columns.push_back(col);
        }
        err.columnName.clear();
    }
    std::vector<std::string> headers(cells.size());
    for (std::size_t c = 0; c < cells.size(); ++c) headers[c] = cells[c].text;

    std::vector<PollRow> rows;
    while (!reader.atEnd()) {
        if (!next()) return result;
        if (isEmptyCsvRecord(cells)) continue;
        const std::size_t line = cells.front().line;
        if (rows.size() == kMaxPollEntries) return fail(PollCsvProblem::TooManyRows, line, 1);
        if (cells.size() < columns.size()) {
            err.columnName = headers[cells.size()];
            return fail(PollCsvProblem::MissingCell, cells.back().line, cells.size() + 1);
        }
        if (cells.size() > columns.size())
            return fail(PollCsvProblem::ExtraCell, cells[columns.size()].line, columns.size() + 1);
        PollRow row;
        row.item = newModbusItem(rows.size());
        row.name = std::move(row.item.jsonName);
        row.item.jsonName.clear();
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const int col = tableColumn(static_cast<std::size_t>(columns[c]));
            const PollCsvProblem problem = storeCell(row, col, cells[c].text, enc);
            if (problem != PollCsvProblem::None) {
                err.columnName = headers[c];
                err.pollColumn = col;
                return fail(problem, cells[c].line, c + 1);
            }
        }
        rows.push_back(std::move(row));
    }
    result.table.emplace();
    result.table->assign(std::move(rows));
    return result;
}

PollCsvWrite writePollCsv(const PollTable& table, NameEncoding enc, CsvEncoding file) {
    PollCsvWrite out;
    for (std::size_t r = 0; r < table.size(); ++r) {
        const PollRow& row = table.row(r);
        const NameError e =
            row.nameIsText ? encodeName(row.name, enc, nameLimit()).error : NameError::NotGbk;
        if (e != NameError::None) {
            out.badRow = r;
            out.nameError = e;
            return out;
        }
    }
    std::string csv(file == CsvEncoding::Utf8 ? kUtf8Bom : "");
    for (std::size_t i = 0; i < kPollCsvColumns.size(); ++i)
        csv.append(i ? "," : "").append(kPollCsvColumns[i]);
    csv += "\r\n";
    for (std::size_t r = 0; r < table.size(); ++r) {
        std::string line;
        for (std::size_t i = 0; i < kPollCsvColumns.size(); ++i)
            line.append(i ? "," : "").append(csvQuoted(table.cellText(r, tableColumn(i))));
        line += "\r\n";
        if (file == CsvEncoding::Gbk) {
            // Every word a table takes is GBK; should one not be, its row is named, not cut.
            const auto gbk = utf8ToGbk(line);
            if (!gbk) {
                out.badRow = r;
                out.nameError = NameError::NotGbk;
                return out;
            }
            line.assign(gbk->begin(), gbk->end());
        }
        csv += line;
    }
    out.csv = std::move(csv);
    return out;
}

std::string pollCsvErrorText(const PollCsvError& e, NameEncoding enc, Language lang) {
    const bool en = lang == Language::English;
    std::string where =
        en ? "line " + std::to_string(e.line) + ", column " + std::to_string(e.column)
           : "第" + std::to_string(e.line) + "行第" + std::to_string(e.column) + "列";
    if (!e.columnName.empty()) where += en ? " (" + e.columnName + ")" : "（" + e.columnName + "）";
    where += en ? ": " : "：";
    switch (e.problem) {
        case PollCsvProblem::None:
            return {};
        case PollCsvProblem::NoHeader:
            return where + (en ? "no header row" : "没有表头行");
        case PollCsvProblem::UnknownColumn: {
            std::string known;
            for (std::string_view c : kPollCsvColumns)
                known.append(known.empty() ? "" : ", ").append(c);
            return where + (en ? "unknown column; the columns are " : "未知的列；可用的列为 ") +
                   known;
        }
        case PollCsvProblem::DuplicateColumn:
            return where + (en ? "this column appears twice" : "该列重复");
        case PollCsvProblem::BadQuotes:
            return where + (en ? "unbalanced quotes" : "引号不配对");
        case PollCsvProblem::MissingCell:
            return where +
                   (en ? "the row has fewer cells than the header" : "此行的单元格少于表头");
        case PollCsvProblem::ExtraCell:
            return where + (en ? "the row has more cells than the header" : "此行的单元格多于表头");
        case PollCsvProblem::TooManyRows:
            return where + (en ? "more than 64 entries (max 64)" : "超过64条（max 64）");
        case PollCsvProblem::BadValue:
            return where + valueExpected(e.pollColumn, lang);
        case PollCsvProblem::NotText:
            return where + (en ? "neither UTF-8 nor GBK text" : "既不是UTF-8也不是GBK文本");
        case PollCsvProblem::NameNotGbk:
        case PollCsvProblem::NameTooLong:
            return where + nameRefusal(e.problem == PollCsvProblem::NameNotGbk ? NameError::NotGbk
                                                                               : NameError::TooLong,
                                       e.columnName, e.columnName, nameLimit(), enc, lang);
    }
    return where;
}

std::string pollCsvReadAsGbkText(Language lang) {
    return lang == Language::English ? "not UTF-8: read as GBK" : "不是UTF-8文件，已按GBK读取";
}

std::string pollCsvWriteErrorText(const PollCsvWrite& result, NameEncoding enc, Language lang) {
    if (!result.badRow) return {};
    const bool en = lang == Language::English;
    const std::string entry = en ? "entry " + std::to_string(*result.badRow + 1) + ": "
                                 : "第" + std::to_string(*result.badRow + 1) + "条：";
    if (result.nameError == NameError::TooLong)
        return entry + nameRefusal(NameError::TooLong, kJsonNameLabelChinese, kJsonNameLabelEnglish,
                                   nameLimit(), enc, lang);
    const std::string_view encoding = enc == NameEncoding::Gbk ? "GBK" : "UTF-8";
    return entry + (en ? "the stored name is no " + std::string(encoding) +
                             " text, so a CSV file cannot carry it"
                       : "存储的json名不是" + std::string(encoding) + "文本，CSV文件无法保存");
}

}  // namespace dtu
