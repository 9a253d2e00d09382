#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "platform/com/dispatch.h"

namespace tavolen::com {
namespace {

std::u16string u(const char* ascii) {
    return std::u16string(ascii, ascii + std::char_traits<char>::length(ascii));
}

// An object whose default member answers a fixed value, or fails.
class Valued final : public Dispatch {
  public:
    explicit Valued(Variant value, bool fail = false) : value_(std::move(value)), fail_(fail) {}
    HResult invoke(std::string_view name, InvokeKind kind, std::span<Variant>,
                   Variant& result) override {
        if (!name.empty() || kind != InvokeKind::property_get) return hr_unknown_name;
        if (fail_) return hr_exception;
        result = value_;
        return hr_ok;
    }

  private:
    Variant value_;
    bool fail_;
};

struct ToText {
    Variant from;
    const char* expected;  // null: the conversion fails
};

TEST(VariantChangeType, ToTextFollowsWindowsFormatting) {
    const ToText cases[] = {
        {Variant(), ""},
        {Variant::from_i4(-42), "-42"},
        {Variant::from_i4(std::numeric_limits<std::int32_t>::min()), "-2147483648"},
        {Variant::from_bool(true), "-1"},
        {Variant::from_bool(false), "0"},
        {Variant::from_r8(1.5), "1.5"},
        {Variant::from_r8(-0.0), "0"},
        {Variant::from_r8(100), "100"},
        {Variant::from_r8(0.1 + 0.2), "0.3"},  // 15 significant digits hide the binary error
        {Variant::from_r8(1.0 / 3), "0.333333333333333"},
        {Variant::from_r8(123456789012345.0), "123456789012345"},
        {Variant::from_r8(1e15), "1E+15"},
        {Variant::from_r8(0.0001), "0.0001"},
        {Variant::from_r8(0.00001), "1E-05"},
        {Variant::from_r8(-2.5e-300), "-2.5E-300"},
        {Variant::make_null(), nullptr},
        {Variant::from_bytes({1, 2}), nullptr},
        {Variant::from_dispatch(make_com<Valued>(Variant::from_i4(7))), "7"},
        {Variant::from_dispatch(make_com<Valued>(Variant(), true)), nullptr},
        {Variant::from_dispatch(
             make_com<Valued>(Variant::from_dispatch(make_com<Valued>(Variant::from_i4(1))))),
         nullptr},  // an object's default value must be a plain value
        {Variant::from_dispatch(nullptr), nullptr},
    };
    for (const auto& c : cases) {
        Variant out = Variant::from_i4(999);
        HResult hr = variant_change_type(out, c.from, VarType::bstr);
        SCOPED_TRACE(testing::Message()
                     << "case expecting " << (c.expected ? c.expected : "failure"));
        if (!c.expected) {
            EXPECT_TRUE(failed(hr));
            ASSERT_NE(out.i4(), nullptr) << "a failed conversion leaves the destination alone";
            EXPECT_EQ(*out.i4(), 999);
        } else {
            ASSERT_TRUE(succeeded(hr));
            ASSERT_NE(out.bstr(), nullptr);
            EXPECT_EQ(*out.bstr(), u(c.expected));
        }
    }
    Variant text = Variant::from_bstr(u"\u4e2d\u6587");
    ASSERT_EQ(variant_change_type(text, text, VarType::bstr), hr_ok);  // in place
    EXPECT_EQ(*text.bstr(), u"\u4e2d\u6587");
}

struct ToNumber {
    const char16_t* text;
    double expected;
    HResult hr;
};

TEST(VariantChangeType, TextToNumberAsWindowsParsesIt) {
    const ToNumber cases[] = {
        {u"42", 42, hr_ok},
        {u"  -1.25  ", -1.25, hr_ok},
        {u"+7", 7, hr_ok},
        {u"7-", -7, hr_ok},
        {u"(5)", -5, hr_ok},
        {u"$3.5", 3.5, hr_ok},
        {u"1,234,567", 1234567, hr_ok},
        {u".5", 0.5, hr_ok},
        {u"5.", 5, hr_ok},
        {u"1e3", 1000, hr_ok},
        {u"2.5D-1", 0.25, hr_ok},
        {u"&H1F", 31, hr_ok},
        {u"&o17", 15, hr_ok},
        {u"1e-400", 0, hr_ok},
        {u"1e400", 0, hr_overflow},
        {u"", 0, hr_type_mismatch},
        {u"   ", 0, hr_type_mismatch},
        {u"abc", 0, hr_type_mismatch},
        {u"12abc", 0, hr_type_mismatch},
        {u"1.2.3", 0, hr_type_mismatch},
        {u",5", 0, hr_type_mismatch},
        {u"--5", 0, hr_type_mismatch},
        {u"(5", 0, hr_type_mismatch},
        {u"1e", 0, hr_type_mismatch},
        {u"&H", 0, hr_type_mismatch},
        {u"&HZZ", 0, hr_type_mismatch},
        {u"&O9", 0, hr_type_mismatch},
        {u"True", 0, hr_type_mismatch},
        {u"Infinity", 0, hr_type_mismatch},
        {u"\u0661", 0, hr_type_mismatch},  // Arabic-Indic digit one: not a digit here
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
        Variant out;
        HResult hr = variant_change_type(out, Variant::from_bstr(c.text), VarType::r8);
        EXPECT_EQ(hr, c.hr);
        if (c.hr == hr_ok) {
            ASSERT_NE(out.r8(), nullptr);
            EXPECT_DOUBLE_EQ(*out.r8(), c.expected);
        } else {
            EXPECT_TRUE(out.is_empty());
        }
    }
}

TEST(VariantChangeType, NumbersSurviveTheTripThroughText) {
    // Text to number must read back whatever number to text writes, at 15 digits.
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    std::uniform_int_distribution<int> exponent(-300, 300);
    for (int i = 0; i < 20000; ++i) {
        const double value = std::ldexp(mantissa(random), exponent(random));
        Variant text, back;
        ASSERT_EQ(variant_change_type(text, Variant::from_r8(value), VarType::bstr), hr_ok);
        ASSERT_EQ(variant_change_type(back, text, VarType::r8), hr_ok)
            << std::string(text.bstr()->begin(), text.bstr()->end());
        char expected[40];
        std::snprintf(expected, sizeof expected, "%.15g", value);
        EXPECT_EQ(*back.r8(), std::strtod(expected, nullptr)) << expected;
    }
}

TEST(VariantChangeType, ToBooleanAndInteger) {
    struct Case {
        Variant from;
        int expected_bool;  // -1: fails
    };
    const Case to_bool[] = {
        {Variant(), 0},
        {Variant::from_i4(2), 1},
        {Variant::from_r8(0.0), 0},
        {Variant::from_r8(std::nan("")), 1},
        {Variant::from_bstr(u" TRUE "), 1},
        {Variant::from_bstr(u"false"), 0},
        {Variant::from_bstr(u"0"), 0},
        {Variant::from_bstr(u"-3.5"), 1},
        {Variant::from_bstr(u"yes"), -1},
        {Variant::from_bstr(u""), -1},
        {Variant::make_null(), -1},
    };
    for (const auto& c : to_bool) {
        Variant out;
        HResult hr = variant_change_type(out, c.from, VarType::boolean);
        if (c.expected_bool < 0) {
            EXPECT_TRUE(failed(hr));
        } else {
            ASSERT_TRUE(succeeded(hr));
            EXPECT_EQ(*out.boolean(), c.expected_bool == 1);
        }
    }

    // To an integer: half to even, range checked.
    const std::pair<double, std::int32_t> rounding[] = {
        {2.5, 2}, {3.5, 4}, {-2.5, -2}, {0.4999, 0}};
    for (auto [from, expected] : rounding) {
        Variant out;
        ASSERT_EQ(variant_change_type(out, Variant::from_r8(from), VarType::i4), hr_ok);
        EXPECT_EQ(*out.i4(), expected) << from;
    }
    Variant out;
    EXPECT_EQ(variant_change_type(out, Variant::from_r8(3e9), VarType::i4), hr_overflow);
    EXPECT_EQ(variant_change_type(out, Variant::from_r8(std::nan("")), VarType::i4), hr_overflow);
    EXPECT_EQ(variant_change_type(out, Variant::from_bool(true), VarType::i4), hr_ok);
    EXPECT_EQ(*out.i4(), -1);
    EXPECT_EQ(variant_change_type(out, Variant::from_bstr(u"  12 "), VarType::i4), hr_ok);
    EXPECT_EQ(*out.i4(), 12);
}

TEST(Variant, ByReferenceIsFollowedAndCopyingOwnsItsValue) {
    Variant target = Variant::from_bstr(u"abc");
    Variant ref = Variant::reference_to(target);
    EXPECT_EQ(ref.type(), VarType::by_ref);
    EXPECT_EQ(ref.deref().bstr(), target.bstr());

    Variant out;
    ASSERT_EQ(variant_change_type(out, ref, VarType::r8), hr_type_mismatch);
    ASSERT_EQ(variant_change_type(out, ref, VarType::bstr), hr_ok);
    EXPECT_EQ(*out.bstr(), u"abc");

    // A Variant referring to itself does not loop.
    Variant self;
    self = Variant::reference_to(self);
    EXPECT_EQ(&self.deref(), &self);

    // Copies are deep for strings and arrays, shared for objects.
    Variant bytes = Variant::from_bytes({1, 2, 3});
    Variant copy = bytes;
    copy.bytes()->push_back(4);
    EXPECT_EQ(bytes.bytes()->size(), 3u);

    auto object = make_com<Valued>(Variant());
    Variant holder = Variant::from_dispatch(object);
    EXPECT_EQ(object->ref_count(), 2u);
    {
        Variant second = holder;
        EXPECT_EQ(object->ref_count(), 3u);
    }
    Variant moved = std::move(holder);
    EXPECT_TRUE(holder.is_empty());
    EXPECT_EQ(object->ref_count(), 2u);
    moved.clear();
    EXPECT_EQ(object->ref_count(), 1u);
}

TEST(VariantChangeType, ObjectsAndOtherKinds) {
    Variant out;
    ASSERT_EQ(variant_change_type(out, Variant(), VarType::dispatch), hr_ok);
    ASSERT_NE(out.dispatch(), nullptr);
    EXPECT_FALSE(*out.dispatch());
    EXPECT_EQ(variant_change_type(out, Variant::from_i4(1), VarType::dispatch), hr_type_mismatch);
    EXPECT_EQ(variant_change_type(out, Variant::from_bstr(u"x"), VarType::ui1_array),
              hr_type_mismatch);
    EXPECT_EQ(variant_change_type(out, Variant::from_i4(1), VarType::null), hr_type_mismatch);
    ASSERT_EQ(variant_change_type(out, Variant::from_i4(1), VarType::empty), hr_ok);
    EXPECT_TRUE(out.is_empty());
    ASSERT_EQ(
        variant_change_type(
            out, Variant::from_dispatch(make_com<Valued>(Variant::from_bstr(u"2.5"))), VarType::r8),
        hr_ok);
    EXPECT_EQ(*out.r8(), 2.5);
}

}  // namespace
}  // namespace tavolen::com
