#include "platform/vbregexp/regexp_engine.h"

#include <pcre2.h>

#include <algorithm>
#include <utility>

#include "platform/clock/work_deadline.h"

namespace tavolen::vbregexp {

class CompiledPattern {
  public:
    CompiledPattern(pcre2_code* code, bool jit) : code_(code), jit_(jit) {
        std::uint32_t count = 0;
        pcre2_pattern_info(code_, PCRE2_INFO_CAPTURECOUNT, &count);
        groups_ = static_cast<int>(count);
        // What PCRE2 worked out about the first unit of a match tells whether one can begin
        // with LF; without that knowledge it may.
        std::uint32_t first_type = 0, first_unit = 0;
        const std::uint8_t* first_units = nullptr;
        pcre2_pattern_info(code_, PCRE2_INFO_FIRSTCODETYPE, &first_type);
        pcre2_pattern_info(code_, PCRE2_INFO_FIRSTCODEUNIT, &first_unit);
        pcre2_pattern_info(code_, PCRE2_INFO_FIRSTBITMAP, &first_units);
        if (first_type == 1)
            may_start_with_lf_ = first_unit == '\n';
        else if (first_units)
            may_start_with_lf_ = (first_units['\n' / 8] >> ('\n' % 8)) & 1;
    }
    ~CompiledPattern() { pcre2_code_free(code_); }
    CompiledPattern(const CompiledPattern&) = delete;
    CompiledPattern& operator=(const CompiledPattern&) = delete;

    pcre2_code* code() const { return code_; }
    int groups() const { return groups_; }
    bool may_start_with_lf() const { return may_start_with_lf_; }
    bool jit() const { return jit_; }

  private:
    pcre2_code* code_;
    bool jit_;
    int groups_ = 0;
    bool may_start_with_lf_ = true;
};

std::u16string_view MatchList::text(std::size_t m, int g) const {
    if (!group_matched(m, g)) return {};
    return std::u16string_view(subject).substr(begin(m, g), end(m, g) - begin(m, g));
}

namespace {

// PCRE2's contexts, the JIT stack and the recent patterns belong to the thread: no locks.
struct ThreadState {
    pcre2_compile_context* compile = nullptr;
    pcre2_match_context* match = nullptr;
    pcre2_jit_stack* jit_stack = nullptr;

    struct Entry {
        std::u16string pattern;
        RegexOptions options;
        std::shared_ptr<const CompiledPattern> compiled;
    };
    std::vector<Entry> recent;  // most recently used first

    ThreadState() {
        compile = pcre2_compile_context_create(nullptr);
        // "." stops at CR and LF, and so do "^" and "$" in multi-line mode.
        if (compile) pcre2_set_newline(compile, PCRE2_NEWLINE_ANYCRLF);
        match = pcre2_match_context_create(nullptr);
        jit_stack = pcre2_jit_stack_create(32 * 1024, 1024 * 1024, nullptr);
        if (match && jit_stack) pcre2_jit_stack_assign(match, nullptr, jit_stack);
    }
    ~ThreadState() {
        recent.clear();
        pcre2_jit_stack_free(jit_stack);
        pcre2_match_context_free(match);
        pcre2_compile_context_free(compile);
    }
};

ThreadState& thread_state() {
    thread_local ThreadState state;
    return state;
}

constexpr std::size_t recent_capacity = 16;
constexpr std::size_t longest_cached_pattern = 4096;

std::shared_ptr<const CompiledPattern> compile_uncached(ThreadState& state,
                                                        std::u16string_view pattern,
                                                        RegexOptions options) {
    // JavaScript's reading of the syntax: \uhhhh and \xhh escapes, a back reference to a group
    // that took no part matches the empty text, "[]" and "[^]" are valid classes, "$" outside
    // multi-line mode is the end of the subject only. A pattern may not switch PCRE2 to UTF
    // or Unicode classes with "(*UTF)" or "(*UCP)": units stay units and \w stays ASCII.
    // The offset limit lets a search try its start positions a window at a time (see
    // match_from).
    std::uint32_t flags = PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF | PCRE2_ALLOW_EMPTY_CLASS |
                          PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP |
                          PCRE2_USE_OFFSET_LIMIT;
    if (options.ignore_case) flags |= PCRE2_CASELESS;
    if (options.multiline) flags |= PCRE2_MULTILINE;
    int error = 0;
    PCRE2_SIZE error_offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     flags, &error, &error_offset, state.compile);
    if (!code) return nullptr;
    // Without JIT support the interpreter runs the same pattern; a failed JIT is no error.
    const bool jit = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
    return std::make_shared<const CompiledPattern>(code, jit);
}

}  // namespace

