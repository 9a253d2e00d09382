#include "text/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace tavolen {
namespace {

// Two-byte characters used below: B0 A1 is a common ideograph, A1 A1 the full-width space.
const std::string kIdeograph = "\xB0\xA1";
const std::string kWideSpace = "\xA1\xA1";

TEST(TextSlicing, CountsAndPositionsOutsideTheTextGiveDefinedResults) {
    struct Case {
        const char* op;
        std::string text;
        int a, b;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"left", "abc", 5, 0, "abc"},
        {"left", "abc", 2, 0, "ab"},
        {"left", "abc", 0, 0, ""},
        {"left", "abc", INT_MIN, 0, ""},
        {"left", "abc", INT_MAX, 0, "abc"},
        {"left", "", 3, 0, ""},
        {"right", "abc", 0, 0, ""},
        {"right", "abc", 2, 0, "bc"},
        {"right", "abc", INT_MAX, 0, "abc"},
        {"right", "abc", INT_MIN, 0, ""},
        {"mid", "abc", 0, 2, ""},
        {"mid", "abc", 2, 99, "bc"},
        {"mid", "abc", 3, 1, "c"},
        {"mid", "abc", 4, 1, ""},
        {"mid", "abc", 1, 0, ""},
        {"mid", "abc", 2, INT_MAX, "bc"},
        {"mid", "abc", INT_MAX, INT_MAX, ""},
        {"mid", "abc", INT_MIN, 5, ""},
        {"mid", "abc", 1, INT_MIN, ""},
        {"mid", "", 1, 1, ""},
        // slicing counts raw bytes and may cut a two-byte character
        {"left", kIdeograph + "a", 1, 0, "\xB0"},
        {"mid", kIdeograph + "a", 2, 2,
         "\xA1"
         "a"},
    };
    for (const auto& c : cases) {
        const std::string op = c.op;
        const Text got = op == "left"    ? text_left(c.text, c.a)
                         : op == "right" ? text_right(c.text, c.a)
                                         : text_mid(c.text, c.a, c.b);
        EXPECT_EQ(got, c.expected) << op << "(" << c.text << ", " << c.a << ", " << c.b << ")";
    }
    EXPECT_EQ(text_length(""), 0);
    EXPECT_EQ(text_length(kIdeograph + "a"), 3);
}

