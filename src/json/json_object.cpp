#include "json/json_object.h"

#include <cmath>
#include <limits>
#include <utility>

#include "platform/com/registry.h"

namespace tavolen {

namespace {

constexpr std::string_view script_control_prog_id = "MSScriptControl.ScriptControl";

// The join of a key to the document's name where a leading "[" means an index: da[0].uid.
std::string_view separator_for(std::string_view key) {
    return text_left(key, 1) == "[" ? std::string_view() : std::string_view(".");
}

// The path of an optional key: the name alone when the key is empty.
Text optional_path(const Text& name, std::string_view key) {
    if (key.empty()) return name;
    return concat_text(name, ".", key);
}

Text eval_text(const ComObject& engine, const Text& script) {
    return com_call<Text>(engine, "Eval", script);
}
double eval_number(const ComObject& engine, const Text& script) {
    return com_call<double>(engine, "Eval", script);
}
bool eval_bool(const ComObject& engine, const Text& script) {
    return com_call<bool>(engine, "Eval", script);
}
void eval_only(const ComObject& engine, const Text& script) {
    com_call<void>(engine, "Eval", script);
}

// Truncation toward zero into 32 bits; what does not fit (NaN, infinities) gives 0.
int truncate_to_int(double value) {
    if (!std::isfinite(value)) return 0;
    value = std::trunc(value);
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(value);
}

Text quote_for(bool raw) {
    return raw ? Text() : Text("'");
}

}  // namespace

namespace {

void append_script_string_literal(Text& out, std::string_view text) {
    // The literal travels to the engine like every script text, through code page 936. So
    // that no byte of the text can end the literal early, whatever the code page makes of it,
    // the only bytes copied as they stand are printable ASCII other than the quote and the
    // backslash, and whole two-byte characters (a lead byte with a valid trail byte, which
    // converts as one unit even when the trail byte is a backslash). Everything else is
    // written as an escape of the unit the conversion gives it.
    static constexpr char hex[] = "0123456789abcdef";
    auto escape = [](Text& out, unsigned unit) {
        out += "\\u";
        out.push_back(hex[(unit >> 12) & 0xF]);
        out.push_back(hex[(unit >> 8) & 0xF]);
        out.push_back(hex[(unit >> 4) & 0xF]);
        out.push_back(hex[unit & 0xF]);
    };
    out.reserve(out.size() + text.size() + text.size() / 8 + 3);
    out.push_back('"');
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
            // A run of plain ASCII, the bulk of a reply, goes in one piece.
            std::size_t end = i + 1;
            while (end < n) {
                const auto c = static_cast<unsigned char>(text[end]);
                if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') break;
                ++end;
            }
            out.append(text.substr(i, end - i));
            i = end - 1;
            continue;
        }
        if (b < 0x80) {
            if (b == '"' || b == '\\') {
                out.push_back('\\');
                out.push_back(static_cast<char>(b));
            } else {
                escape(out, b);
            }
            continue;
        }
        const bool lead = b >= 0x81 && b <= 0xFE;
        const auto t = i + 1 < n ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (lead && t >= 0x40 && t <= 0xFE && t != 0x7F) {
            out.push_back(static_cast<char>(b));
            out.push_back(static_cast<char>(t));
            ++i;
        } else {
            // 0x80, 0xFF, or a lead byte without its trail byte: rare, converted on its own.
            for (char16_t unit : text_to_bstr(text.substr(i, 1))) escape(out, unit);
        }
    }
    out.push_back('"');
}

}  // namespace

Text script_string_literal(std::string_view text) {
    Text out;
    append_script_string_literal(out, text);
    return out;
}

// --- construction, copy, destruction -----------------------------------------------------------

JsonObject::JsonObject() {
    name_ = "da";
    init_engine();
}

JsonObject::~JsonObject() {
    destroy();
}

JsonObject::JsonObject(JsonObject&& other) noexcept
    : name_(std::move(other.name_)),
      engine_(std::move(other.engine_)),
      destroyed_(std::exchange(other.destroyed_, true)) {}

