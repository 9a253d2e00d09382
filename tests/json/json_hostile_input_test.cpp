#include <gtest/gtest.h>

#include <string>

#include "json_test_support.h"

namespace tavolen {
namespace {

using testing::gbk;
using testing::pwned;

// Replies that would have run as script when a reply was evaluated as source. None of them is
// JSON; each must be refused, run nothing and leave the engine usable.
TEST(JsonHostileInput, ScriptInAReplyNeverRuns) {
    const std::string replies[] = {
        "1);while(1){}//",
        "1);pwned=1;//",
        "[1]);pwned=1;//",
        "(pwned=1)",
        "{\"a\":1}\n;pwned=1",
        "\"x\");pwned=1;//",
        "\"\\\");pwned=1;//",
        "\"\\u0022);pwned=1;//\"x",
        "</script>\");pwned=1;//",
        "\xe2\x80\xa8\");pwned=1;//",  // U+2028 ends a line inside a script string
        // a lead byte before a quote or backslash must not swallow or expose it
        "\x81\");pwned=1;//",
        "\x95\\\");pwned=1;//",
        "\xff\");pwned=1;//",
        "\"\x81\\\");pwned=1;//",
    };
    for (const auto& reply : replies) {
        JsonObject json;
        EXPECT_FALSE(json.parse(reply)) << reply;
        EXPECT_EQ(pwned(json), "undefined") << reply;
        EXPECT_EQ(json.get_type(), json_null) << reply;
        EXPECT_TRUE(json.parse("[1]"));  // the same object carries on
    }
}

TEST(JsonHostileInput, ScriptInsideAStringMemberStaysAString) {
    const Text script = "1);pwned=1;while(1){}//";
    JsonObject json;
    ASSERT_TRUE(
        json.parse("{\"s\":\"" + script + "\",\"q\":\"\\\"pwned=2\\\"\",\"a\":[\"pwned=3\"]}"));
    EXPECT_EQ(json.get_text("s"), script);
    EXPECT_EQ(json.get_type("s"), json_string);
    // A member copied out as a document of its own is the string again, not its contents run.
    JsonObject member = json.get_object("s");
    EXPECT_EQ(member.get_type(), json_string);
    EXPECT_EQ(member.get_text("length"), number_to_text(static_cast<int>(script.size())));
    EXPECT_EQ(pwned(member), "undefined");
    JsonObject quoted = json.get_object("q");
    EXPECT_EQ(quoted.to_json(), "\"\\\"pwned=2\\\"\"");
    EXPECT_EQ(pwned(quoted), "undefined");
    JsonObject element = json.get_array_object(0, "a");
    EXPECT_EQ(element.to_json(), "\"pwned=3\"");
    EXPECT_EQ(pwned(element), "undefined");
    EXPECT_EQ(pwned(json), "undefined");
}

TEST(JsonHostileInput, DeepNestingIsRefused) {
    const int depth = 100000;
    for (const auto& [open, close] :
         {std::pair<std::string, std::string>{"[", "]"}, {"{\"a\":", "}"}}) {
        std::string deep;
        for (int i = 0; i < depth; ++i) deep += open;
        deep += "1";
        for (int i = 0; i < depth; ++i) deep += close;
        JsonObject json;
        EXPECT_FALSE(json.parse(deep));
        EXPECT_EQ(json.member_count(), -2);
        EXPECT_FALSE(json.parse(std::string(depth, '[')));  // unbalanced too
    }
    // Nesting within what the engine takes still loads and reads.
    std::string nested(200, '[');
    nested += "7" + std::string(200, ']');
    JsonObject json;
    EXPECT_TRUE(json.parse(nested));
    EXPECT_EQ(json.get_text("[0][0][0]", true), Text(197, '[') + "7" + Text(197, ']'));
}

TEST(JsonHostileInput, HugeReplyIsRefusedWithinTheMemoryCap) {
    // About 50 MB of room messages with Chinese texts.
    const Text message = gbk(
        R"({"uid":123456,"nickname":"来自远方的朋友","text":"主播好厉害啊啊啊啊啊啊啊啊啊啊啊啊啊啊啊啊啊啊啊啊啊啊啊","timeline":"2024-01-01 12:00:00"})");
    Text reply = R"({"data":{"room":[)";
    reply.reserve((50u << 20) + 1024);
    while (reply.size() < (50u << 20)) reply += message + ",";
    reply += message + "],\"admin\":[]}}";
    JsonObject json;
    EXPECT_FALSE(json.parse(reply));
    EXPECT_EQ(json.member_count("data.room"), 0);
    EXPECT_EQ(json.get_text("data.room[0].uid"), "");
    reply.clear();
    reply.shrink_to_fit();
    ASSERT_TRUE(json.parse("{\"data\":{\"room\":[" + message + "]}}"));
    EXPECT_EQ(json.get_text("data.room[0].nickname"), gbk("来自远方的朋友"));
}

TEST(JsonHostileInput, InvalidBytesGiveSomeTextOrNoDocument) {
    // Bytes that code page 936 cannot decode become U+FFFD inside strings (shown as "?"), and
    // outside strings make the text no JSON.
    JsonObject json;
    ASSERT_TRUE(json.parse("{\"a\":\"x\x81\",\"b\":\"\x80\",\"c\":\"\xff\xfe\"}"));
    EXPECT_EQ(json.member_count(), 3);
    EXPECT_EQ(json.get_text("a").substr(0, 1), "x");
    EXPECT_FALSE(json.get_text("b").empty());
    EXPECT_FALSE(json.get_text("c").empty());
    for (const char* bad : {"\xef\xbb\xbf{}", "\xff\xfe[1]", "[1]\x81", "{\"a\":\"\x01\"}", "\x80",
                            "[\"\\ud800\"]x"}) {
        EXPECT_FALSE(json.parse(bad)) << bad;
        EXPECT_EQ(json.get_type(), json_null);
    }
}

TEST(JsonHostileInput, KeysWithScriptErrorsGiveTheEmptyAnswers) {
    JsonObject json;
    ASSERT_TRUE(json.parse(R"({"a":{"b":1},"s":"x"})"));
    const Text before = json.to_json();
    for (const char* key : {"a b", "a)", "a.", "[", "]", "a[", "}{", "a==", "'", "\"", "a\\", "(",
                            "a;;(", "\xff", "a/*", "a.b("}) {
        EXPECT_EQ(json.get_text(key), "") << key;
        EXPECT_EQ(json.get_text(key, true), "") << key;
        EXPECT_EQ(json.get_number(key), 0) << key;
        EXPECT_EQ(json.member_count(key), 0) << key;
        EXPECT_EQ(json.get_type(key), json_other) << key;
        EXPECT_FALSE(json.has_property(key)) << key;
        TextArray keys{"old"};
        EXPECT_EQ(json.list_keys(keys, key), 0) << key;
        EXPECT_TRUE(keys.empty()) << key;
        json.set_property(key, "v");
        json.delete_property(key);
    }
    EXPECT_EQ(json.to_json(), before);
}

}  // namespace
}  // namespace tavolen

namespace tavolen {
namespace {

// Every one- and two-byte text, alone and before a quote: its literal always evaluates to one
// string, holding the units that the text converts to.
TEST(JsonHostileInput, StringLiteralHoldsExactlyTheTextForEveryBytePair) {
    JsonObject json;  // brings COM up on this thread
    ComObject engine;
    ASSERT_TRUE(com_create(engine, "MSScriptControl.ScriptControl"));
    ASSERT_TRUE(com_put(engine, "Language", "JavaScript"));
    int mismatches = 0;
    for (int first = 1; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            Text text(1, static_cast<char>(first));
            if (second != 0) text.push_back(static_cast<char>(second));
            for (const Text& sample : {text, text + "\");x=(\""}) {
                Variant value = com_call<Variant>(engine, "Eval", script_string_literal(sample));
                const com::Bstr* units = value.bstr();
                ASSERT_NE(units, nullptr) << first << "," << second;
                if (*units != text_to_bstr(sample) && ++mismatches < 10)
                    ADD_FAILURE() << "bytes " << first << "," << second;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace tavolen