TEST(FindText, SearchesOnlyAtCharacterStartsFromTheStartPosition) {
    struct Case {
        std::string text, sought;
        int start;
        bool ignore_case;
        int expected;
    };
    const std::vector<Case> cases = {
        {"abc", "a", 0, false, 1},  // a start below 1 means 1
        {"abc", "a", INT_MIN, false, 1},
        {"abcabc", "c", 4, false, 6},
        {"abc", "d", 1, false, -1},
        {"abc", "a", 4, false, -1},
        {"abc", "a", INT_MAX, false, -1},
        {"abc", "", 1, false, 1},
        {"abc", "", 3, false, 1},  // empty sought: 1 whatever the start, if the region is not empty
        {"abc", "", 4, false, -1},
        {"", "", 1, false, -1},
        {"", "a", 1, false, -1},
        {"ab", "abc", 1, false, -1},
        {"user-agent: x", "User-Agent: ", 1, true, 1},
        {"user-agent: x", "User-Agent: ", 1, false, -1},
        {"ABC", "b", 1, true, 2},
        // A1 41 would begin inside the character B0 A1
        {kIdeograph + "A",
         "\xA1"
         "A",
         1, false, -1},
        {"x" + kIdeograph + "A", "A", 1, false, 4},
        // a start inside a character is still taken as a character start, which puts the
        // scan out of step with the characters that follow
        {kIdeograph + kIdeograph, kIdeograph, 2, false, -1},
        {kIdeograph + kIdeograph, kIdeograph, 3, false, 3},
        {kIdeograph + "A",
         "\xA1"
         "A",
         2, false, 2},
        // every byte from 0x80 up leads a two-byte character, 80 and FF included, so the
        // first two commas here are second bytes
        {"\x80,\xFF,,", ",", 1, false, 5},
        // a lone lead byte at the end stops the search before it is compared
        {"ab\xB0", "\xB0", 1, false, -1},
        {"ab\xB0", "\xB0", 3, false, -1},
        {"ab\xB0",
         "\xB0"
         "c",
         1, false, -1},
        // 'A'..'Z' fold to 'a'..'z' only
        {"[", "{", 1, true, -1},
        {"@", "`", 1, true, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(find_text(c.text, c.sought, c.start, c.ignore_case), c.expected)
            << "find '" << c.sought << "' in '" << c.text << "' from " << c.start;
}

// An independent model of the search: enumerate character starts, compare bytes. Random texts
// from a small alphabet rich in lead bytes find the boundary faults that hand-picked cases miss.
int model_find(const std::string& text, const std::string& sought, int start, bool ignore_case) {
    auto lower = [](std::string s) {
        for (char& ch : s)
            if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
        return s;
    };
    const std::string haystack = ignore_case ? lower(text) : text;
    const std::string needle = ignore_case ? lower(sought) : sought;
    std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start - 1);
    if (from >= text.size()) return -1;
    if (sought.empty()) return 1;
    for (std::size_t p = from; p < text.size();) {
        const bool lead = static_cast<unsigned char>(text[p]) >= 0x80;
        if (lead && p + 1 == text.size()) break;  // an incomplete character ends the search
        if (p + needle.size() <= text.size() && haystack.compare(p, needle.size(), needle) == 0)
            return static_cast<int>(p + 1);
        p += lead ? 2 : 1;
    }
    return -1;
}

TEST(FindText, AgreesWithACharacterStartModelOnRandomTexts) {
    const std::string alphabet = "aA ,\xA1\xB0";
    std::mt19937 rng(12345);
    auto random_text = [&](std::size_t max) {
        std::string s(rng() % (max + 1), ' ');
        for (char& ch : s) ch = alphabet[rng() % alphabet.size()];
        return s;
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string text = random_text(12);
        const std::string sought = random_text(3);
        const int start = static_cast<int>(rng() % 15) - 1;
        const bool ignore_case = rng() % 2;
        ASSERT_EQ(find_text(text, sought, start, ignore_case),
                  model_find(text, sought, start, ignore_case))
            << "text '" << text << "' sought '" << sought << "' start " << start << " ignore_case "
            << ignore_case;
    }
}

TEST(ReplaceText, ReplacesWholeCharactersWithoutOverlapOrRescan) {
    struct Case {
        std::string text, sought, replacement;
        int start;
        std::optional<int> count;
        bool case_sensitive;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"aXbXc", "X", "", 1, {}, false, "abc"},
        {"aXbXc", "X", "", 1, 1, false, "abXc"},
        {"aXbXc", "X", "", 3, {}, false, "aXbc"},
        {"ABC", "b", "x", 1, {}, false, "AxC"},
        {"ABC", "b", "x", 1, {}, true, "ABC"},
        {"aaa", "aa", "b", 1, {}, false, "ba"},
        {"aa", "a", "aa", 1, {}, false, "aaaa"},  // replaced text is not rescanned
        {"aXbXc", "X", "-", 1, 0, false, "aXbXc"},
        {"aXbXc", "X", "-", 1, -1, false, "a-b-c"},
        {"aXbXc", "X", "-", 1, INT_MIN, false, "a-b-c"},
        {"aXbXc", "X", "-", 1, INT_MAX, false, "a-b-c"},
        {"aXbXc", "X", "-", INT_MIN, {}, false, "a-b-c"},
        {"aXbXc", "X", "-", 6, {}, false, "aXbXc"},
        {"aXbXc", "X", "-", INT_MAX, {}, false, "aXbXc"},
        {"", "X", "-", 1, {}, false, ""},
        {"abc", "", "-", 1, {}, false, "abc"},
        {"abc", "abcd", "-", 1, {}, false, "abc"},
        // no match inside a two-byte character
        {kIdeograph + "A",
         "\xA1"
         "A",
         "-",
         1,
         {},
         true,
         kIdeograph + "A"},
        {kIdeograph + "A", "A", "-", 1, {}, true, kIdeograph + "-"},
        // a lone lead byte reached by the scan at the very end is dropped...
        {"ab\xB0", "x", "-", 1, {}, true, "ab"},
        // ...but kept when too few bytes remain for the scan to reach it
        {"ab\xB0", "xy", "-", 1, {}, true, "ab\xB0"},
        // ...and dropped, not replaced, even when it is the byte sought
        {"ab\xB0", "\xB0", "-", 1, {}, true, "ab"},
        // the count stops the scan: the rest, lone lead byte included, is kept
        {"ab\xB0", "a", "-", 1, 1, true, "-b\xB0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(replace_text(c.text, c.sought, c.replacement, c.start, c.count, c.case_sensitive),
                  c.expected)
            << "replace '" << c.sought << "' in '" << c.text << "' from " << c.start;
}

TEST(SplitText, EndsPiecesAtDelimitersAndDropsOnlyTheEmptyTail) {
    struct Case {
        std::string text, delimiter;
        std::optional<int> max_count;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"a,b,c", ",", {}, {"a", "b", "c"}},
        {"a,,b", ",", {}, {"a", "", "b"}},
        {",a", ",", {}, {"", "a"}},
        {"a,b,", ",", {}, {"a", "b"}},
        {"a,b,c", ",", 2, {"a", "b"}},
        {"a;b;", ";", {}, {"a", "b"}},
        {";", ";", {}, {""}},
        {"", ";", {}, {}},
        {"a,b", ",", 0, {}},
        {"a,b", ",", INT_MIN, {}},
        {"a,b", ",", INT_MAX, {"a", "b"}},
        {"a,b", "", {}, {"a,b"}},
        {"abc", ",", {}, {"abc"}},
        {"a\r\nb\r\n\r\nc", "\r\n", {}, {"a", "b", "", "c"}},
        // the delimiter byte inside a two-byte character is not a delimiter
        {"\xB0,x,y", ",", {}, {"\xB0,x", "y"}},
        // an incomplete character at the end stays in the last element
        {"a,b\xB0", ",", {}, {"a", "b\xB0"}},
        {"a,\xB0", ",", {}, {"a", "\xB0"}},
        {"a\xB0", "\xB0", {}, {"a\xB0"}},  // even when it is the delimiter's one byte
    };
    for (const auto& c : cases) {
        const TextArray got = split_text(c.text, c.delimiter, c.max_count);
        EXPECT_EQ(got, TextArray(c.expected.begin(), c.expected.end()))
            << "split '" << c.text << "'";
        EXPECT_EQ(array_size(got), static_cast<int>(c.expected.size()));
    }
    EXPECT_EQ(split_text("x,y"), (TextArray{"x", "y"}));  // the default delimiter is ","
    EXPECT_EQ(array_size({}), 0);
}

