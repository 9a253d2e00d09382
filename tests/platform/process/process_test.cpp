#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/process/process.h"

namespace tavolen::process {
namespace {

namespace fs = std::filesystem;

// A made-up /proc tree with the given numeric entries and some that are not processes.
struct FakeProcRoot {
    fs::path root;
    explicit FakeProcRoot(int processes) {
        root = fs::temp_directory_path() / ("tavolen-proc-" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
        for (int i = 1; i <= processes; ++i) fs::create_directory(root / std::to_string(i * 3));
        for (const char* other : {"self", "sys", "12a", "-5", "99999999999"})
            fs::create_directory(root / other);
    }
    ~FakeProcRoot() { fs::remove_all(root); }
};

std::vector<ProcessId> enumerate(const std::string& root, std::uint32_t capacity) {
    std::vector<ProcessId> ids(capacity, 0);
    std::uint32_t bytes = 12345;
    EXPECT_TRUE(enum_processes(ids.data(), capacity * 4, &bytes, root));
    EXPECT_EQ(bytes % 4, 0u);
    ids.resize(bytes / 4);
    return ids;
}

TEST(ProcessEnumeration, ListsOnlyNumericEntriesUpToTheBuffer) {
    FakeProcRoot small(5);
    std::vector<ProcessId> ids = enumerate(small.root.string(), 1024);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<ProcessId>{3, 6, 9, 12, 15}));

    FakeProcRoot many(1500);
    ids = enumerate(many.root.string(), 1024);
    EXPECT_EQ(ids.size(), 1024u);
    EXPECT_TRUE(std::all_of(ids.begin(), ids.end(),
                            [](ProcessId id) { return id % 3 == 0 && id <= 4500; }));

    // A buffer of 6 bytes holds one identifier.
    std::array<ProcessId, 2> two{};
    std::uint32_t bytes = 0;
    EXPECT_TRUE(enum_processes(two.data(), 6, &bytes, many.root.string()));
    EXPECT_EQ(bytes, 4u);
    EXPECT_EQ(two[1], 0u);
}

TEST(ProcessEnumeration, BadArgumentsAndMissingTreeGiveNothing) {
    std::array<ProcessId, 4> ids{};
    std::uint32_t bytes = 7;
    EXPECT_FALSE(enum_processes(ids.data(), 16, &bytes, "/nonexistent/proc"));
    EXPECT_EQ(bytes, 0u);
    bytes = 7;
    EXPECT_FALSE(enum_processes(nullptr, 16, &bytes));
    EXPECT_EQ(bytes, 0u);
    EXPECT_FALSE(enum_processes(ids.data(), 16, nullptr));
}

TEST(ProcessEnumeration, RealTableHoldsThisProcess) {
    std::vector<ProcessId> ids = enumerate("/proc", 1024);
    EXPECT_NE(std::find(ids.begin(), ids.end(), static_cast<ProcessId>(getpid())), ids.end());
}

TEST(ProcessHandles, OnlyThisProcessOpens) {
    const ProcessId self = static_cast<ProcessId>(getpid());
    for (ProcessId other : {0u, 1u, static_cast<ProcessId>(getppid()), self + 1, 0xFFFFFFFFu})
        EXPECT_EQ(open_process(process_all_access, false, other), no_process_handle) << other;

    ProcessHandle a = open_process(process_all_access, false, self);
    ProcessHandle b = open_process(process_all_access, false, self);
    ASSERT_NE(a, no_process_handle);
    ASSERT_NE(b, no_process_handle);
    EXPECT_NE(a, b);
    EXPECT_TRUE(set_process_working_set_size(a, working_set_empty, working_set_empty));
    EXPECT_TRUE(close_handle(a));
    // A closed or never-opened handle is refused, and the other handle stays usable.
    EXPECT_FALSE(close_handle(a));
    EXPECT_FALSE(set_process_working_set_size(a, working_set_empty, working_set_empty));
    EXPECT_FALSE(close_handle(no_process_handle));
    EXPECT_FALSE(set_process_working_set_size(no_process_handle, 0, 0));
    EXPECT_TRUE(set_process_working_set_size(b, 4096, 8192));
    EXPECT_TRUE(close_handle(b));
}

std::size_t resident_bytes() {
    long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return 0;
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
    return static_cast<std::size_t>(resident) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

TEST(ProcessHandles, EmptyingTheWorkingSetReturnsFreedHeapToTheSystem) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's allocator stands in for glibc's heap";
#endif
    // 16 MB of touched heap, freed behind a small block that keeps it from merging into the top
    // of the heap, and with glibc's own trimming of the top switched off: only a trim returns it.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    constexpr std::size_t block = 64 * 1024;
    std::vector<void*> blocks;
    for (int i = 0; i < 256; ++i) {
        blocks.push_back(std::malloc(block));
        std::memset(blocks.back(), 1, block);
    }
    void* fence = std::malloc(64);
    for (void* b : blocks) std::free(b);
    const std::size_t before = resident_bytes();

    ProcessHandle self = open_process(process_all_access, false, getpid());
    ASSERT_NE(self, no_process_handle);
    EXPECT_TRUE(set_process_working_set_size(self, working_set_empty, working_set_empty));
    close_handle(self);
    EXPECT_LT(resident_bytes() + 8 * 1024 * 1024, before);
    std::free(fence);
}

}  // namespace
}  // namespace tavolen::process