std::shared_ptr<const CompiledPattern> compile_pattern(std::u16string_view pattern,
                                                       RegexOptions options) {
    ThreadState& state = thread_state();
    if (!state.compile || !state.match) return nullptr;
    auto& recent = state.recent;
    for (auto it = recent.begin(); it != recent.end(); ++it) {
        if (it->options == options && it->pattern == pattern) {
            std::rotate(recent.begin(), it, it + 1);
            return recent.front().compiled;
        }
    }
    auto compiled = compile_uncached(state, pattern, options);
    if (compiled && pattern.size() <= longest_cached_pattern) {
        if (recent.size() == recent_capacity) recent.pop_back();
        recent.insert(recent.begin(), {std::u16string(pattern), options, compiled});
    }
    return compiled;
}

namespace {

SearchStatus failure(int rc) {
    return (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT ||
            rc == PCRE2_ERROR_HEAPLIMIT || rc == PCRE2_ERROR_JIT_STACKLIMIT ||
            rc == PCRE2_ERROR_NOMEMORY)
               ? SearchStatus::limit_exceeded
               : SearchStatus::error;
}

struct MatchData {
    pcre2_match_data* data = nullptr;
    ~MatchData() { pcre2_match_data_free(data); }
};

// One unanchored attempt from `start` on. PCRE2's match limit holds for each start position on
// its own, so a single call over a long subject may spend it at every position in turn. The
// positions are therefore tried a window at a time, with the clock read in between. The JIT's
// scan for a possible first unit stops at the window's end; the interpreter's runs on to the
// end of the subject, so without the JIT the subject is tried in one call, as before. (A
// (*COMMIT) that fails now ends only its own window's attempts; JavaScript has no such verbs.)
int match_from(const CompiledPattern& pattern, PCRE2_SPTR units, PCRE2_SIZE length,
               PCRE2_SIZE start, pcre2_match_data* md, pcre2_match_context* context,
               platform::WorkDeadline& deadline) {
    constexpr PCRE2_SIZE window = 16;
    PCRE2_SIZE from = start;
    int rc;
    for (;;) {
        const bool last = !pattern.jit() || length - from < window;
        pcre2_set_offset_limit(context, last ? PCRE2_UNSET : from + window - 1);
        rc = pcre2_match(pattern.code(), units, length, from, 0, md, context);
        if (rc != PCRE2_ERROR_NOMATCH || last) break;
        if (deadline.passed()) {
            rc = PCRE2_ERROR_MATCHLIMIT;
            break;
        }
        from += window;
    }
    pcre2_set_offset_limit(context, PCRE2_UNSET);
    return rc;
}

}  // namespace