TEST(Blanks, OnlyTheSpaceAndTheFullWidthSpaceAreBlanks) {
    struct Case {
        std::string text, trimmed, without_spaces;
    };
    const std::vector<Case> cases = {
        {"  a b  ", "a b", "ab"},
        {kWideSpace + "a" + kWideSpace, "a", "a"},
        {"\ta\t", "\ta\t", "\ta\t"},
        {"\r\na \n", "\r\na \n", "\r\na\n"},
        {"a b c d", "a b c d", "abcd"},
        {"    ", "", ""},
        {"", "", ""},
        // A1 A1 only counts as a whole character: here the first A1 is a trail byte
        {" \xB0\xA1\xA1\xB0 ", "\xB0\xA1\xA1\xB0", "\xB0\xA1\xA1\xB0"},
        {"\xB0\xA1\xA1\xA1", "\xB0\xA1", "\xB0\xA1"},
        // an incomplete character at the end is cut off, and the blanks before it stay
        {" a \xB0", "a ", "a"},
        {" \xA1", "", ""},
        {kIdeograph + " " + kIdeograph, kIdeograph + " " + kIdeograph, kIdeograph + kIdeograph},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trim_text(c.text), c.trimmed) << "trim '" << c.text << "'";
        EXPECT_EQ(remove_spaces(c.text), c.without_spaces) << "remove_spaces '" << c.text << "'";
    }
}

