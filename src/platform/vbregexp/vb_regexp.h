#pragma once

// "VBScript.RegExp": the regular-expression automation object, over PCRE2 with 16-bit code
// units. Members (names in any case):
//   RegExp:          Pattern (text), IgnoreCase, Global, Multiline (booleans), get and put;
//                    Execute(subject) -> MatchCollection; Test(subject) -> boolean;
//                    Replace(subject, replacement) -> text, replacement forms $1..$9, $& and $$.
//                    There is no Singleline: "." never matches a line break.
//   MatchCollection: Count; Item(index, 0-based) -> Match (also the default member).
//   Match:           Value (default member), FirstIndex (0-based, UTF-16 units), Length,
//                    SubMatches -> SubMatches.
//   SubMatches:      Count; Item(index, 0-based) -> text, or empty for a group that took no part.
// The syntax is the JavaScript one: classes, bounded and lazy repetition, groups, \w as ASCII
// word characters. A pattern the engine rejects makes Execute, Test and Replace fail with
// hr_exception, and so does a match that exceeds the backtracking limits (a badly
// backtracking pattern ends there instead of running on).

#include "platform/com/dispatch.h"

namespace tavolen::vbregexp {

com::DispatchPtr create_vb_regexp();

}  // namespace tavolen::vbregexp