JsonObject& JsonObject::operator=(JsonObject&& other) noexcept {
    if (this != &other) {
        destroy();
        name_ = std::move(other.name_);
        engine_ = std::move(other.engine_);
        destroyed_ = std::exchange(other.destroyed_, true);
    }
    return *this;
}

void JsonObject::destroy() {
    // Once only: a second destroy would end a COM initialisation that belongs to someone else.
    if (destroyed_) return;
    com_clear(engine_);
    com::co_uninitialize();
    name_.clear();
    destroyed_ = true;
}

JsonObject JsonObject::copy() const {
    // Every object ends one COM initialisation when it is destroyed, so a copy begins one of its
    // own: destroying a copy must not end the initialisation that its source still relies on.
    com::co_initialize();
    JsonObject result{NoEngine{}};
    result.name_ = name_;
    com_share(result.engine_, engine_);
    return result;
}

void JsonObject::init_engine() {
    com::co_initialize();
    com_create(engine_, script_control_prog_id);
    com_put(engine_, "Language", "JavaScript");
    com_call<double>(engine_, "AddCode", json_priming_script());
    eval_number(engine_, concat_text("var ", name_, "={}"));
}

bool JsonObject::parse(std::string_view text) {
    if (!com_is_empty(engine_)) {
        com_clear(engine_);
        init_engine();
        // The new engine's initialisation takes the place of the old one's: the poll loop parses
        // forever, and the thread's count must not grow with every reply.
        com::co_uninitialize();
    }
    if (com_is_empty(engine_)) return false;
    eval_number(engine_, concat_text("var ", name_, "=null"));
    // The text reaches the engine as a string value for JSON.parse, never as script source: a
    // reply is data, and whatever it holds cannot run.
    Text script = concat_text("var ", name_, "=JSON.parse(");
    append_script_string_literal(script, text);
    script += ")";
    com_call<double>(engine_, "AddCode", script);
    return eval_bool(engine_, concat_text("null !=", name_));
}

// --- readers -------------------------------------------------------------------------------

Text JsonObject::to_json() const {
    return eval_text(engine_, concat_text("JSON.stringify(", name_, ")"));
}

double JsonObject::get_number(std::string_view key) const {
    return eval_number(engine_, concat_text(name_, ".", key));
}

Text JsonObject::property_to_json(std::string_view key) const {
    return eval_text(engine_, concat_text("JSON.stringify(", name_, ".", key, ")"));
}

Text JsonObject::get_text(std::string_view key, bool as_json) const {
    const std::string_view separator = separator_for(key);
    if (as_json)
        return eval_text(engine_, concat_text("JSON.stringify(", name_, separator, key, ")"));
    if (com_is_empty(engine_)) return {};
    if (get_type(key) == json_number) return number_to_text(get_number(key));
    return eval_text(engine_, concat_text(name_, separator, key));
}

int JsonObject::member_count(std::string_view key) const {
    Text path;
    if (key.empty())
        path = name_;
    else if (text_left(key, 1) == "[")
        path = concat_text(name_, key);
    else
        path = concat_text(name_, ".", key);
    return truncate_to_int(eval_number(engine_, concat_text("get__count(", path, ")")));
}

JsonType JsonObject::get_type(std::string_view key) const {
    const Text path = optional_path(name_, key);
    if (eval_bool(engine_, concat_text(path, "==null"))) return json_null;
    const Text type = eval_text(engine_, concat_text("typeof (", path, ")"));
    if (compare_text_plain(type, "string") == 0) return json_string;
    if (compare_text_plain(type, "object") == 0) {
        const Text printed = eval_text(engine_, concat_text("JSON.stringify(", path, ")"));
        return text_left(printed, 1) == "[" ? json_array : json_object;
    }
    if (compare_text_plain(type, "number") == 0) return json_number;
    if (compare_text_plain(type, "boolean") == 0) return json_boolean;
    return json_other;
}

