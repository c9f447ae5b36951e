#include "files/ini.h"

#include <gtest/gtest.h>

#include <climits>

namespace dtu {
namespace {

TEST(Ini, ParsesLenientlyWithCrlfAndOddSpacing) {
    const IniDocument doc = IniDocument::parse(
        "orphan=1\r\n"
        "; a comment\r\n"
        "[*****pc serial*****]\r\n"
        "  serial =  3 \r\n"
        "\tBitRate\t=\t7\r\n"
        "novalue\r\n"
        "url = http://a/?x=1\r\n"
        "\r\n"
        "   [ spaced ] \r\n"
        "  ;key=hidden\r\n"
        "[a]b]\n"
        "k=\n"
        "[open\n"
        "last=z");
    ASSERT_EQ(doc.sections().size(), 3u);
    EXPECT_EQ(doc.sections()[0].name, "*****pc serial*****");
    EXPECT_EQ(doc.sections()[1].name, " spaced ");
    EXPECT_EQ(doc.sections()[2].name, "a]b");

    EXPECT_EQ(doc.value("*****PC SERIAL*****", "SERIAL"), "3");
    EXPECT_EQ(doc.value("*****pc serial*****", "bitrate"), "7");
    EXPECT_EQ(doc.value("*****pc serial*****", "url"), "http://a/?x=1");
    EXPECT_FALSE(doc.value("*****pc serial*****", "novalue").has_value());
    EXPECT_FALSE(doc.value("*****pc serial*****", "orphan").has_value());
    EXPECT_FALSE(doc.value("spaced", "key").has_value());  // names are verbatim
    EXPECT_FALSE(doc.value(" spaced ", ";key").has_value());
    EXPECT_EQ(doc.value("a]b", "k"), "");
    // "[open" is no section: "last" still belongs to "a]b".
    EXPECT_EQ(doc.value("A]B", "last"), "z");
}

TEST(Ini, FirstOfDuplicatesWins) {
    IniDocument doc = IniDocument::parse("[s]\nk=1\nK=2\n[S]\nk=3\nj=4\n");
    EXPECT_EQ(doc.value("s", "k"), "1");
    EXPECT_FALSE(doc.value("s", "j").has_value());
    doc.set("S", "K", "9");
    EXPECT_EQ(doc.value("s", "k"), "9");
    EXPECT_EQ(doc.toText(), "[s]\nk=9\nK=2\n\n[S]\nk=3\nj=4\n");
}

TEST(Ini, SetReplacesOrAppendsAndWritesBack) {
    IniDocument doc;
    EXPECT_TRUE(doc.empty());
    doc.set("one", "a", "1");
    doc.set("two", "b", "2");
    doc.set("ONE", "c", "3");
    doc.set("one", "A", "4");
    doc.set("two", "multi", "x\r\ny\nz");
    const std::string text = doc.toText();
    EXPECT_EQ(text, "[one]\na=4\nc=3\n\n[two]\nb=2\nmulti=x  y z\n");
    const IniDocument back = IniDocument::parse(text);
    EXPECT_EQ(back.toText(), text);
    EXPECT_EQ(back.value("two", "multi"), "x  y z");
}

TEST(Ini, IntValueLikeTheProfileFunctions) {
    const IniDocument doc = IniDocument::parse(
        "[s]\nempty=\ntext=abc\nprefix=12abc\nneg=-3\nhex=0x10\n"
        "big=99999999999\nsmall=-99999999999\nsign=-\n");
    EXPECT_EQ(doc.intValue("s", "missing", 4), 4);
    EXPECT_EQ(doc.intValue("s", "empty", 4), 4);
    EXPECT_EQ(doc.intValue("s", "text", 4), 0);
    EXPECT_EQ(doc.intValue("s", "prefix", 4), 12);
    EXPECT_EQ(doc.intValue("s", "neg", 4), -3);
    EXPECT_EQ(doc.intValue("s", "hex", 4), 0);
    EXPECT_EQ(doc.intValue("s", "big", 4), INT_MAX);
    EXPECT_EQ(doc.intValue("s", "small", 4), INT_MIN);
    EXPECT_EQ(doc.intValue("s", "sign", 4), 0);
}

// A scan fed in pieces of `piece` bytes, then the edit that sets the key, applied.
std::string setByScan(std::string text, std::string_view section, std::string_view key,
                      std::string_view value, std::size_t piece) {
    IniScan scan(section, [](std::string_view) { return true; });
    for (std::size_t at = 0; at < text.size(); at += piece)
        scan.feed(std::string_view(text).substr(at, piece));
    scan.finish();
    EXPECT_EQ(scan.size(), text.size());
    const IniSplice edit = scan.set(key, value);
    return text.replace(edit.offset, edit.length, edit.text);
}

TEST(IniScan, SettingOneKeyKeepsEveryOtherByte) {
    const std::string text =
        "orphan=1\r\n"
        "; mark of another tool\r\n"
        "[Day]\r\n"
        "  Mac1 = old value  \r\n"
        "novalue\r\n"
        "mac2=x\r\n"
        "; checked\r\n"
        "\r\n"
        "[other]\r\n"
        "k=v\r\n"
        "[day]\r\n"
        "mac3=late duplicate section\r\n";
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, text.size()}) {
        SCOPED_TRACE(piece);
        // An existing key: only its value changes, its spelling, spacing and line end stay.
        std::string want = text;
        want.replace(want.find("old value  "), 11, "new\xCE\xC2");
        EXPECT_EQ(setByScan(text, "DAY", "mac1", "new\xCE\xC2", piece), want);
        // A new key goes after the section's last line, the first section of the name only.
        want = text;
        want.insert(want.find("\r\n\r\n[other]") + 2, "mac3=a  b\r\n");
        EXPECT_EQ(setByScan(text, "day", "mac3", "a\r\nb", piece), want);
        // A new section goes at the end, after an empty line.
        EXPECT_EQ(setByScan(text, "new", "k", "1", piece), text + "\r\n[new]\r\nk=1\r\n");
    }
    // A last line without its line end, and an empty text.
    EXPECT_EQ(setByScan("[s]\nk=1", "s", "j", "2", 3), "[s]\nk=1\nj=2");
    EXPECT_EQ(setByScan("[s]\nk=1", "s", "k", "", 3), "[s]\nk=");
    EXPECT_EQ(setByScan("x", "s", "k", "v", 1), "x\n\n[s]\nk=v\n");
    EXPECT_EQ(setByScan("", "s", "k", "v", 1), "[s]\nk=v\n");
}

}  // namespace
}  // namespace dtu
