#pragma once

#include <string>

#include "automation/automation.h"
#include "json/json_object.h"
#include "text/encoding.h"

namespace tavolen::testing {

// Test sources are UTF-8; the system's texts are code page 936.
inline Text gbk(const char* utf8) {
    return utf8_to_ansi(utf8);
}

// Asks the object's engine directly, as none of JsonObject's operations would.
inline Text engine_eval(const JsonObject& json, const char* script) {
    return com_call<Text>(json.engine(), "Eval", script);
}

// A global that injected script would set; "undefined" as long as nothing ran.
inline Text pwned(const JsonObject& json) {
    return engine_eval(json, "typeof pwned");
}

}  // namespace tavolen::testing
