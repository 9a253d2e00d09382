#include "automation/automation.h"

#include "automation/standard_objects.h"
#include "platform/codepage/codepage.h"
#include "platform/com/registry.h"

namespace tavolen {

// Texts end at their first zero byte, as they do everywhere in the system; a BSTR may hold zero
// units (a script string with "\u0000" in it, say), and what follows the first one is cut off
// rather than carried into a text as a zero byte.
com::Bstr text_to_bstr(std::string_view text) {
    return codepage::multi_byte_to_wide_char(codepage::cp_acp, text.substr(0, text.find('\0')));
}

Text bstr_to_text(const com::Bstr& bstr) {
    const std::u16string_view units(bstr);
    return codepage::wide_char_to_multi_byte(codepage::cp_acp, units.substr(0, units.find(u'\0')));
}

bool com_create(ComObject& object, std::string_view prog_id) {
    register_standard_objects();
    com::DispatchPtr created;
    if (com::failed(com::create_instance(prog_id, created))) return false;
    object.object_ = std::move(created);
    return true;
}

bool com_is_empty(const ComObject& object) {
    return !object.dispatch();
}

void com_clear(ComObject& object) {
    object.object_.reset();
}

void com_share(ComObject& target, const ComObject& source) {
    target.object_ = source.object_;
}

namespace detail {

Variant argument(std::string_view text) {
    return Variant::from_bstr(text_to_bstr(text));
}

com::HResult invoke(const ComObject& object, std::string_view name, com::InvokeKind kind,
                    std::span<Variant> args, Variant& result) {
    const com::DispatchPtr& target = object.dispatch();
    if (!target) return com::hr_unexpected;
    return target->invoke(name, kind, args, result);
}

template <>
Text answer<Text>(com::HResult hr, Variant& result) {
    if (com::failed(hr)) return {};
    // Most answers are texts already: no conversion step, no copy.
    if (const com::Bstr* text = result.deref().bstr()) return bstr_to_text(*text);
    Variant converted;
    if (com::failed(com::variant_change_type(converted, result, com::VarType::bstr))) return {};
    return bstr_to_text(*converted.bstr());
}

template <>
double answer<double>(com::HResult hr, Variant& result) {
    if (com::failed(hr)) return 0;
    Variant converted;
    if (com::failed(com::variant_change_type(converted, result, com::VarType::r8))) return 0;
    return *converted.r8();
}

template <>
bool answer<bool>(com::HResult hr, Variant& result) {
    if (com::failed(hr)) return false;
    Variant converted;
    if (com::failed(com::variant_change_type(converted, result, com::VarType::boolean)))
        return false;
    return *converted.boolean();
}

template <>
ComObject answer<ComObject>(com::HResult hr, Variant& result) {
    if (com::failed(hr)) return {};
    Variant converted;
    if (com::failed(com::variant_change_type(converted, result, com::VarType::dispatch))) return {};
    return ComObject(*converted.dispatch());
}

template <>
Variant answer<Variant>(com::HResult hr, Variant& result) {
    if (com::failed(hr)) return {};
    return std::move(result);
}

}  // namespace detail

namespace {

bool put(const ComObject& object, std::string_view name, Variant value) {
    Variant result;
    return com::succeeded(detail::invoke(object, name, com::InvokeKind::property_put,
                                         std::span<Variant>(&value, 1), result));
}

}  // namespace

bool com_put(const ComObject& object, std::string_view name, bool value) {
    return put(object, name, Variant::from_bool(value));
}

bool com_put(const ComObject& object, std::string_view name, std::int32_t value) {
    return put(object, name, Variant::from_i4(value));
}

bool com_put(const ComObject& object, std::string_view name, std::string_view value) {
    return put(object, name, detail::argument(value));
}

void variant_set(Variant& variant, std::string_view text) {
    variant = Variant::from_bstr(text_to_bstr(text));
}

void variant_set(Variant& variant, const ByteBuffer& bytes) {
    variant = Variant::from_bytes(com::ByteArray(bytes.begin(), bytes.end()));
}

Text variant_to_text(const Variant& variant) {
    Variant converted;
    if (com::failed(com::variant_change_type(converted, variant, com::VarType::bstr))) return {};
    return bstr_to_text(*converted.bstr());
}

void variant_clear(Variant& variant) {
    variant.clear();
}

void variant_copy(Variant& dest, const Variant& source) {
    if (&dest == &source) return;
    dest = source;
}

}  // namespace tavolen
