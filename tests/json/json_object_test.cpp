#include <gtest/gtest.h>

#include "json_test_support.h"
#include "platform/com/registry.h"
#include "platform/script/script_control.h"

namespace tavolen {
namespace {

using testing::gbk;

const Text room_reply =
    gbk(R"({"data":{"room":[{"uid":101,"nickname":"小明","text":"你好","timeline":"12:00:01"},)"
        R"({"uid":102,"nickname":"阿花","text":"x'y\\z","timeline":"12:00:02"},)"
        R"({"uid":103,"nickname":"老王","text":"666","timeline":"12:00:03"}],)"
        R"("admin":[]},"n":1.5,"t":true,"f":false,"z":null,"o":{"a":1},"arr":[10,20],"big":1e21})");

TEST(JsonObject, NewObjectHoldsAnEmptyObject) {
    JsonObject json;
    EXPECT_FALSE(com_is_empty(json.engine()));
    EXPECT_EQ(json.member_count(), 0);
    EXPECT_EQ(json.get_type(), json_object);
    EXPECT_EQ(json.to_json(), "{}");
}

TEST(JsonObject, ParseAnswersWhetherTheDocumentHoldsAValue) {
    struct Case {
        const char* text;
        bool answer;
        JsonType type;
    };
    const Case cases[] = {
        {"[1,2,3]", true, json_array},
        {"null", false, json_null},
        {"0", true, json_number},
        {"false", true, json_boolean},
        {"", false, json_null},
        {"{\"a\":1}", true, json_object},
        {" \r\n[1] ", true, json_array},
        {"\"str\"", true, json_string},
        // not JSON: refused, where evaluating the text used to accept some of them
        {"undefined", false, json_null},
        {"{a:1}", false, json_null},
        {"'x'", false, json_null},
        {"[1,2", false, json_null},
        {"[1,]", false, json_null},
        {"0x10", false, json_null},
    };
    for (const auto& c : cases) {
        JsonObject json;
        EXPECT_EQ(json.parse(c.text), c.answer) << c.text;
        EXPECT_EQ(json.get_type(), c.type) << c.text;
        if (!c.answer) {
            EXPECT_EQ(json.to_json(), "null") << c.text;
        }
    }
    JsonObject json;
    ASSERT_TRUE(json.parse("[1,2,3]"));
    EXPECT_EQ(json.member_count(), 3);
}

TEST(JsonObject, FailedParseAfterAGoodOneLeavesNothingOfTheOldDocument) {
    JsonObject json;
    ASSERT_TRUE(json.parse(room_reply));
    ComObject first_engine = json.engine();
    EXPECT_FALSE(json.parse("{\"data\":"));
    EXPECT_NE(json.engine().dispatch(), first_engine.dispatch());  // a new engine per parse
    EXPECT_EQ(json.get_type(), json_null);
    EXPECT_EQ(json.member_count("data.room"), 0);
    EXPECT_EQ(json.get_text("data.room[0].uid"), "");
}

TEST(JsonObject, MemberCountCountsOwnMembersAndElements) {
    JsonObject json;
    ASSERT_TRUE(json.parse(room_reply));
    EXPECT_EQ(json.member_count("data.room"), 3);
    EXPECT_EQ(json.member_count("data.admin"), 0);
    EXPECT_EQ(json.member_count("data"), 2);
    EXPECT_EQ(json.member_count("data.room[1]"), 4);
    EXPECT_EQ(json.member_count("data.room.missing.x"), 0);  // raises: empty answer
    // for-in over undefined visits nothing: only the start value is left. Callers treat every
    // count below 1 as none.
    EXPECT_EQ(json.member_count("missing"), -2);

    ASSERT_TRUE(json.parse("[[1,2],[3]]"));
    EXPECT_EQ(json.member_count("[0]"), 2);
    EXPECT_EQ(json.member_count("[1]"), 1);
}

TEST(JsonObject, GetTypeAnswersTheKindCodes) {
    JsonObject json;
    ASSERT_TRUE(json.parse(room_reply));
    struct Case {
        const char* key;
        JsonType type;
    };
    const Case cases[] = {
        {"", json_object},
        {"data.room", json_array},
        {"o", json_object},
        {"n", json_number},
        {"big", json_number},
        {"t", json_boolean},
        {"data.room[0].nickname", json_string},
        {"z", json_null},
        {"missing", json_null},
        {"missing.x", json_other},
        {"[0]", json_other},
        {"data.room.length", json_number},
        {"o.constructor", json_other},
    };
    for (const auto& c : cases) EXPECT_EQ(json.get_type(c.key), c.type) << c.key;
}

TEST(JsonObject, GetTextReadsMembersAsText) {
    JsonObject json;
    ASSERT_TRUE(json.parse(room_reply));
    struct Case {
        const char* key;
        Text text;
    };
    const Case cases[] = {
        {"data.room[0].uid", number_to_text(101.0)},
        {"data.room[0].nickname", gbk("小明")},
        {"data.room[1].text", "x'y\\z"},
        {"data.room[2].timeline", "12:00:03"},
        {"n", number_to_text(1.5)},
        {"big", number_to_text(1e21)},
        {"t", variant_to_text(Variant::from_bool(true))},
        {"f", variant_to_text(Variant::from_bool(false))},
        {"z", ""},
        {"missing", ""},
        {"missing.deeper", ""},
        {"arr", "10,20"},  // an object's string form
        // keys are script
        {"data.room.length", "3"},
        {"data.room[0].nickname.length", "2"},
    };
    for (const auto& c : cases) EXPECT_EQ(json.get_text(c.key), c.text) << c.key;

    EXPECT_EQ(json.get_text("o", true), "{\"a\":1}");
    EXPECT_EQ(json.get_text("data.room[0].nickname", true), gbk("\"小明\""));
    EXPECT_EQ(json.get_text("missing", true), "");
    EXPECT_EQ(json.get_number("data.room[2].uid"), 103);
    EXPECT_EQ(json.get_number("data.room[0].nickname"), 0);
}

TEST(JsonObject, LeadingBracketJoinsWithoutADot) {
    JsonObject json;
    ASSERT_TRUE(json.parse(R"([5, {"u": "x"}, [7]])"));
    // get_type has no such rule (da.[0] fails), so even a number element is read as text.
    EXPECT_EQ(json.get_type("[0]"), json_other);
    EXPECT_EQ(json.get_text("[0]"), "5");
    EXPECT_EQ(json.get_text("[1].u"), "x");
    EXPECT_EQ(json.get_text("[2]", true), "[7]");
    EXPECT_EQ(json.get_text("[1]", true), "{\"u\":\"x\"}");
}

TEST(JsonObject, CopySharesTheEngineUntilAParseReplacesIt) {
    JsonObject json;
    ASSERT_TRUE(json.parse(R"({"a":1})"));
    JsonObject other = json.copy();
    other.set_property_number("b", 2);
    EXPECT_EQ(json.get_text("b"), "2");
    ASSERT_TRUE(other.parse(R"({"c":3})"));
    EXPECT_EQ(json.get_text("c"), "");
    EXPECT_EQ(json.get_text("b"), "2");
}

// Each live object holds one initialisation of its thread: parsing replaces it, a copy or a
// member document takes its own, and destroy ends it.
TEST(JsonObject, ComInitialisationIsBalancedByDestroy) {
    const int before = com::com_init_count();
    {
        JsonObject json;
        EXPECT_EQ(com::com_init_count(), before + 1);
        for (int pass = 0; pass < 3; ++pass) {
            json.parse("not json");  // the poll loop's endless parsing adds nothing
            json.parse("{\"a\":[1]}");
        }
        EXPECT_EQ(com::com_init_count(), before + 1);
        JsonObject copy = json.copy();
        EXPECT_EQ(com::com_init_count(), before + 2);
        copy.destroy();
        EXPECT_EQ(com::com_init_count(), before + 1);
        copy.destroy();  // a second destroy does nothing
        EXPECT_EQ(com::com_init_count(), before + 1);
        {
            JsonObject member = json.get_object("a");
            JsonObject element = json.get_array_object(0, "a");
            EXPECT_EQ(com::com_init_count(), before + 3);
        }
        EXPECT_EQ(com::com_init_count(), before + 1);
        // the source destroyed first: its copy still holds the thread's initialisation
        JsonObject last = json.copy();
        json.destroy();
        EXPECT_EQ(com::com_init_count(), before + 1);
        EXPECT_EQ(last.get_text("a", true), "[1]");
    }
    EXPECT_EQ(com::com_init_count(), before);
}

// Replaces the script control's factory for the scope of a test.
class NoScriptControl {
  public:
    NoScriptControl() {
        com::register_class("MSScriptControl.ScriptControl", [] { return com::DispatchPtr(); });
    }
    ~NoScriptControl() {
        com::register_class("MSScriptControl.ScriptControl", &script::create_script_control);
    }
};

TEST(JsonObject, WithoutAScriptControlEveryAnswerIsEmpty) {
    JsonObject healthy;  // registers the standard objects before they are replaced
    NoScriptControl none;
    JsonObject json;
    EXPECT_TRUE(com_is_empty(json.engine()));
    EXPECT_FALSE(json.parse("[1,2]"));
    EXPECT_EQ(json.get_text("a"), "");
    EXPECT_EQ(json.get_text("a", true), "");
    EXPECT_EQ(json.get_number("a"), 0);
    EXPECT_EQ(json.member_count(), 0);
    EXPECT_EQ(json.get_type(), json_other);
    // A good object parsing after the factory fails loses its engine too.
    EXPECT_FALSE(healthy.parse("[1,2]"));
    EXPECT_TRUE(com_is_empty(healthy.engine()));
}

}  // namespace
}  // namespace tavolen
