#include "automation/automation.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/com/registry.h"

namespace tavolen {
namespace {

using com::HResult;
using com::InvokeKind;
using com::VarType;

// Records what it is given and answers what the test sets:
//   Answer  get or call: the value in `answer`;   Fail: raises;   Echo: its first argument;
//   Fill    call: writes "filled" through its by-reference argument;
//   Prop    put: stored in `put_value`; get: `answer`, with the argument recorded.
class Recorder final : public com::Dispatch {
  public:
    Variant answer;
    Variant put_value;
    std::vector<Variant> last_args;
    InvokeKind last_kind{};

    HResult invoke(std::string_view name, InvokeKind kind, std::span<Variant> args,
                   Variant& result) override {
        last_kind = kind;
        last_args.assign(args.begin(), args.end());
        if (com::same_name(name, "Answer")) {
            result = answer;
            return com::hr_ok;
        }
        if (com::same_name(name, "Fail")) return com::hr_exception;
        if (com::same_name(name, "Echo") && !args.empty()) {
            result = args[0].deref();
            return com::hr_ok;
        }
        if (com::same_name(name, "Fill") && args.size() == 1 && args[0].type() == VarType::by_ref) {
            args[0].deref() = Variant::from_bstr(u"filled");
            return com::hr_ok;
        }
        if (com::same_name(name, "Prop")) {
            if (kind == InvokeKind::property_put) {
                put_value = args.back();
                return com::hr_ok;
            }
            result = answer;
            return com::hr_ok;
        }
        return com::hr_unknown_name;
    }
};

com::DispatchPtr make_recorder() {
    return com::make_com<Recorder>();
}

struct ComInit {
    ComInit() { com::co_initialize(); }
    ~ComInit() { com::co_uninitialize(); }
};

const char gbk_zhongwen[] = "\xD6\xD0\xCE\xC4";  // 中文 in code page 936

TEST(ComCreate, NeedsComOnTheThreadAndKeepsTheHolderOnFailure) {
    ASSERT_TRUE(com::register_class("Test.Recorder", &make_recorder));
    ComObject object;
    ASSERT_EQ(com::com_init_count(), 0);
    EXPECT_FALSE(com_create(object, "Test.Recorder"));
    EXPECT_TRUE(com_is_empty(object));

    ComInit init;
    ASSERT_TRUE(com_create(object, "test.RECORDER"));
    EXPECT_FALSE(com_is_empty(object));
    com::DispatchPtr first = object.dispatch();
    EXPECT_EQ(first->ref_count(), 2u);

    EXPECT_FALSE(com_create(object, "Test.NoSuchThing"));
    EXPECT_EQ(object.dispatch(), first) << "a failed creation leaves the old object in place";

    ASSERT_TRUE(com_create(object, "Test.Recorder"));
    EXPECT_NE(object.dispatch(), first);
    EXPECT_EQ(first->ref_count(), 1u) << "the old reference was released";

    // A worker thread that did not initialise COM cannot create; one that did can.
    bool without = true, with = false;
    std::thread([&] {
        ComObject there;
        without = com_create(there, "VBScript.RegExp");
        ComInit own;
        with = com_create(there, "VBScript.RegExp");
    }).join();
    EXPECT_FALSE(without);
    EXPECT_TRUE(with);
}

TEST(ComObject, ShareCopyAndClearCountReferences) {
    auto recorder = com::make_com<Recorder>();
    ComObject a(recorder);
    ComObject b;
    com_share(b, a);
    EXPECT_EQ(recorder->ref_count(), 3u);
    {
        ComObject c = b;
        EXPECT_EQ(recorder->ref_count(), 4u);
    }
    com_clear(a);
    EXPECT_TRUE(com_is_empty(a));
    EXPECT_EQ(recorder->ref_count(), 2u);
    com_share(b, a);  // sharing an empty holder empties the target
    EXPECT_TRUE(com_is_empty(b));
    EXPECT_EQ(recorder->ref_count(), 1u);
    com_clear(b);  // clearing twice is harmless
    EXPECT_TRUE(com_is_empty(b));
}

TEST(ComCalls, EveryFailureGivesTheEmptyValueOfTheKindAskedFor) {
    auto recorder = com::make_com<Recorder>();
    recorder->answer = Variant::from_bytes({1, 2});  // converts to none of the plain kinds
    const ComObject holders[] = {ComObject(), ComObject(recorder)};
    for (const ComObject& object : holders) {
        for (const char* member : {"Fail", "Missing", "Answer"}) {
            SCOPED_TRACE(testing::Message() << member << (com_is_empty(object) ? " on empty" : ""));
            EXPECT_EQ(com_call<Text>(object, member), "");
            EXPECT_EQ(com_call<double>(object, member), 0);
            EXPECT_FALSE(com_call<bool>(object, member));
            EXPECT_TRUE(com_is_empty(com_call<ComObject>(object, member)));
            EXPECT_EQ(com_get<Text>(object, member, 3), "");
            EXPECT_EQ(com_get<double>(object, member), 0);
            EXPECT_TRUE(com_is_empty(com_get<ComObject>(object, member)));
            if (std::string_view(member) != "Answer") {
                EXPECT_TRUE(com_call<Variant>(object, member).is_empty());
                EXPECT_FALSE(com_put(object, member, true));
            }
        }
    }
    // A Variant answer comes unchanged, even one no other kind accepts.
    Variant raw = com_call<Variant>(holders[1], "Answer");
    ASSERT_NE(raw.bytes(), nullptr);
    EXPECT_EQ(raw.bytes()->size(), 2u);
}

TEST(ComCalls, AnswersConvertToTheKindAskedFor) {
    auto recorder = com::make_com<Recorder>();
    ComObject object(recorder);
    struct Case {
        Variant answer;
        Text text;
        double number;
        bool boolean;
    };
    const Case cases[] = {
        {Variant::from_bool(true), "-1", -1, true},
        {Variant::from_r8(1.5), "1.5", 1.5, true},
        {Variant::from_i4(0), "0", 0, false},
        {Variant::from_bstr(u" 12 "), " 12 ", 12, true},
        {Variant::from_bstr(u"false"), "false", 0, false},  // the number fails, the boolean reads
        {Variant::from_bstr(u"\u4e2d\u6587"), gbk_zhongwen, 0, false},
        {Variant::from_bstr(u"a\U0001F600\u0e01"), "a??", 0, false},     // not in the code page
        {Variant::from_bstr(std::u16string(u"7\0x", 3)), "7", 7, true},  // a text ends at a zero
        {Variant(), "", 0, false},
        {Variant::make_null(), "", 0, false},
    };
    for (const auto& c : cases) {
        recorder->answer = c.answer;
        SCOPED_TRACE(c.text);
        EXPECT_EQ(com_call<Text>(object, "Answer"), c.text);
        EXPECT_EQ(com_get<Text>(object, "Answer"), c.text);
        EXPECT_DOUBLE_EQ(com_call<double>(object, "Answer"), c.number);
        EXPECT_EQ(com_call<bool>(object, "Answer"), c.boolean);
    }
    // An object answer: held once more by the ComObject answered.
    auto inner = com::make_com<Recorder>();
    recorder->answer = Variant::from_dispatch(inner);
    ComObject got = com_call<ComObject>(object, "Answer");
    EXPECT_EQ(got.dispatch(), inner);
    EXPECT_EQ(com_get<Text>(object, "Answer"), "") << "an object without a default member";
}

TEST(ComCalls, ArgumentsTravelAsTheirVariantKinds) {
    auto recorder = com::make_com<Recorder>();
    ComObject object(recorder);
    Variant given = Variant::from_i4(5);
    com_call(object, "Answer", gbk_zhongwen, Text("x"), given, true, std::int32_t{7}, 2.5);
    ASSERT_EQ(recorder->last_kind, InvokeKind::method);
    const auto& args = recorder->last_args;
    ASSERT_EQ(args.size(), 6u);
    EXPECT_EQ(*args[0].bstr(), u"\u4e2d\u6587");
    EXPECT_EQ(*args[1].bstr(), u"x");
    EXPECT_EQ(*args[2].i4(), 5);
    EXPECT_EQ(*args[3].boolean(), true);
    EXPECT_EQ(*args[4].i4(), 7);
    EXPECT_EQ(*args[5].r8(), 2.5);

    // By reference, the callee writes into the caller's Variant.
    Variant out = Variant::from_i4(1);
    com_call(object, "Fill", by_reference(out));
    ASSERT_NE(out.bstr(), nullptr);
    EXPECT_EQ(*out.bstr(), u"filled");
    // By value it cannot.
    com_call(object, "Fill", out);
    EXPECT_EQ(*out.bstr(), u"filled");

    // A property get with its numeric argument, such as Item's index.
    recorder->answer = Variant::from_i4(3);
    EXPECT_EQ(com_get<double>(object, "Prop", 4), 3);
    ASSERT_EQ(recorder->last_kind, InvokeKind::property_get);
    ASSERT_EQ(recorder->last_args.size(), 1u);
    EXPECT_EQ(*recorder->last_args[0].i4(), 4);
}

TEST(ComPut, BooleansIntegersAndTexts) {
    auto recorder = com::make_com<Recorder>();
    ComObject object(recorder);
    ASSERT_TRUE(com_put(object, "Prop", true));
    EXPECT_EQ(recorder->put_value.type(), VarType::boolean);
    ASSERT_TRUE(com_put(object, "Prop", 3));
    EXPECT_EQ(*recorder->put_value.i4(), 3);
    ASSERT_TRUE(com_put(object, "Prop", "JavaScript"));  // a literal stays a text
    EXPECT_EQ(*recorder->put_value.bstr(), u"JavaScript");
    ASSERT_TRUE(com_put(object, "Prop", Text(gbk_zhongwen)));
    EXPECT_EQ(*recorder->put_value.bstr(), u"\u4e2d\u6587");
    EXPECT_EQ(recorder->last_kind, InvokeKind::property_put);
    EXPECT_FALSE(com_put(ComObject(), "Prop", 1));
}

TEST(VariantHelpers, SetToTextClearAndCopy) {
    Variant v;
    variant_set(v, Text("a\xD6\xD0"));
    ASSERT_NE(v.bstr(), nullptr);
    EXPECT_EQ(*v.bstr(), u"a\u4e2d");
    EXPECT_EQ(variant_to_text(v), "a\xD6\xD0");

    const ByteBuffer bytes = {0x00, 0xFF, 0x41, 0x00};
    variant_set(v, bytes);
    ASSERT_EQ(v.type(), VarType::ui1_array);
    EXPECT_EQ(*v.bytes(), bytes);
    EXPECT_EQ(variant_to_text(v), "") << "an array has no text form";

    Variant copy;
    variant_copy(copy, v);
    EXPECT_EQ(*copy.bytes(), bytes);
    variant_clear(v);
    EXPECT_TRUE(v.is_empty());
    EXPECT_EQ(copy.bytes()->size(), 4u) << "the copy owns its bytes";
    variant_copy(copy, copy);
    EXPECT_EQ(copy.bytes()->size(), 4u);

    // A zero byte ends a text on its way in, and a zero unit on its way out.
    variant_set(v, Text("a\0b", 3));
    EXPECT_EQ(*v.bstr(), u"a");
    EXPECT_EQ(variant_to_text(Variant::from_bstr(std::u16string(u"\u4e2d\0b", 3))), "\xD6\xD0");

    EXPECT_EQ(variant_to_text(Variant::from_bool(false)), "0");
    EXPECT_EQ(variant_to_text(Variant::from_r8(1e21)), "1E+21");
    EXPECT_EQ(variant_to_text(Variant()), "");
    // Bytes that are no valid code-page-936 text still give a text and never fail.
    variant_set(v, Text("\x81\xFF\x80"));
    EXPECT_FALSE(variant_to_text(v).empty());
}

TEST(StandardObjects, TheRegexObjectIsRegisteredUnderItsProgId) {
    ComInit init;
    ComObject re;
    ASSERT_TRUE(com_create(re, "vbscript.REGEXP"));
    com_put(re, "Pattern", "\\d+");
    com_put(re, "Global", true);
    ComObject matches = com_call<ComObject>(re, "Execute", "a12b345");
    EXPECT_EQ(com_get<double>(matches, "Count"), 2);
    EXPECT_EQ(com_get<Text>(com_get<ComObject>(matches, "Item", 1), "Value"), "345");
    EXPECT_EQ(com_get<Text>(matches, "Item", 1), "345") << "through the match's default member";
    EXPECT_EQ(com_call<Text>(re, "Replace", "a12b345", "<$&>"), "a<12>b<345>");
}

#ifdef TAVOLEN_HAVE_SCRIPT
TEST(StandardObjects, ScriptControlThroughLateBoundCalls) {
    ComInit init;
    ComObject engine;
    ASSERT_TRUE(com_create(engine, "MSScriptControl.ScriptControl"));
    com_put(engine, "Language", "JavaScript");
    com_call<double>(engine, "AddCode", "var da={n:1.5,s:'\xD6\xD0',b:true,o:{}}");
    EXPECT_EQ(com_call<double>(engine, "Eval", "da.n"), 1.5);
    EXPECT_EQ(com_call<Text>(engine, "Eval", "da.s"), "\xD6\xD0");
    EXPECT_EQ(com_call<Text>(engine, "Eval", "da.b"), "-1");
    EXPECT_TRUE(com_call<bool>(engine, "Eval", "null !=da"));
    // A script error, or a value of no use, gives the empty value of the kind asked for.
    EXPECT_EQ(com_call<Text>(engine, "Eval", "da.missing.x"), "");
    EXPECT_EQ(com_call<double>(engine, "Eval", "da.s"), 0);
    EXPECT_FALSE(com_call<bool>(engine, "Eval", "(("));
}
#endif

#ifdef TAVOLEN_HAVE_ADOSTREAM
TEST(StandardObjects, StreamRecodesABodyPassedByReference) {
    ComInit init;
    ComObject stream;
    ASSERT_TRUE(com_create(stream, "Adodb.Stream"));
    Variant body;
    variant_set(body, ByteBuffer{0xD6, 0xD0, 0xCE, 0xC4, 'o', 'k'});
    com_put(stream, "Type", 1);
    com_put(stream, "Mode", 3);
    com_call(stream, "Open");
    com_call(stream, "Write", by_reference(body));
    com_put(stream, "Position", 0);
    com_put(stream, "Type", 2);
    com_put(stream, "Charset", "gbk");
    EXPECT_EQ(com_call<Text>(stream, "ReadText"), Text(gbk_zhongwen) + "ok");
    com_call(stream, "Close");
}
#endif

}  // namespace
}  // namespace tavolen
