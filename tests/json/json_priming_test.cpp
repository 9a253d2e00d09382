#include <gtest/gtest.h>

#include "json/json_object.h"
#include "platform/script/script_engine.h"
#include "text/encoding.h"

namespace tavolen {
namespace {

using script::ScriptEngine;

std::u16string u(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string eval_string(ScriptEngine& engine, std::string_view code) {
    auto value = engine.eval(u(code));
    if (!value || value->kind != script::ScriptValue::Kind::string) return "<no string>";
    return std::string(value->text.begin(), value->text.end());
}

// An engine primed as JsonObject primes one; without_json takes the engine's own JSON away
// first, so that the polyfill steps in.
void prime(ScriptEngine& engine, bool without_json) {
    if (without_json) {
        ASSERT_TRUE(engine.add_code(u("JSON = undefined; delete Date.prototype.toJSON;")));
    }
    ASSERT_TRUE(engine.add_code(ansi_to_u16string(json_priming_script())));
}

TEST(JsonPriming, KeepsTheNativeJsonAndAddsTheTwoEnumerableMembers) {
    ScriptEngine engine;
    ASSERT_TRUE(
        engine.add_code(u("var native_parse = JSON.parse, native_stringify = JSON.stringify;")));
    prime(engine, false);
    EXPECT_EQ(
        eval_string(engine,
                    "String(JSON.parse === native_parse && JSON.stringify === native_stringify)"),
        "true");
    EXPECT_EQ(eval_string(engine, "var names = ''; for (var k in {a: 1}) names += k + ','; names"),
              "a,toJSONString,parseJSON,");
    EXPECT_EQ(eval_string(engine,
                          "String(get__count({a: 1, b: 2}) + ',' + get__count([7, 8, 9]) + ',' + "
                          "get__count({}))"),
              "2,3,0");
    EXPECT_EQ(eval_string(engine, "({a: [1]}).toJSONString()"), R"({"a":[1]})");
    EXPECT_EQ(eval_string(engine, "String('[4,5]'.parseJSON()[1])"), "5");
}

// The polyfill must print and read what the engine's own JSON does, for everything a document
// can hold.
TEST(JsonPriming, PolyfillAgreesWithTheNativeJson) {
    // Engines are primed from bytecode once the script has been compiled on a thread: the
    // polyfill must work from there too, whatever ran before this test.
    ScriptEngine earlier;
    prime(earlier, false);
    ScriptEngine native, polyfill;
    prime(native, false);
    prime(polyfill, true);
    for (const char* fn : {"JSON.parse", "JSON.stringify", "Date.prototype.toJSON"}) {
        ASSERT_EQ(eval_string(polyfill, std::string("typeof ") + fn), "function") << fn;
        ASSERT_EQ(
            eval_string(polyfill, std::string("String(String(") + fn + ").indexOf('native') < 0)"),
            "true")
            << fn;
    }
    const char* scripts[] = {
        R"(JSON.stringify({a: [1, 'x\n"\\', null, true, false, -0.5, 1e21], b: {c: {}}, e: []}))",
        R"(JSON.stringify({n: NaN, i: Infinity, u: undefined, f: function(){}, s: ''}))",
        R"(JSON.stringify([undefined, function(){}]))",
        R"(JSON.stringify({a: [1, {b: 2}], c: 'd'}, null, 2))",
        R"(JSON.stringify({a: [1, {b: 2}]}, null, '\t'))",
        R"(JSON.stringify({a: 1, b: [2, 3]}, function (k, v) { return typeof v === 'number' ? v * 2 : v; }))",
        R"(JSON.stringify({a: 1, b: 2, e: 3}, ['a', 'e']))",
        R"(JSON.stringify({t: {toJSON: function (k) { return 'key ' + k; }}}))",
        R"(JSON.stringify('\u0001\u001f'))",
        R"(JSON.stringify(JSON.parse('{"a":[1,2,{"b":null}],"c":"x\\ny\\u0041","d":-1.5e3}')))",
        R"(JSON.stringify(JSON.parse('[1,{"a":2}]', function (k, v) { return k === 'a' ? undefined : v; })))",
        R"(JSON.stringify(JSON.parse(' \t\r\n7 ')))",
    };
    for (const char* script : scripts)
        EXPECT_EQ(eval_string(polyfill, script), eval_string(native, script)) << script;

    // Its own forms where the published polyfill differs from the engine: dates without
    // milliseconds, and a reply that is no JSON is refused before it is evaluated.
    EXPECT_EQ(eval_string(polyfill, "JSON.stringify(new Date(Date.UTC(2024, 0, 2, 3, 4, 5)))"),
              R"("2024-01-02T03:04:05Z")");
    EXPECT_EQ(eval_string(polyfill, "JSON.stringify(new Date(NaN))"), "null");
    for (const char* bad : {"pwned=1", "[1]);pwned=1;//", "{a:1}", "", "[1,]x"}) {
        EXPECT_FALSE(polyfill.eval(u(std::string("JSON.parse('") + bad + "')"))) << bad;
    }
    EXPECT_EQ(eval_string(polyfill, "typeof pwned"), "undefined");
}

}  // namespace
}  // namespace tavolen
