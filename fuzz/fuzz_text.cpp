// Feeds arbitrary bytes to the text operations that see network input and checks the
// properties that must hold for every input; a violated property aborts with a message.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "text/encoding.h"
#include "text/text.h"

#include "fuzz_require.h"

using namespace tavolen;

namespace {

bool is_lead(char c) {
    return static_cast<unsigned char>(c) >= 0x80;
}

// Texts never hold zero bytes; the fuzzer may still send them, so they are cut out.
std::string as_text(std::string s) {
    std::erase(s, '\0');
    return s;
}

bool same_bytes(std::string_view text, std::size_t at, std::string_view sought, bool fold) {
    if (at + sought.size() > text.size()) return false;
    for (std::size_t i = 0; i < sought.size(); ++i) {
        char a = text[at + i], b = sought[i];
        if (fold) {
            if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
            if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
        }
        if (a != b) return false;
    }
    return true;
}

std::string join(const TextArray& pieces, const std::string& delimiter) {
    std::string out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i) out += delimiter;
        out += pieces[i];
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool flag_a = in.ConsumeBool();
    const bool flag_b = in.ConsumeBool();
    const int start = in.ConsumeIntegralInRange<int>(-3, 40);
    const int count =
        in.ConsumeBool() ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange(-2, 4);
    const std::string sought = as_text(in.ConsumeRandomLengthString(8));
    const std::string replacement = as_text(in.ConsumeRandomLengthString(8));
    const std::string raw = in.ConsumeRemainingBytesAsString();
    const std::string text = as_text(raw);

    // url_decode: every "%" eats three positions, so the result never grows, and a zero byte
    // is never produced. With utf8 it must simply survive any bytes.
    (void)url_decode(raw, true);  // zero bytes pass through; the rest must simply survive
    const Text decoded = url_decode(text, false);
    REQUIRE(decoded.size() <= text.size());
    REQUIRE(decoded.find('\0') == std::string::npos);
    const Text decoded_utf8 = url_decode(text, true);
    REQUIRE(decoded_utf8.find('\0') == std::string::npos);

    // find_text: a hit is inside the region, matches there, and nothing earlier matches.
    const int found = find_text(text, sought, start, flag_a);
    const int from = start < 1 ? 1 : start;
    if (found != -1) {
        REQUIRE(found >= 1 && found <= static_cast<int>(text.size()));
        if (!sought.empty()) {
            REQUIRE(found >= from);
            REQUIRE(same_bytes(text, static_cast<std::size_t>(found - 1), sought, flag_a));
            // no earlier character start of the region matches
            std::size_t p = static_cast<std::size_t>(from - 1);
            while (p < static_cast<std::size_t>(found - 1)) {
                REQUIRE(!same_bytes(text, p, sought, flag_a));
                p += is_lead(text[p]) ? 2 : 1;
            }
            REQUIRE(p == static_cast<std::size_t>(found - 1));
            // an incomplete character at the end never matches
            REQUIRE(!(is_lead(text[p]) && p + 1 == text.size()));
        }
    } else if (sought.empty()) {
        REQUIRE(from > static_cast<int>(text.size()));
    } else if (from <= static_cast<int>(text.size())) {
        // the region's first byte is a candidate, unless it is an incomplete character
        const auto first = static_cast<std::size_t>(from - 1);
        REQUIRE(!same_bytes(text, first, sought, flag_a) ||
                (is_lead(text[first]) && first + 1 == text.size()));
    }

    // replace_text agrees with find_text: one replacement happens exactly at the first hit,
    // deleting never grows the text, and without a hit the text stays (but for a lone lead
    // byte at the end, which the scan drops).
    const bool case_sensitive = flag_b;
    const int hit = find_text(text, sought, start, !case_sensitive);
    const Text once = replace_text(text, sought, replacement, start, 1, case_sensitive);
    if (!sought.empty() && hit != -1) {
        const std::size_t at = static_cast<std::size_t>(hit - 1);
        REQUIRE(once == text.substr(0, at) + replacement + text.substr(at + sought.size()));
    } else {
        REQUIRE(once == text || (once.size() + 1 == text.size() &&
                                 text.compare(0, once.size(), once) == 0 && is_lead(text.back())));
    }
    const Text deleted = replace_text(text, sought, "", start, count, case_sensitive);
    REQUIRE(deleted.size() <= text.size());
    REQUIRE(replace_text(text, sought, replacement, start, 0, case_sensitive) == text);

    // split_text: joined again with the delimiter the pieces give back the text, less a final
    // delimiter; a limit only ever shortens the array.
    const std::string delimiter = sought.empty() ? std::string(",") : sought;
    const TextArray pieces = split_text(text, delimiter);
    const std::string joined = join(pieces, delimiter);
    REQUIRE(joined == text || joined + delimiter == text);
    const TextArray limited = split_text(text, delimiter, count);
    REQUIRE(static_cast<int>(limited.size()) <= (count < 0 ? 0 : count));
    for (std::size_t i = 0; i < limited.size(); ++i) REQUIRE(limited[i] == pieces[i]);

    // trim_text: a piece of its input that starts with no blank; remove_spaces leaves no
    // space character behind.
    const Text trimmed = trim_text(text);
    REQUIRE(text.find(trimmed) != std::string::npos);
    REQUIRE(trimmed.empty() || (trimmed[0] != ' ' && trimmed.compare(0, 2, "\xA1\xA1") != 0));
    const Text spaceless = remove_spaces(text);
    REQUIRE(spaceless.size() <= text.size());
    REQUIRE(remove_spaces(spaceless) == spaceless);

    // numbers: what number_to_text writes reads back.
    REQUIRE(text_to_int(number_to_text(count)) == count);
    (void)text_to_number(text);
    (void)text_to_int(text);

    REQUIRE(compare_text(text, text, flag_a) == 0);
    REQUIRE(compare_text_plain(text, sought) == -compare_text_plain(sought, text));
    REQUIRE(utf16_to_ansi(ansi_to_utf16(text)).size() <= 2 * text.size());
    return 0;
}
