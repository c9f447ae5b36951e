// A CSV file given to the poll table import is outside bytes. The first byte picks the name
// encoding. A file must be refused with a place in it, or give at most 64 entries that the
// record takes and that the writer writes out and the reader reads back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "rtu/poll_csv.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    using namespace dtu;
    const NameEncoding enc = data[0] & 1 ? NameEncoding::DeviceUtf8 : NameEncoding::Gbk;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const PollCsvRead read = readPollCsv(text, enc);
    if (!read.table) {
        check(read.error.problem != PollCsvProblem::None);
        check(read.error.line >= 1 && read.error.column >= 1);
        check(!pollCsvErrorText(read.error, enc, Language::Chinese).empty());
        return 0;
    }
    const PollTable& table = *read.table;
    check(table.size() <= kMaxPollEntries);

    DeviceParams params;
    check(!table.toRecord(params, enc, Language::English).has_value());
    check(params.get(fields::modbusItemCount) == table.size());

    const PollCsvWrite written = writePollCsv(table, enc);
    check(!written.badRow.has_value());
    const PollCsvRead again = readPollCsv(written.csv, enc);
    check(again.table.has_value() && *again.table == table);
    // Every word a table takes is GBK, so the file for Chinese spreadsheets can always be made.
    check(!writePollCsv(table, enc, CsvEncoding::Gbk).badRow.has_value());
    // What the record holds reads back as the same table.
    check(PollTable::fromRecord(params, enc) == table);
    return 0;
}
