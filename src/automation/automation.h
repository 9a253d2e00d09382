#pragma once

// Late-bound calls on automation objects: creation by ProgID, property get and put, method
// calls, and the VARIANT helpers. Every failure (an empty holder, a member the object lacks, a
// call that fails, an answer that does not convert) gives the empty value of the kind asked
// for: the empty text, 0, false, an empty ComObject or an empty Variant. Objects are used on
// the thread that created them, and that thread must have initialised COM (co_initialize).
//
// Texts travel as BSTR through the ANSI code page (936) both ways, each up to its first zero;
// characters the code page lacks come back as "?".

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/com/dispatch.h"
#include "platform/com/variant.h"
#include "text/text.h"

namespace tavolen {

using Variant = com::Variant;

// Holds at most one reference to an automation object. Copying shares the reference.
class ComObject {
  public:
    ComObject() = default;
    explicit ComObject(com::DispatchPtr object) : object_(std::move(object)) {}

    const com::DispatchPtr& dispatch() const { return object_; }

  private:
    friend bool com_create(ComObject&, std::string_view);
    friend void com_clear(ComObject&);
    friend void com_share(ComObject&, const ComObject&);
    com::DispatchPtr object_;
};

// Creates an object by ProgID; on success the old reference is released and replaced and the
// answer is true, on failure the holder is unchanged.
bool com_create(ComObject& object, std::string_view prog_id);
bool com_is_empty(const ComObject& object);
void com_clear(ComObject& object);
void com_share(ComObject& target, const ComObject& source);

// A Variant passed by reference to com_call (VT_BYREF | VT_VARIANT); the callee may read or
// write it. Keep `target` alive for the call.
struct ByReference {
    Variant* target;
};
inline ByReference by_reference(Variant& target) {
    return {&target};
}

namespace detail {

// The kinds of answer a call may ask for.
template <typename R>
concept ComAnswer = std::is_void_v<R> || std::is_same_v<R, Text> || std::is_same_v<R, double> ||
    std::is_same_v<R, bool> || std::is_same_v<R, ComObject> || std::is_same_v<R, Variant>;

Variant argument(std::string_view text);
inline Variant argument(const Text& text) {
    return argument(std::string_view(text));
}
inline Variant argument(const char* text) {
    return argument(std::string_view(text));
}
inline Variant argument(const Variant& value) {
    return value;
}
inline Variant argument(Variant&& value) {
    return std::move(value);
}
inline Variant argument(Variant& value) {
    return value;
}
inline Variant argument(ByReference ref) {
    return Variant::reference_to(*ref.target);
}
inline Variant argument(bool value) {
    return Variant::from_bool(value);
}
inline Variant argument(std::int32_t value) {
    return Variant::from_i4(value);
}
inline Variant argument(double value) {
    return Variant::from_r8(value);
}

com::HResult invoke(const ComObject& object, std::string_view name, com::InvokeKind kind,
                    std::span<Variant> args, Variant& result);

// Converts a call's answer to R; a failed call gives R's empty value.
template <typename R>
R answer(com::HResult hr, Variant& result);
template <>
Text answer<Text>(com::HResult hr, Variant& result);
template <>
double answer<double>(com::HResult hr, Variant& result);
template <>
bool answer<bool>(com::HResult hr, Variant& result);
template <>
ComObject answer<ComObject>(com::HResult hr, Variant& result);
template <>
Variant answer<Variant>(com::HResult hr, Variant& result);

}  // namespace detail

// Property get, with an optional numeric argument such as the index of "Item". R is Text,
// double, bool, ComObject or Variant (a Variant answer comes unchanged).
template <typename R>
requires(detail::ComAnswer<R> && !std::is_void_v<R>) R
    com_get(const ComObject& object, std::string_view name,
            std::optional<std::int32_t> argument = {}) {
    Variant arg;
    if (argument) arg = Variant::from_i4(*argument);
    Variant result;
    com::HResult hr = detail::invoke(object, name, com::InvokeKind::property_get,
                                     std::span<Variant>(&arg, argument ? 1 : 0), result);
    return detail::answer<R>(hr, result);
}

// Property put of a boolean, a 32-bit integer or a text; true on success.
bool com_put(const ComObject& object, std::string_view name, bool value);
bool com_put(const ComObject& object, std::string_view name, std::int32_t value);
bool com_put(const ComObject& object, std::string_view name, std::string_view value);
inline bool com_put(const ComObject& object, std::string_view name, const Text& value) {
    return com_put(object, name, std::string_view(value));
}
inline bool com_put(const ComObject& object, std::string_view name, const char* value) {
    return com_put(object, name, std::string_view(value));
}

// Method call. Arguments are texts (as BSTR), Variants (copied), by_reference(variant),
// booleans, 32-bit integers or doubles. R is void (no answer), Text, double, bool, ComObject or
// Variant.
template <typename R = void, typename... Args>
requires detail::ComAnswer<R> R com_call(const ComObject& object, std::string_view name,
                                         Args&&... args) {
    std::array<Variant, sizeof...(Args)> arguments{detail::argument(std::forward<Args>(args))...};
    Variant result;
    com::HResult hr = detail::invoke(object, name, com::InvokeKind::method,
                                     std::span<Variant>(arguments), result);
    if constexpr (!std::is_void_v<R>) return detail::answer<R>(hr, result);
}

// A text becomes VT_BSTR, a byte buffer a one-dimensional VT_ARRAY of VT_UI1.
void variant_set(Variant& variant, std::string_view text);
inline void variant_set(Variant& variant, const Text& text) {
    variant_set(variant, std::string_view(text));
}
inline void variant_set(Variant& variant, const char* text) {
    variant_set(variant, std::string_view(text));
}
void variant_set(Variant& variant, const ByteBuffer& bytes);
// VariantChangeType to VT_BSTR, then to text; the empty text when it does not convert.
Text variant_to_text(const Variant& variant);
// VariantClear: the Variant becomes empty.
void variant_clear(Variant& variant);
// VariantCopy: `dest` is cleared, then holds a copy of `source`.
void variant_copy(Variant& dest, const Variant& source);

// Bstr <-> text through the ANSI code page, up to the first zero unit or byte.
com::Bstr text_to_bstr(std::string_view text);
Text bstr_to_text(const com::Bstr& bstr);

}  // namespace tavolen
