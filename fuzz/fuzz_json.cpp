// Feeds arbitrary reply bodies through the poll loop's reading of a room reply: decode, parse,
// count data.room and data.admin, read the four fields of the first elements. Fuzzed keys are
// read too (a key is script, so this drives the engine's limits as well). Nothing may crash,
// hang or grow without bound; a violated property aborts with a message.
//
// The engines run with a short deadline and a smaller heap cap than the program's, so that a
// runaway script costs a fraction of a second here; the mechanism is the same.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "automation/automation.h"
#include "automation/standard_objects.h"
#include "json/json_object.h"
#include "platform/com/registry.h"
#include "platform/script/script_control.h"
#include "text/encoding.h"
#include "text/text.h"

#include "fuzz_require.h"

using namespace tavolen;

namespace {

constexpr int elements_read = 4;

com::DispatchPtr make_fuzz_script_control() {
    script::ScriptLimits limits;
    limits.memory_bytes = std::size_t{48} << 20;
    limits.time_per_call = std::chrono::milliseconds(150);
    return script::create_script_control_with(limits);
}

bool no_zero(const Text& text) {
    return text.find('\0') == Text::npos;
}

void walk(const JsonObject& reply, const char* array) {
    const int count = reply.member_count(array);
    for (int i = 0; i < std::min(count, elements_read); ++i) {
        const Text prefix = concat_text(array, "[", number_to_text(i), "]");
        for (const char* field : {".uid", ".nickname", ".text", ".timeline"})
            REQUIRE(no_zero(reply.get_text(concat_text(prefix, field))));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The standard set first, then the script control replaced by one with the fuzzing limits.
    register_standard_objects();
    com::register_class("MSScriptControl.ScriptControl", &make_fuzz_script_control);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One object for the whole run, as the poll loop keeps one for a worker's life.
    static JsonObject reply;
    static const int init_count = com::com_init_count();

    FuzzedDataProvider in(data, size);
    const std::string key_a = in.ConsumeRandomLengthString(24);
    const std::string key_b = in.ConsumeRandomLengthString(24);
    const bool as_json = in.ConsumeBool();
    const std::string raw = in.ConsumeRemainingBytesAsString();

    const Text text = url_decode(raw, true);
    const bool parsed = reply.parse(text);
    walk(reply, "data.room");

    // Whatever a document parses to prints as JSON that parses again, to the same text (the
    // first print may lose what code page 936 cannot hold; the second has nothing left to lose).
    if (parsed) {
        const Text printed = reply.to_json();
        REQUIRE(no_zero(printed));
        if (!printed.empty() && printed.size() < 65536) {
            JsonObject again;
            // A number past the double range parses as Infinity, which prints as null.
            if (!again.parse(printed) && printed != "null") {
                std::fprintf(stderr, "printed: %s\n", printed.c_str());
                REQUIRE(!"a printed document parses again");
            }
            const Text reprinted = again.to_json();
            if (!reprinted.empty() && reprinted != "null") {
                JsonObject third;
                REQUIRE(third.parse(reprinted));
                REQUIRE(third.to_json() == reprinted);
            }
        }
    }

    REQUIRE(reply.parse(text) == parsed);
    walk(reply, "data.admin");

    REQUIRE(no_zero(reply.get_text(key_a, as_json)));
    REQUIRE(no_zero(reply.get_text(key_b)));
    (void)reply.member_count(key_a);
    (void)reply.get_type(key_b);
    (void)reply.has_property(key_a);

    // Parsing forever must not pile up COM initialisations on the thread.
    REQUIRE(com::com_init_count() == init_count);
    return 0;
}
