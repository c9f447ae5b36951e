#include "production/record_text.h"

#include <gtest/gtest.h>

namespace dtu {
namespace {

TEST(RecordText, ControlCharactersAreShownNotObeyed) {
    EXPECT_EQ(escapeControls("\x1b[2J/dev/pts/6\r\n"), "\\x1b[2J/dev/pts/6\\x0d\\x0a");
    EXPECT_EQ(escapeControls("a\tb\x7f"), "a\\x09b\\x7f");
    EXPECT_EQ(escapeControls("\xc2\x9b"
                             "31m"),
              "\\u009b31m");  // the one-character CSI
    // Printable text, CJK and stray bytes are left as they are.
    EXPECT_EQ(escapeControls("串口异常 \xa9 \xc2\xa9"), "串口异常 \xa9 \xc2\xa9");
}

TEST(RecordText, CellsASpreadsheetWouldRunAreTexts) {
    for (const char* formula : {"=1+2", "+1", "-2+3", "@SUM(A1)", "\tx", "\rx"})
        EXPECT_EQ(spreadsheetSafe(formula), std::string("'") + formula) << formula;
    for (const char* plain : {"", "861234050123457", "a=b", "line-7", "'quoted"})
        EXPECT_EQ(spreadsheetSafe(plain), plain);
}

TEST(RecordText, AJournalLineKeepsTextsAndNullsAndRefusesATornLine) {
    const std::vector<RecordCell> cells = {
        {"port", "/dev/pts/6"}, {"imei", std::nullopt}, {"reason", "串口异常\r\n\"x\""}};
    const std::string line = journalLine(cells);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    std::string error;
    const auto back = parseJournalLine(line, error);
    ASSERT_TRUE(back) << error;
    ASSERT_EQ(back->size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ((*back)[i].name, cells[i].name);
        EXPECT_EQ((*back)[i].value, cells[i].value);
    }
    EXPECT_FALSE(parseJournalLine(line.substr(0, line.size() / 2), error));
    EXPECT_FALSE(parseJournalLine("{\"port\": 6}", error));
    EXPECT_FALSE(parseJournalLine("[]", error));
}

}  // namespace
}  // namespace dtu
