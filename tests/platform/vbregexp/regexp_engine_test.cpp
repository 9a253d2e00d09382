#include "platform/vbregexp/regexp_engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavolen::vbregexp {
namespace {

std::vector<std::int32_t> match_starts(std::u16string_view pattern, std::u16string subject,
                                       bool multiline = false) {
    auto compiled = compile_pattern(pattern, {false, multiline});
    EXPECT_NE(compiled, nullptr);
    MatchList list;
    EXPECT_EQ(search(*compiled, std::move(subject), true, list), SearchStatus::ok);
    std::vector<std::int32_t> starts;
    for (std::size_t m = 0; m < list.count(); ++m) starts.push_back(list.begin(m, 0));
    return starts;
}

TEST(RegexpEngine, ASearchEndsAtItsTimeLimitThoughEveryAttemptStaysUnderTheMatchLimit) {
    // Each start position costs millions of steps, under the match limit; the first match starts
    // at position 7000, so the whole search needs tens of billions (seconds, run to the end).
    auto compiled = compile_pattern(u"[a-z]{0,2500}[a-z]{0,2500}!", {});
    ASSERT_NE(compiled, nullptr);
    RegexLimits limits;
    limits.time_limit = std::chrono::milliseconds(10);
    MatchList list;
    EXPECT_EQ(search(*compiled, std::u16string(12000, u'a') + u"!", false, list, limits),
              SearchStatus::limit_exceeded);
    EXPECT_EQ(list.count(), 0u);

    // The same pattern over a short subject finds its match as ever.
    EXPECT_EQ(match_starts(u"[a-z]{0,2500}[a-z]{0,2500}!", u"aaa!"), (std::vector<int>{0}));
}

TEST(RegexpEngine, MatchesAreFoundWhereverTheyStartInALongSubject) {
    // Start positions on both sides of every way the subject may be divided up while searching.
    for (std::size_t at : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 1000u, 4095u}) {
        std::u16string subject(at, u'a');
        subject += u"bc";
        subject += std::u16string(40, u'a');
        EXPECT_EQ(match_starts(u"bc", subject), (std::vector<int>{static_cast<int>(at)}))
            << "at " << at;
        // A line break pair split across that point: the LF still starts a match of its own.
        std::u16string lines(at, u'a');
        lines += u"\r\nx";
        EXPECT_EQ(match_starts(u"\\n", lines), (std::vector<int>{static_cast<int>(at) + 1}))
            << "at " << at;
        EXPECT_EQ(match_starts(u"^x", lines, true), (std::vector<int>{static_cast<int>(at) + 2}))
            << "at " << at;
    }
    // A lookbehind still sees units before the point the search resumes from.
    std::u16string subject(40, u'a');
    subject += u"b";
    EXPECT_EQ(match_starts(u"(?<=a{20})b", subject), (std::vector<int>{40}));
}

}  // namespace
}  // namespace tavolen::vbregexp