bool JsonObject::has_property(std::string_view key) const {
    return eval_bool(engine_, concat_text(name_, ".", key, " !=null"));
}

int JsonObject::list_keys(TextArray& keys, std::string_view key) const {
    const Text path = optional_path(name_, key);
    Text listing = eval_text(
        engine_, concat_text("var ary=''; for (var key in ", path, ") {ary=ary+ key+','; }"));
    listing = replace_text(listing, "toJSONString,", "", 1, std::nullopt, true);
    listing = replace_text(listing, "parseJSON,", "", 1, std::nullopt, true);
    Variant reset = com_call<Variant>(engine_, "Eval", "ary=null");
    variant_clear(reset);
    keys = split_text(listing, ",");
    return array_size(keys);
}

JsonObject JsonObject::get_object(std::string_view key) const {
    JsonObject member;
    member.parse(
        eval_text(engine_, concat_text("JSON.stringify(", name_, separator_for(key), key, ")")));
    JsonObject result = member.copy();
    member.destroy();
    return result;
}

JsonObject JsonObject::get_array_object(int index, std::string_view key) const {
    JsonObject element;
    element.parse(eval_text(engine_, concat_text("JSON.stringify(", optional_path(name_, key), "[",
                                                 number_to_text(index), "])")));
    JsonObject result = element.copy();
    element.destroy();
    return result;
}

Text JsonObject::get_array_text(int index, std::string_view key, bool as_json) const {
    const Text element = concat_text(optional_path(name_, key), "[", number_to_text(index), "]");
    if (as_json) return eval_text(engine_, concat_text("JSON.stringify(", element, ")"));
    return eval_text(engine_, element);
}

// --- editors -------------------------------------------------------------------------------
// Values are inserted as they stand, between single quotes unless the caller asks for a raw
// value: a value holding a quote breaks its script, which then changes nothing.

void JsonObject::set_property(std::string_view key, std::string_view value, bool as_object) {
    if (!as_object) {
        eval_only(engine_, concat_text(name_, ".", key, "='", value, "'"));
        return;
    }
    const std::string_view script_value = value.empty() ? std::string_view("{}") : value;
    eval_only(engine_, concat_text(name_, ".", key, "= eval(", script_value, ")"));
}

void JsonObject::set_property_json(std::string_view key, std::string_view value) {
    eval_only(engine_, concat_text(name_, ".", key, "= eval(", value, ")"));
}

void JsonObject::set_property_number(std::string_view key, double value) {
    eval_only(engine_, concat_text(name_, ".", key, "=", number_to_text(value)));
}

void JsonObject::array_push(std::string_view value, std::string_view key, bool raw) {
    const Text path = optional_path(name_, key);
    const Text q = quote_for(raw);
    eval_only(engine_,
              concat_text("if (Object.prototype.toString.call(", path, ") != '[object Array]') { ",
                          path, "=new Array();} ", path, ".push(", q, value, q, ")"));
}

void JsonObject::set_array_item(int index, std::string_view value, bool raw) {
    const Text q = quote_for(raw);
    eval_only(engine_, concat_text(name_, "[", number_to_text(index), "]=", q, value, q));
}

void JsonObject::remove_array_item(int index) {
    eval_only(engine_, concat_text(name_, ".splice(", number_to_text(index), ",1)"));
}

void JsonObject::delete_property(std::string_view key) {
    eval_text(engine_, concat_text("delete ", name_, ".", key));
}

void JsonObject::make_empty(JsonType type) {
    if (type == json_null || type == json_object)
        eval_number(engine_, concat_text("var ", name_, "={}"));
    else if (type == json_array)
        eval_number(engine_, concat_text("var ", name_, "=new Array()"));
}

void JsonObject::set_value(std::string_view value, bool raw) {
    const Text q = quote_for(raw);
    eval_bool(engine_, concat_text(name_, "=", q, value, q));
}

void JsonObject::clear() {
    eval_only(engine_, concat_text(name_, "={}"));
}

}  // namespace tavolen
