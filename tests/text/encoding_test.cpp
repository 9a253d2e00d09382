#include "text/encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavolen {
namespace {

// 中 is E4 B8 AD in UTF-8, U+4E2D, and D6 D0 in code page 936.
const std::string kZhongUtf8 = "\xE4\xB8\xAD";
const std::string kZhongGbk = "\xD6\xD0";

TEST(UrlDecode, WalksEscapesExactlyIncludingMalformedOnes) {
    struct Case {
        std::string text;
        bool utf8;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"%41%42c", false, "ABc"},
        {"%e4%b8%ad", true, kZhongGbk},
        {"%e4%b8%ad", false, kZhongUtf8},
        {"%E4%B8%AD", true, kZhongGbk},
        {"a+b", false, "a+b"},
        {"a%", false, "a"},       // a lone "%" at the end: 16*0 + 0 appends nothing
        {"a%4", false, "a\x40"},  // the missing second digit counts 0
        {"%2", false, " "},
        {"%G1", false, "\xE1"},  // -2 * 16 + 1 = -31, low eight bits E1
        {"%%41", false,
         "\xE4"
         "1"},  // the second "%" counts -2, "4" counts 4
        {"%00", false, ""},
        {"x%00y", false, "xy"},
        {"%zz", false, "\xDE"},  // -2 * 16 - 2 = -34
        {"%", false, ""},
        {"", false, ""},
        {"", true, ""},
        {"100%", false, "100"},
        {"%0a%0D", false, "\n\r"},
        {"%ff", false, "\xFF"},
        {"plain text", true, "plain text"},
        // the escape swallows its two positions whatever they hold
        {"%\xB0\xA1z", false, std::string(1, static_cast<char>((16 * -2 - 2) & 0xFF)) + "z"},
        // invalid UTF-8 after decoding becomes the default character, never a crash
        {"%ff%fe", true, "??"},
        {"a%e4%b8", true, "a?"},
        {"%e2%82%ac", true, "\x80"},  // the euro sign is byte 80 in code page 936
    };
    for (const auto& c : cases)
        EXPECT_EQ(url_decode(c.text, c.utf8), c.expected) << "'" << c.text << "' utf8=" << c.utf8;
}

TEST(UrlDecode, DecodesAMultiMegabyteReply) {
    std::string reply;
    const int n = 1 << 20;
    reply.reserve(9u * n);
    for (int i = 0; i < n; ++i) reply += "%e4%b8%ad";
    const Text decoded = url_decode(reply, true);
    ASSERT_EQ(decoded.size(), 2u * n);
    EXPECT_EQ(decoded.substr(0, 2), kZhongGbk);
    EXPECT_EQ(decoded.substr(decoded.size() - 2), kZhongGbk);
}

TEST(Utf16Buffers, CarryOneZeroUnitOutAndStopAtTheFirstIn) {
    EXPECT_EQ(ansi_to_utf16("ab"), (ByteBuffer{0x61, 0, 0x62, 0, 0, 0}));
    EXPECT_EQ(ansi_to_utf16("ab", true), (ByteBuffer{0x61, 0, 0x62, 0}));
    EXPECT_EQ(ansi_to_utf16(""), ByteBuffer{});
    EXPECT_EQ(ansi_to_utf16("", true), ByteBuffer{});
    EXPECT_EQ(ansi_to_utf16(kZhongGbk), (ByteBuffer{0x2D, 0x4E, 0, 0}));
    EXPECT_EQ(ansi_to_utf16("\x80"), (ByteBuffer{0xAC, 0x20, 0, 0}));
    // a lone lead byte at the end is an invalid sequence: U+FFFD
    EXPECT_EQ(ansi_to_utf16("a\xB0"), (ByteBuffer{0x61, 0, 0xFD, 0xFF, 0, 0}));

    struct Case {
        ByteBuffer buffer;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{0x61, 0, 0x62, 0}, "ab"},
        {{0x61, 0, 0, 0, 0x62, 0}, "a"},
        {{0x61, 0, 0x62, 0, 0x63}, "ab"},  // an odd last byte is ignored
        {{}, ""},
        {{0x61}, ""},
        {{0x2D, 0x4E}, kZhongGbk},
        {{0x01, 0x0E}, "?"},                     // Thai ko kai: not in code page 936
        {{0x3D, 0xD8, 0x00, 0xDE}, "?"},         // an emoji (surrogate pair)
        {{0x00, 0xD8, 0x61, 0x00}, "?a"},        // a lone surrogate
        {{0x65, 0x00, 0x01, 0x03}, "\xA8\xA6"},  // e + combining acute composes to é
        {{0x2C, 0xF9}, "\xFD\x9C"},              // a compatibility ideograph keeps its own code
    };
    for (const auto& c : cases) EXPECT_EQ(utf16_to_ansi(c.buffer), c.expected);
}

