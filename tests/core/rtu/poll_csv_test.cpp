#include "rtu/poll_csv.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/random_params.h"
#include "text/gbk.h"

namespace dtu {
namespace {

namespace f = fields;

constexpr std::string_view kHeader =
    "slaveAddress,functionCode,startRegister,registerCount,dataType,decimals,jsonName,"
    "threshold1,threshold2,emergencyData,scaleK,offsetB";

// A random name of text the encoding holds, with the characters that need quoting in a CSV.
std::string randomName(std::mt19937& rng, NameEncoding enc) {
    static const std::vector<std::string> pieces = {
        "a", "Z", "7", "_", " ", ",", "\"", ";", "温", "度", "压", "\n", "\r\n", "%v", "{", "€"};
    const std::size_t limit = 57;
    std::string name;
    const auto length = std::uniform_int_distribution<int>(0, 25)(rng);
    for (int i = 0; i < length; ++i) {
        const std::string& piece = pieces[rng() % pieces.size()];
        if (encodeName(name + piece, enc, limit).error == NameError::None) name += piece;
    }
    return name;
}

DeviceParams randomTable(std::mt19937& rng, NameEncoding enc) {
    DeviceParams p = test::randomSavedRecord(
        rng, [](const FieldInfo& fi) { return fi.modbusRecord >= 0; }, 0);
    const auto count = std::uniform_int_distribution<std::uint32_t>(0, 64)(rng);
    p.set(f::modbusItemCount, static_cast<std::uint8_t>(count));
    std::uniform_int_distribution<std::uint32_t> any;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto e = f::modbusItem(i);
        p.set(e.slaveAddress, static_cast<std::uint8_t>(any(rng)));
        p.set(e.functionCode, static_cast<std::uint8_t>(any(rng)));
        p.set(e.startRegister, static_cast<std::uint16_t>(any(rng)));
        p.set(e.registerCount, static_cast<std::uint16_t>(any(rng)));
        p.set(e.dataType, static_cast<std::uint8_t>(any(rng) % 14));
        p.set(e.decimals, static_cast<std::uint8_t>(any(rng)));
        p.set(e.emergencyData, static_cast<std::uint8_t>(any(rng)));
        p.set(e.scaleK, any(rng));
        p.set(e.offsetB, any(rng));
        p.set(e.threshold1, static_cast<std::int32_t>(any(rng)));
        p.set(e.threshold2, static_cast<std::int32_t>(any(rng)));
        p.setText(e.jsonName, encodeName(randomName(rng, enc), enc, 57).bytes);
    }
    return p;
}

std::vector<ModbusItem> entries(const DeviceParams& p) {
    std::vector<ModbusItem> out;
    for (std::uint32_t i = 0; i < p.get(f::modbusItemCount); ++i)
        out.push_back(readModbusItem(p, i));
    return out;
}

PollCsvError refusal(const std::string& csv) {
    const PollCsvRead r = readPollCsv(csv, NameEncoding::Gbk);
    EXPECT_FALSE(r.table.has_value()) << csv;
    return r.error;
}

TEST(PollCsv, EveryEntryTheDeviceCanHoldComesBackWhole) {
    std::mt19937 rng(21);
    for (int round = 0; round < 300; ++round) {
        const NameEncoding enc = round % 2 ? NameEncoding::DeviceUtf8 : NameEncoding::Gbk;
        const DeviceParams original = randomTable(rng, enc);
        const PollCsvWrite written = writePollCsv(PollTable::fromRecord(original, enc), enc);
        ASSERT_FALSE(written.badRow.has_value()) << round;

        const PollCsvRead read = readPollCsv(written.csv, enc);
        ASSERT_TRUE(read.table.has_value())
            << round << ": " << pollCsvErrorText(read.error, enc, Language::English) << "\n"
            << written.csv;
        DeviceParams back;
        ASSERT_EQ(read.table->toRecord(back, enc, Language::English), std::nullopt);
        ASSERT_EQ(entries(back), entries(original)) << round << "\n" << written.csv;
        // And out again without a byte changing.
        ASSERT_EQ(writePollCsv(*read.table, enc).csv, written.csv) << round;
    }
}

TEST(PollCsv, WritesTheTablesWordsWithQuotingWhereNeeded) {
    DeviceParams p;
    p.set(f::modbusItemCount, 2);
    ModbusItem a = newModbusItem(0);
    a.dataType = 2;
    a.jsonName = "temp, \"inner\"";
    a.scaleK = 5700;
    a.offsetB = 0x80003A98;
    a.threshold1 = -3;
    writeModbusItem(p, 0, a);
    ModbusItem b = newModbusItem(1);
    b.dataType = 12;
    writeModbusItem(p, 1, b);
    const PollCsvWrite w =
        writePollCsv(PollTable::fromRecord(p, NameEncoding::Gbk), NameEncoding::Gbk);
    EXPECT_EQ(w.csv, "\xEF\xBB\xBF" + std::string(kHeader) +
                         "\r\n"
                         "1,3,0,1,浮点型(ABCD),0,\"temp, \"\"inner\"\"\",-3,0,0,0.5700,-1.5000\r\n"
                         "1,3,0,1,12,0,k1,0,0,0,0.0000,0.0000\r\n");
}

std::string inGbk(std::string_view utf8) {
    const auto gbk = utf8ToGbk(utf8);
    EXPECT_TRUE(gbk.has_value()) << utf8;
    return gbk ? std::string(gbk->begin(), gbk->end()) : std::string();
}

TEST(PollCsv, GbkFilesAsChineseSpreadsheetsSaveThemAreReadAndWritten) {
    DeviceParams p;
    p.set(f::modbusItemCount, 1);
    ModbusItem a = newModbusItem(0);
    a.dataType = 2;
    a.jsonName = "\xCE\xC2\xB6\xC8";  // 温度 as stored in GBK
    writeModbusItem(p, 0, a);
    const PollTable table = PollTable::fromRecord(p, NameEncoding::Gbk);
    const std::string utf8 = writePollCsv(table, NameEncoding::Gbk).csv;
    const PollCsvWrite gbk = writePollCsv(table, NameEncoding::Gbk, CsvEncoding::Gbk);
    EXPECT_EQ(gbk.csv, inGbk(utf8.substr(3)));  // the same text, without the byte order mark

    const PollCsvRead fromUtf8 = readPollCsv(utf8, NameEncoding::Gbk);
    const PollCsvRead fromGbk = readPollCsv(gbk.csv, NameEncoding::Gbk);
    ASSERT_TRUE(fromGbk.table.has_value())
        << pollCsvErrorText(fromGbk.error, NameEncoding::Gbk, Language::English);
    EXPECT_TRUE(fromGbk.readAsGbk);
    EXPECT_FALSE(fromUtf8.readAsGbk);
    EXPECT_EQ(*fromGbk.table, *fromUtf8.table);

    // The table's Chinese headers, saved by a spreadsheet.
    const PollCsvRead headers = readPollCsv(inGbk("地址,json名\r\n7,压力\r\n"), NameEncoding::Gbk);
    ASSERT_TRUE(headers.table.has_value());
    EXPECT_EQ(headers.table->row(0).name, "压力");
    EXPECT_EQ(headers.table->row(0).item.slaveAddress, 7);

    // Bytes that are neither, and a file that says it is UTF-8, are not guessed at.
    const PollCsvError neither = refusal("jsonName\r\nab\r\nc\x81\xFF\r\n");
    EXPECT_EQ(neither.problem, PollCsvProblem::NotText);
    EXPECT_EQ(pollCsvErrorText(neither, NameEncoding::Gbk, Language::English),
              "line 3, column 1: neither UTF-8 nor GBK text");
    const PollCsvRead marked =
        readPollCsv("\xEF\xBB\xBF" + inGbk("json名\r\n压力\r\n"), NameEncoding::Gbk);
    EXPECT_FALSE(marked.readAsGbk);
    EXPECT_FALSE(marked.table.has_value());
}

TEST(PollCsv, ReadsHeadersOfEitherLanguageInAnyOrderWithDefaultsForTheRest) {
    const std::string csv =
        "json名,Fun, 数据类型 ,k,B\n"
        "\"two\nlines\",4,Float(CDAB),1.5,-2\n"
        "\n"
        "flow,3,有符号整型(16bit),0,0\n";
    const PollCsvRead r = readPollCsv(csv, NameEncoding::Gbk);
    ASSERT_TRUE(r.table.has_value())
        << pollCsvErrorText(r.error, NameEncoding::Gbk, Language::English);
    ASSERT_EQ(r.table->size(), 2u);
    const PollRow& first = r.table->row(0);
    EXPECT_EQ(first.name, "two\nlines");
    EXPECT_EQ(first.item.functionCode, 4);
    EXPECT_EQ(first.item.dataType, 3);
    EXPECT_EQ(first.item.scaleK, 15000u);
    EXPECT_EQ(first.item.offsetB, 0x80004E20u);
    EXPECT_EQ(first.item.slaveAddress, 1);  // not in the file: the new-entry value
    EXPECT_EQ(first.item.registerCount, 1);
    EXPECT_EQ(r.table->row(1).item.dataType, 8);
    EXPECT_EQ(r.table->row(1).name, "flow");
}

TEST(PollCsv, RefusalsNameTheLineAndTheColumn) {
    const std::string row = "1,3,0,1,BYTE,0,k,0,0,0,1.0000,0.0000\r\n";
    struct Case {
        std::string csv;
        PollCsvProblem problem;
        std::size_t line;
        std::size_t column;
        std::string english;
    };
    std::string tooMany = std::string(kHeader) + "\r\n";
    for (int i = 0; i < 64; ++i) tooMany += row;
    tooMany += "\r\n" + row;  // the empty line still counts as a line
    const std::string header = std::string(kHeader) + "\r\n";
    const Case cases[] = {
        {header + row + "1,3,70000,1,BYTE,0,k,0,0,0,0,0\r\n", PollCsvProblem::BadValue, 3, 3,
         "line 3, column 3 (startRegister): not a whole number from 0 to 65535"},
        {header + "1,3,0,1,Float,0,k,0,0,0,0,0\r\n", PollCsvProblem::BadValue, 2, 5,
         "line 2, column 5 (dataType): not one of the eleven data types (or a number from 0 "
         "to 255)"},
        {header + "1,3,0,1,BYTE,0,k,0,0,0,0.12345,0\r\n", PollCsvProblem::BadValue, 2, 11,
         "line 2, column 11 (scaleK): not a number from 0 to 429496.7295 with at most 4 "
         "decimal places"},
        {header + "\"a\nb\",3\r\n", PollCsvProblem::MissingCell, 3, 3,
         "line 3, column 3 (startRegister): the row has fewer cells than the header"},
        {"slaveAddress,colour\r\n1,red\r\n", PollCsvProblem::UnknownColumn, 1, 2,
         "line 1, column 2 (colour): unknown column; the columns are slaveAddress, "
         "functionCode, startRegister, registerCount, dataType, decimals, jsonName, "
         "threshold1, threshold2, emergencyData, scaleK, offsetB"},
        {"k,scaleK\r\n", PollCsvProblem::DuplicateColumn, 1, 2,
         "line 1, column 2 (scaleK): this column appears twice"},
        {tooMany, PollCsvProblem::TooManyRows, 67, 1,
         "line 67, column 1: more than 64 entries (max 64)"},
        {header + row + "1,3,0,1,BYTE,0,\"k\"x,0,0,0,0,0\r\n", PollCsvProblem::BadQuotes, 3, 7,
         "line 3, column 7: unbalanced quotes"},
        {"jsonName\r\n\"open\r\n", PollCsvProblem::BadQuotes, 2, 1,
         "line 2, column 1: unbalanced quotes"},
        {"jsonName,decimals\r\n" + std::string(58, 'n') + ",1\r\n", PollCsvProblem::NameTooLong, 2,
         1,
         "line 2, column 1 (jsonName): jsonName: at most 57 bytes (a Chinese character "
         "takes 2)"},
        {"jsonName,decimals\r\na,1,\r\n", PollCsvProblem::ExtraCell, 2, 3,
         "line 2, column 3: the row has more cells than the header"},
        {"\r\n\r\n", PollCsvProblem::NoHeader, 1, 1, "line 1, column 1: no header row"},
    };
    for (const Case& c : cases) {
        const PollCsvError e = refusal(c.csv);
        EXPECT_EQ(e.problem, c.problem) << c.english;
        EXPECT_EQ(e.line, c.line) << c.english;
        EXPECT_EQ(e.column, c.column) << c.english;
        EXPECT_EQ(pollCsvErrorText(e, NameEncoding::Gbk, Language::English), c.english);
    }
    EXPECT_EQ(pollCsvErrorText(refusal(header + "1,3,0,1,BYTE,0,k,0,0,0,-1,0\r\n"),
                               NameEncoding::Gbk, Language::Chinese),
              "第2行第11列（scaleK）：不是0到429496.7295之间、最多4位小数的数");
}

TEST(PollCsv, SixtyFourRowsAreTaken) {
    std::string csv(kHeader);
    csv += "\n";
    for (int i = 0; i < 64; ++i) csv += "1,3,0,1,BYTE,0,k,0,0,0,0,0\n";
    const PollCsvRead r = readPollCsv("\xEF\xBB\xBF" + csv, NameEncoding::Gbk);
    ASSERT_TRUE(r.table.has_value());
    EXPECT_EQ(r.table->size(), 64u);
}

TEST(PollCsv, NamesAreCheckedInTheChosenEncoding) {
    std::string name;
    for (int i = 0; i < 20; ++i) name += "温";  // 40 bytes in GBK, 60 in the device's UTF-8
    const std::string file = "jsonName\r\n" + name + "\r\n";
    EXPECT_TRUE(readPollCsv(file, NameEncoding::Gbk).table.has_value());
    const PollCsvRead utf8 = readPollCsv(file, NameEncoding::DeviceUtf8);
    ASSERT_FALSE(utf8.table.has_value());
    EXPECT_EQ(utf8.error.problem, PollCsvProblem::NameTooLong);
    EXPECT_EQ(readPollCsv("jsonName\r\na😀\r\n", NameEncoding::Gbk).error.problem,
              PollCsvProblem::NameNotGbk);
}

TEST(PollCsv, AStoredNameThatIsNoTextIsNotWritten) {
    DeviceParams p;
    p.set(f::modbusItemCount, 2);
    p.setText(f::modbusItem(1).jsonName, std::string("\xFF\xFE", 2));
    const PollCsvWrite w =
        writePollCsv(PollTable::fromRecord(p, NameEncoding::Gbk), NameEncoding::Gbk);
    EXPECT_TRUE(w.csv.empty());
    ASSERT_EQ(w.badRow, 1u);
    EXPECT_EQ(pollCsvWriteErrorText(w, NameEncoding::Gbk, Language::English),
              "entry 2: the stored name is no GBK text, so a CSV file cannot carry it");
}

}  // namespace
}  // namespace dtu
