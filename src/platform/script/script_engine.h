#pragma once

// One sandboxed ECMAScript engine: its own heap, nothing but the language's built-in objects (no
// file, process or network access of any kind), a cap on the bytes the heap may hold and a
// deadline for every call. This is the engine behind the "MSScriptControl.ScriptControl"
// automation object; it knows nothing of COM and is usable on its own.
//
// Texts go in and come out as UTF-16, exactly as the script sees them: a surrogate pair stays two
// units, a lone surrogate stays one.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavolen::script {

struct ScriptLimits {
    // The heap of a fresh, primed engine is ~0.1 MB and a room reply a few KB, so 128 MiB is
    // several hundred times what the system needs, while a flood of data (a reply of 50 MB
    // decodes to well over that) is refused cleanly instead of swallowing the machine.
    std::size_t memory_bytes = std::size_t{128} << 20;
    // Every call the system makes finishes in microseconds; a script that has kept its thread
    // busy this long is stopped with an error that no script can catch. Processor time of the
    // calling thread: a busy machine does not make a good call fail.
    std::chrono::milliseconds time_per_call{2000};
    // Shortcuts that give the same answers as the general path; switchable so tests can compare.
    bool member_path_shortcut = true;
    bool compile_cache = true;
};

// A value answered by a script, copied out of the engine.
struct ScriptValue {
    enum class Kind { undefined, null, boolean, number, string, object };
    Kind kind = Kind::undefined;
    bool boolean = false;
    double number = 0;
    // The string, or for an object its string form (as String(value) gives it).
    std::u16string text;
    // False for an object whose string form raised an error.
    bool has_text = false;
};

class ScriptEngine {
  public:
    explicit ScriptEngine(const ScriptLimits& limits = {});
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // False when the heap could not be created; every call then fails.
    bool usable() const;

    // Runs statements as global code: what they declare stays for later calls. The answer is the
    // value of the last statement evaluated; empty when the code did not compile or raised an
    // error (the time limit and the memory cap included).
    std::optional<ScriptValue> add_code(std::u16string_view code);
    // Evaluates in the same global scope, sloppy mode, as eval code.
    std::optional<ScriptValue> eval(std::u16string_view code);

    // Bytes the heap holds right now.
    std::size_t heap_bytes() const;

    // False only in a build against an engine library without the interrupt counter, where a
    // script that never ends cannot be stopped.
    static bool enforces_deadline();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The engine's strings are UTF-8 in which each UTF-16 unit of a surrogate pair is encoded on its
// own (CESU-8); these convert both ways without losing a unit. Bytes that decode to nothing
// become U+FFFD.
std::string utf16_to_engine(std::u16string_view units);
std::u16string engine_to_utf16(std::string_view bytes);

}  // namespace tavolen::script
