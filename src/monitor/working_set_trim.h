#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/process/process.h"

namespace tavolen {

// The process calls the trim makes; tests hand in their own to watch the visits.
struct ProcessCalls {
    std::function<bool(process::ProcessId*, std::uint32_t, std::uint32_t*)> enum_processes;
    std::function<process::ProcessHandle(std::uint32_t, bool, process::ProcessId)> open_process;
    std::function<bool(process::ProcessHandle, std::size_t, std::size_t)>
        set_process_working_set_size;
    std::function<bool(process::ProcessHandle)> close_handle;
};

const ProcessCalls& system_process_calls();

// Enumerates up to 1024 processes and empties the working set of each one that can be opened;
// those that cannot be opened are skipped. Nothing is reported.
void trim_all_working_sets(const ProcessCalls& calls = system_process_calls());

}  // namespace tavolen
