#pragma once

// Percent decoding and conversions between code-page-936 texts, UTF-8 and UTF-16. UTF-16 in a
// ByteBuffer is little-endian units; as produced here it ends with one zero unit that counts in
// the length, as consumed it is read up to its first zero unit (an odd last byte is ignored).
// Invalid source bytes become U+FFFD; characters the target code page lacks become "?".

#include <string>
#include <string_view>

#include "text/text.h"

namespace tavolen {

// Turns %XY escapes into bytes exactly as the system always has, malformed escapes included:
// each of the two positions after "%" counts 0-15 for a hex digit, -2 for any other byte and 0
// beyond the end; the byte is the low eight bits of 16*first+second, and 0 appends nothing.
// With utf8 the result is then read as UTF-8 and converted to code page 936.
Text url_decode(std::string_view text, bool utf8 = false);

// UTF-8 bytes to code page 936.
Text utf8_to_ansi(std::string_view text);

// The whole text plus one zero unit, as UTF-16LE.
ByteBuffer multibyte_to_utf16(std::string_view text, int code_page = 65001);
// The units up to the first zero unit, in the given code page (0 is the ANSI code page, 936).
Text utf16_to_multibyte(const ByteBuffer& buffer, int code_page = 0);

// The empty text gives the empty buffer; otherwise the units plus one zero unit unless
// drop_terminator.
ByteBuffer ansi_to_utf16(std::string_view text, bool drop_terminator = false);
// Units up to the first zero unit, composed where possible, to code page 936.
Text utf16_to_ansi(const ByteBuffer& buffer);

// Direct forms for the code that talks to libraries in UTF-8 or UTF-16. Like the buffer forms
// they read their input up to its first zero.
std::u16string ansi_to_u16string(std::string_view text);
Text u16string_to_ansi(std::u16string_view units);
std::string ansi_to_utf8(std::string_view text);

}  // namespace tavolen
