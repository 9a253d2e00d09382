#include "platform/adostream/ado_stream.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavolen::adostream {
namespace {

using com::InvokeKind;
using com::Variant;

class AdoStreamTest : public ::testing::Test {
  protected:
    com::HResult call(std::string_view name, std::vector<Variant> args = {},
                      Variant* answer = nullptr) {
        Variant result;
        com::HResult hr = stream->invoke(name, InvokeKind::method, args, result);
        if (answer) *answer = result;
        return hr;
    }
    com::HResult put(std::string_view name, Variant value) {
        Variant result;
        return stream->invoke(name, InvokeKind::property_put, std::span(&value, 1), result);
    }
    Variant get(std::string_view name) {
        Variant result;
        stream->invoke(name, InvokeKind::property_get, {}, result);
        return result;
    }
    // The sequence that recodes a page: binary in, text out in the given charset.
    std::u16string recode(const com::ByteArray& bytes, const char16_t* charset) {
        EXPECT_EQ(put("Type", Variant::from_i4(1)), com::hr_ok);
        EXPECT_EQ(put("Mode", Variant::from_i4(3)), com::hr_ok);
        EXPECT_EQ(call("Open"), com::hr_ok);
        Variant data = Variant::from_bytes(bytes);
        EXPECT_EQ(call("Write", {Variant::reference_to(data)}), com::hr_ok);
        EXPECT_EQ(put("Position", Variant::from_i4(0)), com::hr_ok);
        EXPECT_EQ(put("Type", Variant::from_i4(2)), com::hr_ok);
        EXPECT_EQ(put("Charset", Variant::from_bstr(charset)), com::hr_ok);
        Variant text;
        EXPECT_EQ(call("ReadText", {}, &text), com::hr_ok);
        EXPECT_EQ(call("Close"), com::hr_ok);
        return text.bstr() ? *text.bstr() : u"<not a text>";
    }

    com::DispatchPtr stream = create_ado_stream();
};

TEST_F(AdoStreamTest, ReadsBinaryContentAsTextInTheCharset) {
    struct Case {
        com::ByteArray bytes;
        const char16_t* charset;
        std::u16string text;
    } cases[] = {
        // 中文 in GBK; gb2312 reads with the same table, 0x80 is the euro sign there.
        {{0xD6, 0xD0, 0xCE, 0xC4, 'a'}, u"gb2312", u"中文a"},
        {{0xD6, 0xD0, 0x80}, u"GBK", u"中\u20AC"},
        {{0x81, 0x40}, u"gb2312", u"\u4E02"},  // GBK-only character outside GB2312
        {{0xEF, 0xBB, 0xBF, 0xE4, 0xB8, 0xAD}, u"utf-8", u"中"},
        {{'h', 0, 'i'}, u"gbk", std::u16string(u"h\0i", 3)},
        {{'a', 0, 'b', 0}, u"unicode", u"ab"},
        {{}, u"gbk", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            std::string(c.charset, c.charset + std::char_traits<char16_t>::length(c.charset)));
        EXPECT_EQ(recode(c.bytes, c.charset), c.text);
    }
}

TEST_F(AdoStreamTest, InvalidBytesBecomeReplacementCharacters) {
    // A lead byte before a line feed, a lone lead byte at the end: the bytes around survive.
    std::u16string text = recode({'a', 0xD6, '\n', 'b', 0xD6}, u"gbk");
    EXPECT_EQ(text, u"a\uFFFD\nb\uFFFD");
}

TEST_F(AdoStreamTest, MisuseFailsAndChangesNothing) {
    Variant bytes = Variant::from_bytes({1, 2, 3});
    EXPECT_LT(call("Write", {bytes}), 0);  // not open
    EXPECT_LT(call("ReadText"), 0);        // not open
    EXPECT_LT(put("Type", Variant::from_i4(3)), 0);
    EXPECT_LT(put("Charset", Variant::from_bstr(u"klingon")), 0);
    EXPECT_EQ(*get("Charset").bstr(), u"Unicode");
    ASSERT_EQ(call("Open"), com::hr_ok);
    EXPECT_LT(call("Open"), 0);
    EXPECT_LT(call("Write", {Variant::from_bstr(u"text")}), 0);  // not a byte array
    EXPECT_LT(call("ReadText"), 0);                              // still binary
    ASSERT_EQ(call("Write", {bytes}), com::hr_ok);
    EXPECT_EQ(*get("Size").i4(), 3);
    EXPECT_LT(put("Type", Variant::from_i4(2)), 0);  // only at position 0
    EXPECT_LT(put("Position", Variant::from_i4(4)), 0);
    EXPECT_LT(put("Position", Variant::from_i4(-1)), 0);
    EXPECT_EQ(*get("Position").i4(), 3);
    ASSERT_EQ(put("Position", Variant::from_i4(0)), com::hr_ok);
    ASSERT_EQ(put("Type", Variant::from_i4(2)), com::hr_ok);
    EXPECT_LT(call("Write", {bytes}), 0);  // text streams take no bytes
    EXPECT_EQ(call("NoSuchMember"), com::hr_unknown_name);
    EXPECT_EQ(call("Close"), com::hr_ok);
    EXPECT_EQ(*get("State").i4(), 0);
}

TEST_F(AdoStreamTest, ReadTextWithACountTakesThatManyCharacters) {
    ASSERT_EQ(put("Charset", Variant::from_bstr(u"gbk")), com::hr_ok);
    ASSERT_EQ(call("Open"), com::hr_ok);
    ASSERT_EQ(call("Write", {Variant::from_bytes({0xD6, 0xD0, 'a', 'b'})}), com::hr_ok);
    ASSERT_EQ(put("Position", Variant::from_i4(0)), com::hr_ok);
    ASSERT_EQ(put("Type", Variant::from_i4(2)), com::hr_ok);
    Variant first, rest;
    ASSERT_EQ(call("ReadText", {Variant::from_i4(2)}, &first), com::hr_ok);
    EXPECT_EQ(*first.bstr(), u"中a");
    EXPECT_EQ(*get("Position").i4(), 3);
    ASSERT_EQ(call("ReadText", {}, &rest), com::hr_ok);
    EXPECT_EQ(*rest.bstr(), u"b");
}

}  // namespace
}  // namespace tavolen::adostream
