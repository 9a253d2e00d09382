#include "regex/regex_object.h"

#include <cmath>
#include <limits>

#include "platform/com/registry.h"

namespace tavolen {

namespace {

// "#引号" in code page 936: a pattern's stand-in for a double quote, so that patterns can be
// written inside quoted texts.
constexpr std::string_view quote_marker = "#\xD2\xFD\xBA\xC5";

// Counts come back as doubles; they become ints by truncation toward zero.
int to_int(double value) {
    if (!(value > std::numeric_limits<int>::min() - 1.0)) return 0;  // NaN and below range
    if (value >= std::numeric_limits<int>::max() + 1.0) return std::numeric_limits<int>::max();
    return static_cast<int>(std::trunc(value));
}

}  // namespace

RegexObject::RegexObject() {
    com::co_initialize();
}

RegexObject::RegexObject(const RegexObject& other) {
    com::co_initialize();
    com_share(regexp_, other.regexp_);
    com_share(matches_, other.matches_);
    variant_copy(subject_, other.subject_);
}

RegexObject::~RegexObject() {
    com_clear(regexp_);
    com_clear(matches_);
    variant_clear(subject_);
    com::co_uninitialize();
}

bool RegexObject::execute(std::string_view pattern, std::string_view subject, bool case_sensitive,
                          bool multiline, bool global, bool quote_escape) {
    com_clear(regexp_);
    com_clear(matches_);
    com_create(regexp_, "VBScript.RegExp");
    // An engine without one of these properties keeps its own setting; the answers don't
    // matter. Ours has no Singleline: "." never crosses a line break.
    com_put(regexp_, "IgnoreCase", !case_sensitive);
    com_put(regexp_, "Multiline", multiline);
    com_put(regexp_, "Singleline", true);
    com_put(regexp_, "Global", global);
    if (quote_escape)
        com_put(regexp_, "Pattern", replace_text(pattern, quote_marker, "\"", 1, {}, true));
    else
        com_put(regexp_, "Pattern", pattern);
    variant_set(subject_, subject);
    // By reference: a subject of some megabytes is not copied once more for the call.
    matches_ = com_call<ComObject>(regexp_, "Execute", by_reference(subject_));
    return !com_is_empty(matches_);
}

Text RegexObject::get_pattern() const {
    if (com_is_empty(regexp_)) return {};
    return com_get<Text>(regexp_, "Pattern");
}

Text RegexObject::replace_matches(std::string_view replacement) const {
    Variant with;
    variant_set(with, replacement);
    return com_call<Text>(regexp_, "Replace", subject_, with);
}

int RegexObject::match_count() const {
    return to_int(com_get<double>(matches_, "Count"));
}

ComObject RegexObject::item(const ComObject& collection, int index) {
    // Index 0 and below name no item; the engine's 0-based index would wrap for INT_MIN.
    if (index < 1) return {};
    return com_get<ComObject>(collection, "Item", index - 1);
}

int RegexObject::locate(const Text& found, const ComObject& match) const {
    // No match, no position: an empty text would otherwise be "found" at the start.
    if (com_is_empty(match)) return -2;
    const Text subject = variant_to_text(subject_);
    const int first_index = to_int(com_get<double>(match, "FirstIndex"));
    const bool ignore_case = compare_text_plain(com_get<Text>(regexp_, "IgnoreCase"), "0") != 0;
    return find_text(subject, found, first_index, ignore_case) - 1;
}

Text RegexObject::match_text(int match_index, int* position) const {
    const ComObject match = item(matches_, match_index);
    Text text = variant_to_text(com_get<Variant>(match, "Value"));
    if (position) *position = locate(text, match);
    return text;
}

Text RegexObject::submatch_text(int match_index, int submatch_index, int* position) const {
    const ComObject match = item(matches_, match_index);
    const ComObject groups = com_get<ComObject>(match, "SubMatches");
    const Text text = submatch_index < 1
                          ? Text{}
                          : variant_to_text(com_get<Variant>(groups, "Item", submatch_index - 1));
    if (position) *position = locate(text, match);
    return text;
}

int RegexObject::submatch_count() const {
    const ComObject first = com_get<ComObject>(matches_, "Item", 0);
    const ComObject groups = com_get<ComObject>(first, "SubMatches");
    return to_int(com_get<double>(groups, "Count"));
}

}  // namespace tavolen
