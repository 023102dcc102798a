#include "app/ScriptJson.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

using namespace spoolora;
using json::Json;

namespace {

std::string stringOf(const std::string& jsonText)
{
    const Json value = json::parse(jsonText);
    EXPECT_TRUE(value.is_string());
    return value.is_string() ? value.get<std::string>() : std::string();
}

TEST(ScriptJson, ReadsNestedValuesInOrder)
{
    const Json value = json::parse(R"( [ {"b": 1, "a": [true, false, null]}, -0.5e1, "x" ] )");
    ASSERT_EQ(value.size(), 3u);
    const Json& object = value[0];
    ASSERT_EQ(object.size(), 2u);
    EXPECT_EQ(object.begin().key(), "b") << "members keep the order written";
    EXPECT_EQ(object["a"], Json::array({true, false, nullptr}));
    EXPECT_EQ(value[1].get<double>(), -5.0);
}

TEST(ScriptJson, StringsCarryTheBytesTheyHold)
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
        {R"("\ud83c\u0041")", "\xED\xA0\xBC" "A"},         // a high half before a plain escape
        {"\"raw \xFF bytes\"", "raw \xFF bytes"},          // bytes pass through as the tags had them
        {"\"Caf\xE9 \xE2\x82\"", "Caf\xE9 \xE2\x82"},      // Latin-1 and a cut-off character
        // Characters at the very end of the code space arrive as they are, written or escaped.
        {"\"\xF4\x8F\xBC\x80 \xF4\x8F\xBF\xBF\"", "\xF4\x8F\xBC\x80 \xF4\x8F\xBF\xBF"},
        {R"("\udbff\udfff")", "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(stringOf(c.json), c.expected);
    }
    const Json object = json::parse("{\"k\xFF\": [\"\xC0\"]}");
    EXPECT_EQ(object.begin().key(), "k\xFF") << "keys carry bytes too";
    EXPECT_EQ(object.begin().value()[0], "\xC0");
}

TEST(ScriptJson, RejectsWhatIsNotStrictJson)
{
    const char* bad[] = {
        "",          "   ",         "{",          "[1,]",          "{\"a\":1,}",     "{'a':1}",
        "{\"a\" 1}", "{\"a\":1 \"b\":2}", "[1 2]", "01",           "-",              "1.",
        ".5",        "1e",          "+1",         "NaN",           "Infinity",       "tru",
        "nul",       "\"abc",       "\"a\\x\"",   "\"\\u12\"",     "\"\\u12g4\"",    "\"tab\there\"",
        "1 2",       "[1] x",       "{\"a\":1,\"a\":2}", "1e400",  "// c\n1",        "[\"a\"]]",
        "[{\"a\":1}, {\"b\":{\"b\":1,\"b\":2}}]", "\"\\",       "\xFF",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_THROW(json::parse(text), json::ParseError);
    }
    EXPECT_NO_THROW(json::parse(R"([{"a":1}, {"a":2}, {"b":{"a":1}, "a":3}])")) << "the same key in other objects";
}

TEST(ScriptJson, LimitsNestingDepth)
{
    EXPECT_NO_THROW(json::parse(std::string(64, '[') + std::string(64, ']')));
    EXPECT_THROW(json::parse(std::string(65, '[') + std::string(65, ']')), json::ParseError);
    EXPECT_THROW(json::parse(std::string(100000, '[')), json::ParseError) << "no stack overflow";
}

TEST(ScriptJson, ErrorSaysWhere)
{
    try {
        json::parse("[1, x]");
        FAIL() << "no error";
    } catch (const json::ParseError& e) {
        EXPECT_NE(std::string(e.what()).find("column 5"), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).find("[json.exception"), std::string::npos) << e.what();
    }
}

TEST(ScriptJson, FloatsAreWrittenAsTheShortestTextThatReadsBack)
{
    const struct {
        float value;
        const char* text;
    } floats[] = {
        {47.625f, "47.625"}, {285.75f, "285.75"}, {33.8f, "33.8"}, {10.1f, "10.1"}, {1e-7f, "1e-07"},
    };
    for (const auto& c : floats) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(json::oneLine(json::number(c.value)), c.text);
    }
    EXPECT_EQ(json::oneLine(json::number(static_cast<double>(33.8f))), "33.79999923706055") << "a double as itself";
    EXPECT_EQ(json::oneLine(json::number(std::nanf(""))), "null");
    EXPECT_EQ(json::oneLine(json::number(std::numeric_limits<double>::infinity())), "null");

    // Any float, read back from what is written, is the same float.
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        const std::uint32_t bits = random();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value))
            continue;
        const std::string written = json::oneLine(json::number(value));
        ASSERT_EQ(std::strtof(written.c_str(), nullptr), value) << written;
    }
}

TEST(ScriptJson, TextIsWrittenAsValidUtf8)
{
    Json line = Json::object();
    line["a"] = Json::array({1, false, nullptr});
    line["q\""] = json::text("line\nbreak \x01 tab\t");
    line["bad"] = json::text(std::string("x\xFFy\0z", 5));
    line["empty"] = Json::object();
    EXPECT_EQ(json::oneLine(line), "{\"a\":[1,false,null],\"q\\\"\":\"line\\nbreak \\u0001 tab\\t\","
                                   "\"bad\":\"x\xEF\xBF\xBDy\xEF\xBF\xBDz\",\"empty\":{}}");
    EXPECT_EQ(json::parse(json::oneLine(line)), line) << "what is written reads back the same";
}

} // namespace
