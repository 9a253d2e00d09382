#include "platform/com/variant.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "platform/com/dispatch.h"

namespace tavolen::com {

Variant::Variant() noexcept = default;
Variant::Variant(const Variant& other) = default;
Variant::Variant(Variant&& other) noexcept : value_(std::move(other.value_)) {
    other.clear();
}
Variant& Variant::operator=(const Variant& other) = default;
Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        value_ = std::move(other.value_);
        other.clear();
    }
    return *this;
}
Variant::~Variant() = default;

Variant Variant::make_null() {
    Variant v;
    v.value_.emplace<Null>();
    return v;
}
Variant Variant::from_i4(std::int32_t value) {
    Variant v;
    v.value_.emplace<std::int32_t>(value);
    return v;
}
Variant Variant::from_r8(double value) {
    Variant v;
    v.value_.emplace<double>(value);
    return v;
}
Variant Variant::from_bool(bool value) {
    Variant v;
    v.value_.emplace<bool>(value);
    return v;
}
Variant Variant::from_bstr(Bstr value) {
    Variant v;
    v.value_.emplace<Bstr>(std::move(value));
    return v;
}
Variant Variant::from_dispatch(DispatchPtr value) {
    Variant v;
    v.value_.emplace<DispatchPtr>(std::move(value));
    return v;
}
Variant Variant::from_bytes(ByteArray value) {
    Variant v;
    v.value_.emplace<ByteArray>(std::move(value));
    return v;
}
Variant Variant::reference_to(Variant& target) {
    Variant v;
    v.value_.emplace<Variant*>(&target);
    return v;
}

const Variant& Variant::deref() const noexcept {
    const Variant* v = this;
    // A chain of references is followed; a cycle cannot be built through the public interface
    // except by pointing a Variant at itself, which the bound stops.
    for (int hops = 0; hops < 16; ++hops) {
        Variant* const* next = std::get_if<Variant*>(&v->value_);
        if (!next || !*next || *next == v) break;
        v = *next;
    }
    return *v;
}

Variant& Variant::deref() noexcept {
    return const_cast<Variant&>(std::as_const(*this).deref());
}

void Variant::clear() noexcept {
    value_.emplace<std::monostate>();
}

namespace {

bool is_blank(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x3000;
}

char16_t ascii_lower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c;
}

// The parsers read a string as far as its first zero unit, as the platform's do.
std::u16string_view up_to_zero(std::u16string_view s) {
    return s.substr(0, s.find(u'\0'));
}

