#include "platform/codepage/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace tavolen::codepage {
namespace {

TEST(MultiByteToWideChar, UsesTheWindows936TableAndMarksInvalidBytes) {
    struct Case {
        int code_page;
        std::string bytes;
        std::u16string expected;
    };
    const std::vector<Case> cases = {
        {936, "\x80", u"\u20AC"},      // euro sign
        {936, "\xFF", u"\uF8F5"},      // mapped to private use, as Windows does
        {936, "\xAA\xA1", u"\uE000"},  // user-defined area
        {936, "\xA1\xA1", u"\u3000"},  // full-width space
        {936, "\xD6\xD0", u"\u4E2D"},
        {936, "\xA1\xA4", u"\u00B7"},  // GBK, not strict GB2312
        {936, "a\xB0", u"a\uFFFD"},    // lone lead byte at the end
        {936, "\x81\x30",
         u"\uFFFD"
         u"0"},                      // four-byte GB18030 forms are not code page 936
        {0, "\xD6\xD0", u"\u4E2D"},  // 0 is the ANSI code page, 936
        {65001, "\xE4\xB8\xAD", u"\u4E2D"},
        {65001, "\xF0\x9F\x98\x80", u"\U0001F600"},
        {65001, "a\xC3(", u"a\uFFFD("},
        {65001, "\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong form
        {65001, std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {936, "", u""},
        {1252, "abc", u""},  // not supported: empty
    };
    for (const auto& c : cases)
        EXPECT_EQ(multi_byte_to_wide_char(c.code_page, c.bytes), c.expected)
            << "code page " << c.code_page << " '" << c.bytes << "'";
}

TEST(WideCharToMultiByte, WritesQuestionMarksForWhatTheCodePageLacks) {
    struct Case {
        int code_page;
        std::u16string units;
        unsigned flags;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {936, u"\u20AC", 0, "\x80"},
        {936, u"\u4E2D", 0, "\xD6\xD0"},
        {936, u"\u0E01", 0, "?"},
        {936, u"\uFFFD", 0, "?"},
        // invisible characters the code page lacks are no exception
        {936, u"a\u200Bb", 0, "a?b"},
        {936, u"\uFEFFa", 0, "?a"},
        {936, u"\u00AD\uFE0F", 0, "??"},
        {936, std::u16string(1, u'\xD800') + u"a", 0, "?a"},
        {936, u"e\u0301", 0, "e?"},
        {936, u"e\u0301", wc_composite_check, "\xA8\xA6"},
        // where the code page lacks the composed character the two convert on their own
        {936, u"a\u030A", wc_composite_check, "a?"},
        {936, u"e\u0302\u0301", wc_composite_check, "\xA8\xBA?"},
        {936, u"\uF92C", wc_composite_check, "\xFD\x9C"},
        {65001, u"\u4E2D", 0, "\xE4\xB8\xAD"},
        {65001, std::u16string(1, u'\xDC00'), 0, "\xEF\xBF\xBD"},
        {65001, u"\U0001F600", 0, "\xF0\x9F\x98\x80"},
        {0, u"\u4E2D", 0, "\xD6\xD0"},
        {437, u"abc", 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wide_char_to_multi_byte(c.code_page, c.units, c.flags), c.expected)
            << "code page " << c.code_page;
}

TEST(Converters, GiveTheSameResultsOnManyThreadsAtOnce) {
    // Each thread keeps its own converters; interleaved use must not mix their state.
    const std::string gbk = "\xD6\xD0\xCE\xC4 text \x80 \xB0";
    const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87 text \xC3";
    const std::u16string gbk_wide = multi_byte_to_wide_char(936, gbk);
    const std::u16string utf8_wide = multi_byte_to_wide_char(65001, utf8);
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (multi_byte_to_wide_char(936, gbk) != gbk_wide) ++failures[t];
                if (multi_byte_to_wide_char(65001, utf8) != utf8_wide) ++failures[t];
                if (wide_char_to_multi_byte(936, gbk_wide) != "\xD6\xD0\xCE\xC4 text \x80 ?")
                    ++failures[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace tavolen::codepage
