#include "text/text.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace tavolen {
namespace {

using Byte = unsigned char;

inline Byte byte_at(std::string_view s, std::size_t i) {
    return static_cast<Byte>(s[i]);
}
inline bool is_lead(Byte c) {
    return c >= 0x80;
}
inline Byte fold_ascii(Byte c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<Byte>(c + 32) : c;
}

inline int clamp_size(std::size_t n) {
    return n > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

// Converts a 1-based start into a 0-based index; anything below 1 means the first byte.
inline std::size_t start_index(int start) {
    return start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
}

bool equal_at(std::string_view text, std::size_t pos, std::string_view sought, bool fold) {
    const Byte* a = reinterpret_cast<const Byte*>(text.data()) + pos;
    const Byte* b = reinterpret_cast<const Byte*>(sought.data());
    if (!fold) return std::memcmp(a, b, sought.size()) == 0;
    for (std::size_t i = 0; i < sought.size(); ++i)
        if (fold_ascii(a[i]) != fold_ascii(b[i])) return false;
    return true;
}

// Whether index i is a character start, given that known <= i is one. The bytes of 0x80 and
// above just before i pair up from the start of their run (a byte below 0x80 always ends a
// character), so i starts a character when that run has even length.
inline bool is_char_start(std::string_view text, std::size_t known, std::size_t i) {
    std::size_t k = i;
    while (k > known && is_lead(byte_at(text, k - 1))) --k;
    return (i - k) % 2 == 0;
}

// Scans the character starts from pos (taken as one) for sought; returns its index or npos.
// A lone lead byte at the very end is an incomplete character: the scan stops there without
// comparing, so it never matches (nor takes part in a match).
std::size_t scan_for(std::string_view text, std::string_view sought, std::size_t pos, bool fold) {
    const std::size_t len = text.size();
    const std::size_t m = sought.size();
    if (m == 0 || m > len) return std::string_view::npos;
    const std::size_t last = len - m;  // last index where a match still fits
    const Byte first = static_cast<Byte>(sought[0]);
    const Byte first_folded = fold_ascii(first);

    if (!fold || (first_folded == first && (first < 'a' || first > 'z'))) {
        // Jump between occurrences of the first byte with memchr and check afterwards that
        // each one starts a character. pos always stays a known character start, and moves past
        // every candidate, so the look-back in is_char_start stays linear overall.
        const char* base = text.data();
        while (pos <= last) {
            const void* hit = std::memchr(base + pos, first, last - pos + 1);
            if (!hit) return std::string_view::npos;
            const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
            if (is_char_start(text, pos, at)) {
                if (is_lead(first) && at + 1 == len) return std::string_view::npos;
                if (equal_at(text, at, sought, fold)) return at;
                pos = at + (is_lead(first) ? 2 : 1);
            } else {
                pos = at + 1;  // at is a trail byte, so the next byte starts a character
            }
        }
        return std::string_view::npos;
    }

    while (pos <= last) {
        const Byte c = byte_at(text, pos);
        if (is_lead(c) && pos + 1 == len) return std::string_view::npos;
        if (fold_ascii(c) == first_folded && equal_at(text, pos, sought, fold)) return pos;
        pos += is_lead(c) ? 2 : 1;
    }
    return std::string_view::npos;
}

inline bool is_blank_at(std::string_view text, std::size_t pos, std::size_t* width) {
    const Byte c = byte_at(text, pos);
    if (c == 0x20) {
        *width = 1;
        return true;
    }
    if (c == 0xA1 && pos + 1 < text.size() && byte_at(text, pos + 1) == 0xA1) {
        *width = 2;
        return true;
    }
    return false;
}

// Reads a text with the full-width forms folded to ASCII (A3 xx -> xx - 0x80, A1 A1 -> space,
// A1 AB -> "~", A1 EE / A1 EF -> "*"), one character at a time and without copying.
class FoldedReader {
  public:
    explicit FoldedReader(std::string_view text) : text_(text) {}

    // The folded byte of the current character, -1 at the end. Any other two-byte character
    // reads as its lead byte, which no number syntax accepts.
    int peek() const {
        if (pos_ >= text_.size()) return -1;
        const Byte c = byte_at(text_, pos_);
        if (!is_lead(c) || pos_ + 1 >= text_.size()) return c;
        const Byte t = byte_at(text_, pos_ + 1);
        if (c == 0xA3 && t >= 0xA1 && t <= 0xFE) return t - 0x80;
        if (c == 0xA1) {
            if (t == 0xA1) return ' ';
            if (t == 0xAB) return '~';
            if (t == 0xEE || t == 0xEF) return '*';
        }
        return c;
    }
    void advance() {
        const bool pair = is_lead(byte_at(text_, pos_)) && pos_ + 1 < text_.size();
        pos_ += pair ? 2 : 1;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

inline bool is_c_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
inline bool is_digit(int c) {
    return c >= '0' && c <= '9';
}

// Skips leading white space and an optional sign; true when the sign is "-".
bool skip_space_and_sign(FoldedReader& r) {
    while (is_c_space(r.peek())) r.advance();
    const int c = r.peek();
    if (c != '+' && c != '-') return false;
    r.advance();
    return c == '-';
}

// The position of the leading significant digit of a decimal number text relative to the
// point (5e3 -> 4, 0.05 -> -1); only its sign is used, to tell overflow from underflow.
long long decimal_exponent(std::string_view number) {
    long long position = 0;
    bool seen_point = false;
    bool significant = false;
    std::size_t i = 0;
    for (; i < number.size() && number[i] != 'e'; ++i) {
        const char c = number[i];
        if (c == '.') {
            seen_point = true;
        } else if (!significant && c == '0') {
            if (seen_point) --position;
        } else if (!significant) {
            significant = true;
            if (!seen_point) ++position;
        } else if (!seen_point) {
            ++position;
        }
    }
    if (!significant) return LLONG_MIN;
    long long exponent = 0;
    bool exp_negative = false;
    for (++i; i < number.size(); ++i) {
        if (number[i] == '-') exp_negative = true;
        if (is_digit(number[i]) && exponent < 1000000) exponent = exponent * 10 + (number[i] - '0');
    }
    return position + (exp_negative ? -exponent : exponent);
}

}  // namespace

int text_length(std::string_view text) {
    return clamp_size(text.size());
}

Text text_left(std::string_view text, int n) {
    if (n <= 0) return {};
    return Text(text.substr(0, static_cast<std::size_t>(n)));
}

Text text_right(std::string_view text, int n) {
    if (n <= 0) return {};
    const std::size_t k = std::min(text.size(), static_cast<std::size_t>(n));
    return Text(text.substr(text.size() - k));
}

Text text_mid(std::string_view text, int start, int n) {
    if (start < 1 || n <= 0 || static_cast<std::size_t>(start) > text.size()) return {};
    return Text(text.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(n)));
}

int find_text(std::string_view text, std::string_view sought, int start, bool ignore_case) {
    const std::size_t from = start_index(start);
    const bool region_empty = from >= text.size();
    if (sought.empty()) return region_empty ? -1 : 1;
    if (region_empty) return -1;
    const std::size_t at = scan_for(text, sought, from, ignore_case);
    return at == std::string_view::npos ? -1 : clamp_size(at + 1);
}

Text replace_text(std::string_view text, std::string_view sought, std::string_view replacement,
                  int start, std::optional<int> count, bool case_sensitive) {
    const std::size_t from = start_index(start);
    if (text.empty() || sought.empty() || from >= text.size() || (count && *count == 0))
        return Text(text);

    // A negative count never runs down to zero: it means every occurrence.
    long long remaining = (count && *count > 0) ? *count : -1;
    const bool fold = !case_sensitive;
    const std::size_t len = text.size();
    const std::size_t m = sought.size();

    Text out;
    out.reserve(replacement.size() > m ? len + len / 4 : len);
    std::size_t copied = 0;  // text[copied, pos) is still to be appended
    std::size_t pos = from;
    while (remaining != 0 && len - pos >= m) {
        const std::size_t at = scan_for(text, sought, pos, fold);
        if (at == std::string_view::npos) {
            // The scan runs on to the end. A one-byte sought lets it reach the last byte, and
            // if that is the lead byte of an incomplete character the scan drops it.
            if (m == 1 && is_lead(byte_at(text, len - 1)) && is_char_start(text, pos, len - 1)) {
                out.append(text.substr(copied, len - 1 - copied));
                return out;
            }
            break;
        }
        out.append(text.substr(copied, at - copied));
        out.append(replacement);
        pos = at + m;  // replaced text is never rescanned
        copied = pos;
        if (remaining > 0) --remaining;
    }
    out.append(text.substr(copied));
    return out;
}

TextArray split_text(std::string_view text, std::string_view delimiter,
                     std::optional<int> max_count) {
    TextArray pieces;
    const long long limit = !max_count ? LLONG_MAX : std::max(0, *max_count);
    if (text.empty() || limit == 0) return pieces;
    if (delimiter.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t piece_start = 0;
    std::size_t pos = 0;
    while (true) {
        const std::size_t at = scan_for(text, delimiter, pos, false);
        if (at == std::string_view::npos) break;
        pieces.emplace_back(text.substr(piece_start, at - piece_start));
        if (static_cast<long long>(pieces.size()) >= limit) return pieces;
        pos = at + delimiter.size();
        piece_start = pos;
        if (pos >= text.size()) break;
    }
    if (piece_start < text.size()) pieces.emplace_back(text.substr(piece_start));
    return pieces;
}

Text trim_text(std::string_view text) {
    const std::size_t len = text.size();
    std::size_t begin = 0;
    std::size_t width = 0;
    while (begin < len && is_blank_at(text, begin, &width)) begin += width;

    std::size_t end = begin;  // end of the last character that is not a blank
    std::size_t pos = begin;
    while (pos < len) {
        const Byte c = byte_at(text, pos);
        if (is_lead(c) && pos + 1 >= len) {
            // An incomplete character ends the text: it goes, and the blanks before it stay.
            return Text(text.substr(begin, pos - begin));
        }
        if (is_blank_at(text, pos, &width)) {
            pos += width;
            continue;
        }
        pos += is_lead(c) ? 2 : 1;
        end = pos;
    }
    return Text(text.substr(begin, end - begin));
}

Text remove_spaces(std::string_view text) {
    Text out;
    out.reserve(text.size());
    const std::size_t len = text.size();
    std::size_t pos = 0;
    std::size_t width = 0;
    while (pos < len) {
        const Byte c = byte_at(text, pos);
        if (is_lead(c) && pos + 1 >= len) break;  // an incomplete character is left out
        if (is_blank_at(text, pos, &width)) {
            pos += width;
            continue;
        }
        const std::size_t next = pos + (is_lead(c) ? 2 : 1);
        out.append(text.substr(pos, next - pos));
        pos = next;
    }
    return out;
}

Text text_to_upper(std::string_view text) {
    Text out(text);
    const std::size_t len = out.size();
    std::size_t pos = 0;
    while (pos < len) {
        const Byte c = static_cast<Byte>(out[pos]);
        if (is_lead(c)) {
            pos += 2;  // both bytes of a two-byte character stay
        } else {
            if (c >= 'a' && c <= 'z') out[pos] = static_cast<char>(c - 32);
            ++pos;
        }
    }
    return out;
}

int compare_text(std::string_view a, std::string_view b, bool case_sensitive) {
    // Character by character: a two-byte character compares as its two bytes, and its trail
    // byte is never case-folded even where it looks like an ASCII letter.
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        Byte x = byte_at(a, i);
        Byte y = byte_at(b, j);
        if (!is_lead(x) && !is_lead(y)) {
            if (!case_sensitive) x = fold_ascii(x), y = fold_ascii(y);
            if (x != y) return x < y ? -1 : 1;
            ++i, ++j;
            continue;
        }
        if (x != y) return x < y ? -1 : 1;
        ++i, ++j;  // the same lead byte: the trail bytes decide
        if (i >= a.size() || j >= b.size()) break;
        x = byte_at(a, i);
        y = byte_at(b, j);
        if (x != y) return x < y ? -1 : 1;
        ++i, ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

int compare_text_plain(std::string_view a, std::string_view b) {
    const int r = a.compare(b);  // char_traits<char>::compare compares as unsigned char
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

namespace detail {
Text concat_views(std::initializer_list<std::string_view> parts) {
    std::size_t total = 0;
    for (std::string_view p : parts) total += p.size();
    Text out;
    out.reserve(total);
    for (std::string_view p : parts) out.append(p);
    return out;
}

ByteBuffer concat_buffers(std::initializer_list<const ByteBuffer*> parts) {
    std::size_t total = 0;
    for (const ByteBuffer* p : parts) total += p->size();
    ByteBuffer out;
    out.reserve(total);
    for (const ByteBuffer* p : parts) out.insert(out.end(), p->begin(), p->end());
    return out;
}
}  // namespace detail

Text char_from_code(int code) {
    const auto byte = static_cast<char>(static_cast<unsigned>(code) & 0xFFu);
    if (byte == 0) return {};
    return Text(1, byte);
}

Text blank_text(int n) {
    if (n <= 0) return {};
    try {
        return Text(static_cast<std::size_t>(n), ' ');
    } catch (const std::bad_alloc&) {
        return {};
    } catch (const std::length_error&) {
        return {};
    }
}

Text number_to_text(int value) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return Text(buf, r.ptr);
}

Text number_to_text(long long value) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return Text(buf, r.ptr);
}

Text number_to_text(unsigned long long value) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return Text(buf, r.ptr);
}

Text number_to_text(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // to_chars writes what printf's "%.13g" writes, but never with a locale's decimal comma
    // (the GUI may set one); the text ends up in scripts and must read back as a number.
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 13);
    if (r.ec != std::errc()) return {};
    Text out(buf, r.ptr);
    // The exponent always carries at least three digits: 1e+20 is written 1e+020.
    const std::size_t e = out.find('e');
    if (e != Text::npos && e + 2 <= out.size()) {
        const std::size_t digits = out.size() - (e + 2);  // after "e" and its sign
        if (digits < 3) out.insert(e + 2, 3 - digits, '0');
    }
    return out;
}

int text_to_int(std::string_view text) {
    FoldedReader r(text);
    const bool negative = skip_space_and_sign(r);
    // Accumulates modulo 2^32 without an overflow check, as the system always has; unsigned
    // arithmetic keeps the wrap well defined.
    std::uint32_t value = 0;
    for (int c = r.peek(); is_digit(c); r.advance(), c = r.peek())
        value = value * 10u + static_cast<std::uint32_t>(c - '0');
    if (negative) value = 0u - value;
    return static_cast<int>(value);
}

double text_to_number(std::string_view text) {
    FoldedReader r(text);
    const bool negative = skip_space_and_sign(r);
    // The longest prefix in plain decimal notation, copied out folded; hex, "inf" and "nan" are
    // not numbers here.
    std::string number;
    bool any_digit = false;
    for (; is_digit(r.peek()); r.advance()) {
        number.push_back(static_cast<char>(r.peek()));
        any_digit = true;
    }
    if (r.peek() == '.') {
        number.push_back('.');
        r.advance();
        for (; is_digit(r.peek()); r.advance()) {
            number.push_back(static_cast<char>(r.peek()));
            any_digit = true;
        }
    }
    if (!any_digit) return 0.0;
    if (r.peek() == 'e' || r.peek() == 'E') {
        // Taken only when digits follow; "1e" and "1e+" read as 1.
        std::string exponent = "e";
        r.advance();
        if (r.peek() == '+' || r.peek() == '-') {
            exponent.push_back(static_cast<char>(r.peek()));
            r.advance();
        }
        if (is_digit(r.peek())) {
            for (; is_digit(r.peek()); r.advance()) exponent.push_back(static_cast<char>(r.peek()));
            number += exponent;
        }
    }
    double value = 0.0;
    const char* first = number.data();
    const char* last = first + number.size();
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Out of a double's range: beyond the largest gives infinity, below the smallest 0.
        value = decimal_exponent(number) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (result.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

int bytes_length(const ByteBuffer& buffer) {
    return clamp_size(buffer.size());
}

ByteBuffer bytes_left(const ByteBuffer& buffer, int n) {
    if (n <= 0) return {};
    const std::size_t k = std::min(buffer.size(), static_cast<std::size_t>(n));
    return ByteBuffer(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(k));
}

ByteBuffer blank_bytes(int n) {
    if (n <= 0) return {};
    try {
        return ByteBuffer(static_cast<std::size_t>(n), 0);
    } catch (const std::bad_alloc&) {
        return {};
    } catch (const std::length_error&) {
        return {};
    }
}

ByteBuffer text_to_bytes(std::string_view text) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    return ByteBuffer(p, p + text.size());
}

Text bytes_to_text(const ByteBuffer& buffer) {
    const auto* p = reinterpret_cast<const char*>(buffer.data());
    const void* zero = buffer.empty() ? nullptr : std::memchr(p, 0, buffer.size());
    const std::size_t n =
        zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - p) : buffer.size();
    return Text(p, n);
}

int bytes_to_int(const ByteBuffer& buffer) {
    std::uint32_t value = 0;
    const std::size_t n = std::min<std::size_t>(buffer.size(), 4);
    for (std::size_t i = 0; i < n; ++i) value |= static_cast<std::uint32_t>(buffer[i]) << (8 * i);
    return static_cast<int>(value);
}

Text text_from_address(const char* address) {
    if (!address) return {};
    return Text(address);
}

ByteBuffer bytes_from_address(const void* address, int n) {
    if (!address || n <= 0) return {};
    const auto* p = static_cast<const std::uint8_t*>(address);
    return ByteBuffer(p, p + n);
}

int array_size(const TextArray& array) {
    return clamp_size(array.size());
}

}  // namespace tavolen
