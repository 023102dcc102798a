#include "app/ScriptJson.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace spoolora;

namespace {

std::string stringOf(const std::string& jsonText)
{
    const json::Value value = json::parse(jsonText);
    EXPECT_NE(value.string(), nullptr);
    return value.string() ? *value.string() : std::string();
}

TEST(ScriptJson, ReadsNestedValuesInOrder)
{
    const json::Value value = json::parse(R"( [ {"b": 1, "a": [true, false, null]}, -0.5e1, "x" ] )");
    const json::Array& array = *value.array();
    ASSERT_EQ(array.size(), 3u);
    const json::Object& object = *array[0].object();
    ASSERT_EQ(object.size(), 2u);
    EXPECT_EQ(object[0].first, "b") << "members keep the order written";
    EXPECT_EQ(object[0].second.number()->integer, 1);
    EXPECT_TRUE(std::get<bool>(object[1].second.array()->at(0).data));
    EXPECT_TRUE(object[1].second.array()->at(2).isNull());
    EXPECT_EQ(array[1].number()->value, -5.0);
    EXPECT_FALSE(array[1].number()->integer) << "an exponent makes it not a written integer";
}

TEST(ScriptJson, DecodesEscapesToUtf8)
{
    const struct {
        const char* json;
        std::string expected;
    } cases[] = {
        {R"("a\"b\\c\/d")", "a\"b\\c/d"},
        {R"("\b\f\n\r\t")", "\b\f\n\r\t"},
        {R"("\u00e9")", "\xC3\xA9"},
        {R"("\u20AC")", "\xE2\x82\xAC"},
        {R"("\ud83c\udfb5")", "\xF0\x9F\x8E\xB5"},          // a surrogate pair: one code point
        {R"("\ud83c")", "\xED\xA0\xBC"},                   // a lone high half keeps its three-byte form
        {R"("\ud83cx")", "\xED\xA0\xBCx"},
        {R"("\udfb5\ud83c")", "\xED\xBE\xB5\xED\xA0\xBC"}, // halves in the wrong order stay apart
        {"\"raw \xFF bytes\"", "raw \xFF bytes"},          // bytes pass through as the tags had them
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(stringOf(c.json), c.expected);
    }
}

TEST(ScriptJson, ReadsIntegersExactlyAndKnowsWhenTheyAreNot)
{
    EXPECT_EQ(json::parse("9007199254740993").number()->integer, 9007199254740993LL)
        << "beyond a double's exact range";
    EXPECT_EQ(json::parse("-9223372036854775808").number()->integer, std::numeric_limits<std::int64_t>::min());
    EXPECT_FALSE(json::parse("9223372036854775808").number()->integer) << "one past the 64-bit range";
    EXPECT_FALSE(json::parse("3.0").number()->integer);
    EXPECT_EQ(json::parse("0.1").number()->value, 0.1);
}

TEST(ScriptJson, RejectsWhatIsNotStrictJson)
{
    const char* bad[] = {
        "",          "   ",         "{",          "[1,]",          "{\"a\":1,}",     "{'a':1}",
        "{\"a\" 1}", "{\"a\":1 \"b\":2}", "[1 2]", "01",           "-",              "1.",
        ".5",        "1e",          "+1",         "NaN",           "Infinity",       "tru",
        "nul",       "\"abc",       "\"a\\x\"",   "\"\\u12\"",     "\"\\u12g4\"",    "\"tab\there\"",
        "1 2",       "[1] x",       "{\"a\":1,\"a\":2}", "1e400",  "// c\n1",        "[\"a\"]]",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_THROW(json::parse(text), json::ParseError);
    }
}

TEST(ScriptJson, LimitsNestingDepth)
{
    EXPECT_NO_THROW(json::parse(std::string(64, '[') + std::string(64, ']')));
    EXPECT_THROW(json::parse(std::string(100000, '[')), json::ParseError) << "no stack overflow";
}

TEST(ScriptJson, ErrorNamesTheCharacter)
{
    try {
        json::parse("[1, x]");
        FAIL() << "no error";
    } catch (const json::ParseError& e) {
        EXPECT_EQ(e.offset, 4u);
        EXPECT_NE(std::string(e.what()).find("character 5"), std::string::npos) << e.what();
    }
}

TEST(ScriptJson, WritesShortestRoundTripNumbers)
{
    const struct {
        float value;
        const char* text;
    } floats[] = {
        {47.625f, "47.625"}, {285.75f, "285.75"}, {33.8f, "33.8"}, {10.1f, "10.1"}, {-0.0f, "-0"}, {1e-7f, "1e-07"},
    };
    for (const auto& c : floats) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(json::formatNumber(c.value), c.text);
        EXPECT_EQ(std::stof(json::formatNumber(c.value)), c.value) << "reads back to the same float";
    }
    EXPECT_EQ(json::formatNumber(0.1), "0.1");
    EXPECT_EQ(json::formatNumber(static_cast<double>(33.8f)), "33.79999923706055") << "a float widened shows it";
    EXPECT_EQ(json::formatNumber(std::nan("")), "null");
    EXPECT_EQ(json::formatNumber(std::numeric_limits<float>::infinity()), "null");
}

TEST(ScriptJson, WriterPlacesCommasAndEscapesText)
{
    json::Writer w;
    w.beginObject();
    w.key("a").beginArray().integer(1).boolean(false).null().endArray();
    w.key("q\"").string("line\nbreak \x01 tab\t");
    w.key("bad").string("x\xFFy");
    w.key("empty").beginObject().endObject();
    w.endObject();
    EXPECT_EQ(w.text(), "{\"a\":[1,false,null],\"q\\\"\":\"line\\nbreak \\u0001 tab\\t\","
                        "\"bad\":\"x\xEF\xBF\xBDy\",\"empty\":{}}");
    EXPECT_NO_THROW(json::parse(w.text())) << "what the writer writes, the reader reads";
}

} // namespace
