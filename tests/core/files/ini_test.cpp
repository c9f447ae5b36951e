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

}  // namespace
}  // namespace dtu
