#include "platform/script/script_engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavolen::script {
namespace {

using Kind = ScriptValue::Kind;

std::u16string u(const char* ascii) {
    return std::u16string(ascii, ascii + std::char_traits<char>::length(ascii));
}

// A short deadline keeps the runaway-script cases quick.
ScriptLimits quick_limits() {
    ScriptLimits limits;
    limits.time_per_call = std::chrono::milliseconds(200);
    return limits;
}

// "ok:<kind>:<text or number>" or "failed": one comparable line per answer.
std::string describe(const std::optional<ScriptValue>& v) {
    if (!v) return "failed";
    switch (v->kind) {
        case Kind::undefined:
            return "undefined";
        case Kind::null:
            return "null";
        case Kind::boolean:
            return v->boolean ? "true" : "false";
        case Kind::number:
            return "number:" + std::to_string(v->number);
        case Kind::string:
            return "string:" + std::string(v->text.begin(), v->text.end());
        case Kind::object:
            return "object:" + (v->has_text ? std::string(v->text.begin(), v->text.end()) : "?");
    }
    return "?";
}

TEST(ScriptEngine, GlobalCodeKeepsDeclarationsAndAnswersTheLastStatement) {
    ScriptEngine engine;
    ASSERT_TRUE(engine.usable());
    EXPECT_EQ(describe(engine.add_code(u("var a = 2; function twice(x){return 2*x}"))),
              "undefined");
    EXPECT_EQ(describe(engine.eval(u("twice(a)"))), "number:4.000000");
    EXPECT_EQ(describe(engine.eval(u("1+1; var zz=5;"))), "number:2.000000");
    EXPECT_EQ(describe(engine.eval(u("zz"))), "number:5.000000");
    // Sloppy mode: an undeclared assignment makes a global, `with` is allowed.
    EXPECT_EQ(describe(engine.eval(u("for (v in {p:1}) ; v"))), "string:p");
    EXPECT_EQ(describe(engine.eval(u("with ({q: 'w'}) q"))), "string:w");
    EXPECT_EQ(describe(engine.eval(u("var s='x'; s"))), "string:x");
    EXPECT_EQ(describe(engine.eval(u("null"))), "null");
    EXPECT_EQ(describe(engine.eval(u("[1,2]"))), "object:1,2");
    EXPECT_EQ(describe(engine.eval(u("({toString: function(){throw 1}})"))), "object:?");
}

TEST(ScriptEngine, ErrorsFailTheCallAndLeaveTheEngineUsable) {
    ScriptEngine engine;
    const char* bad[] = {"var = ;", "1 +",       "nosuch.member",
                         "null.x",  "throw 'x'", "(function f(){f()})()",
                         "}",       "da.[0]"};
    for (const char* code : bad) {
        EXPECT_FALSE(engine.eval(u(code))) << code;
        EXPECT_FALSE(engine.add_code(u(code))) << code;
    }
    // Source nested beyond the compiler's limits is refused, not a crash.
    for (auto [open, close] : {std::pair{'(', ')'}, std::pair{'[', ']'}, std::pair{'{', '}'}}) {
        std::u16string deep(100000, open);
        deep += u"1";
        deep.append(100000, close);
        EXPECT_FALSE(engine.eval(deep)) << open;
        EXPECT_FALSE(engine.add_code(deep)) << open;
    }
    // A failing statement list keeps what ran before the error, as the platform's engine does.
    EXPECT_FALSE(engine.add_code(u("var kept = 1; nosuch();")));
    EXPECT_EQ(describe(engine.eval(u("kept"))), "number:1.000000");
}

TEST(ScriptEngine, EnginesShareNothing) {
    ScriptEngine a, b;
    ASSERT_TRUE(a.add_code(u("var only_here = 1; Object.prototype.extra = 2;")));
    EXPECT_EQ(describe(b.eval(u("typeof only_here"))), "string:undefined");
    EXPECT_EQ(describe(b.eval(u("({}).extra"))), "undefined");
}

TEST(ScriptEngine, HoldsNoHostObjects) {
    ScriptEngine engine;
    for (const char* name :
         {"print",         "alert",       "require",    "module",         "exports",
          "process",       "console",     "Duktape",    "CBOR",           "TextEncoder",
          "TextDecoder",   "performance", "setTimeout", "XMLHttpRequest", "fetch",
          "ActiveXObject", "WScript",     "load",       "readFile",       "system"}) {
        std::u16string code = u("typeof ") + u(name);
        EXPECT_EQ(describe(engine.eval(code)), "string:undefined") << name;
    }
}

TEST(ScriptEngine, RunawayScriptsStopAtTheDeadline) {
    if (!ScriptEngine::enforces_deadline()) GTEST_SKIP() << "engine built without a deadline";
    ScriptEngine engine(quick_limits());
    const char* runaway[] = {
        "while(true){}",
        // catching the deadline's error does not help: it is raised again at once
        "for(;;){ try { while(true){} } catch (e) {} }",
        "function f(){ try { for(;;){} } finally { f(); } } f()",
    };
    for (const char* code : runaway) {
        EXPECT_FALSE(engine.add_code(u(code))) << code;
        EXPECT_FALSE(engine.eval(u(code))) << code;
    }
    EXPECT_EQ(describe(engine.eval(u("6*7"))), "number:42.000000");
}

TEST(ScriptEngine, MemoryCapRefusesGrowthAndTheEngineRecovers) {
    ScriptLimits limits = quick_limits();
    limits.memory_bytes = 8u << 20;
    limits.time_per_call = std::chrono::seconds(20);
    ScriptEngine engine(limits);
    // What a failed script built is garbage afterwards, so the engine carries on.
    EXPECT_FALSE(
        engine.add_code(u("(function(){ var keep = []; for(var i=0;;i++) keep.push('x' + "
                          "i + new Array(100).join('y')); })()")));
    EXPECT_LE(engine.heap_bytes(), limits.memory_bytes);
    EXPECT_FALSE(engine.eval(u("new Array(1e7).join('abcdefgh')")));
    EXPECT_EQ(describe(engine.eval(u("'still' + ' here'"))), "string:still here");
}

TEST(ScriptEngine, TextsKeepEveryUtf16Unit) {
    ScriptEngine engine;
    const std::u16string samples[] = {
        u"弹幕",                    // BMP, three UTF-8 bytes each
        u"\u00e9\u0100",            // two-byte forms
        u"\U0001F600",              // a surrogate pair
        std::u16string(1, 0xD800),  // a lone high surrogate
        std::u16string(1, 0xDFFF),  // a lone low surrogate
        u"a\uFFFDb",
    };
    for (const auto& s : samples) {
        auto v = engine.eval(u"'" + s + u"'");
        ASSERT_TRUE(v);
        EXPECT_EQ(v->text, s);
        auto len = engine.eval(u"'" + s + u"'.length");
        ASSERT_TRUE(len);
        EXPECT_EQ(len->number, static_cast<double>(s.size()));
    }
    // Escapes built inside the engine come out as the same units.
    auto pair = engine.eval(u("'\\uD83D\\uDE00' + String.fromCharCode(0xDC00)"));
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->text, (std::u16string{0xD83D, 0xDE00, 0xDC00}));
}

