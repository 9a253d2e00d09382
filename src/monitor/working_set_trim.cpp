#include "monitor/working_set_trim.h"

#include <algorithm>
#include <array>

namespace tavolen {

namespace {
constexpr std::uint32_t max_processes = 1024;
}

const ProcessCalls& system_process_calls() {
    // Never destroyed: a worker may still trim while the process ends.
    static const auto* calls = new ProcessCalls{
        [](process::ProcessId* ids, std::uint32_t bytes, std::uint32_t* returned) {
            return process::enum_processes(ids, bytes, returned);
        },
        process::open_process,
        process::set_process_working_set_size,
        process::close_handle,
    };
    return *calls;
}

void trim_all_working_sets(const ProcessCalls& calls) {
    std::array<process::ProcessId, max_processes> ids{};
    std::uint32_t bytes = 0;
    calls.enum_processes(ids.data(), sizeof(ids), &bytes);
    // A count beyond the buffer would read past it; believe no more than it holds.
    const std::uint32_t count =
        std::min<std::uint32_t>(bytes / sizeof(process::ProcessId), max_processes);
    for (std::uint32_t i = 0; i < count; ++i) {
        process::ProcessHandle handle =
            calls.open_process(process::process_all_access, false, ids[i]);
        if (handle == process::no_process_handle) continue;
        calls.set_process_working_set_size(handle, process::working_set_empty,
                                           process::working_set_empty);
        calls.close_handle(handle);
    }
}

}  // namespace tavolen
