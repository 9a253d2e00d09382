#include "http/cookie_text.h"

#include <gtest/gtest.h>

#include "text/encoding.h"

namespace tavolen {
namespace {

Text ansi(std::string_view utf8) {
    return utf8_to_ansi(utf8);
}

TEST(TextBetween, CutsBetweenMarkers) {
    struct Case {
        Text text, left, right;
        int start;
        bool ignore_case;
        Text expected;
    } cases[] = {
        {"Set-Cookie: a=1; path=/", "Set-Cookie:", ";", 0, false, " a=1"},
        {"Set-Cookie: a=1; path=/", "Cookie2:", ";", 0, false, ""},  // no left marker
        {"Set-Cookie: a=1", "Set-Cookie:", ";", 0, false, ""},       // no right marker after it
        {"x;Set-Cookie: a=1", "Set-Cookie:", ";", 0, false, ""},     // a ";" only before it
        {"id=\"42\"", ansi("id=#引号"), ansi("#引号"), 0, false, "42"},
        {"a|b|c", "|", "|", 0, false, "b"},
        {"a|b|c|d", "|", "|", 3, false, "c"},
        {"<A>x</a>", "<a>", "</A>", 0, true, "x"},
        {"<A>x</a>", "<a>", "</A>", 0, false, ""},
        {"", "", "", 0, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " | " + c.left + " | " + c.right);
        EXPECT_EQ(text_between(c.text, c.left, c.right, c.start, c.ignore_case), c.expected);
    }
}

TEST(CookieName, IsThePartBeforeTheFirstEqualsSignTrimmed) {
    const std::pair<Text, Text> cases[] = {
        {"flag", "flag"}, {" a =1", "a"}, {"=x", ""}, {"a=b=c", "a"}, {"", ""}};
    for (const auto& [entry, name] : cases) EXPECT_EQ(cookie_name(entry), name) << entry;
}

TEST(CookieLists, FindAndNameLookups) {
    const TextArray list = {"a=1", " b =2", "a=1", "c"};
    EXPECT_EQ(find_text_in_list(list, "a=1"), 1);
    EXPECT_EQ(find_text_in_list(list, "c"), 4);
    EXPECT_EQ(find_text_in_list(list, "A=1"), -1);
    EXPECT_EQ(find_text_in_list({}, "a"), -1);
    EXPECT_TRUE(cookie_list_has_name(list, "b"));
    EXPECT_TRUE(cookie_list_has_name(list, "c"));
    EXPECT_FALSE(cookie_list_has_name(list, "B"));
    EXPECT_FALSE(cookie_list_has_name({}, ""));
}

TEST(DedupeTextParts, KeepsFirstOccurrencesInOrder) {
    EXPECT_EQ(dedupe_text_parts("x; y; x", "; "), "x; y");
    EXPECT_EQ(dedupe_text_parts("b; a; b; a; c", "; "), "b; a; c");
    EXPECT_EQ(dedupe_text_parts("x;y", "; "), "x;y");
    EXPECT_EQ(dedupe_text_parts("", "; "), "");
}

TEST(MergeCookieText, NewEntriesWinAndDeletedOnesGo) {
    struct Case {
        Text cookies, new_cookies, merged, new_after;
    } cases[] = {
        {"a=1; b=2", "b=3", "b=3; a=1", "b=3"},
        {"a=1; b=2", "b=deleted", "a=1", "b=deleted"},
        {"a=1; a=2", "", "a=1", ""},
        {"x=hello world", "", "x=helloworld", ""},
        {"a=1", "c=3; c=3", "c=3; a=1", "c=3;c=3"},
        {"a=1", "c=3; c=4", "c=3; c=4; a=1", "c=3;c=4"},
        {"", "", "", ""},
        {ansi("n=中　文"), "", ansi("n=中文"), ""},  // the full-width blank goes too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cookies + " + " + c.new_cookies);
        Text cookies = c.cookies, new_cookies = c.new_cookies;
        EXPECT_EQ(merge_cookie_text(cookies, new_cookies), c.merged);
        EXPECT_EQ(cookies, c.merged);
        EXPECT_EQ(new_cookies, c.new_after);
    }
}

}  // namespace
}  // namespace tavolen
