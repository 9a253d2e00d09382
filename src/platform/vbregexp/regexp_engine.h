#pragma once

// The matching engine behind "VBScript.RegExp", apart from COM so that it can be measured and
// tested on its own: compiles a pattern with the JavaScript-style options over PCRE2 (16-bit
// code units), runs it over a subject and answers the matches as offsets.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavolen::vbregexp {

struct RegexOptions {
    bool ignore_case = false;
    bool multiline = false;
    friend bool operator==(const RegexOptions&, const RegexOptions&) = default;
};

// Limits of one search. Past any of them the search stops and fails. The backtracking limits
// hold for each position a match is tried from; the time limit for the whole search, which would
// otherwise grow with the subject's length times the match limit. It counts the processor time
// of the searching thread: a busy machine does not make a good search fail.
struct RegexLimits {
    std::uint32_t match_limit = 10'000'000;  // a badly backtracking attempt ends in ~20 ms
    std::uint32_t depth_limit = 100'000;
    std::uint32_t heap_limit_kib = 64 * 1024;
    std::chrono::milliseconds time_limit{2000};
};

class CompiledPattern;

// Compiles (or takes from this thread's small cache of recent patterns) a pattern. Null when
// PCRE2 rejects it.
std::shared_ptr<const CompiledPattern> compile_pattern(std::u16string_view pattern,
                                                       RegexOptions options);

// The matches of one search: for match m and group g (0 = the whole match), the UTF-16 offsets
// begin(m, g) .. end(m, g); a group that took no part has begin == end == -1.
struct MatchList {
    std::u16string subject;
    int groups = 0;                     // capture groups of the pattern
    std::vector<std::int32_t> offsets;  // 2 * (groups + 1) per match

    std::size_t count() const { return offsets.size() / (2 * (groups + 1)); }
    std::int32_t begin(std::size_t m, int g) const { return offsets[m * 2 * (groups + 1) + 2 * g]; }
    std::int32_t end(std::size_t m, int g) const {
        return offsets[m * 2 * (groups + 1) + 2 * g + 1];
    }
    bool group_matched(std::size_t m, int g) const { return begin(m, g) >= 0; }
    std::u16string_view text(std::size_t m, int g) const;
};

enum class SearchStatus { ok, limit_exceeded, error };

// Finds the first match, or every match when `global`: after an empty match the next search
// starts one unit further on, as in JavaScript. On any status but ok, `out` holds no matches.
SearchStatus search(const CompiledPattern& pattern, std::u16string subject, bool global,
                    MatchList& out, const RegexLimits& limits = {});

// The subject with the matches replaced: "$1".."$9" give a group's text (empty when it took no
// part; "$n" beyond the pattern's groups stays as written), "$&" the match, "$$" one "$".
std::u16string replace_matches(const MatchList& matches, std::u16string_view replacement);

}  // namespace tavolen::vbregexp
