#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "rtu/poll_table.h"
#include "text/language.h"

namespace dtu {

// The poll table as a CSV file (RFC 4180, UTF-8, or GBK as a spreadsheet on a Chinese system
// saves it): a header row, then one row per entry with
// every field of the entry in a column, in the units and words of the table (the data type by
// its Chinese name, k and b as decimals, the name as text). The writer names the columns as
// the record names its fields; the reader also takes the table's headers in either language,
// takes the columns in any order and gives a column that is missing the new-entry value.
// What the writer writes, the reader reads back to the same entries.

// The file's columns, in the order the writer puts them.
inline constexpr std::array<std::string_view, kPollColumnCount - 2> kPollCsvColumns{
    "slaveAddress", "functionCode", "startRegister", "registerCount", "dataType", "decimals",
    "jsonName",     "threshold1",   "threshold2",    "emergencyData", "scaleK",   "offsetB",
};

// More than any table of 64 entries takes; a larger file is not one.
inline constexpr std::size_t kMaxPollCsvBytes = 1024 * 1024;

enum class PollCsvProblem {
    None,
    NoHeader,
    UnknownColumn,
    DuplicateColumn,
    BadQuotes,  // a quote that does not open or close a quoted cell, or one never closed
    MissingCell,
    ExtraCell,
    TooManyRows,
    BadValue,  // not a value the column's field holds
    NameNotGbk,
    NameTooLong,
    NotText,  // neither UTF-8 nor GBK
};

// Where and why a file was refused: lines and columns count from 1; the column's name is as
// the header row spells it (empty before the header is known).
struct PollCsvError {
    PollCsvProblem problem = PollCsvProblem::None;
    std::size_t line = 0;
    std::size_t column = 0;
    std::string columnName;
    int pollColumn = -1;  // the table column of a bad value
};

std::string pollCsvErrorText(const PollCsvError& error, NameEncoding enc, Language lang);

struct PollCsvRead {
    std::optional<PollTable> table;  // set when the file was taken
    PollCsvError error;
    bool readAsGbk = false;  // the file was no UTF-8 and was read as GBK
};

// Reads a whole file (a UTF-8 byte order mark is skipped; lines end in CR LF or LF; lines
// that are completely empty are skipped). A file without the mark that is not UTF-8 is read
// as GBK, the way a spreadsheet on a Chinese system saves CSV. Names are checked against their
// field in `enc`. The first fault refuses the whole file.
PollCsvRead readPollCsv(std::string_view bytes, NameEncoding enc);

// The one line that says a file was read as GBK.
std::string pollCsvReadAsGbkText(Language lang);

// How the file's text is written: UTF-8 with a byte order mark, or GBK without one for
// spreadsheets that open CSV in the system's code page.
enum class CsvEncoding { Utf8, Gbk };

struct PollCsvWrite {
    std::string csv;  // lines ending in CR LF
    // An entry the file could not carry back (a stored name that is no text in `enc`, or
    // that does not fit its field): its row from 0, then nothing is written.
    std::optional<std::size_t> badRow;
    NameError nameError = NameError::None;
};

PollCsvWrite writePollCsv(const PollTable& table, NameEncoding enc,
                          CsvEncoding file = CsvEncoding::Utf8);

// The refusal of writePollCsv in the window's language.
std::string pollCsvWriteErrorText(const PollCsvWrite& result, NameEncoding enc, Language lang);

}  // namespace dtu