TEST(ScriptEngine, MalformedEngineBytesBecomeReplacementCharacters) {
    struct Case {
        std::string bytes;
        std::u16string units;
    };
    const Case cases[] = {
        {"abc", u"abc"},
        {"\xE5\xBC\xB9", u"弹"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xED\xA0\xBD\xED\xB8\x80", u"\U0001F600"},  // CESU-8 pair
        {"\x80", u"\uFFFD"},
        {"\xE5\xBC", u"\uFFFD\uFFFD"},  // cut short
        {"\xC3(", u"\uFFFD("},
        {"\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xF4\x90\x80\x80", u"\uFFFD"},  // beyond U+10FFFF
    };
    for (const auto& c : cases) EXPECT_EQ(engine_to_utf16(c.bytes), c.units) << c.bytes;
    EXPECT_EQ(engine_to_utf16(utf16_to_engine(u"x\U0001F600\xD800y")), u"x\U0001F600\xD800y");
}

// The member-path shortcut and the compile cache must answer exactly as compiling each script
// does, errors and getter side effects included.
TEST(ScriptEngine, ShortcutsAnswerAsTheCompilerDoes) {
    const char* setup =
        "var da = {n: 7, s: 'str', t: true, z: null, o: {a: {b: [10, 'x', {c: 3}]}},"
        " arr: [1, [2, 3]], f: function(){}, 'if': 'kw', '01': 'lead', num: {'7': 'seven'}};"
        "var hits = 0; Object.defineProperty(da, 'g', {get: function(){ hits++; return 5; }});"
        "Object.defineProperty(da, 'bad', {get: function(){ throw new Error('no'); }});"
        "Object.defineProperty(da.arr, '4', {get: function(){ hits += 10; return 'got'; }});"
        "da.p = new Proxy({}, {get: function(t, k){ hits += 100; return 'trap ' + k; }});"
        "da.fp = new Proxy(function(){}, {}); da.sym = Symbol('s'); da.neg = -0;"
        "Object.defineProperty(this, 'gg', {get: function(){ hits += 1000; return da; }});"
        "Object.defineProperty(Array.prototype, '9', {get: function(){ hits += 5; return 9; },"
        " configurable: true});";
    // clang-format off
    const char* scripts[] = {
        "da", "da.n", "da.s", "da.s.length", "da.t", "da.z", "da.missing", "da.o.a.b[2].c",
        "da.o.a.b[1]", "da.o.a.b[3]", "da.arr[1][0]", "da.arr[01]", "da.arr[1e0]", "da.if",
        "da.missing.deeper", "da.z.x", "nosuch", "nosuch.x", "undefined", "da.__proto__",
        "da.g", "hits", "da.bad", "da.n==null", "da.z==null", "da.missing==null",
        "da.missing.x==null", "nosuch==null", "da.o==null", "typeof (da)", "typeof (da.n)",
        "typeof (da.s)", "typeof (da.t)", "typeof (da.z)", "typeof (da.missing)", "typeof (da.o)",
        "typeof (da.f)", "typeof (nosuch)", "typeof (nosuch.x)", "typeof (da.missing.x)",
        "typeof (da.g)", "hits", "typeof (da.bad)", "typeof (this)", "this.da.n", "da['n']",
        "da .n", "typeof (da.n)==null", "da.n == null", "get__count(da)", "da.n;",
        "da.o.a.b.length", "da.s[0]", "da.s[4]", "Math.PI", "JSON==null", "typeof (JSON.parse)",
        "if", "toString==null", "typeof (valueOf)",
        // index keys on objects, strings, numbers, getters and holes
        "da.num[7]", "da.num[8]", "da.arr[4]", "hits", "da.arr[3]", "da.s[2]", "da.n[0]",
        "da.arr[4294967295]", "da.arr[999999999]",
        // proxies, getters on the global object and on prototypes, engine-specific kinds
        "da.p.x", "da.p[3]", "typeof (da.p)", "typeof (da.fp)", "gg.n", "typeof (gg)", "gg==null",
        "da.arr[9]", "hits", "da.sym", "typeof (da.sym)", "da.sym==null", "da.neg", "arguments",
        "typeof (arguments)", "let", "da.let", "da.class", "da.null", "eval==null",
        // eval code declares deletable globals, also when it comes from the cache
        "var ev1 = 1; delete ev1", "typeof ev1",
    };
    // clang-format on
    ScriptLimits plain_limits;
    plain_limits.member_path_shortcut = false;
    plain_limits.compile_cache = false;
    ScriptEngine fast, plain(plain_limits);
    for (ScriptEngine* e : {&fast, &plain}) {
        ASSERT_TRUE(e->add_code(u(setup)));
        ASSERT_TRUE(e->add_code(u("function get__count(c){var i=0;for(v in c)i++;return i}")));
    }
    for (int round = 0; round < 2; ++round)  // the second round runs from the compile cache
        for (const char* script : scripts)
            EXPECT_EQ(describe(fast.eval(u(script))), describe(plain.eval(u(script))))
                << script << " (round " << round << ")";
}

TEST(ScriptEngine, CachedProgramsBehaveInEveryNewEngine) {
    const char* program =
        "var counter = (typeof counter == 'number' ? counter : 0) + 1;"
        "function bump(){ return ++counter; }";
    for (int i = 0; i < 3; ++i) {
        ScriptEngine engine;
        ASSERT_TRUE(engine.add_code(u(program)));
        ASSERT_TRUE(engine.add_code(u(program)));
        EXPECT_EQ(describe(engine.eval(u("bump()"))), "number:3.000000");
        EXPECT_EQ(describe(engine.eval(u("delete counter; typeof counter"))), "string:number");
    }
}

}  // namespace
}  // namespace tavolen::script