TEST(TextToUpper, ChangesOnlyAsciiLettersOutsideTwoByteCharacters) {
    EXPECT_EQ(text_to_upper("abz AZ {`}"), "ABZ AZ {`}");
    // trail bytes 0x61 and 0x7A look like letters but belong to the characters 81 61 and 81 7A
    EXPECT_EQ(text_to_upper("\x81"
                            "a\x81"
                            "za"),
              "\x81"
              "a\x81"
              "zA");
    EXPECT_EQ(text_to_upper("a\xB0"), "A\xB0");
    EXPECT_EQ(text_to_upper(""), "");
}

TEST(CompareText, EqualityIgnoresOnlyAsciiCaseAndOrderIsByCharacters) {
    struct Case {
        std::string a, b;
        bool case_sensitive;
        int sign;
    };
    const std::vector<Case> cases = {
        {"abc", "abc", true, 0},
        {"abc", "ABC", true, 1},
        {"abc", "ABC", false, 0},
        {"Location: ", "location: ", false, 0},
        {"abc", "abd", false, -1},
        {"ab", "abc", false, -1},
        {"", "a", true, -1},
        {"", "", true, 0},
        {"a", kIdeograph, true, -1},
        // trail bytes are never case-folded
        {"\x81"
         "a",
         "\x81"
         "A",
         false, 1},
        {"\xB0", kIdeograph, true, -1},
    };
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const auto& c : cases) {
        EXPECT_EQ(sign(compare_text(c.a, c.b, c.case_sensitive)), c.sign) << c.a << " vs " << c.b;
        EXPECT_EQ(sign(compare_text(c.b, c.a, c.case_sensitive)), -c.sign) << c.b << " vs " << c.a;
    }
    EXPECT_EQ(compare_text_plain("abc", "abc"), 0);
    EXPECT_EQ(compare_text_plain("", "a"), -1);
    EXPECT_EQ(compare_text_plain("a", ""), 1);
    EXPECT_EQ(compare_text_plain("a", "A"), 1);
    EXPECT_EQ(compare_text_plain("\x80", "\x7F"), 1);  // bytes compare unsigned
    EXPECT_EQ(compare_text_plain("ab", "abc"), -1);
}

TEST(NumberToText, WritesIntegersExactlyAndDoublesAsPercentPoint13G) {
    EXPECT_EQ(number_to_text(-5), "-5");
    EXPECT_EQ(number_to_text(0), "0");
    EXPECT_EQ(number_to_text(INT_MIN), "-2147483648");
    EXPECT_EQ(number_to_text(INT_MAX), "2147483647");
    // wider integers are written exactly, not through a double
    EXPECT_EQ(number_to_text(std::int64_t{9007199254740993}), "9007199254740993");
    EXPECT_EQ(number_to_text(std::size_t{4294967296u}), "4294967296");
    EXPECT_EQ(number_to_text(static_cast<unsigned short>(65535)), "65535");

    struct Case {
        double value;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {0.1, "0.1"},
        {0.5, "0.5"},
        {100.0, "100"},
        {123456789.0, "123456789"},
        {1e20, "1e+020"},
        {1e15, "1e+015"},
        {1e13, "1e+013"},
        {1e12, "1000000000000"},
        {0.00001, "1e-005"},
        {0.0001, "0.0001"},
        {1e-300, "1e-300"},
        {-1.5e100, "-1.5e+100"},
        {1.0 / 3.0, "0.3333333333333"},
        {2.0 / 3.0, "0.6666666666667"},
        {1234567890123.0, "1234567890123"},
        {12345678901234.0, "1.234567890123e+013"},
        {0.0, "0"},
        {-0.0, "-0"},
        {1.7976931348623157e308, "1.797693134862e+308"},
    };
    for (const auto& c : cases) EXPECT_EQ(number_to_text(c.value), c.expected) << c.value;
}

