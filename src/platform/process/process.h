#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavolen::process {

// Process enumeration and working-set trim, shaped like the Windows calls of the same names so
// that a Windows build can put those behind this header unchanged.
//
// On Linux only this process can be opened: every other identifier is answered as a process
// that denies access. Pushing other programs' pages out after every request would only slow
// down whatever else the user runs.

using ProcessId = std::uint32_t;
// An open process; no_process_handle when none.
using ProcessHandle = std::uintptr_t;
constexpr ProcessHandle no_process_handle = 0;

constexpr std::uint32_t process_all_access = 0x1F0FFF;
constexpr std::size_t working_set_empty = static_cast<std::size_t>(-1);

// Fills ids with up to buffer_bytes / 4 process identifiers read from proc_root (a /proc tree)
// and stores the number of bytes filled in *bytes_returned. False, with 0 bytes, when the tree
// cannot be read or an argument is null.
bool enum_processes(ProcessId* ids, std::uint32_t buffer_bytes, std::uint32_t* bytes_returned,
                    const std::string& proc_root = "/proc");

// A handle for this process; no_process_handle for every other identifier (including 0).
ProcessHandle open_process(std::uint32_t desired_access, bool inherit_handle, ProcessId id);

// With both sizes working_set_empty, hands the heap's free memory back to the system. Other
// limits are accepted and have no effect: Linux keeps no per-process working-set limits.
// False for a handle that is not open.
bool set_process_working_set_size(ProcessHandle handle, std::size_t minimum_size,
                                  std::size_t maximum_size);

// False for a handle that is not open (including one closed before).
bool close_handle(ProcessHandle handle);

}  // namespace tavolen::process