SearchStatus search(const CompiledPattern& pattern, std::u16string subject, bool global,
                    MatchList& out, const RegexLimits& limits) {
    out.subject = std::move(subject);
    out.groups = pattern.groups();
    out.offsets.clear();

    ThreadState& state = thread_state();
    if (!state.match) return SearchStatus::error;
    pcre2_set_match_limit(state.match, limits.match_limit);
    pcre2_set_depth_limit(state.match, limits.depth_limit);
    pcre2_set_heap_limit(state.match, limits.heap_limit_kib);

    MatchData md{pcre2_match_data_create_from_pattern(pattern.code(), nullptr)};
    MatchData at_lf;  // made when first needed
    if (!md.data) return SearchStatus::error;

    const auto* units = reinterpret_cast<PCRE2_SPTR>(out.subject.data());
    const PCRE2_SIZE length = out.subject.size();
    const int pairs = out.groups + 1;
    platform::WorkDeadline deadline(limits.time_limit);
    PCRE2_SIZE start = 0;
    while (start <= length) {
        if (deadline.passed()) {
            out.offsets.clear();
            return SearchStatus::limit_exceeded;
        }
        int rc = match_from(pattern, units, length, start, md.data, state.match, deadline);
        if (rc < 0 && rc != PCRE2_ERROR_NOMATCH) {
            out.offsets.clear();
            return failure(rc);
        }
        // PCRE2 reads CR LF as one line break and never starts a match at the LF of a pair that
        // it steps over; a JavaScript-style search tries every position. So each such LF before
        // the match found (or the end) gets an anchored attempt of its own, earliest first.
        pcre2_match_data* found = rc >= 0 ? md.data : nullptr;
        const PCRE2_SIZE found_at = !pattern.may_start_with_lf() ? start
                                    : found                      ? pcre2_get_startchar(md.data)
                                                                 : length;
        for (PCRE2_SIZE k = start + 1; k < found_at; ++k) {
            if (units[k] != u'\n' || units[k - 1] != u'\r') continue;
            if (deadline.passed()) {
                out.offsets.clear();
                return SearchStatus::limit_exceeded;
            }
            if (!at_lf.data)
                at_lf.data = pcre2_match_data_create_from_pattern(pattern.code(), nullptr);
            const int at = at_lf.data ? pcre2_match(pattern.code(), units, length, k,
                                                    PCRE2_ANCHORED, at_lf.data, state.match)
                                      : PCRE2_ERROR_NOMEMORY;
            if (at == PCRE2_ERROR_NOMATCH) continue;
            if (at < 0) {
                out.offsets.clear();
                return failure(at);
            }
            rc = at;
            found = at_lf.data;
            break;
        }
        if (!found) break;
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(found);
        for (int g = 0; g < pairs; ++g) {
            // Groups past rc took no part; PCRE2 marks unset ones with PCRE2_UNSET.
            const bool set = g < rc && ovector[2 * g] != PCRE2_UNSET;
            out.offsets.push_back(set ? static_cast<std::int32_t>(ovector[2 * g]) : -1);
            out.offsets.push_back(set ? static_cast<std::int32_t>(ovector[2 * g + 1]) : -1);
        }
        if (!global) break;
        // \K can end a match before its start; never step backwards.
        const PCRE2_SIZE end = std::max(ovector[1], start);
        start = end == ovector[0] ? end + 1 : end;
    }
    return SearchStatus::ok;
}

std::u16string replace_matches(const MatchList& matches, std::u16string_view replacement) {
    const std::u16string_view subject = matches.subject;
    std::u16string out;
    out.reserve(subject.size());
    std::size_t copied = 0;
    for (std::size_t m = 0; m < matches.count(); ++m) {
        const std::size_t begin = static_cast<std::size_t>(matches.begin(m, 0));
        const std::size_t end = static_cast<std::size_t>(matches.end(m, 0));
        if (begin < copied) continue;  // a \K match overlapping the previous one
        out.append(subject.substr(copied, begin - copied));
        for (std::size_t i = 0; i < replacement.size(); ++i) {
            const char16_t c = replacement[i];
            const char16_t next = i + 1 < replacement.size() ? replacement[i + 1] : 0;
            if (c != u'$' || next == 0) {
                out.push_back(c);
            } else if (next == u'$') {
                out.push_back(u'$');
                ++i;
            } else if (next == u'&') {
                out.append(matches.text(m, 0));
                ++i;
            } else if (next >= u'1' && next <= u'9' && next - u'0' <= matches.groups) {
                out.append(matches.text(m, next - u'0'));
                ++i;
            } else {
                out.push_back(c);
            }
        }
        copied = std::max(end, begin);
    }
    out.append(subject.substr(std::min(copied, subject.size())));
    return out;
}

}  // namespace tavolen::vbregexp
