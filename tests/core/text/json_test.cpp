#include "text/json.h"

#include <gtest/gtest.h>

namespace dtu {
namespace {

std::string nested(int depth, char open, const std::string& inner, char close) {
    return std::string(depth, open) + inner + std::string(depth, close);
}

TEST(Json, ParsesDocumentInOrder) {
    const auto doc = parseJson(
        " {\"name\":\"DTU\",\"ports\":[1,-2.5e3,true,false,null],\"name\":\"dup\",\"sub\":{}}\r\n");
    ASSERT_TRUE(doc && doc->isObject());
    const auto& members = doc->object();
    ASSERT_EQ(members.size(), 4u);
    EXPECT_EQ(members[2].first, "name");
    EXPECT_EQ(doc->find("name")->string(), "DTU");  // first of duplicates
    EXPECT_EQ(doc->find("missing"), nullptr);
    EXPECT_TRUE(doc->find("sub")->isObject());
    const auto& ports = doc->find("ports")->array();
    ASSERT_EQ(ports.size(), 5u);
    EXPECT_EQ(ports[0].integer(), 1);
    EXPECT_EQ(ports[1].numberText(), "-2.5e3");
    EXPECT_TRUE(ports[2].isBool() && ports[2].boolean());
    EXPECT_TRUE(ports[3].isBool() && !ports[3].boolean());
    EXPECT_TRUE(ports[4].isNull());
}

TEST(Json, NumbersFollowTheGrammar) {
    for (const char* text : {"0", "-0", "12", "1.5", "-0.0e0", "1e5", "1E+5", "1e-05"}) {
        const auto v = parseJson(text);
        ASSERT_TRUE(v && v->isNumber()) << text;
        EXPECT_EQ(v->numberText(), text);
    }
    for (const char* text : {"01", "-01", "1.", "-", "1e", "1e+", "+1", ".5", "1.e5", "0x10", "--1",
                             "NaN", "Infinity", "1 2"})
        EXPECT_FALSE(parseJson(text)) << text;
}

TEST(Json, IntegerOnlyForWholeNumbersThatFit) {
    EXPECT_EQ(parseJson("-0")->integer(), 0);
    EXPECT_EQ(parseJson("9223372036854775807")->integer(), INT64_MAX);
    EXPECT_EQ(parseJson("-9223372036854775808")->integer(), INT64_MIN);
    for (const char* text : {"9223372036854775808", "-9223372036854775809", "1.0", "1e2", "\"1\""})
        EXPECT_FALSE(parseJson(text)->integer()) << text;
}

TEST(Json, DecodesStrings) {
    EXPECT_EQ(parseJson(R"("\"\\\/\b\f\n\r\t")")->string(), "\"\\/\b\f\n\r\t");
    EXPECT_EQ(parseJson(R"("\u00e9\u6E29")")->string(), "é温");
    EXPECT_EQ(parseJson(R"("\ud83d\ude00")")->string(), "😀");
    EXPECT_EQ(parseJson(R"("a\u0000b")")->string(), std::string("a\0b", 3));
    EXPECT_EQ(parseJson("\"温度\"")->string(), "温度");
}

TEST(Json, RejectsBadStrings) {
    for (const char* text :
         {R"("\ud800")", R"("\ud800\u0041")", R"("\udc00")", R"("\u12G4")", R"("\u12")", R"("\x")",
          "\"a\x01\"", "\"abc", "\"\\", "\"\xFF\"", "\"\xC0\x80\"", "\"\xED\xA0\x80\"",
          "\"\xF4\x90\x80\x80\"", "\"\xE6\xB8\"", "\"\xE6\xB8"})
        EXPECT_FALSE(parseJson(text)) << text;
}

TEST(Json, RejectsBadStructureWithOffset) {
    for (const char* text : {"", "  ", "[1,]", "{\"a\":1,}", "{\"a\" 1}", "{1:2}", "[1 2]", "[1] x",
                             "truex", "nul", "[", "{", "\f1", "\xEF\xBB\xBF{}"})
        EXPECT_FALSE(parseJson(text)) << text;
    JsonError error;
    EXPECT_FALSE(parseJson("[1, x]", &error));
    EXPECT_EQ(error.offset, 4u);
    EXPECT_FALSE(error.message.empty());
    EXPECT_FALSE(parseJson(R"({"k": "\udc00"})", &error));
    EXPECT_EQ(error.offset, 7u);
}

TEST(Json, LimitsNesting) {
    EXPECT_TRUE(parseJson(nested(64, '[', "1", ']')));
    EXPECT_FALSE(parseJson(nested(65, '[', "1", ']')));
    std::string objects;
    for (int i = 0; i < 65; ++i) objects += "{\"a\":";
    JsonError error;
    EXPECT_FALSE(parseJson(objects + "1" + std::string(65, '}'), &error));
    EXPECT_EQ(error.offset, 64u * 5);
    EXPECT_FALSE(parseJson(std::string(1000000, '[')));
}

TEST(Json, EveryTruncationFails) {
    const std::string doc = R"({"a":[1.5e2,"\u00e9x",{"b":null}],"c":true})";
    ASSERT_TRUE(parseJson(doc));
    for (std::size_t n = 0; n < doc.size(); ++n)
        EXPECT_FALSE(parseJson(std::string_view(doc).substr(0, n))) << n;
}

TEST(Json, QuoteEscapesAndParsesBack) {
    EXPECT_EQ(jsonQuote("a\"b\\c/\n\r\t\b\f\x01\x1f\x7f温"),
              "\"a\\\"b\\\\c/\\n\\r\\t\\b\\f\\u0001\\u001f\x7f温\"");
    std::string all;
    for (int c = 0; c < 0x80; ++c) all += static_cast<char>(c);
    all += "温度😀";
    const auto back = parseJson(jsonQuote(all));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->string(), all);
}

}  // namespace
}  // namespace dtu
