#include <gtest/gtest.h>

#include "json_test_support.h"

namespace tavolen {
namespace {

using testing::engine_eval;
using testing::gbk;

TEST(JsonEditing, SetPropertyQuotesOrEvaluatesTheValue) {
    JsonObject json;
    json.set_property("a", "v");
    json.set_property("b", "1+1", true);
    json.set_property("c", "", true);
    json.set_property_json("d", "[1,{\"e\":2}]");
    json.set_property_json("u", "");
    json.set_property_number("n", 2.5);
    json.set_property("esc", "a\\tb");  // a backslash starts a script escape
    json.set_property("cn", gbk("弹幕"));
    EXPECT_EQ(json.to_json(),
              gbk(R"({"a":"v","b":2,"c":{},"d":[1,{"e":2}],"n":2.5,"esc":"a\tb","cn":"弹幕"})"));
    EXPECT_EQ(json.get_type("u"), json_null);  // eval() without an argument: undefined
    EXPECT_EQ(json.property_to_json("d[1]"), "{\"e\":2}");
}

TEST(JsonEditing, AValueThatBreaksItsScriptChangesNothing) {
    JsonObject json;
    ASSERT_TRUE(json.parse(R"({"a":"old"})"));
    const Text before = json.to_json();
    json.set_property("a", "x'y");  // da.a='x'y' does not compile
    json.set_property("b", "x'y");
    json.set_property_json("c", "{");
    json.array_push("it's", "list");
    json.set_array_item(0, "'");
    json.set_value("x'y");
    EXPECT_EQ(json.to_json(), before);
}

TEST(JsonEditing, ArrayPushMakesAnArrayFirstWhenNeeded) {
    JsonObject json;
    ASSERT_TRUE(json.parse(R"({"o":{"k":1},"list":[0]})"));
    json.array_push("1", "quoted");
    json.array_push("1", "raw", true);
    json.array_push("2", "o", true);  // an object is replaced by a one-element array
    json.array_push("3", "list", true);
    EXPECT_EQ(json.to_json(), R"({"o":[2],"list":[0,3],"quoted":["1"],"raw":[1]})");

    JsonObject fresh;
    fresh.array_push("x");
    EXPECT_EQ(fresh.get_type(), json_array);
    EXPECT_EQ(fresh.member_count(), 1);
    EXPECT_EQ(fresh.get_array_text(0), "x");
}

TEST(JsonEditing, ArrayItemsOfTheDocument) {
    JsonObject json;
    ASSERT_TRUE(json.parse("[7,8,9]"));
    json.set_array_item(1, "b");
    json.set_array_item(2, "true", true);
    json.remove_array_item(0);
    EXPECT_EQ(json.to_json(), R"(["b",true])");
    EXPECT_EQ(json.get_array_text(0), "b");
    EXPECT_EQ(json.get_array_text(5), "");

    JsonObject object;  // an object document: splice fails, an index is a member name
    object.remove_array_item(0);
    object.set_array_item(2, "v");
    EXPECT_EQ(object.to_json(), R"({"2":"v"})");
}

TEST(JsonEditing, MakeEmptySetValueClearAndDelete) {
    JsonObject json;
    json.make_empty(json_array);
    EXPECT_EQ(json.member_count(), 0);
    EXPECT_EQ(json.get_type(), json_array);
    for (JsonType ignored : {json_boolean, json_number, json_string, 3, -1, 99}) {
        json.make_empty(ignored);
        EXPECT_EQ(json.get_type(), json_array) << ignored;
    }
    json.make_empty(json_null);
    EXPECT_EQ(json.to_json(), "{}");

    json.set_value("text");
    EXPECT_EQ(json.get_type(), json_string);
    json.set_value("[1,2]", true);
    EXPECT_EQ(json.member_count(), 2);
    json.clear();
    EXPECT_EQ(json.to_json(), "{}");

    ASSERT_TRUE(json.parse(R"({"a":1,"b":{"c":2}})"));
    json.delete_property("b.c");
    json.delete_property("a");
    json.delete_property("missing.x");
    EXPECT_EQ(json.to_json(), R"({"b":{}})");
}

TEST(JsonEditing, HasPropertyIsFalseForNullAndMissingOnly) {
    JsonObject json;
    ASSERT_TRUE(json.parse(R"({"zero":0,"no":false,"empty":"","nil":null})"));
    EXPECT_TRUE(json.has_property("zero"));
    EXPECT_TRUE(json.has_property("no"));
    EXPECT_TRUE(json.has_property("empty"));
    EXPECT_FALSE(json.has_property("nil"));
    EXPECT_FALSE(json.has_property("missing"));
    EXPECT_FALSE(json.has_property("missing.x"));
}

TEST(JsonEditing, ListKeysLeavesOutTheTwoPrimingMembers) {
    JsonObject json;
    TextArray keys{"stale"};
    ASSERT_TRUE(json.parse(R"({"a":1,"b":2,"arr":[7,8,9],"xtoJSONString":3})"));
    EXPECT_EQ(json.list_keys(keys, "arr"), 3);
    EXPECT_EQ(keys, (TextArray{"0", "1", "2"}));
    // The removal works on the plain listing, so a name ending in a primed name loses the end.
    EXPECT_EQ(json.list_keys(keys), 4);
    EXPECT_EQ(keys, (TextArray{"a", "b", "arr", "x"}));
    EXPECT_EQ(json.list_keys(keys, "missing.x"), 0);
    EXPECT_TRUE(keys.empty());
    // The listing's global is reset; the loop variable keeps the last name it visited.
    EXPECT_EQ(engine_eval(json, "ary"), "");
    EXPECT_EQ(engine_eval(json, "String(ary)"), "null");
}

TEST(JsonEditing, MemberAndElementDocumentsAreIndependentCopies) {
    JsonObject json;
    ASSERT_TRUE(json.parse(gbk(
        R"({"data":{"room":[{"uid":1,"nickname":"甲"},{"uid":2}]},"s":"plain","list":[[1],[2,3]]})")));
    JsonObject room = json.get_object("data.room");
    EXPECT_EQ(room.member_count(), 2);
    EXPECT_EQ(room.get_text("[0].nickname"), gbk("甲"));
    room.set_property_number("[0].uid", 9);
    EXPECT_EQ(json.get_text("data.room[0].uid"), "1");
    EXPECT_NE(room.engine().dispatch(), json.engine().dispatch());

    JsonObject element = json.get_array_object(1, "list");
    EXPECT_EQ(element.to_json(), "[2,3]");
    EXPECT_EQ(json.get_array_text(0, "data.room", true), gbk(R"({"uid":1,"nickname":"甲"})"));
    EXPECT_EQ(json.get_object("s").get_type(), json_string);

    JsonObject missing = json.get_object("nothing");
    EXPECT_EQ(missing.get_type(), json_null);
    EXPECT_EQ(missing.member_count(), -2);
}

}  // namespace
}  // namespace tavolen
