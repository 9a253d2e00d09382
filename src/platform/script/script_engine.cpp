#include "platform/script/script_engine.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include "duktape.h"
#include "platform/clock/work_deadline.h"
#include "platform/script/heap_arena.h"

namespace tavolen::script {

namespace {

// Per-heap bookkeeping, reached by the allocator and the deadline check through the heap's
// user data pointer.
struct HeapState {
    explicit HeapState(std::size_t cap) : arena(cap) {}
    HeapArena arena;
    std::optional<platform::WorkDeadline> deadline;  // set while a call runs
};

void* heap_alloc(void* udata, duk_size_t size) {
    return static_cast<HeapState*>(udata)->arena.allocate(size);
}

void heap_free(void* udata, void* ptr) {
    static_cast<HeapState*>(udata)->arena.release(ptr);
}

void* heap_realloc(void* udata, void* ptr, duk_size_t size) {
    return static_cast<HeapState*>(udata)->arena.reallocate(ptr, size);
}

// Every entry into the engine is a protected call, so nothing should ever reach this; if the
// engine itself finds its state corrupt, stopping is the only safe thing left.
void heap_fatal(void*, const char*) {
    std::abort();
}

// Compiled code, keyed by the compile mode and the source. Programs the system sends are a small
// fixed set (the priming script, the parse steps), so loading their bytecode replaces compiling
// them in every new engine. Bytecode is what the compiler produced for the very same source, so
// the answers cannot differ.
struct CompileCache {
    static constexpr std::size_t max_source = 16 * 1024;
    static constexpr std::size_t max_entries = 512;
    std::unordered_map<std::string, std::string> entries;
};

CompileCache& compile_cache() {
    thread_local CompileCache cache;
    return cache;
}

// --- member-path shortcut -----------------------------------------------------------------

// The scripts that read a document are member paths such as da.data.room[3].uid, alone, as
// "typeof (path)" or as "path==null". They are answered by walking the values with the engine's
// own property access, which raises the same errors and runs the same getters as the compiled
// script would, without compiling anything.
struct MemberPath {
    enum class Op { value, is_null, type_of };
    static constexpr int max_keys = 16;
    Op op = Op::value;
    std::string_view root;
    std::array<std::string_view, max_keys> keys{};
    // For a key written as an index, its value (as the compiled script passes a number key);
    // -1 for a name.
    std::array<long, max_keys> indexes{};
    int key_count = 0;
};

bool is_ident_start(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
}
bool is_ident_part(char c) {
    return is_ident_start(c) || (c >= '0' && c <= '9');
}

bool is_reserved_word(std::string_view word) {
    if (word.size() < 2 || word.size() > 10 || word[0] < 'a' || word[0] > 'y') return false;
    static constexpr std::string_view words[] = {
        "break",   "case",       "catch",     "class",    "const",  "continue",   "debugger",
        "default", "delete",     "do",        "else",     "enum",   "export",     "extends",
        "false",   "finally",    "for",       "function", "if",     "implements", "import",
        "in",      "instanceof", "interface", "let",      "new",    "null",       "package",
        "private", "protected",  "public",    "return",   "static", "super",      "switch",
        "this",    "throw",      "true",      "try",      "typeof", "var",        "void",
        "while",   "with",       "yield"};
    for (auto w : words)
        if (w == word) return true;
    return false;
}

bool parse_member_path(std::string_view src, MemberPath& path) {
    constexpr std::string_view typeof_open = "typeof (";
    constexpr std::string_view null_test = "==null";
    if (src.starts_with(typeof_open) && src.ends_with(")")) {
        path.op = MemberPath::Op::type_of;
        src = src.substr(typeof_open.size(), src.size() - typeof_open.size() - 1);
    } else if (src.ends_with(null_test)) {
        path.op = MemberPath::Op::is_null;
        src.remove_suffix(null_test.size());
    }
    std::size_t i = 0;
    auto identifier = [&]() -> std::string_view {
        std::size_t start = i;
        if (i >= src.size() || !is_ident_start(src[i])) return {};
        while (i < src.size() && is_ident_part(src[i])) ++i;
        return src.substr(start, i - start);
    };
    path.root = identifier();
    if (path.root.empty() || is_reserved_word(path.root)) return false;
    while (i < src.size()) {
        if (path.key_count == MemberPath::max_keys) return false;
        if (src[i] == '.') {
            ++i;
            auto name = identifier();
            if (name.empty()) return false;
            path.indexes[path.key_count] = -1;
            path.keys[path.key_count++] = name;
        } else if (src[i] == '[') {
            // Plain decimal indexes only: 03 would be an octal literal, 1e3 a different key.
            std::size_t start = ++i;
            while (i < src.size() && src[i] >= '0' && src[i] <= '9') ++i;
            std::size_t digits = i - start;
            if (digits == 0 || digits > 9 || (digits > 1 && src[start] == '0')) return false;
            if (i >= src.size() || src[i] != ']') return false;
            long index = 0;
            for (std::size_t d = start; d < i; ++d) index = index * 10 + (src[d] - '0');
            path.indexes[path.key_count] = index;
            path.keys[path.key_count++] = src.substr(start, digits);
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

const char* type_name(duk_context* ctx, duk_idx_t idx) {
    switch (duk_get_type(ctx, idx)) {
        case DUK_TYPE_UNDEFINED:
            return "undefined";
        case DUK_TYPE_NULL:
            return "object";
        case DUK_TYPE_BOOLEAN:
            return "boolean";
        case DUK_TYPE_NUMBER:
            return "number";
        case DUK_TYPE_STRING:
            return duk_is_symbol(ctx, idx) ? "symbol" : "string";
        case DUK_TYPE_POINTER:
            return "pointer";
        case DUK_TYPE_LIGHTFUNC:
            return "function";
        default:
            return duk_is_function(ctx, idx) ? "function" : "object";
    }
}

duk_ret_t walk_member_path(duk_context* ctx, void* udata) {
    const auto& path = *static_cast<const MemberPath*>(udata);
    duk_push_global_object(ctx);
    if (!duk_has_prop_lstring(ctx, -1, path.root.data(), path.root.size())) {
        // typeof of an unresolvable name is the one access that does not raise.
        if (path.op == MemberPath::Op::type_of && path.key_count == 0) {
            duk_push_string(ctx, "undefined");
            return 1;
        }
        return duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "identifier not defined");
    }
    duk_get_prop_lstring(ctx, -1, path.root.data(), path.root.size());
    for (int k = 0; k < path.key_count; ++k) {
        // Raises a TypeError on undefined and null, as the property access of a script does.
        // An index goes in as a number, which reaches an array's elements without making a
        // string of it, exactly as the compiled da.room[3] does.
        if (path.indexes[k] >= 0)
            duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(path.indexes[k]));
        else
            duk_get_prop_lstring(ctx, -1, path.keys[k].data(), path.keys[k].size());
        duk_remove(ctx, -2);
    }
    switch (path.op) {
        case MemberPath::Op::value:
            break;
        case MemberPath::Op::is_null:
            duk_push_boolean(ctx, duk_is_null_or_undefined(ctx, -1));
            break;
        case MemberPath::Op::type_of:
            duk_push_string(ctx, type_name(ctx, -1));
            break;
    }
    return 1;
}

// --- compiled scripts -------------------------------------------------------------------------

struct RunRequest {
    const char* source = nullptr;
    std::size_t length = 0;
    duk_uint_t flags = 0;
    const std::string* bytecode = nullptr;  // load this instead of compiling
    std::string* dump_to = nullptr;         // keep the compiled bytecode here
};

duk_ret_t run_script(duk_context* ctx, void* udata) {
    auto& req = *static_cast<RunRequest*>(udata);
    if (req.bytecode != nullptr) {
        void* buf = duk_push_fixed_buffer(ctx, req.bytecode->size());
        std::memcpy(buf, req.bytecode->data(), req.bytecode->size());
        duk_load_function(ctx);
    } else {
        duk_compile_raw(ctx, req.source, req.length,
                        req.flags | DUK_COMPILE_NOSOURCE | DUK_COMPILE_NOFILENAME);
        if (req.dump_to != nullptr) {
            duk_dup_top(ctx);
            duk_dump_function(ctx);
            duk_size_t size = 0;
            const void* data = duk_get_buffer(ctx, -1, &size);
            req.dump_to->assign(static_cast<const char*>(data), size);
            duk_pop(ctx);
        }
    }
    // Global code runs with the global object as this, as eval does.
    duk_push_global_object(ctx);
    duk_call_method(ctx, 0);
    return 1;
}

// The engine's own additions to the global object. None of them reaches outside the heap, but
// no script here needs them, and a sandbox holds the language's built-in objects only.
duk_ret_t remove_engine_extras(duk_context* ctx, void*) {
    duk_push_global_object(ctx);
    for (const char* name : {"Duktape", "CBOR", "TextEncoder", "TextDecoder", "performance"})
        duk_del_prop_string(ctx, -1, name);
    return 0;
}

duk_ret_t value_to_string(duk_context* ctx, void*) {
    duk_to_string(ctx, -1);
    return 1;
}

}  // namespace

// The engine calls this every few thousand instructions when built with the interrupt counter.
// Once it answers true it keeps doing so, and the engine keeps raising the error at every catch
// point until the whole call has unwound: no script can catch its way past the deadline.
extern "C" int tavolen_script_deadline_passed(void* udata) {
    auto* state = static_cast<HeapState*>(udata);
    return state->deadline && state->deadline->passed() ? 1 : 0;
}

// --- UTF-16 <-> engine bytes ------------------------------------------------------------------

std::string utf16_to_engine(std::u16string_view units) {
    // Sized exactly first: a document's source may be tens of megabytes.
    std::size_t length = 0;
    for (char16_t u : units) length += u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
    std::string out(length, '\0');
    char* o = out.data();
    for (char16_t u : units) {
        if (u < 0x80) {
            *o++ = static_cast<char>(u);
        } else if (u < 0x800) {
            *o++ = static_cast<char>(0xC0 | (u >> 6));
            *o++ = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            // Surrogates too are written one unit at a time, so a pair stays two characters
            // for the script, as it is in UTF-16.
            *o++ = static_cast<char>(0xE0 | (u >> 12));
            *o++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::u16string engine_to_utf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int extra;
        std::uint32_t cp;
        if (b >= 0xC0 && b < 0xE0) {
            extra = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b < 0xF0) {
            extra = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b < 0xF8) {
            extra = 3;
            cp = b & 0x07;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (i + extra >= n) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            auto c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        i += extra + 1;
        if (cp < 0x10000) {
            out.push_back(static_cast<char16_t>(cp));
        } else if (cp <= 0x10FFFF) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
        } else {
            out.push_back(0xFFFD);
        }
    }
    return out;
}

// --- the engine -------------------------------------------------------------------------------

struct ScriptEngine::Impl {
    explicit Impl(const ScriptLimits& l) : limits(l), state(l.memory_bytes) {}
    ScriptLimits limits;
    HeapState state;
    duk_context* ctx = nullptr;

    std::optional<ScriptValue> run(std::u16string_view code, bool eval_code);
    std::optional<ScriptValue> take_result(duk_int_t rc);
    void arm() {
        state.deadline.emplace(limits.time_per_call);
    }
};

ScriptEngine::ScriptEngine(const ScriptLimits& limits) : impl_(std::make_unique<Impl>(limits)) {
    duk_context* ctx =
        duk_create_heap(heap_alloc, heap_realloc, heap_free, &impl_->state, heap_fatal);
    if (ctx == nullptr) return;
    if (duk_safe_call(ctx, remove_engine_extras, nullptr, 0, 1) != DUK_EXEC_SUCCESS) return;
    duk_pop(ctx);
    impl_->ctx = ctx;
}

// Every block of the heap lives in the arena, and no script can register a finalizer (the
// engine object that offers them is gone), so dropping the arena is the whole teardown: no
// final collection over a heap that is thrown away anyway.
ScriptEngine::~ScriptEngine() = default;

bool ScriptEngine::usable() const {
    return impl_->ctx != nullptr;
}

std::size_t ScriptEngine::heap_bytes() const {
    return impl_->state.arena.used();
}

bool ScriptEngine::enforces_deadline() {
#ifdef TAVOLEN_SCRIPT_DEADLINE
    return true;
#else
    return false;
#endif
}

std::optional<ScriptValue> ScriptEngine::add_code(std::u16string_view code) {
    return impl_->run(code, false);
}

std::optional<ScriptValue> ScriptEngine::eval(std::u16string_view code) {
    return impl_->run(code, true);
}

std::optional<ScriptValue> ScriptEngine::Impl::run(std::u16string_view code, bool eval_code) {
    if (ctx == nullptr) return std::nullopt;
    // Source the heap could never hold is refused before it is even converted.
    if (code.size() > limits.memory_bytes) return std::nullopt;
    const std::string source = utf16_to_engine(code);

    if (eval_code && limits.member_path_shortcut) {
        MemberPath path;
        if (parse_member_path(source, path)) {
            arm();
            duk_int_t rc = duk_safe_call(ctx, walk_member_path, &path, 0, 1);
            return take_result(rc);
        }
    }

    RunRequest req;
    req.source = source.data();
    req.length = source.size();
    req.flags = eval_code ? DUK_COMPILE_EVAL : 0;

    std::string key;
    std::string fresh_bytecode;
    CompileCache* cache = nullptr;
    if (limits.compile_cache && source.size() <= CompileCache::max_source) {
        cache = &compile_cache();
        key.reserve(source.size() + 1);
        key.push_back(eval_code ? 'e' : 'p');
        key.append(source);
        auto hit = cache->entries.find(key);
        if (hit != cache->entries.end())
            req.bytecode = &hit->second;
        else
            req.dump_to = &fresh_bytecode;
    }

    arm();
    duk_int_t rc = duk_safe_call(ctx, run_script, &req, 0, 1);
    if (req.dump_to != nullptr && !fresh_bytecode.empty()) {
        // Only code that compiled is kept (the dump happens right after compiling, so a script
        // that compiled and then raised an error is kept too: its next run raises it again).
        if (cache->entries.size() >= CompileCache::max_entries) cache->entries.clear();
        cache->entries.emplace(std::move(key), std::move(fresh_bytecode));
    }
    return take_result(rc);
}

std::optional<ScriptValue> ScriptEngine::Impl::take_result(duk_int_t rc) {
    if (rc != DUK_EXEC_SUCCESS) {
        state.deadline.reset();
        duk_pop(ctx);
        return std::nullopt;
    }
    ScriptValue value;
    auto read_text = [&](duk_idx_t idx) {
        duk_size_t len = 0;
        const char* s = duk_get_lstring(ctx, idx, &len);
        value.text = engine_to_utf16(std::string_view(s != nullptr ? s : "", len));
        value.has_text = true;
    };
    switch (duk_get_type(ctx, -1)) {
        case DUK_TYPE_UNDEFINED:
            value.kind = ScriptValue::Kind::undefined;
            break;
        case DUK_TYPE_NULL:
            value.kind = ScriptValue::Kind::null;
            break;
        case DUK_TYPE_BOOLEAN:
            value.kind = ScriptValue::Kind::boolean;
            value.boolean = duk_get_boolean(ctx, -1) != 0;
            break;
        case DUK_TYPE_NUMBER:
            value.kind = ScriptValue::Kind::number;
            value.number = duk_get_number(ctx, -1);
            break;
        case DUK_TYPE_STRING:
            if (!duk_is_symbol(ctx, -1)) {
                value.kind = ScriptValue::Kind::string;
                read_text(-1);
                break;
            }
            [[fallthrough]];
        default:
            // Objects, functions and the engine's own kinds: their string form, if they have
            // one. A toString that raises or loops leaves the object without text.
            value.kind = ScriptValue::Kind::object;
            if (duk_safe_call(ctx, value_to_string, nullptr, 1, 1) == DUK_EXEC_SUCCESS &&
                duk_is_string(ctx, -1))
                read_text(-1);
            break;
    }
    state.deadline.reset();
    duk_pop(ctx);
    return value;
}

}  // namespace tavolen::script