std::u16string_view trim(std::u16string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

// A double as Windows writes it in an English locale: 15 significant digits, the shorter of
// fixed and scientific notation as %G chooses, exponent with a sign and at least two digits.
Bstr format_r8(double value) {
    if (std::isnan(value)) return u"NaN";
    if (std::isinf(value)) return value > 0 ? u"Infinity" : u"-Infinity";
    if (value == 0) return u"0";  // also -0
    char buffer[64];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    if (ec != std::errc()) return u"0";
    Bstr out;
    out.reserve(end - buffer);
    for (const char* p = buffer; p != end; ++p) out.push_back(*p == 'e' ? u'E' : char16_t(*p));
    return out;
}

// VarR8FromStr in an English locale: blanks around, a sign in front or behind or parentheses
// for a negative value, an optional "$", thousands separators in the integer part, a decimal
// point, an exponent (E or D), or "&H" / "&O" integers.
HResult parse_r8(std::u16string_view text, double& out) {
    std::u16string_view s = trim(up_to_zero(text));
    if (s.empty()) return hr_type_mismatch;

    if (s.size() >= 2 && s[0] == u'&') {
        const char16_t kind = ascii_lower(s[1]);
        const int base = kind == u'h' ? 16 : kind == u'o' ? 8 : 0;
        if (base == 0 || s.size() == 2) return hr_type_mismatch;
        double value = 0;
        for (char16_t c : s.substr(2)) {
            int digit;
            if (c >= u'0' && c <= u'9')
                digit = c - u'0';
            else if (base == 16 && ascii_lower(c) >= u'a' && ascii_lower(c) <= u'f')
                digit = ascii_lower(c) - u'a' + 10;
            else
                return hr_type_mismatch;
            if (digit >= base) return hr_type_mismatch;
            value = value * base + digit;
            if (value > 4294967295.0) return hr_overflow;
        }
        out = value;
        return hr_ok;
    }

    bool negative = false;
    bool sign_seen = false;
    bool currency_seen = false;
    bool parens = false;
    std::size_t i = 0;
    auto take_prefix = [&]() {
        while (i < s.size()) {
            const char16_t c = s[i];
            if ((c == u'+' || c == u'-') && !sign_seen && !parens) {
                sign_seen = true;
                negative = c == u'-';
            } else if (c == u'$' && !currency_seen) {
                currency_seen = true;
            } else if (c == u'(' && !sign_seen && !parens) {
                parens = true;
                negative = true;
            } else if (is_blank(c) && (sign_seen || currency_seen || parens)) {
                // blanks may separate a sign or a currency symbol from the digits
            } else {
                break;
            }
            ++i;
        }
    };
    take_prefix();

    std::string number;  // plain ASCII for from_chars
    number.reserve(s.size());
    bool digits = false;
    for (; i < s.size() && ((s[i] >= u'0' && s[i] <= u'9') || s[i] == u','); ++i) {
        if (s[i] == u',') {
            if (!digits) return hr_type_mismatch;
            continue;
        }
        digits = true;
        number.push_back(char(s[i]));
    }
    if (i < s.size() && s[i] == u'.') {
        number.push_back('.');
        for (++i; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
            digits = true;
            number.push_back(char(s[i]));
        }
    }
    if (!digits) return hr_type_mismatch;
    if (i < s.size() && (ascii_lower(s[i]) == u'e' || ascii_lower(s[i]) == u'd')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-')) exponent.push_back(char(s[j++]));
        bool exponent_digits = false;
        for (; j < s.size() && s[j] >= u'0' && s[j] <= u'9'; ++j) {
            exponent_digits = true;
            exponent.push_back(char(s[j]));
        }
        if (!exponent_digits) return hr_type_mismatch;
        number += exponent;
        i = j;
    }
    // What may follow the number: a trailing sign, "$", the closing parenthesis, blanks.
    for (; i < s.size(); ++i) {
        const char16_t c = s[i];
        if ((c == u'+' || c == u'-') && !sign_seen && !parens) {
            sign_seen = true;
            negative = c == u'-';
        } else if (c == u'$' && !currency_seen) {
            currency_seen = true;
        } else if (c == u')' && parens) {
            parens = false;
        } else if (!is_blank(c)) {
            return hr_type_mismatch;
        }
    }
    if (parens) return hr_type_mismatch;

    double value = 0;
    auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // from_chars reports underflow the same way: a tiny value is 0, a huge one overflows.
        if (number.find('e') == std::string::npos || number.find("e-") == std::string::npos)
            return hr_overflow;
        value = 0;
    } else if (ec != std::errc() || ptr != number.data() + number.size()) {
        return hr_type_mismatch;
    }
    if (!std::isfinite(value)) return hr_overflow;
    out = negative ? -value : value;
    return hr_ok;
}

HResult parse_bool(std::u16string_view text, bool& out) {
    std::u16string_view s = trim(up_to_zero(text));
    auto equals = [&](std::u16string_view word) {
        if (s.size() != word.size()) return false;
        for (std::size_t k = 0; k < s.size(); ++k)
            if (ascii_lower(s[k]) != word[k]) return false;
        return true;
    };
    if (equals(u"true")) {
        out = true;
        return hr_ok;
    }
    if (equals(u"false")) {
        out = false;
        return hr_ok;
    }
    double number = 0;
    HResult hr = parse_r8(s, number);
    if (failed(hr)) return hr;
    out = number != 0;
    return hr_ok;
}

// The default member's value of an object, as the source of a conversion.
HResult default_value(const DispatchPtr& object, Variant& value) {
    if (!object) return hr_type_mismatch;
    Variant result;
    HResult hr = object->invoke("", InvokeKind::property_get, {}, result);
    if (failed(hr)) return hr_type_mismatch;
    // An object whose default value is again an object does not convert to a plain value.
    if (result.deref().type() == VarType::dispatch) return hr_type_mismatch;
    value = std::move(result.deref());
    return hr_ok;
}

HResult to_r8(const Variant& v, double& out) {
    switch (v.type()) {
        case VarType::empty:
            out = 0;
            return hr_ok;
        case VarType::i4:
            out = *v.i4();
            return hr_ok;
        case VarType::r8:
            out = *v.r8();
            return hr_ok;
        case VarType::boolean:
            out = *v.boolean() ? -1.0 : 0.0;
            return hr_ok;
        case VarType::bstr:
            return parse_r8(*v.bstr(), out);
        case VarType::dispatch: {
            Variant value;
            HResult hr = default_value(*v.dispatch(), value);
            return failed(hr) ? hr : to_r8(value, out);
        }
        default:
            return hr_type_mismatch;
    }
}

