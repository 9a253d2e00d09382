#include "platform/script/script_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavolen::script {
namespace {

using com::HResult;
using com::InvokeKind;
using com::Variant;
using com::VarType;

HResult call(const com::DispatchPtr& control, std::string_view name, InvokeKind kind,
             std::vector<Variant> args, Variant& result) {
    return control->invoke(name, kind, args, result);
}

HResult put_language(const com::DispatchPtr& control, const std::u16string& language) {
    Variant ignored;
    return call(control, "Language", InvokeKind::property_put, {Variant::from_bstr(language)},
                ignored);
}

Variant eval(const com::DispatchPtr& control, const std::u16string& code, HResult* hr = nullptr) {
    Variant result;
    HResult got = call(control, "Eval", InvokeKind::method, {Variant::from_bstr(code)}, result);
    if (hr) *hr = got;
    return result;
}

TEST(ScriptControl, LanguageAcceptsTheTwoScriptNamesOnly) {
    struct Case {
        std::u16string language;
        bool accepted;
    };
    const Case cases[] = {{u"JavaScript", true}, {u"JScript", true}, {u"javascript", true},
                          {u"VBScript", false},  {u"", false},       {u"JavaScript ", false},
                          {u"Ｊscript", false}};
    for (const auto& c : cases) {
        auto control = create_script_control();
        ASSERT_TRUE(control);
        EXPECT_EQ(com::succeeded(put_language(control, c.language)), c.accepted);
        Variant language;
        ASSERT_EQ(call(control, "language", InvokeKind::property_get, {}, language), com::hr_ok);
        EXPECT_EQ(*language.bstr(), c.accepted ? c.language : u"");
    }
    auto control = create_script_control();
    Variant ignored;
    EXPECT_EQ(call(control, "Language", InvokeKind::property_put, {Variant::from_i4(1)}, ignored),
              com::hr_type_mismatch);
}

TEST(ScriptControl, NoCodeRunsBeforeALanguageIsChosen) {
    auto control = create_script_control();
    HResult hr;
    EXPECT_TRUE(eval(control, u"1", &hr).is_empty());
    EXPECT_TRUE(com::failed(hr));
    ASSERT_EQ(put_language(control, u"JavaScript"), com::hr_ok);
    EXPECT_EQ(*eval(control, u"1", &hr).i4(), 1);
}

TEST(ScriptControl, AddCodeAndEvalShareTheGlobalScope) {
    auto control = create_script_control();
    ASSERT_EQ(put_language(control, u"JavaScript"), com::hr_ok);
    Variant result;
    EXPECT_EQ(
        call(control, "ADDCODE", InvokeKind::method, {Variant::from_bstr(u"var da={n:1}")}, result),
        com::hr_ok);
    EXPECT_TRUE(result.is_empty());
    EXPECT_EQ(*eval(control, u"da.n + 1").i4(), 2);
}

TEST(ScriptControl, AnswersTravelAsTheirVariantKinds) {
    auto control = create_script_control();
    ASSERT_EQ(put_language(control, u"JScript"), com::hr_ok);
    EXPECT_EQ(eval(control, u"undefined").type(), VarType::empty);
    EXPECT_EQ(eval(control, u"null").type(), VarType::null);
    EXPECT_EQ(*eval(control, u"1 == 1").boolean(), true);
    EXPECT_EQ(*eval(control, u"-7").i4(), -7);
    EXPECT_EQ(*eval(control, u"2147483648").r8(), 2147483648.0);
    EXPECT_EQ(*eval(control, u"1.5").r8(), 1.5);
    EXPECT_EQ(eval(control, u"-0").type(), VarType::r8);
    EXPECT_EQ(*eval(control, u"'弹幕\\uD83D\\uDE00'").bstr(), u"弹幕\U0001F600");

    // Objects answer their string form through their default member.
    Variant array = eval(control, u"[1,[2,3]]");
    ASSERT_EQ(array.type(), VarType::dispatch);
    Variant text;
    ASSERT_EQ(com::variant_change_type(text, array, VarType::bstr), com::hr_ok);
    EXPECT_EQ(*text.bstr(), u"1,2,3");
    Variant broken = eval(control, u"({toString: function(){ throw 1 }})");
    ASSERT_EQ(broken.type(), VarType::dispatch);
    EXPECT_TRUE(com::failed(com::variant_change_type(text, broken, VarType::bstr)));
}

TEST(ScriptControl, BadCallsFailWithoutRunningAnything) {
    auto control = create_script_control();
    ASSERT_EQ(put_language(control, u"JavaScript"), com::hr_ok);
    Variant result;
    EXPECT_EQ(call(control, "Run", InvokeKind::method, {}, result), com::hr_unknown_name);
    EXPECT_EQ(call(control, "Eval", InvokeKind::method, {}, result), com::hr_bad_param_count);
    EXPECT_EQ(call(control, "Eval", InvokeKind::property_get, {Variant::from_bstr(u"1")}, result),
              com::hr_member_not_found);
    EXPECT_EQ(call(control, "Eval", InvokeKind::method, {Variant::make_null()}, result),
              com::hr_type_mismatch);
    // A script error is an exception of the call; the engine carries on.
    EXPECT_EQ(
        call(control, "AddCode", InvokeKind::method, {Variant::from_bstr(u"var x = ;")}, result),
        com::hr_exception);
    EXPECT_EQ(call(control, "Eval", InvokeKind::method, {Variant::from_bstr(u"nosuch.y")}, result),
              com::hr_exception);
    EXPECT_EQ(*eval(control, u"typeof x").bstr(), u"undefined");
}

TEST(ScriptControl, RunawayScriptFailsAtItsDeadline) {
    if (!ScriptEngine::enforces_deadline()) GTEST_SKIP() << "engine built without a deadline";
    ScriptLimits limits;
    limits.time_per_call = std::chrono::milliseconds(100);
    auto control = create_script_control_with(limits);
    ASSERT_EQ(put_language(control, u"JavaScript"), com::hr_ok);
    HResult hr;
    eval(control, u"while(1){}", &hr);
    EXPECT_EQ(hr, com::hr_exception);
    EXPECT_EQ(*eval(control, u"3").i4(), 3);
}

}  // namespace
}  // namespace tavolen::script
