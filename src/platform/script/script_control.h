#pragma once

// "MSScriptControl.ScriptControl": a script engine driven by late-bound calls.
//   Language  property; put "JavaScript" or "JScript" (any case) before any code runs, anything
//             else is refused. Get answers the language set, or "".
//   AddCode   method (code): runs statements as global code; what they declare stays.
//   Eval      method (expression): evaluates in the same global scope, sloppy mode, and answers
//             the value of the last statement evaluated.
// A script error, a script past its time limit or past the memory cap makes the call fail with
// hr_exception. Each instance has an engine of its own with nothing but the language's built-in
// objects: no host objects, no file, process or network access.
//
// Answers: undefined -> empty, null -> null, booleans -> boolean, integral numbers within 32 bits
// -> i4, other numbers -> r8, strings -> bstr, objects and functions -> an object whose default
// member is their string form (String(value)).

#include "platform/com/dispatch.h"
#include "platform/script/script_engine.h"

namespace tavolen::script {

// The registered factory: a new instance with the default limits, or null when no engine could
// be created.
com::DispatchPtr create_script_control();
com::DispatchPtr create_script_control_with(const ScriptLimits& limits);

}  // namespace tavolen::script
