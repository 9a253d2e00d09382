#pragma once

// Stand-ins for MultiByteToWideChar and WideCharToMultiByte with flags 0 (plus the one composite
// check the system uses), for the code pages the system needs: 936 (Windows' GBK table: 0x80 is
// the euro sign, 0xFF and the user-defined areas map to private-use code points), 65001 (UTF-8)
// and 0 (the ANSI code page, which is 936 here). Nothing throws out of these functions.

#include <string>
#include <string_view>

namespace tavolen::codepage {

inline constexpr int cp_acp = 0;
inline constexpr int cp_gbk = 936;
inline constexpr int cp_utf8 = 65001;

// Composes base characters and combining marks before converting, where the target has the
// composed character.
inline constexpr unsigned wc_composite_check = 0x200;

bool is_supported(int code_page);

// Invalid source sequences become U+FFFD. Zero bytes are converted like any other byte.
// An unsupported code page gives the empty result.
std::u16string multi_byte_to_wide_char(int code_page, std::string_view bytes);

// Characters the code page lacks, and lone surrogates in code page 936, become "?"; in UTF-8 a
// lone surrogate becomes U+FFFD. An unsupported code page gives the empty result.
std::string wide_char_to_multi_byte(int code_page, std::u16string_view units, unsigned flags = 0);

}  // namespace tavolen::codepage
