#include "regex/regex_object.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>

#include "platform/com/registry.h"
#include "platform/vbregexp/vb_regexp.h"

namespace tavolen {
namespace {

const char room_pattern[] = "[1-9][0-9]{1,12}";
const char charset_pattern[] = "<meta.+?charset=[^\\w]?([-\\w]+)";

TEST(RegexObject, RoomNumberOutOfAnAddress) {
    struct Case {
        const char* address;
        int count;
        const char* first;
        const char* second;
    };
    const Case cases[] = {
        {"https://live.example/00123", 1, "123", ""},  // a leading zero never starts a match
        {"https://live.example/room/4567?from=89&t=1", 2, "4567", "89"},
        {"https://live.example/12345678901234567", 2, "1234567890123", "4567"},
        {"https://live.example/room/abc", 0, "", ""},
        {"0 00 000 7", 0, "", ""},  // single digits and zeros are no room number
        {"", 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        RegexObject re;
        ASSERT_TRUE(re.execute(room_pattern, c.address)) << "the engine ran, matches or not";
        EXPECT_EQ(re.match_count(), c.count);
        EXPECT_EQ(re.match_text(1), c.first);
        EXPECT_EQ(re.match_text(2), c.second);
        EXPECT_EQ(re.match_text(0), "");
        EXPECT_EQ(re.match_text(-2147483647 - 1), "");
        EXPECT_EQ(re.match_text(c.count + 1), "");
        EXPECT_EQ(re.submatch_count(), 0);
    }
}

TEST(RegexObject, CharsetOfAPage) {
    struct Case {
        const char* page;
        const char* charset;
    };
    const Case cases[] = {
        {"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">",
         "gbk"},
        {"<META CHARSET=\"GB2312\"><title>x</title>", "GB2312"},  // the search ignores case
        {"<meta charset='utf-8' />", "utf-8"},
        {"<html><head><title>no declaration</title>", ""},
        {"<meta\ncharset=gbk>", ""},  // "." does not cross the line break
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        RegexObject re;
        ASSERT_TRUE(re.execute(charset_pattern, c.page));
        EXPECT_EQ(re.submatch_text(1, 1), c.charset);
        EXPECT_EQ(re.submatch_text(1, 2), "");
        EXPECT_EQ(re.submatch_text(1, 0), "");
        EXPECT_EQ(re.submatch_count(), *c.charset ? 1 : 0);
    }
}

TEST(RegexObject, RejectedPatternGivesFalseAndEmptyReads) {
    for (const char* pattern : {"([1-9]", "[", "a{3,1}", "\\"}) {
        SCOPED_TRACE(pattern);
        RegexObject re;
        EXPECT_FALSE(re.execute(pattern, "a123 (456"));
        EXPECT_EQ(re.match_count(), 0);
        int position = 99;
        EXPECT_EQ(re.match_text(1, &position), "");
        EXPECT_EQ(position, -2);
        EXPECT_EQ(re.submatch_text(1, 1, &position), "");
        EXPECT_EQ(position, -2);
        EXPECT_EQ(re.submatch_count(), 0);
        EXPECT_EQ(re.replace_matches("x"), "");
        EXPECT_EQ(re.get_pattern(), pattern) << "the engine was made and holds the pattern";
    }
    // Before any execute there is no engine at all.
    RegexObject fresh;
    EXPECT_EQ(fresh.get_pattern(), "");
    EXPECT_EQ(fresh.match_count(), 0);
    EXPECT_EQ(fresh.replace_matches(), "");
}

TEST(RegexObject, WithoutAnEngineEverythingIsEmpty) {
    RegexObject before;
    ASSERT_TRUE(before.execute(room_pattern, "/room/123"));  // the standard objects are registered
    com::register_class("VBScript.RegExp", [] { return com::DispatchPtr(); });
    RegexObject re;
    const bool ran = re.execute(room_pattern, "/room/123");
    com::register_class("VBScript.RegExp", &vbregexp::create_vb_regexp);
    EXPECT_FALSE(ran);
    int position = 99;
    EXPECT_EQ(re.match_text(1, &position), "");
    EXPECT_EQ(position, -2);
    EXPECT_EQ(re.match_count(), 0);
    EXPECT_EQ(re.submatch_count(), 0);
    EXPECT_EQ(re.get_pattern(), "");
    EXPECT_EQ(re.replace_matches("x"), "");
    // An engine made later by the same object works again.
    ASSERT_TRUE(re.execute(room_pattern, "/room/123"));
    EXPECT_EQ(re.match_text(1), "123");
}

TEST(RegexObject, OptionsAndQuoteEscape) {
    RegexObject re;
    // Defaults: case ignored, global, multi-line.
    ASSERT_TRUE(re.execute("^ab", "AB\nab\naB"));
    EXPECT_EQ(re.match_count(), 3);
    EXPECT_EQ(re.match_text(2), "ab");

    ASSERT_TRUE(re.execute("^ab", "AB\nab\naB", /*case_sensitive=*/true));
    EXPECT_EQ(re.match_count(), 1);
    EXPECT_EQ(re.match_text(1), "ab");

    ASSERT_TRUE(re.execute("^ab", "AB\nab", false, /*multiline=*/false));
    EXPECT_EQ(re.match_count(), 1);
    ASSERT_TRUE(re.execute("ab", "AB ab", false, true, /*global=*/false));
    EXPECT_EQ(re.match_count(), 1);
    EXPECT_EQ(re.replace_matches("x"), "x ab");

    // "#引号" stands for a double quote only when asked for.
    const Text pattern = "id=#\xD2\xFD\xBA\xC5(\\d+)#\xD2\xFD\xBA\xC5";
    ASSERT_TRUE(re.execute(pattern, "<a id=\"42\">", false, true, true, /*quote_escape=*/true));
    EXPECT_EQ(re.submatch_text(1, 1), "42");
    EXPECT_EQ(re.get_pattern(), "id=\"(\\d+)\"");
    ASSERT_TRUE(re.execute(pattern, "<a id=\"42\">"));
    EXPECT_EQ(re.match_count(), 0);
}

TEST(RegexObject, PositionsAreByteOffsetsFoundFromTheEngineOffset) {
    RegexObject re;
    int position = 0;
    ASSERT_TRUE(re.execute("b+", "aabb ab"));
    EXPECT_EQ(re.match_text(1, &position), "bb");
    EXPECT_EQ(position, 2);
    EXPECT_EQ(re.match_text(2, &position), "b");
    EXPECT_EQ(position, 6);

    // The same text one byte earlier wins: the search starts one byte before the match.
    ASSERT_TRUE(re.execute("a(a)", "aaa", false, true, true));
    EXPECT_EQ(re.match_text(1, &position), "aa");
    EXPECT_EQ(position, 0);
    ASSERT_TRUE(re.execute("xa", "aaxa"));
    EXPECT_EQ(re.submatch_count(), 0);
    EXPECT_EQ(re.match_text(1, &position), "xa");
    EXPECT_EQ(position, 2);
    // A group is searched for from its whole match, not from the subject's start.
    ASSERT_TRUE(re.execute("x(a)", "ba xa"));
    EXPECT_EQ(re.submatch_text(1, 1, &position), "a");
    EXPECT_EQ(position, 4);

    // A two-byte character before the match counts one UTF-16 unit but two bytes: the
    // search still finds the match's byte offset.
    ASSERT_TRUE(re.execute("\\d+", "\xD6\xD0\xCE\xC4 123"));
    EXPECT_EQ(re.match_text(1, &position), "123");
    EXPECT_EQ(position, 5);

    // Case is ignored in the search unless the engine was case-sensitive.
    ASSERT_TRUE(re.execute("B", "ab", /*case_sensitive=*/true));
    EXPECT_EQ(re.match_text(1, &position), "");  // no match at all
    EXPECT_EQ(position, -2);
    ASSERT_TRUE(re.execute("b", "aB"));
    EXPECT_EQ(re.match_text(1, &position), "B");
    EXPECT_EQ(position, 1);
    // The engine's own IgnoreCase decides: "B" one byte before the second match counts as an
    // equal text only when case is ignored.
    ASSERT_TRUE(re.execute("b", "Bb"));
    EXPECT_EQ(re.match_text(2, &position), "b");
    EXPECT_EQ(position, 0);
    ASSERT_TRUE(re.execute("b", "Bb", /*case_sensitive=*/true));
    EXPECT_EQ(re.match_text(1, &position), "b");
    EXPECT_EQ(position, 1);
}

TEST(RegexObject, ReplaceUsesTheLastSubjectAndOptions) {
    RegexObject re;
    ASSERT_TRUE(re.execute("(\\w+)=(\\d+)", "a=1; B=22"));
    EXPECT_EQ(re.replace_matches("$2:$1"), "1:a; 22:B");
    EXPECT_EQ(re.replace_matches(), "; ");
    EXPECT_EQ(re.replace_matches("[$&$$$3]"), "[a=1$$3]; [B=22$$3]");
    ASSERT_TRUE(re.execute("\\d",
                           "\xD6\xD0"
                           "1\xCE\xC4"
                           "2"));
    EXPECT_EQ(re.replace_matches("#"), "\xD6\xD0#\xCE\xC4#") << "two-byte characters survive";
}

TEST(RegexObject, CopySharesMatchesAndBalancesComInit) {
    ASSERT_EQ(com::com_init_count(), 0);
    {
        RegexObject re;
        EXPECT_EQ(com::com_init_count(), 1);
        ASSERT_TRUE(re.execute(room_pattern, "/room/888/999"));
        {
            RegexObject twin = re.copy();
            EXPECT_EQ(com::com_init_count(), 2);
            EXPECT_EQ(twin.match_count(), 2);
            EXPECT_EQ(twin.match_text(2), "999");
            EXPECT_EQ(twin.replace_matches("n"), "/room/n/n") << "the subject was copied too";
            // A new execute on the original does not reach the copy.
            ASSERT_TRUE(re.execute(room_pattern, "none"));
            EXPECT_EQ(re.match_count(), 0);
            EXPECT_EQ(twin.match_text(1), "888");
        }
        EXPECT_EQ(com::com_init_count(), 1);
    }
    EXPECT_EQ(com::com_init_count(), 0);
}

TEST(RegexObject, WorksOnAFreshThreadThatOnlyTheObjectInitialises) {
    int count = -1;
    Text first;
    std::thread([&] {
        RegexObject re;
        if (re.execute(room_pattern, "live/0042/77")) {
            count = re.match_count();
            first = re.match_text(1);
        }
    }).join();
    EXPECT_EQ(count, 2);
    EXPECT_EQ(first, "42");
}

TEST(RegexObject, HostileInputEndsHarmlessly) {
    RegexObject re;
    // Badly backtracking: the engine gives up at its limit, and execute answers false.
    EXPECT_FALSE(re.execute("(a+)+$", Text(5000, 'a') + "!"));
    EXPECT_EQ(re.match_count(), 0);
    EXPECT_EQ(re.match_text(1), "");

    // Several megabytes of subject.
    Text big;
    while (big.size() < 5'000'000) big += "\xD6\xD0\xCE\xC4 room 0420 x";
    ASSERT_TRUE(re.execute(room_pattern, big));
    EXPECT_EQ(re.match_count(), static_cast<int>((big.size() + 15) / 16));
    EXPECT_EQ(re.match_text(re.match_count()), "420");
    ASSERT_TRUE(re.execute(charset_pattern, big));
    EXPECT_EQ(re.submatch_text(1, 1), "");

    // Any bytes as pattern and subject: whatever the outcome, reads stay consistent.
    // (0x80 and 0xFF stay out: they are single-byte characters of the code page, which the
    // text search steps over as lead bytes, so a position right after one is not found.)
    std::mt19937 random(42);
    auto any_byte = [&] {
        char c;
        do c = static_cast<char>(random() % 255 + 1);
        while (c == '\x80' || c == '\xFF');
        return c;
    };
    for (int i = 0; i < 500; ++i) {
        Text pattern(random() % 16, '\0'), subject(random() % 64, '\0');
        for (char& c : pattern) c = any_byte();
        for (char& c : subject) c = any_byte();
        // Positions refer to the subject as the engine saw it: bytes that are no code-page-936
        // text come back from UTF-16 as "?".
        const Text seen = bstr_to_text(text_to_bstr(subject));
        if (re.execute(pattern, subject)) {
            for (int m = 1; m <= re.match_count(); ++m) {
                int position = 0;
                const Text text = re.match_text(m, &position);
                // An empty match in an empty subject has nowhere to be found.
                if (text.empty() && seen.empty()) continue;
                ASSERT_GE(position, 0);
                EXPECT_EQ(compare_text(seen.substr(position, text.size()), text, false), 0)
                    << testing::PrintToString(subject) << " / " << testing::PrintToString(pattern);
            }
        } else {
            EXPECT_EQ(re.match_count(), 0);
        }
    }
}

}  // namespace
}  // namespace tavolen
