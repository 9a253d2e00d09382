#pragma once

// Small text helpers for cookie headers. A cookie entry is "name=value" (or a bare name); a
// cookie text is entries separated by ";". Texts produced here separate entries by "; ".
// Equality is byte for byte throughout.

#include "text/text.h"

namespace tavolen {

// The text between the first `left` (searched from `start`) and the next `right` after it;
// empty when either is missing. "#引号" in a marker stands for a double quote.
Text text_between(std::string_view text, std::string_view left, std::string_view right,
                  int start = 0, bool ignore_case = false);

// Merges the cookies a response set into the caller's cookie text: the new entries first, then
// the old ones whose names no new entry carries; entries ending in "=deleted" and exact repeats
// are dropped. Blanks are removed from both variables first (inside values too), and `cookies`
// receives the merged text, which is also the result.
Text merge_cookie_text(Text& cookies, Text& new_cookies);

// The entry's name: the part before the first "=", without blanks at either end.
Text cookie_name(std::string_view entry);
bool cookie_list_has_name(const TextArray& list, std::string_view name);
// The text's parts in order with every later repeat of a part removed.
Text dedupe_text_parts(std::string_view text, std::string_view separator);
// 1-based index of the first element equal to text; -1 when there is none.
int find_text_in_list(const TextArray& list, std::string_view text);

}  // namespace tavolen