TEST(NumberToText, AgreesWithPrintfOnRandomDoublesButForTheExponentWidth) {
    // printf (in the C locale of this test) is the reference; only the exponent's width differs.
    auto drop_exponent_zeros = [](std::string s) {
        const std::size_t e = s.find('e');
        if (e != std::string::npos)
            while (s.size() > e + 3 && s[e + 2] == '0') s.erase(e + 2, 1);
        return s;
    };
    std::mt19937_64 rng(777);
    for (int i = 0; i < 20000; ++i) {
        double v;
        const std::uint64_t bits = rng();
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v)) continue;
        if (i % 2) v = static_cast<double>(static_cast<std::int64_t>(bits >> 20)) / 1000.0;
        char reference[64];
        std::snprintf(reference, sizeof reference, "%.13g", v);
        const Text got = number_to_text(v);
        ASSERT_EQ(drop_exponent_zeros(got), drop_exponent_zeros(reference)) << reference;
        const std::size_t e = got.find('e');
        if (e != Text::npos) {
            ASSERT_GE(got.size() - e - 2, 3u) << got;
        }
    }
}

TEST(TextToNumber, FoldsFullWidthFormsAndWrapsIn32Bits) {
    struct Case {
        std::string text;
        int as_int;
        double as_number;
    };
    const std::vector<Case> cases = {
        {" 42abc", 42, 42.0},
        {"abc", 0, 0.0},
        {"", 0, 0.0},
        {"\xA3\xB1\xA3\xB2", 12, 12.0},                 // full-width 1 2
        {"\xA3\xAD\xA3\xB7", -7, -7.0},                 // full-width - 7
        {"\xA1\xA1 \xA3\xB3\xA3\xAE\xA3\xB5", 3, 3.5},  // full-width space, 3 . 5
        {"\t\n\v\f\r -12", -12, -12.0},
        {"+8", 8, 8.0},
        {"- 8", 0, 0.0},
        {"2147483647", INT_MAX, 2147483647.0},
        {"2147483648", INT_MIN, 2147483648.0},
        {"-2147483648", INT_MIN, -2147483648.0},
        {"4294967297", 1, 4294967297.0},
        {"99999999999999999999", 1661992959, 1e20},
        {"1.5e3x", 1, 1500.0},
        {".5", 0, 0.5},
        {"5.", 5, 5.0},
        {"1e", 1, 1.0},
        {"1e+", 1, 1.0},
        {"-1e-2", -1, -0.01},
        {"0x10", 0, 0.0},
        {"inf", 0, 0.0},
        {"nan", 0, 0.0},
        {".", 0, 0.0},
        {"-", 0, 0.0},
        {"\xB0\xA1"
         "5",
         0, 0.0},
        {"7\xA3", 7, 7.0},  // a lone lead byte ends the number
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text_to_int(c.text), c.as_int) << "'" << c.text << "'";
        EXPECT_DOUBLE_EQ(text_to_number(c.text), c.as_number) << "'" << c.text << "'";
    }
    // out of a double's range
    EXPECT_EQ(text_to_number("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(text_to_number("-1e999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(text_to_number("1e-999"), 0.0);
    EXPECT_EQ(text_to_number("0.000001e-400"), 0.0);
    // what number_to_text writes reads back
    for (double v : {0.1, -2.5, 1e20, 123456789.0, 1e-5, 1234567890123.0})
        EXPECT_DOUBLE_EQ(text_to_number(number_to_text(v)), v);
}

TEST(SmallBuilders, CodesBlanksConcatenationAndOr) {
    EXPECT_EQ(char_from_code(0), "");
    EXPECT_EQ(char_from_code(256), "");
    EXPECT_EQ(char_from_code(-31), "\xE1");
    EXPECT_EQ(char_from_code(65), "A");
    EXPECT_EQ(char_from_code(INT_MIN), "");
    EXPECT_EQ(char_from_code(INT_MAX), "\xFF");
    EXPECT_EQ(blank_text(3), "   ");
    EXPECT_EQ(blank_text(0), "");
    EXPECT_EQ(blank_text(INT_MIN), "");
    EXPECT_EQ(concat_text(Text("a"), "", std::string_view("bc"), Text()), "abc");
    EXPECT_EQ(concat_text("", ""), "");
    EXPECT_EQ(bitwise_or(1, 2), 3);
    EXPECT_EQ(bitwise_or(0x100, 0x10, 0x1, INT_MIN), static_cast<int>(0x80000111u));
}

TEST(ByteBuffers, ZeroBytesAreKeptInBuffersAndEndTexts) {
    EXPECT_EQ(bytes_to_text({0x61, 0x00, 0x62}), "a");
    EXPECT_EQ(bytes_to_text({}), "");
    EXPECT_EQ(bytes_to_text({0x00}), "");
    EXPECT_EQ(bytes_to_text({0x61, 0x62}), "ab");
    EXPECT_EQ(bytes_to_int({0x01, 0x02}), 513);
    EXPECT_EQ(bytes_to_int({}), 0);
    EXPECT_EQ(bytes_to_int({0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), -1);
    EXPECT_EQ(bytes_to_int({0x00, 0x00, 0x00, 0x80}), INT_MIN);
    EXPECT_EQ(text_to_bytes("ab"), (ByteBuffer{0x61, 0x62}));
    EXPECT_EQ(bytes_length(text_to_bytes("ab")), 2);
    EXPECT_EQ(text_to_bytes(""), ByteBuffer{});
    EXPECT_EQ(bytes_left({1, 2, 3}, 2), (ByteBuffer{1, 2}));
    EXPECT_EQ(bytes_left({1, 2, 3}, INT_MAX), (ByteBuffer{1, 2, 3}));
    EXPECT_EQ(bytes_left({1, 2, 3}, INT_MIN), ByteBuffer{});
    EXPECT_EQ(blank_bytes(3), (ByteBuffer{0, 0, 0}));
    EXPECT_EQ(blank_bytes(-1), ByteBuffer{});
    EXPECT_EQ(concat_bytes(ByteBuffer{1, 0}, ByteBuffer{}, ByteBuffer{0, 2}),
              (ByteBuffer{1, 0, 0, 2}));
    EXPECT_TRUE(concat_bytes(ByteBuffer{}, ByteBuffer{}).empty());

    const char stored[] = "stored\0hidden";
    EXPECT_EQ(text_from_address(stored), "stored");
    EXPECT_EQ(text_from_address(nullptr), "");
    EXPECT_EQ(bytes_from_address(stored, 8), (ByteBuffer{'s', 't', 'o', 'r', 'e', 'd', 0, 'h'}));
    EXPECT_EQ(bytes_from_address(stored, 0), ByteBuffer{});
    EXPECT_EQ(bytes_from_address(stored, INT_MIN), ByteBuffer{});
    EXPECT_EQ(bytes_from_address(nullptr, 5), ByteBuffer{});
}

TEST(LargeTexts, MegabyteTextsAreScannedToTheEnd) {
    const std::size_t n = 4u << 20;
    std::string big;
    big.reserve(2 * n + 2);
    for (std::size_t i = 0; i < n; ++i) big += kIdeograph;  // 8 MB of two-byte characters
    const std::string tail =
        "\xA1"
        "A";  // matches only across a boundary
    EXPECT_EQ(find_text(big + "A", tail), -1);
    EXPECT_EQ(find_text(big + "xA", "xA"), static_cast<int>(2 * n + 1));
    EXPECT_EQ(replace_text(big + "A", "A", "").size(), 2 * n);
    EXPECT_EQ(replace_text(big, kIdeograph, "a"), std::string(n, 'a'));

    const std::string commas(1u << 20, ',');
    EXPECT_EQ(split_text(commas).size(), commas.size());
    EXPECT_EQ(trim_text(std::string(n, ' ') + "x" + std::string(n, ' ')), "x");
    EXPECT_EQ(remove_spaces(std::string(n, ' ')), "");
    // 10^k is 0 modulo 2^32 for k >= 32, so k nines wrap to -1
    EXPECT_EQ(text_to_int(std::string(n, '9')), -1);
}

}  // namespace
}  // namespace tavolen
