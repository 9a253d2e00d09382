#pragma once

// RegexObject: a regular expression run over a text through the "VBScript.RegExp" automation
// object. execute() makes a fresh engine, sets its options and pattern, runs it over the subject
// and keeps the match collection; the other operations read matches and groups out of that
// collection, replace matches in the same subject, or return the pattern. Indexes are 1-based.
// Nothing reports an error: a failure gives false, the empty text or 0.
//
// An object brackets its life with one co_initialize (construction or copy) and one
// co_uninitialize (destruction) on its thread; create, use and destroy it on one thread.

#include <string_view>

#include "automation/automation.h"
#include "text/text.h"

namespace tavolen {

class RegexObject {
  public:
    RegexObject();
    // Shares the engine and the match collection, copies the subject; initialises COM once
    // more on the calling thread so that each object's destruction stays balanced.
    RegexObject(const RegexObject& other);
    RegexObject& operator=(const RegexObject&) = delete;
    ~RegexObject();

    RegexObject copy() const { return RegexObject(*this); }

    // True when the engine ran, also when nothing matched; false when no engine could be made
    // or it refused the pattern. With quote_escape every "#引号" in the pattern stands for a
    // double quote.
    bool execute(std::string_view pattern, std::string_view subject, bool case_sensitive = false,
                 bool multiline = true, bool global = true, bool quote_escape = false);

    // Kept for the operation slot it fills; it does nothing.
    void placeholder() {}

    Text get_pattern() const;
    // The last subject with the last execute's matches replaced ("$1".."$9", "$&", "$$").
    Text replace_matches(std::string_view replacement = {}) const;
    int match_count() const;
    // The text of one match. `position`, when given, receives the match's 0-based byte offset,
    // found by searching the subject for the match text from the engine's offset (in UTF-16
    // units, used as a 1-based byte position), so an equal text one byte earlier wins; -2 when
    // the search finds nothing.
    Text match_text(int match_index, int* position = nullptr) const;
    // The text of one capture group of one match; `position` as for match_text, searched from
    // the whole match's offset.
    Text submatch_text(int match_index, int submatch_index, int* position = nullptr) const;
    // Capture groups of the first match; 0 when nothing matched.
    int submatch_count() const;

  private:
    static ComObject item(const ComObject& collection, int index);
    int locate(const Text& found, const ComObject& match) const;

    ComObject regexp_;
    ComObject matches_;
    Variant subject_ = Variant::from_i4(0);
};

}  // namespace tavolen
