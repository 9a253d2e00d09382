#include "platform/vbregexp/vb_regexp.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tavolen::vbregexp {
namespace {

using com::DispatchPtr;
using com::HResult;
using com::InvokeKind;
using com::Variant;

struct Answer {
    HResult hr;
    Variant value;
};

Answer invoke(const DispatchPtr& object, std::string_view name, InvokeKind kind,
              std::vector<Variant> args = {}) {
    Answer a;
    a.hr = object->invoke(name, kind, args, a.value);
    return a;
}

void put(const DispatchPtr& re, std::string_view name, Variant value) {
    ASSERT_EQ(invoke(re, name, InvokeKind::property_put, {std::move(value)}).hr, com::hr_ok)
        << name;
}

DispatchPtr make(std::u16string pattern, bool global = true, bool ignore_case = false,
                 bool multiline = false) {
    DispatchPtr re = create_vb_regexp();
    put(re, "Pattern", Variant::from_bstr(std::move(pattern)));
    put(re, "Global", Variant::from_bool(global));
    put(re, "IgnoreCase", Variant::from_bool(ignore_case));
    put(re, "Multiline", Variant::from_bool(multiline));
    return re;
}

std::int32_t get_i4(const DispatchPtr& object, std::string_view name) {
    Answer a = invoke(object, name, InvokeKind::property_get);
    EXPECT_EQ(a.hr, com::hr_ok) << name;
    return a.value.i4() ? *a.value.i4() : -999;
}

DispatchPtr item(const DispatchPtr& collection, std::int32_t index) {
    Answer a = invoke(collection, "Item", InvokeKind::property_get, {Variant::from_i4(index)});
    return a.value.dispatch() ? *a.value.dispatch() : nullptr;
}

// The matches' values of an Execute, or {"<failed>"} when it failed.
std::vector<std::u16string> values(const DispatchPtr& re, std::u16string subject) {
    Answer a = invoke(re, "Execute", InvokeKind::method, {Variant::from_bstr(std::move(subject))});
    if (a.hr != com::hr_ok) return {u"<failed>"};
    DispatchPtr matches = *a.value.dispatch();
    std::vector<std::u16string> out;
    for (std::int32_t i = 0, n = get_i4(matches, "Count"); i < n; ++i) {
        Answer v = invoke(item(matches, i), "Value", InvokeKind::property_get);
        out.push_back(*v.value.bstr());
    }
    return out;
}

std::u16string replace(const DispatchPtr& re, std::u16string subject, std::u16string with) {
    Answer a =
        invoke(re, "Replace", InvokeKind::method,
               {Variant::from_bstr(std::move(subject)), Variant::from_bstr(std::move(with))});
    return a.hr == com::hr_ok ? *a.value.bstr() : u"<failed>";
}

using Values = std::vector<std::u16string>;

TEST(VbRegExp, SyntaxAndOptionsReadAsTheJavaScriptStyleEngine) {
    struct Case {
        const char16_t* pattern;
        const char16_t* subject;
        bool ignore_case, multiline;
        Values expected;
    };
    const Case cases[] = {
        {u"[1-9][0-9]{1,12}", u"room/00123?x=45&y=7", false, false, {u"123", u"45"}},
        {u"[1-9][0-9]{1,12}", u"12345678901234567", false, false, {u"1234567890123", u"4567"}},
        {u"<meta.+?charset=[^\\w]?([-\\w]+)",
         u"<META x charset=\"gbk\"><meta charset=utf-8>",
         true,
         false,
         {u"<META x charset=\"gbk", u"<meta charset=utf-8"}},
        {u"a.c", u"a\nc a\rc a-c", false, false, {u"a-c"}},  // "." never crosses a line break
        {u"\\w+", u"\u00e9t\u00e9_1", false, false, {u"t", u"_1"}},  // \w is ASCII
        {u"abc", u"ABC abc", true, false, {u"ABC", u"abc"}},
        {u"abc", u"ABC abc", false, false, {u"abc"}},
        {u"^\\d", u"1\n2\r\n3", false, true, {u"1", u"2", u"3"}},
        {u"^\\d", u"1\n2", false, false, {u"1"}},
        // CR and LF are line breaks each: a match may start between them.
        {u"^.?", u"a\r\nb", false, true, {u"a", u"", u"b"}},
        {u"\\s(?=b)", u"a\r\nb", false, false, {u"\n"}},
        {u"\\d$", u"1\n2\n", false, false, {}},  // "$" is the very end outside multi-line mode
        {u"\\u0041\\x42", u"xAB", false, false, {u"AB"}},
        {u"a*", u"baaa", false, false, {u"", u"aaa", u""}},  // an empty match steps one unit on
        {u"(a)|b\\1", u"b", false, false, {u"b"}},  // a back reference to an unset group is empty
        {u"[^]", u"\n", false, false, {u"\n"}},
        {u"", u"ab", false, false, {u"", u"", u""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "pattern #" << (&c - cases));
        EXPECT_EQ(values(make(c.pattern, true, c.ignore_case, c.multiline), c.subject), c.expected);
    }
    EXPECT_EQ(values(make(u"\\d", false), u"a1b2"), Values{u"1"}) << "Global false: first only";
}

TEST(VbRegExp, MatchesReportUtf16OffsetsAndGroups) {
    DispatchPtr re = make(u"(\\d+)(x)?(-)");
    Answer a =
        invoke(re, "Execute", InvokeKind::method, {Variant::from_bstr(u"\U0001F600\u4e2d12-34x-")});
    ASSERT_EQ(a.hr, com::hr_ok);
    DispatchPtr matches = *a.value.dispatch();
    ASSERT_EQ(get_i4(matches, "COUNT"), 2);

    DispatchPtr first = item(matches, 0);
    EXPECT_EQ(get_i4(first, "FirstIndex"), 3);  // the emoji counts two units
    EXPECT_EQ(get_i4(first, "Length"), 3);
    Answer groups = invoke(first, "SubMatches", InvokeKind::property_get);
    DispatchPtr sub = *groups.value.dispatch();
    EXPECT_EQ(get_i4(sub, "Count"), 3);
    Answer g1 = invoke(sub, "Item", InvokeKind::property_get, {Variant::from_r8(0)});
    EXPECT_EQ(*g1.value.bstr(), u"12");
    Answer g2 = invoke(sub, "item", InvokeKind::method, {Variant::from_bstr(u"1")});
    EXPECT_EQ(g2.hr, com::hr_ok);
    EXPECT_TRUE(g2.value.is_empty()) << "a group that took no part is empty, not a text";

    DispatchPtr second = item(matches, 1);
    EXPECT_EQ(get_i4(second, "FirstIndex"), 6);
    Answer value = invoke(second, "", InvokeKind::property_get);  // Value is the default member
    EXPECT_EQ(*value.value.bstr(), u"34x-");

    // Indexes out of range or of the wrong kind fail; nothing is writable.
    EXPECT_EQ(invoke(matches, "Item", InvokeKind::property_get, {Variant::from_i4(2)}).hr,
              com::hr_bad_index);
    EXPECT_EQ(invoke(matches, "Item", InvokeKind::property_get, {Variant::from_i4(-1)}).hr,
              com::hr_bad_index);
    EXPECT_EQ(invoke(matches, "Item", InvokeKind::property_get, {Variant::from_bstr(u"x")}).hr,
              com::hr_type_mismatch);
    EXPECT_EQ(invoke(matches, "Item", InvokeKind::property_get).hr, com::hr_bad_param_count);
    EXPECT_EQ(invoke(sub, "Item", InvokeKind::property_get, {Variant::from_i4(3)}).hr,
              com::hr_bad_index);
    EXPECT_EQ(invoke(first, "FirstIndex", InvokeKind::property_put, {Variant::from_i4(0)}).hr,
              com::hr_member_not_found);
    EXPECT_EQ(invoke(first, "Nope", InvokeKind::property_get).hr, com::hr_unknown_name);
}

TEST(VbRegExp, ReplaceFormsAndGlobal) {
    struct Case {
        const char16_t* pattern;
        bool global;
        const char16_t* subject;
        const char16_t* with;
        const char16_t* expected;
    };
    const Case cases[] = {
        {u"(\\w+)@(\\w+)", true, u"a@b c@d", u"$2@$1", u"b@a d@c"},
        {u"\\d", true, u"a1b2", u"[$&]", u"a[1]b[2]"},
        {u"\\d", false, u"a1b2", u"[$&]", u"a[1]b2"},
        {u"x", true, u"x", u"$$", u"$"},
        {u"(x)", true, u"x", u"$2$0$a$", u"$2$0$a$"},  // unknown forms stay as written
        {u"(x)", true, u"x", u"$10", u"x0"},           // one digit only
        {u"(a)|(b)", true, u"ab", u"<$2>", u"<><b>"},  // an unset group gives nothing
        {u"a*", true, u"baaa", u"x", u"xbxx"},
        {u"q", true, u"none here", u"x", u"none here"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case #" << (&c - cases));
        EXPECT_EQ(replace(make(c.pattern, c.global), c.subject, c.with), c.expected);
    }
}

TEST(VbRegExp, MembersAndOptionChangesBetweenRuns) {
    DispatchPtr re = create_vb_regexp();
    // No Singleline member: writing it fails and changes nothing.
    EXPECT_EQ(invoke(re, "Singleline", InvokeKind::property_put, {Variant::from_bool(true)}).hr,
              com::hr_unknown_name);
    // Defaults: everything off.
    for (const char* flag : {"IgnoreCase", "Global", "Multiline"}) {
        Answer a = invoke(re, flag, InvokeKind::property_get);
        ASSERT_NE(a.value.boolean(), nullptr) << flag;
        EXPECT_FALSE(*a.value.boolean()) << flag;
    }
    put(re, "pattern", Variant::from_bstr(u"ab"));
    put(re, "GLOBAL", Variant::from_bstr(u"True"));
    EXPECT_EQ(*invoke(re, "Pattern", InvokeKind::property_get).value.bstr(), u"ab");
    EXPECT_EQ(values(re, u"ab AB"), Values{u"ab"});
    // The compiled pattern must follow every change of the pattern and of the options.
    put(re, "IgnoreCase", Variant::from_i4(-1));
    EXPECT_EQ(values(re, u"ab AB"), (Values{u"ab", u"AB"}));
    put(re, "Pattern", Variant::from_bstr(u"b"));
    EXPECT_EQ(values(re, u"ab AB"), (Values{u"b", u"B"}));
    put(re, "IgnoreCase", Variant::from_bool(false));
    EXPECT_EQ(values(re, u"ab AB"), Values{u"b"});
    put(re, "Pattern", Variant::from_bstr(u"^B"));
    put(re, "Multiline", Variant::from_bool(true));
    EXPECT_EQ(values(re, u"a\nB"), Values{u"B"});

    Answer test = invoke(re, "Test", InvokeKind::method, {Variant::from_bstr(u"zz")});
    ASSERT_EQ(test.hr, com::hr_ok);
    EXPECT_FALSE(*test.value.boolean());

    // Unusable arguments.
    EXPECT_EQ(invoke(re, "Execute", InvokeKind::method).hr, com::hr_bad_param_count);
    EXPECT_EQ(invoke(re, "Execute", InvokeKind::method, {Variant::make_null()}).hr,
              com::hr_type_mismatch);
    EXPECT_EQ(invoke(re, "Replace", InvokeKind::method, {Variant::from_bstr(u"a")}).hr,
              com::hr_bad_param_count);
    EXPECT_EQ(invoke(re, "Global", InvokeKind::property_put, {Variant::from_bstr(u"maybe")}).hr,
              com::hr_type_mismatch);
}

TEST(VbRegExp, RejectedPatternsMakeEveryRunFail) {
    for (const char16_t* pattern :
         {u"(", u"[a-", u"a{2,1}", u"\\", u"(?<", u"*a", u"(*UTF)a", u"(*UCP)\\w"}) {
        DispatchPtr re = make(pattern);
        EXPECT_EQ(values(re, u"a(b"), Values{u"<failed>"}) << "pattern #" << int(pattern[0]);
        EXPECT_EQ(replace(re, u"a", u"b"), u"<failed>");
        EXPECT_EQ(invoke(re, "Test", InvokeKind::method, {Variant::from_bstr(u"a")}).hr,
                  com::hr_exception);
    }
}

TEST(VbRegExp, BacktrackingBlowUpEndsWithAFailureNotAHang) {
    // Each of these needs exponentially many steps to find there is no match.
    const std::u16string as(40, u'a');
    for (const char16_t* pattern : {u"(a+)+$", u"(a|aa)+$", u"(a*)*!a", u"(.*a){12}$"}) {
        DispatchPtr re = make(pattern);
        EXPECT_EQ(values(re, as + u"!"), Values{u"<failed>"})
            << "pattern starting " << int(pattern[1]);
    }
    // The same engine still works afterwards.
    EXPECT_EQ(values(make(u"a+"), u"xaax"), Values{u"aa"});
}

TEST(VbRegExp, MegabyteSubjects) {
    std::u16string subject;
    for (int i = 0; subject.size() < 4'000'000; ++i)
        subject += u"room " + std::u16string(1, u'1' + i % 9) + u"0042 \u4e2d\u6587\n";
    const std::size_t rows = subject.size() / 14 + (subject.size() % 14 != 0);
    DispatchPtr re = make(u"[1-9][0-9]{1,12}");
    Answer a = invoke(re, "Execute", InvokeKind::method, {Variant::from_bstr(subject)});
    ASSERT_EQ(a.hr, com::hr_ok);
    DispatchPtr matches = *a.value.dispatch();
    ASSERT_EQ(static_cast<std::size_t>(get_i4(matches, "Count")), rows);
    DispatchPtr last = item(matches, static_cast<std::int32_t>(rows - 1));
    EXPECT_EQ(get_i4(last, "FirstIndex"), static_cast<std::int32_t>((rows - 1) * 14 + 5));

    // One match per unit, and a lazy scan over the whole subject.
    EXPECT_EQ(replace(make(u"."), std::u16string(2'000'000, u'a'), u""), u"");
    EXPECT_EQ(values(make(u"<meta.+?charset=(x)"), subject), Values{});
}

TEST(VbRegExp, AnyCodeUnitsInPatternAndSubjectAreHarmless) {
    std::mt19937 random(20261211);
    auto any_text = [&](std::size_t max) {
        std::u16string s(random() % max, u'\0');
        // Mostly syntax characters, some ASCII, some anywhere in the 16-bit range.
        const std::u16string syntax = u"()[]{}*+?.\\^$|-,0123456789abwdsDSW<>=!:";
        for (auto& c : s) {
            switch (random() % 3) {
                case 0:
                    c = syntax[random() % syntax.size()];
                    break;
                case 1:
                    c = static_cast<char16_t>(random() % 128);
                    break;
                default:
                    c = static_cast<char16_t>(random() % 65536);
                    break;
            }
        }
        return s;
    };
    int ran = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::u16string pattern = any_text(24);
        const std::u16string subject = any_text(200);
        DispatchPtr re = make(pattern, i % 2 == 0, i % 3 == 0, i % 5 == 0);
        Answer a = invoke(re, "Execute", InvokeKind::method, {Variant::from_bstr(subject)});
        ASSERT_TRUE(a.hr == com::hr_ok || a.hr == com::hr_exception);
        if (a.hr != com::hr_ok) continue;
        ++ran;
        DispatchPtr matches = *a.value.dispatch();
        for (std::int32_t m = 0, n = get_i4(matches, "Count"); m < n; ++m) {
            DispatchPtr match = item(matches, m);
            const std::int32_t first = get_i4(match, "FirstIndex");
            const std::int32_t length = get_i4(match, "Length");
            ASSERT_GE(first, 0);
            ASSERT_GE(length, 0);
            ASSERT_LE(static_cast<std::size_t>(first + length), subject.size());
            EXPECT_EQ(*invoke(match, "Value", InvokeKind::property_get).value.bstr(),
                      subject.substr(first, length));
        }
    }
    EXPECT_GT(ran, 100) << "the generator should produce some valid patterns";
}

}  // namespace
}  // namespace tavolen::vbregexp