HResult to_bool(const Variant& v, bool& out) {
    switch (v.type()) {
        case VarType::empty:
            out = false;
            return hr_ok;
        case VarType::i4:
            out = *v.i4() != 0;
            return hr_ok;
        case VarType::r8:
            out = *v.r8() != 0;
            return hr_ok;
        case VarType::boolean:
            out = *v.boolean();
            return hr_ok;
        case VarType::bstr:
            return parse_bool(*v.bstr(), out);
        case VarType::dispatch: {
            Variant value;
            HResult hr = default_value(*v.dispatch(), value);
            return failed(hr) ? hr : to_bool(value, out);
        }
        default:
            return hr_type_mismatch;
    }
}

HResult to_bstr(const Variant& v, Bstr& out) {
    switch (v.type()) {
        case VarType::empty:
            out.clear();
            return hr_ok;
        case VarType::i4: {
            char buffer[16];
            auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, *v.i4());
            out.assign(buffer, end);
            return hr_ok;
        }
        case VarType::r8:
            out = format_r8(*v.r8());
            return hr_ok;
        case VarType::boolean:
            out = *v.boolean() ? u"-1" : u"0";
            return hr_ok;
        case VarType::bstr:
            out = *v.bstr();
            return hr_ok;
        case VarType::dispatch: {
            Variant value;
            HResult hr = default_value(*v.dispatch(), value);
            return failed(hr) ? hr : to_bstr(value, out);
        }
        default:
            return hr_type_mismatch;
    }
}

// Rounds half to even, as Windows does when it converts to an integer.
HResult r8_to_i4(double value, std::int32_t& out) {
    if (std::isnan(value)) return hr_overflow;
    double rounded = std::nearbyint(value);  // default rounding mode: to nearest, ties to even
    if (rounded < double(std::numeric_limits<std::int32_t>::min()) ||
        rounded > double(std::numeric_limits<std::int32_t>::max()))
        return hr_overflow;
    out = static_cast<std::int32_t>(rounded);
    return hr_ok;
}

}  // namespace

HResult variant_change_type(Variant& dest, const Variant& source, VarType type) {
    const Variant& from = source.deref();
    switch (type) {
        case VarType::empty:
            dest.clear();
            return hr_ok;
        case VarType::null:
            if (from.type() != VarType::null && from.type() != VarType::empty)
                return hr_type_mismatch;
            dest = Variant::make_null();
            return hr_ok;
        case VarType::i4: {
            if (from.type() == VarType::i4) {
                dest = Variant::from_i4(*from.i4());
                return hr_ok;
            }
            double value = 0;
            HResult hr = to_r8(from, value);
            if (failed(hr)) return hr;
            std::int32_t i = 0;
            hr = r8_to_i4(value, i);
            if (failed(hr)) return hr;
            dest = Variant::from_i4(i);
            return hr_ok;
        }
        case VarType::r8: {
            double value = 0;
            HResult hr = to_r8(from, value);
            if (failed(hr)) return hr;
            dest = Variant::from_r8(value);
            return hr_ok;
        }
        case VarType::boolean: {
            bool value = false;
            HResult hr = to_bool(from, value);
            if (failed(hr)) return hr;
            dest = Variant::from_bool(value);
            return hr_ok;
        }
        case VarType::bstr: {
            Bstr value;
            HResult hr = to_bstr(from, value);
            if (failed(hr)) return hr;
            dest = Variant::from_bstr(std::move(value));
            return hr_ok;
        }
        case VarType::dispatch:
            if (from.type() == VarType::dispatch) {
                DispatchPtr object = *from.dispatch();
                dest = Variant::from_dispatch(std::move(object));
                return hr_ok;
            }
            if (from.type() == VarType::empty) {
                dest = Variant::from_dispatch(nullptr);
                return hr_ok;
            }
            return hr_type_mismatch;
        case VarType::ui1_array:
        case VarType::by_ref:
            if (source.type() != type) return hr_type_mismatch;
            if (&dest != &source) dest = source;
            return hr_ok;
    }
    return hr_type_mismatch;
}

}  // namespace tavolen::com
