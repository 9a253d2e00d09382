#pragma once

// VARIANT: the value that travels through late-bound calls. A Variant owns what it holds:
// copying copies a string or an array and adds a reference to an object (VariantCopy),
// clear() releases it (VariantClear). A by-reference Variant points at another Variant that its
// creator keeps alive for the duration of the call; it owns nothing.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/com/com_ptr.h"
#include "platform/com/hresult.h"

namespace tavolen::com {

class Dispatch;
using DispatchPtr = ComPtr<Dispatch>;

using Bstr = std::u16string;                  // BSTR: UTF-16, may hold zero units
using ByteArray = std::vector<std::uint8_t>;  // one-dimensional SAFEARRAY of VT_UI1, lower bound 0

// The kinds the system passes around. The order is the index of the alternative held.
enum class VarType : std::uint8_t {
    empty,      // VT_EMPTY
    null,       // VT_NULL
    i4,         // VT_I4
    r8,         // VT_R8
    boolean,    // VT_BOOL
    bstr,       // VT_BSTR
    dispatch,   // VT_DISPATCH (also what VT_UNKNOWN asks for)
    ui1_array,  // VT_ARRAY | VT_UI1
    by_ref,     // VT_BYREF | VT_VARIANT
};

class Variant {
  public:
    Variant() noexcept;
    Variant(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(const Variant& other);
    Variant& operator=(Variant&& other) noexcept;
    ~Variant();

    static Variant make_null();
    static Variant from_i4(std::int32_t value);
    static Variant from_r8(double value);
    static Variant from_bool(bool value);
    static Variant from_bstr(Bstr value);
    static Variant from_dispatch(
        DispatchPtr value);  // a null pointer gives VT_DISPATCH holding none
    static Variant from_bytes(ByteArray value);
    static Variant reference_to(Variant& target);

    VarType type() const noexcept { return static_cast<VarType>(value_.index()); }
    bool is_empty() const noexcept { return type() == VarType::empty; }

    // Each accessor answers null when the Variant holds another kind.
    const std::int32_t* i4() const noexcept { return std::get_if<std::int32_t>(&value_); }
    const double* r8() const noexcept { return std::get_if<double>(&value_); }
    const bool* boolean() const noexcept { return std::get_if<bool>(&value_); }
    const Bstr* bstr() const noexcept { return std::get_if<Bstr>(&value_); }
    const DispatchPtr* dispatch() const noexcept { return std::get_if<DispatchPtr>(&value_); }
    const ByteArray* bytes() const noexcept { return std::get_if<ByteArray>(&value_); }
    // Writable access, so that a callee can take a string or an array over without a copy.
    Bstr* bstr() noexcept { return std::get_if<Bstr>(&value_); }
    ByteArray* bytes() noexcept { return std::get_if<ByteArray>(&value_); }

    // The Variant a by-reference Variant points at (followed through any chain), else itself.
    const Variant& deref() const noexcept;
    Variant& deref() noexcept;

    // VariantClear: releases what is held and leaves VT_EMPTY.
    void clear() noexcept;

  private:
    struct Null {
        friend bool operator==(Null, Null) { return true; }
    };
    std::variant<std::monostate, Null, std::int32_t, double, bool, Bstr, DispatchPtr, ByteArray,
                 Variant*>
        value_;
};

// VariantChangeType without flags, for the kinds above: the converted value goes to `dest`
// (which may be `source` itself); on failure `dest` is left unchanged.
//   to bstr:     empty -> "", boolean -> "-1" / "0", r8 -> at most 15 significant digits
//                written as Windows writes them in an English locale ("1.5", "1E+15", "1E-05"),
//                object -> its default member (name ""), converted in turn.
//   to r8 / i4:  empty -> 0, boolean -> -1 / 0, bstr parsed as Windows does in an English
//                locale (blanks, sign, "1,234", "(5)", "&H1F", exponents); i4 rounds half to even.
//   to boolean:  empty -> false, numbers -> != 0, bstr "True" / "False" in any case, or a number.
//   to dispatch: an object stays; empty gives none.
// Null, arrays and anything else that does not convert give hr_type_mismatch; values out of
// range hr_overflow. To empty always succeeds; to by_ref and ui1_array only from the same kind.
// A bstr is parsed up to its first zero unit.
HResult variant_change_type(Variant& dest, const Variant& source, VarType type);

}  // namespace tavolen::com
