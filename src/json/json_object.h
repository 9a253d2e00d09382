#pragma once

// JsonObject: one JSON document held in a script engine ("MSScriptControl.ScriptControl",
// language "JavaScript") as the value of a global script variable, queried and edited by having
// the engine evaluate small script texts. Keys and values are script: a key such as
// data.room[3].uid or data.room.length is joined to the variable's name and evaluated as it
// stands. Every failure gives the empty answer of its kind (the empty text, 0, false, -1 for a
// type); nothing is reported.
//
// A document is loaded with JSON.parse, never by evaluating the text: a reply from the network
// is data, and nothing in it runs.
//
// An object, its copies and its engine belong to the thread that constructed it.

#include <string_view>

#include "automation/automation.h"
#include "text/text.h"

namespace tavolen {

// The kind of a value, as get_type answers it and make_empty takes it.
using JsonType = int;
inline constexpr JsonType json_null = 0;  // null or undefined, a missing member included
inline constexpr JsonType json_boolean = 1;
inline constexpr JsonType json_number = 2;
inline constexpr JsonType json_object = 4;
inline constexpr JsonType json_array = 5;
inline constexpr JsonType json_string = 6;
inline constexpr JsonType json_other = -1;  // anything else, or the evaluation failed

class JsonObject {
  public:
    // Names the document "da" and sets up a primed engine holding an empty object.
    JsonObject();
    // Runs destroy() unless it has run already.
    ~JsonObject();
    JsonObject(const JsonObject&) = delete;
    JsonObject& operator=(const JsonObject&) = delete;
    // Moving hands the engine reference and the pending destroy() over.
    JsonObject(JsonObject&& other) noexcept;
    JsonObject& operator=(JsonObject&& other) noexcept;

    // Releases this reference to the engine, ends one COM initialisation of the thread and
    // frees the name. Copies that share the engine keep it. Runs once; later calls do nothing.
    void destroy();
    // Same name, same engine (shared): a change through one is seen through the other. The copy
    // holds a COM initialisation of its own, which its destroy() ends.
    JsonObject copy() const;
    // Initialises COM, creates and primes a new engine, declares the document as {}.
    void init_engine();
    // Loads a JSON text into a new engine, which takes over the old engine's COM initialisation.
    // True when the document is neither null nor undefined; a text that is not JSON answers
    // false and leaves the document null.
    bool parse(std::string_view text);

    Text to_json() const;
    // Sets a member to the quoted text, or with as_object to the value of the script text
    // (an empty one stores {}).
    void set_property(std::string_view key, std::string_view value, bool as_object = false);
    void set_property_json(std::string_view key, std::string_view value);
    void set_property_number(std::string_view key, double value);
    double get_number(std::string_view key) const;
    Text property_to_json(std::string_view key) const;
    Text get_text(std::string_view key, bool as_json = false) const;
    // The member as a document of its own, in an engine of its own.
    JsonObject get_object(std::string_view key) const;
    int member_count(std::string_view key = {}) const;
    void array_push(std::string_view value, std::string_view key = {}, bool raw = false);
    JsonObject get_array_object(int index, std::string_view key = {}) const;
    Text get_array_text(int index, std::string_view key = {}, bool as_json = false) const;
    void set_array_item(int index, std::string_view value, bool raw = false);
    void remove_array_item(int index);
    void delete_property(std::string_view key);
    // 0 or 4: an empty object; 5: an empty array; any other code does nothing.
    void make_empty(JsonType type);
    void set_value(std::string_view value, bool raw = false);
    bool has_property(std::string_view key) const;
    // Replaces keys by the member names of the value and answers their number.
    int list_keys(TextArray& keys, std::string_view key = {}) const;
    JsonType get_type(std::string_view key = {}) const;
    void clear();

    // The engine, for tests and tools that look inside.
    const ComObject& engine() const { return engine_; }

  private:
    struct NoEngine {};
    explicit JsonObject(NoEngine) {}

    Text name_;
    ComObject engine_;
    bool destroyed_ = false;
};

// The script every new engine is primed with: get__count, the JSON polyfill (whose every
// definition steps aside for the engine's native JSON) and the toJSONString / parseJSON pair.
std::string_view json_priming_script();

// A script string literal, in double quotes and plain ASCII, holding exactly the UTF-16 units
// that the text converts to; every other character is written as a \u escape.
Text script_string_literal(std::string_view text);

}  // namespace tavolen
