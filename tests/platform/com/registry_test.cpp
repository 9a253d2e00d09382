#include "platform/com/registry.h"

#include <gtest/gtest.h>

#include <thread>

namespace tavolen::com {
namespace {

class Probe final : public Dispatch {
  public:
    HResult invoke(std::string_view name, InvokeKind, std::span<Variant>,
                   Variant& result) override {
        if (!same_name(name, "Ping")) return hr_unknown_name;
        result = Variant::from_i4(1);
        return hr_ok;
    }
};

DispatchPtr make_probe() {
    return make_com<Probe>();
}
DispatchPtr make_nothing() {
    return nullptr;
}

// Each test balances its own initialisation, so the thread's count starts and ends at 0.
class ComThread : public testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(com_init_count(), 0); }
    void TearDown() override { EXPECT_EQ(com_init_count(), 0); }
};

TEST_F(ComThread, CreationNeedsCoInitializeOnTheCallingThread) {
    ASSERT_TRUE(register_class("Test.Probe", &make_probe));
    DispatchPtr object;
    EXPECT_EQ(create_instance("Test.Probe", object), hr_not_initialized);
    EXPECT_FALSE(object);

    EXPECT_EQ(co_initialize(), hr_ok);
    EXPECT_EQ(co_initialize(), hr_false);
    EXPECT_EQ(com_init_count(), 2);
    ASSERT_EQ(create_instance("Test.Probe", object), hr_ok);
    EXPECT_EQ(object->ref_count(), 1u);

    // Another thread has its own count: our initialisation does not cover it.
    HResult other = hr_ok;
    std::thread([&] {
        DispatchPtr there;
        other = create_instance("Test.Probe", there);
    }).join();
    EXPECT_EQ(other, hr_not_initialized);

    co_uninitialize();
    EXPECT_TRUE(com_initialized());
    co_uninitialize();
    EXPECT_FALSE(com_initialized());
    co_uninitialize();  // unbalanced extra call: harmless
    EXPECT_EQ(com_init_count(), 0);
    EXPECT_EQ(create_instance("Test.Probe", object), hr_not_initialized);
}

TEST_F(ComThread, ProgIdsIgnoreCaseAndUnknownOnesFail) {
    ASSERT_TRUE(register_class("Test.MixedCase", &make_probe));
    co_initialize();
    DispatchPtr object;
    EXPECT_EQ(create_instance("TEST.mixedcase", object), hr_ok);
    EXPECT_TRUE(is_class_registered("test.MIXEDCASE"));

    DispatchPtr untouched = object;
    EXPECT_EQ(create_instance("Test.Missing", untouched), hr_invalid_class_string);
    EXPECT_EQ(create_instance("", untouched), hr_invalid_class_string);
    EXPECT_EQ(create_instance("Test.MixedCase\xff\x00", untouched), hr_invalid_class_string);
    EXPECT_EQ(untouched, object) << "a failed creation leaves the pointer alone";

    EXPECT_FALSE(register_class("", &make_probe));
    EXPECT_FALSE(register_class("Test.Null", nullptr));
    ASSERT_TRUE(register_class("Test.Nothing", &make_nothing));
    EXPECT_EQ(create_instance("Test.Nothing", untouched), hr_out_of_memory);
    co_uninitialize();
}

TEST(DispatchNames, CompareIgnoringAsciiCaseOnly) {
    EXPECT_TRUE(same_name("SubMatches", "SUBMATCHES"));
    EXPECT_TRUE(same_name("", ""));
    EXPECT_FALSE(same_name("Item", "Items"));
    EXPECT_FALSE(same_name("\xc4", "\xe4"));  // no folding beyond ASCII
    EXPECT_FALSE(same_name("[", "{"));        // 0x5B and 0x7B differ by the case bit only
}

}  // namespace
}  // namespace tavolen::com