TEST(Utf16Buffers, EveryTwoByteCharacterOfCodePage936RoundTrips) {
    int checked = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            const std::string ch{static_cast<char>(lead), static_cast<char>(trail)};
            const ByteBuffer wide = ansi_to_utf16(ch);
            ASSERT_EQ(wide.size(), 4u) << std::hex << lead << trail;
            ASSERT_EQ(utf16_to_ansi(wide), ch) << std::hex << lead << " " << trail;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 126 * 190);
    // the single bytes that Windows maps: 80 is the euro sign, FF a private-use character
    EXPECT_EQ(utf16_to_ansi(ansi_to_utf16("\x80\xFF")), "\x80\xFF");
}

TEST(CodePageConversion, Utf8AndExplicitCodePages) {
    EXPECT_EQ(utf8_to_ansi("plain ASCII {\"a\":1}"), "plain ASCII {\"a\":1}");
    EXPECT_EQ(utf8_to_ansi(kZhongUtf8 + "x"), kZhongGbk + "x");
    EXPECT_EQ(utf8_to_ansi("\xE0\xB8\x81"), "?");          // not in code page 936
    EXPECT_EQ(utf8_to_ansi("a\xC3(b"), "a?(b");            // invalid UTF-8
    EXPECT_EQ(utf8_to_ansi("\xED\xA0\x80"), "???");        // an encoded surrogate is invalid
    EXPECT_EQ(utf8_to_ansi(std::string("a\0b", 3)), "a");  // the conversion ends at a zero
    EXPECT_EQ(utf8_to_ansi(""), "");

    EXPECT_EQ(multibyte_to_utf16(kZhongUtf8), (ByteBuffer{0x2D, 0x4E, 0, 0}));
    EXPECT_EQ(multibyte_to_utf16(kZhongGbk, 936), (ByteBuffer{0x2D, 0x4E, 0, 0}));
    EXPECT_EQ(multibyte_to_utf16(kZhongGbk, 0), (ByteBuffer{0x2D, 0x4E, 0, 0}));
    EXPECT_EQ(multibyte_to_utf16(""), (ByteBuffer{0, 0}));   // the terminator alone
    EXPECT_EQ(multibyte_to_utf16("a", 1252), ByteBuffer{});  // a code page we do not have
    EXPECT_EQ(utf16_to_multibyte({0x2D, 0x4E, 0, 0}), kZhongGbk);
    EXPECT_EQ(utf16_to_multibyte({0x2D, 0x4E, 0, 0}, 65001), kZhongUtf8);
    EXPECT_EQ(utf16_to_multibyte({0x2D, 0x4E}, 437), "");

    EXPECT_EQ(ansi_to_utf8(kZhongGbk + "a"), kZhongUtf8 + "a");
    EXPECT_EQ(ansi_to_u16string(kZhongGbk), u"\u4E2D");
    EXPECT_EQ(u16string_to_ansi(u"\u4E2Dz"), kZhongGbk + "z");
}

}  // namespace
}  // namespace tavolen
