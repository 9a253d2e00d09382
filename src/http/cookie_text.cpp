#include "http/cookie_text.h"

#include <unordered_set>

namespace tavolen {

namespace {
// "#引号" in code page 936: lets a caller write a double quote inside a marker.
constexpr std::string_view quote_mark = "#\xD2\xFD\xBA\xC5";
}  // namespace

Text text_between(std::string_view text, std::string_view left, std::string_view right, int start,
                  bool ignore_case) {
    const Text left_marker = replace_text(left, quote_mark, "\"", 1, {}, true);
    const Text right_marker = replace_text(right, quote_mark, "\"", 1, {}, true);
    int c = find_text(text, left_marker, start, ignore_case);
    if (c != -1) c += text_length(left_marker);
    int b = find_text(text, right_marker, c, ignore_case);
    if (c == -1 || b == -1) return {};
    return text_mid(text, c, b - c);
}

Text cookie_name(std::string_view entry) {
    int p = find_text(entry, "=");
    return trim_text(p == -1 ? Text(entry) : text_left(entry, p - 1));
}

bool cookie_list_has_name(const TextArray& list, std::string_view name) {
    for (const Text& entry : list)
        if (compare_text_plain(cookie_name(entry), name) == 0) return true;
    return false;
}

int find_text_in_list(const TextArray& list, std::string_view text) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (compare_text_plain(list[i], text) == 0) return static_cast<int>(i) + 1;
    return -1;
}

// The two routines below look up what they have kept in a set rather than scanning a list for
// each part: a response head can carry tens of thousands of cookie lines, and the scans would
// take seconds on them. Equality stays byte for byte.

Text dedupe_text_parts(std::string_view text, std::string_view separator) {
    const TextArray parts = split_text(text, separator);
    std::unordered_set<std::string_view> kept;
    Text out;
    for (const Text& part : parts) {
        if (!kept.insert(part).second) continue;
        out += part;
        out += separator;
    }
    return text_left(out, text_length(out) - text_length(separator));
}

Text merge_cookie_text(Text& cookies, Text& new_cookies) {
    cookies = remove_spaces(cookies);
    new_cookies = remove_spaces(new_cookies);
    TextArray old_entries = split_text(cookies, ";");
    TextArray merged = split_text(new_cookies, ";");
    // An old entry goes in only when no entry merged so far carries its name.
    std::unordered_set<Text> names;
    for (const Text& entry : merged) names.insert(cookie_name(entry));
    for (const Text& entry : old_entries)
        if (names.insert(cookie_name(entry)).second) merged.push_back(entry);
    cookies.clear();
    for (const Text& entry : merged) {
        if (compare_text_plain(text_right(entry, 8), "=deleted") == 0) continue;
        cookies += entry;
        cookies += "; ";
    }
    cookies = text_left(cookies, text_length(cookies) - 2);
    cookies = dedupe_text_parts(cookies, "; ");
    return cookies;
}

}  // namespace tavolen
