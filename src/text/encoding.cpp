#include "text/encoding.h"

#include <cstring>

#include "platform/codepage/codepage.h"

namespace tavolen {
namespace {

using codepage::cp_acp;
using codepage::cp_gbk;
using codepage::cp_utf8;

// The value of one escape digit: 0-15 for a hex digit in either case, -2 for any other byte,
// 0 for a position beyond the end (the system looked the byte up in "0123456789ABCDEF", and a
// missing byte is the empty text, which that lookup finds at position 1).
inline int escape_digit(std::string_view text, std::size_t index) {
    if (index >= text.size()) return 0;
    const unsigned char c = static_cast<unsigned char>(text[index]);
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -2;
}

std::string_view up_to_zero(std::string_view text) {
    const void* zero = text.empty() ? nullptr : std::memchr(text.data(), 0, text.size());
    return zero ? text.substr(
                      0, static_cast<std::size_t>(static_cast<const char*>(zero) - text.data()))
                : text;
}

std::u16string_view up_to_zero(std::u16string_view units) {
    const std::size_t zero = units.find(u'\0');
    return zero == std::u16string_view::npos ? units : units.substr(0, zero);
}

bool all_ascii(std::string_view text) {
    unsigned char acc = 0;
    for (char c : text) acc |= static_cast<unsigned char>(c);
    return acc < 0x80;
}

// UTF-16 as it travels in a byte buffer: little-endian units, an odd last byte ignored, read
// up to the first zero unit.
std::u16string units_from_buffer(const ByteBuffer& buffer) {
    const std::size_t count = buffer.size() / 2;
    std::u16string units;
    units.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto unit = static_cast<char16_t>(buffer[2 * i] | (buffer[2 * i + 1] << 8));
        if (unit == 0) break;
        units.push_back(unit);
    }
    return units;
}

ByteBuffer buffer_from_units(std::u16string_view units, bool terminator) {
    ByteBuffer buffer;
    buffer.resize((units.size() + (terminator ? 1 : 0)) * 2);
    std::size_t k = 0;
    for (char16_t unit : units) {
        buffer[k++] = static_cast<std::uint8_t>(unit & 0xFF);
        buffer[k++] = static_cast<std::uint8_t>(unit >> 8);
    }
    return buffer;  // a terminator's two bytes are already zero
}

}  // namespace

Text url_decode(std::string_view text, bool utf8) {
    Text out;
    out.reserve(text.size());
    const std::size_t len = text.size();
    std::size_t i = 0;
    while (i < len) {
        const void* percent = std::memchr(text.data() + i, '%', len - i);
        if (!percent) {
            out.append(text.substr(i));
            break;
        }
        const auto at = static_cast<std::size_t>(static_cast<const char*>(percent) - text.data());
        out.append(text.substr(i, at - i));
        // Whatever the two following positions hold, they make one byte (or none for 0).
        const int value = 16 * escape_digit(text, at + 1) + escape_digit(text, at + 2);
        const auto byte = static_cast<char>(static_cast<unsigned>(value) & 0xFFu);
        if (byte != 0) out.push_back(byte);
        i = at + 3;
    }
    if (utf8) return utf8_to_ansi(out);
    return out;
}

Text utf8_to_ansi(std::string_view text) {
    // The conversion stops at the first zero unit, which a zero byte becomes.
    text = up_to_zero(text);
    if (all_ascii(text)) return Text(text);
    const std::u16string units = codepage::multi_byte_to_wide_char(cp_utf8, text);
    return codepage::wide_char_to_multi_byte(cp_gbk, units);
}

ByteBuffer multibyte_to_utf16(std::string_view text, int code_page) {
    if (!codepage::is_supported(code_page)) return {};
    return buffer_from_units(codepage::multi_byte_to_wide_char(code_page, text), true);
}

Text utf16_to_multibyte(const ByteBuffer& buffer, int code_page) {
    return codepage::wide_char_to_multi_byte(code_page, units_from_buffer(buffer));
}

ByteBuffer ansi_to_utf16(std::string_view text, bool drop_terminator) {
    if (text.empty()) return {};
    return buffer_from_units(codepage::multi_byte_to_wide_char(cp_gbk, text), !drop_terminator);
}

Text utf16_to_ansi(const ByteBuffer& buffer) {
    return codepage::wide_char_to_multi_byte(cp_gbk, units_from_buffer(buffer),
                                             codepage::wc_composite_check);
}

std::u16string ansi_to_u16string(std::string_view text) {
    return codepage::multi_byte_to_wide_char(cp_acp, up_to_zero(text));
}

Text u16string_to_ansi(std::u16string_view units) {
    return codepage::wide_char_to_multi_byte(cp_acp, up_to_zero(units));
}

std::string ansi_to_utf8(std::string_view text) {
    text = up_to_zero(text);
    if (all_ascii(text)) return std::string(text);
    return codepage::wide_char_to_multi_byte(cp_utf8,
                                             codepage::multi_byte_to_wide_char(cp_gbk, text));
}

}  // namespace tavolen
