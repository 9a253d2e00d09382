#include <gtest/gtest.h>

#include <unistd.h>

#include <vector>

#include "monitor/working_set_trim.h"

namespace tavolen {
namespace {

using process::ProcessHandle;
using process::ProcessId;

// Process calls over a made-up process table that record what the trim does.
struct FakeProcesses {
    std::vector<ProcessId> table;
    std::vector<ProcessId> openable;
    bool enum_fails = false;
    // When set, the byte count reported regardless of the buffer (a faulty enumeration).
    std::uint32_t claimed_bytes = 0;

    std::vector<ProcessId> opened, trimmed, closed;
    std::vector<std::pair<std::size_t, std::size_t>> limits;

    ProcessCalls calls() {
        return {
            [this](ProcessId* ids, std::uint32_t bytes, std::uint32_t* returned) {
                if (enum_fails) return false;
                std::uint32_t n = 0;
                for (; n < table.size() && (n + 1) * sizeof(ProcessId) <= bytes; ++n)
                    ids[n] = table[n];
                *returned = claimed_bytes ? claimed_bytes : n * sizeof(ProcessId);
                return true;
            },
            [this](std::uint32_t access, bool inherit, ProcessId id) -> ProcessHandle {
                EXPECT_EQ(access, 0x1F0FFFu);
                EXPECT_FALSE(inherit);
                opened.push_back(id);
                for (ProcessId ok : openable)
                    if (ok == id) return 1000 + id;
                return process::no_process_handle;
            },
            [this](ProcessHandle h, std::size_t min, std::size_t max) {
                trimmed.push_back(static_cast<ProcessId>(h - 1000));
                limits.emplace_back(min, max);
                return true;
            },
            [this](ProcessHandle h) {
                closed.push_back(static_cast<ProcessId>(h - 1000));
                return true;
            },
        };
    }
};

TEST(WorkingSetTrim, TrimsAndClosesOnlyWhatOpensInEnumerationOrder) {
    FakeProcesses fake;
    fake.table = {0, 4, 77, 12, 900};
    fake.openable = {77, 900};
    trim_all_working_sets(fake.calls());

    EXPECT_EQ(fake.opened, (std::vector<ProcessId>{0, 4, 77, 12, 900}));
    EXPECT_EQ(fake.trimmed, (std::vector<ProcessId>{77, 900}));
    EXPECT_EQ(fake.closed, (std::vector<ProcessId>{77, 900}));
    for (auto [min, max] : fake.limits) {
        EXPECT_EQ(min, static_cast<std::size_t>(-1));
        EXPECT_EQ(max, static_cast<std::size_t>(-1));
    }
}

TEST(WorkingSetTrim, VisitsAtMost1024Processes) {
    FakeProcesses fake;
    for (ProcessId id = 1; id <= 1500; ++id) fake.table.push_back(id);
    trim_all_working_sets(fake.calls());
    ASSERT_EQ(fake.opened.size(), 1024u);
    EXPECT_EQ(fake.opened.back(), 1024u);

    // An enumeration that claims more bytes than the buffer holds is not believed.
    FakeProcesses liar;
    liar.table = {1, 2, 3};
    liar.claimed_bytes = 1u << 20;
    trim_all_working_sets(liar.calls());
    EXPECT_EQ(liar.opened.size(), 1024u);
}

TEST(WorkingSetTrim, FailedEnumerationTouchesNothing) {
    FakeProcesses fake;
    fake.table = {1, 2};
    fake.openable = {1, 2};
    fake.enum_fails = true;
    trim_all_working_sets(fake.calls());
    EXPECT_TRUE(fake.opened.empty());
    EXPECT_TRUE(fake.trimmed.empty());
}

TEST(WorkingSetTrim, SystemCallsRunAndLeaveNoHandleOpen) {
    // Over the real process table only this process opens; the trim must close what it opened.
    ProcessCalls calls = system_process_calls();
    std::vector<ProcessHandle> handles;
    auto open = calls.open_process;
    calls.open_process = [&](std::uint32_t access, bool inherit, ProcessId id) {
        ProcessHandle h = open(access, inherit, id);
        if (h != process::no_process_handle) handles.push_back(h);
        return h;
    };
    trim_all_working_sets(calls);
    ASSERT_EQ(handles.size(), 1u);
    EXPECT_FALSE(process::close_handle(handles[0]));  // already closed by the trim
}

}  // namespace
}  // namespace tavolen
