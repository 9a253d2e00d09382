#include "platform/process/process.h"

#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace tavolen::process {

namespace {

// Open handles and the process each names. A table rather than raw pointers, so that a stale
// or double close is answered with false instead of touching freed memory.
struct HandleTable {
    std::mutex mutex;
    std::unordered_map<ProcessHandle, ProcessId> open;
    ProcessHandle last = no_process_handle;
};

// Never destroyed: a worker may still trim while the process ends.
HandleTable& handles() {
    static auto* table = new HandleTable;
    return *table;
}

bool parse_pid(const char* name, ProcessId& id) {
    const char* end = name + std::strlen(name);
    if (name == end || *name < '0' || *name > '9') return false;
    auto [ptr, ec] = std::from_chars(name, end, id);
    return ec == std::errc{} && ptr == end;
}

}  // namespace

bool enum_processes(ProcessId* ids, std::uint32_t buffer_bytes, std::uint32_t* bytes_returned,
                    const std::string& proc_root) {
    if (bytes_returned == nullptr) return false;
    *bytes_returned = 0;
    if (ids == nullptr && buffer_bytes != 0) return false;
    DIR* dir = opendir(proc_root.c_str());
    if (dir == nullptr) return false;
    const std::uint32_t capacity = buffer_bytes / sizeof(ProcessId);
    std::uint32_t filled = 0;
    while (filled < capacity) {
        const dirent* entry = readdir(dir);
        if (entry == nullptr) break;
        ProcessId id = 0;
        if (parse_pid(entry->d_name, id)) ids[filled++] = id;
    }
    closedir(dir);
    *bytes_returned = filled * sizeof(ProcessId);
    return true;
}

ProcessHandle open_process(std::uint32_t /*desired_access*/, bool /*inherit_handle*/,
                           ProcessId id) {
    if (id == 0 || id != static_cast<ProcessId>(getpid())) return no_process_handle;
    HandleTable& table = handles();
    std::lock_guard lock(table.mutex);
    ProcessHandle handle = ++table.last;
    if (handle == no_process_handle) handle = ++table.last;
    table.open.emplace(handle, id);
    return handle;
}

bool set_process_working_set_size(ProcessHandle handle, std::size_t minimum_size,
                                  std::size_t maximum_size) {
    {
        HandleTable& table = handles();
        std::lock_guard lock(table.mutex);
        if (!table.open.contains(handle)) return false;
    }
    if (minimum_size == working_set_empty && maximum_size == working_set_empty) malloc_trim(0);
    return true;
}

bool close_handle(ProcessHandle handle) {
    HandleTable& table = handles();
    std::lock_guard lock(table.mutex);
    return table.open.erase(handle) == 1;
}

}  // namespace tavolen::process
