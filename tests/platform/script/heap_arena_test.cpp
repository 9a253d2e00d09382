#include "platform/script/heap_arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace tavolen::script {
namespace {

struct Live {
    unsigned char* ptr;
    std::size_t size;
    unsigned char fill;
};

bool intact(const Live& b) {
    for (std::size_t i = 0; i < b.size; ++i)
        if (b.ptr[i] != b.fill) return false;
    return true;
}

// Random allocations, growths, shrinks and releases across the small classes and large blocks:
// every live block keeps its bytes, is aligned, and the count returns to zero.
TEST(HeapArena, BlocksKeepTheirContentsThroughEveryResize) {
    HeapArena arena(std::size_t{64} << 20);
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> small(0, 600), large(600, 200000);
    std::vector<Live> live;
    for (int step = 0; step < 20000; ++step) {
        const int action = static_cast<int>(random() % 4);
        const std::size_t size = random() % 8 == 0 ? large(random) : small(random);
        if (action < 2 || live.empty()) {
            auto* p = static_cast<unsigned char*>(arena.allocate(size));
            ASSERT_NE(p, nullptr);
            const auto fill = static_cast<unsigned char>(step);
            std::memset(p, fill, size);
            live.push_back({p, size, fill});
        } else {
            const std::size_t i = random() % live.size();
            ASSERT_TRUE(intact(live[i])) << step;
            if (action == 2) {
                arena.release(live[i].ptr);
                live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                auto* p = static_cast<unsigned char*>(arena.reallocate(live[i].ptr, size));
                if (size == 0) {
                    EXPECT_EQ(p, nullptr);
                    live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
                    continue;
                }
                ASSERT_NE(p, nullptr);
                const std::size_t kept = std::min(size, live[i].size);
                for (std::size_t k = 0; k < kept; ++k) ASSERT_EQ(p[k], live[i].fill) << step;
                std::memset(p, live[i].fill, size);
                live[i] = {p, size, live[i].fill};
            }
        }
        if (!live.empty()) {
            ASSERT_EQ(reinterpret_cast<std::uintptr_t>(live.back().ptr) % 16, 0u);
        }
    }
    for (const auto& b : live) {
        EXPECT_TRUE(intact(b));
        arena.release(b.ptr);
    }
    EXPECT_EQ(arena.used(), 0u);
}

TEST(HeapArena, TheCapRefusesGrowthAndLeavesTheOldBlock) {
    HeapArena arena(100000);
    auto* big = static_cast<unsigned char*>(arena.allocate(60000));
    ASSERT_NE(big, nullptr);
    std::memset(big, 0x5A, 60000);
    EXPECT_EQ(arena.allocate(50000), nullptr);
    EXPECT_EQ(arena.reallocate(big, 120000), nullptr);
    EXPECT_EQ(big[59999], 0x5A);
    EXPECT_EQ(arena.used(), 60000u);
    void* small = arena.allocate(100);
    ASSERT_NE(small, nullptr);
    EXPECT_NE(arena.reallocate(big, 90000), nullptr);                  // fits within the cap
    EXPECT_EQ(arena.allocate(static_cast<std::size_t>(-1)), nullptr);  // absurd sizes too
}

}  // namespace
}  // namespace tavolen::script
