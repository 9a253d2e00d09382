// What a server sends, through the steps of http_request that read it, without a network: the
// raw header block (turned into the UTF-16 buffer the client gets, or as arbitrary bytes)
// through analyse_headers with and without cookie merging, the cookie helpers on their own,
// and the body through the charset step. A violated property aborts with a message.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>

#include "http/cookie_text.h"
#include "http/response_steps.h"
#include "platform/codepage/codepage.h"
#include "platform/com/registry.h"
#include "regex/regex_object.h"
#include "text/encoding.h"
#include "text/text.h"

#include "fuzz_require.h"

using namespace tavolen;

namespace {

// The header block as the client's buffer holds it: the received bytes read as code page 936,
// in UTF-16 little-endian units, with the terminating zero unit.
ByteBuffer header_buffer_of(const std::string& raw) {
    const std::u16string wide = codepage::multi_byte_to_wide_char(codepage::cp_gbk, raw);
    ByteBuffer out;
    out.reserve(2 * wide.size() + 2);
    for (char16_t unit : wide) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

// Texts never hold zero bytes; the fuzzer may still send them, so they are cut out.
std::string as_text(std::string s) {
    std::erase(s, '\0');
    return s;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

void check_cookie_text(const Text& merged) {
    if (merged.empty()) return;
    std::unordered_set<Text> seen;
    for (const Text& entry : split_text(merged, "; ")) {
        REQUIRE(seen.insert(entry).second);  // no exact repeat
        REQUIRE(compare_text_plain(text_right(entry, 8), "=deleted") != 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool raw_buffer = in.ConsumeBool();
    const bool merge = in.ConsumeBool();
    const int body_split = in.ConsumeIntegralInRange<int>(0, 4096);
    const std::string cookies_in = as_text(in.ConsumeRandomLengthString(128));
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const std::string raw_headers = rest.substr(0, std::min<std::size_t>(body_split, rest.size()));
    const std::string body_bytes = rest.substr(raw_headers.size());

    // The header analysis, with every result variable.
    const ByteBuffer buffer = raw_buffer ? ByteBuffer(raw_headers.begin(), raw_headers.end())
                                         : header_buffer_of(raw_headers);
    Text response_headers, status_text, returned_cookies, location;
    Text cookies = cookies_in;
    analyse_headers(buffer, {&response_headers, &status_text, &returned_cookies, &location,
                             merge ? &cookies : nullptr, merge});
    // The status comes from the block as received, before Set-Cookie's spelling is evened out.
    REQUIRE(contains(utf16_to_ansi(buffer), status_text));
    REQUIRE(response_headers.size() == utf16_to_ansi(buffer).size());
    REQUIRE(contains(response_headers, location));
    if (merge) {
        REQUIRE(returned_cookies == cookies);
        // Blanks are gone from the entries; the only spaces left follow a separating ";"
        // (a byte after a lead byte is the second half of a character, whatever its value).
        for (std::size_t i = 0; i < cookies.size(); ++i) {
            if (static_cast<unsigned char>(cookies[i]) >= 0x80) {
                ++i;
                continue;
            }
            if (cookies[i] == ' ') REQUIRE(i > 0 && cookies[i - 1] == ';');
        }
        check_cookie_text(cookies);
    }

    // The helpers on their own, over the same texts.
    const Text header_text = as_text(raw_headers);
    const Text between = text_between(header_text, cookies_in, ";");
    REQUIRE(between.size() <= header_text.size());
    (void)text_between(header_text, "Set-Cookie:", cookies_in, 3, true);
    const Text name = cookie_name(cookies_in);
    REQUIRE(name.size() <= cookies_in.size() && (name.empty() || name[0] != ' '));
    const Text deduped = dedupe_text_parts(header_text, "\r\n");
    REQUIRE(deduped.size() <= header_text.size());
    {
        // Each part once, and only parts the text had.
        const TextArray parts = split_text(header_text, "\r\n");
        std::unordered_set<Text> seen;
        for (const Text& part : split_text(deduped, "\r\n")) {
            REQUIRE(seen.insert(part).second);
            REQUIRE(find_text_in_list(parts, part) != -1);
        }
    }
    Text old_cookies = cookies_in, new_cookies = header_text;
    const Text merged = merge_cookie_text(old_cookies, new_cookies);
    REQUIRE(merged == old_cookies);
    check_cookie_text(merged);
    // An old entry comes back only when no new entry carries its name.
    const TextArray fresh = split_text(remove_spaces(header_text), ";");
    for (const Text& entry : split_text(remove_spaces(cookies_in), ";"))
        if (find_text_in_list(split_text(merged, "; "), entry) != -1 &&
            find_text_in_list(fresh, entry) == -1)
            REQUIRE(!cookie_list_has_name(fresh, cookie_name(entry)));

    // The body through the charset step, as http_request hands it over. The step brackets its
    // work with one COM initialisation of its own; the caller's RegexObject holds another.
    const ByteBuffer body(body_bytes.begin(), body_bytes.end());
    RegexObject regex;
    const int before = com::com_init_count();
    const Text page = apply_page_charset(regex, bytes_to_text(body), body);
    REQUIRE(com::com_init_count() == before);
    (void)page;
    return 0;
}
