// Fuzzed patterns, subjects, replacements and options through the regular-expression engine,
// both directly (UTF-16 units, lone surrogates included) and through RegexObject as the
// system calls it (code page 936 texts). Nothing may crash or run unbounded; the answers must
// stay inside the subject. A violated property aborts with a message.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/vbregexp/regexp_engine.h"
#include "regex/regex_object.h"
#include "text/text.h"

#include "fuzz_require.h"

using namespace tavolen;
using namespace tavolen::vbregexp;

namespace {

std::u16string units_of(const std::string& bytes) {
    std::u16string out(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return out;
}

void check_matches(const MatchList& list, SearchStatus status) {
    if (status != SearchStatus::ok) {
        REQUIRE(list.count() == 0);
        return;
    }
    const auto length = static_cast<std::int32_t>(list.subject.size());
    REQUIRE(list.offsets.size() % (2 * (list.groups + 1)) == 0);
    for (std::size_t m = 0; m < list.count(); ++m) {
        REQUIRE(list.group_matched(m, 0));
        for (int g = 0; g <= list.groups; ++g) {
            const std::int32_t b = list.begin(m, g), e = list.end(m, g);
            if (b < 0) {
                REQUIRE(b == -1 && e == -1);
                continue;
            }
            REQUIRE(b <= length && e >= 0 && e <= length);
            (void)list.text(m, g);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool ignore_case = in.ConsumeBool();
    const bool multiline = in.ConsumeBool();
    const bool global = in.ConsumeBool();
    const bool through_object = in.ConsumeBool();
    const bool quote_escape = in.ConsumeBool();
    const std::string pattern = in.ConsumeRandomLengthString(256);
    const std::string replacement = in.ConsumeRandomLengthString(32);
    const std::string subject = in.ConsumeRemainingBytesAsString();

    if (!through_object) {
        // The engine on its own, over raw UTF-16 units.
        const std::u16string subject16 = units_of(subject);
        const auto compiled = compile_pattern(units_of(pattern), {ignore_case, multiline});
        if (!compiled) return 0;
        MatchList list;
        const SearchStatus status = search(*compiled, subject16, global, list);
        check_matches(list, status);
        const std::u16string replaced = replace_matches(list, units_of(replacement));
        if (list.count() == 0) REQUIRE(replaced == subject16);
        return 0;
    }

    // As the system runs it: a fresh engine per execute, texts in code page 936.
    RegexObject regex;
    const bool ran = regex.execute(pattern, subject, !ignore_case, multiline, global, quote_escape);
    const int count = regex.match_count();
    REQUIRE(count >= 0);
    if (!ran) REQUIRE(count == 0);
    (void)regex.get_pattern();
    const int groups = regex.submatch_count();
    REQUIRE(groups >= 0);
    for (int m = 0; m <= std::min(count, 3) + 1; ++m) {
        int position = -1;
        const Text found = regex.match_text(m, &position);
        if (m < 1 || m > count) REQUIRE(found.empty() && position == -2);
        if (position >= 0)
            REQUIRE(static_cast<std::size_t>(position) + found.size() <= subject.size());
        for (int g = 0; g <= std::min(groups, 3) + 1; ++g) {
            int group_position = -1;
            (void)regex.submatch_text(m, g, &group_position);
        }
    }
    (void)regex.replace_matches(replacement);
    const RegexObject copy = regex.copy();
    REQUIRE(copy.match_count() == count);
    return 0;
}
