#include "platform/script/script_control.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace tavolen::script {

namespace {

using com::HResult;
using com::InvokeKind;
using com::Variant;

// An object or function answered by Eval. It keeps only the value's string form, which is all
// that a caller can ask of it through its default member.
class ScriptObjectValue final : public com::Dispatch {
  public:
    explicit ScriptObjectValue(std::optional<std::u16string> text) : text_(std::move(text)) {}

    HResult invoke(std::string_view name, InvokeKind kind, std::span<Variant> args,
                   Variant& result) override {
        if (!name.empty() && !com::same_name(name, "toString")) return com::hr_unknown_name;
        if (kind == InvokeKind::property_put) return com::hr_member_not_found;
        if (!args.empty()) return com::hr_bad_param_count;
        if (!text_) return com::hr_exception;
        result = Variant::from_bstr(*text_);
        return com::hr_ok;
    }

  private:
    std::optional<std::u16string> text_;
};

Variant to_variant(const ScriptValue& value) {
    switch (value.kind) {
        case ScriptValue::Kind::undefined:
            return Variant();
        case ScriptValue::Kind::null:
            return Variant::make_null();
        case ScriptValue::Kind::boolean:
            return Variant::from_bool(value.boolean);
        case ScriptValue::Kind::number: {
            // Integral values travel as 32-bit integers, as the script engines of the platform
            // answer them; -0 keeps its sign as a double.
            double d = value.number;
            if (d >= INT32_MIN && d <= INT32_MAX && d == std::trunc(d) &&
                !(d == 0 && std::signbit(d)))
                return Variant::from_i4(static_cast<std::int32_t>(d));
            return Variant::from_r8(d);
        }
        case ScriptValue::Kind::string:
            return Variant::from_bstr(value.text);
        case ScriptValue::Kind::object:
            return Variant::from_dispatch(com::make_com<ScriptObjectValue>(
                value.has_text ? std::optional<std::u16string>(value.text) : std::nullopt));
    }
    return Variant();
}

class ScriptControl final : public com::Dispatch {
  public:
    explicit ScriptControl(const ScriptLimits& limits) : engine_(limits) {}

    bool usable() const { return engine_.usable(); }

    HResult invoke(std::string_view name, InvokeKind kind, std::span<Variant> args,
                   Variant& result) override {
        if (com::same_name(name, "Language")) return language(kind, args, result);
        const bool add_code = com::same_name(name, "AddCode");
        if (!add_code && !com::same_name(name, "Eval")) return com::hr_unknown_name;
        if (kind != InvokeKind::method) return com::hr_member_not_found;
        if (args.size() != 1) return com::hr_bad_param_count;
        // A text argument is used where it lies: a document's text may be tens of megabytes.
        Variant converted;
        const com::Bstr* code = args[0].deref().bstr();
        if (code == nullptr) {
            if (com::failed(
                    com::variant_change_type(converted, args[0].deref(), com::VarType::bstr)))
                return com::hr_type_mismatch;
            code = converted.bstr();
        }
        // No code runs before a language is chosen, as with the platform's control.
        if (language_.empty()) return com::hr_unexpected;
        const com::Bstr& text = *code;
        std::optional<ScriptValue> value = add_code ? engine_.add_code(text) : engine_.eval(text);
        if (!value) return com::hr_exception;
        if (!add_code) result = to_variant(*value);
        return com::hr_ok;
    }

  private:
    HResult language(InvokeKind kind, std::span<Variant> args, Variant& result) {
        if (kind == InvokeKind::property_get) {
            if (!args.empty()) return com::hr_bad_param_count;
            result = Variant::from_bstr(language_);
            return com::hr_ok;
        }
        if (kind != InvokeKind::property_put) return com::hr_member_not_found;
        if (args.size() != 1) return com::hr_bad_param_count;
        const com::Bstr* requested = args.back().deref().bstr();
        if (requested == nullptr) return com::hr_type_mismatch;
        std::string ascii;
        for (char16_t u : *requested) {
            if (u >= 0x80) return com::hr_invalid_arg;
            ascii.push_back(static_cast<char>(u));
        }
        if (!com::same_name(ascii, "JavaScript") && !com::same_name(ascii, "JScript"))
            return com::hr_invalid_arg;
        language_ = *requested;
        return com::hr_ok;
    }

    ScriptEngine engine_;
    com::Bstr language_;
};

}  // namespace

com::DispatchPtr create_script_control_with(const ScriptLimits& limits) {
    auto control = com::make_com<ScriptControl>(limits);
    if (!control->usable()) return nullptr;
    return control;
}

com::DispatchPtr create_script_control() {
    return create_script_control_with(ScriptLimits{});
}

}  // namespace tavolen::script
