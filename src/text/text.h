#pragma once

// Text primitives. A Text holds code-page-936 bytes without zero bytes; the absent text and the
// empty text are the same value. Lengths and positions count bytes, positions are 1-based and a
// failed search gives -1. Scanning operations step over a two-byte character (lead byte >= 0x80)
// as one unit and only match where a character starts. No operation fails: every odd argument
// has a defined, harmless result.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tavolen {

using Text = std::string;
using ByteBuffer = std::vector<std::uint8_t>;
using TextArray = std::vector<Text>;

// --- measuring and slicing (raw bytes; may cut a two-byte character) ---
int text_length(std::string_view text);
Text text_left(std::string_view text, int n);
Text text_right(std::string_view text, int n);
Text text_mid(std::string_view text, int start, int n);

// --- searching, replacing, splitting, trimming (character-wise) ---
// start < 1 counts as 1; ignore_case folds the ASCII letters only.
int find_text(std::string_view text, std::string_view sought, int start = 1,
              bool ignore_case = false);
// count left out (or negative) replaces every occurrence; case_sensitive false folds ASCII
// letters.
Text replace_text(std::string_view text, std::string_view sought, std::string_view replacement = {},
                  int start = 1, std::optional<int> count = {}, bool case_sensitive = false);
// max_count left out means no limit; a negative max_count counts as 0.
TextArray split_text(std::string_view text, std::string_view delimiter = ",",
                     std::optional<int> max_count = {});
// Blanks are exactly the space 0x20 and the full-width space A1 A1.
Text trim_text(std::string_view text);
Text remove_spaces(std::string_view text);
Text text_to_upper(std::string_view text);

// --- comparing ---
// 0 when equal, negative / positive otherwise; two-byte characters compare as units.
int compare_text(std::string_view a, std::string_view b, bool case_sensitive);
// Unsigned byte-by-byte comparison: -1, 0 or 1. The one equality test of the system.
int compare_text_plain(std::string_view a, std::string_view b);

// --- building ---
namespace detail {
Text concat_views(std::initializer_list<std::string_view> parts);
}

template <typename... Parts>
requires(sizeof...(Parts) >= 2 && (std::convertible_to<const Parts&, std::string_view> && ...)) Text
    concat_text(const Parts&... parts) {
    return detail::concat_views({std::string_view(parts)...});
}

// The one-byte text of the low eight bits of code; 0 gives the empty text.
Text char_from_code(int code);
// n spaces; empty when n <= 0.
Text blank_text(int n);

// --- numbers ---
Text number_to_text(int value);
Text number_to_text(double value);  // "%.13g" with at least three exponent digits (1e+020)
Text number_to_text(long long value);
Text number_to_text(unsigned long long value);

// Other integer types (size_t, int64_t, short, ...) are written exactly, never through double.
template <std::integral T>
requires(!std::same_as<T, int> && !std::same_as<T, long long> &&
         !std::same_as<T, unsigned long long> && !std::same_as<T, bool>) Text
    number_to_text(T value) {
    if constexpr (std::is_signed_v<T>)
        return number_to_text(static_cast<long long>(value));
    else
        return number_to_text(static_cast<unsigned long long>(value));
}
inline Text number_to_text(float value) {
    return number_to_text(static_cast<double>(value));
}

// Full-width digits, letters and signs are folded to ASCII first. text_to_int wraps in 32 bits.
double text_to_number(std::string_view text);
int text_to_int(std::string_view text);

// --- byte buffers ---
int bytes_length(const ByteBuffer& buffer);
ByteBuffer bytes_left(const ByteBuffer& buffer, int n);
ByteBuffer blank_bytes(int n);  // n zero bytes

namespace detail {
ByteBuffer concat_buffers(std::initializer_list<const ByteBuffer*> parts);
}

template <typename... Buffers>
requires(sizeof...(Buffers) >= 2 && (std::same_as<Buffers, ByteBuffer> && ...)) ByteBuffer
    concat_bytes(const Buffers&... buffers) {
    return detail::concat_buffers({&buffers...});
}

ByteBuffer text_to_bytes(std::string_view text);
// The bytes before the first zero byte.
Text bytes_to_text(const ByteBuffer& buffer);
// First four bytes, little-endian, signed; a shorter buffer reads as if zeros followed.
int bytes_to_int(const ByteBuffer& buffer);

// A copy of the zero-terminated text at address; empty for nullptr.
Text text_from_address(const char* address);
// A copy of the n bytes at address; empty for n <= 0 or nullptr.
ByteBuffer bytes_from_address(const void* address, int n);

template <typename... Ints>
requires(sizeof...(Ints) >= 2 &&
         (std::convertible_to<Ints, int> && ...)) constexpr int bitwise_or(Ints... values) {
    return static_cast<int>((static_cast<unsigned>(static_cast<int>(values)) | ...));
}

int array_size(const TextArray& array);

}  // namespace tavolen
