#include "platform/com/registry.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <unordered_map>

namespace tavolen::com {

bool same_name(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        if (x != y) return false;
    }
    return true;
}

namespace {

std::string registry_key(std::string_view prog_id) {
    std::string key(prog_id);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    return key;
}

struct Registry {
    std::mutex mutex;
    std::unordered_map<std::string, ClassFactory> classes;
};

// Never destroyed: a worker may still create or release objects while the process ends.
Registry& registry() {
    static auto* instance = new Registry;
    return *instance;
}

// 64 bits: the poll loop's thread initialises once per reply and never uninitialises, and a
// 32-bit count would overflow after some weeks of non-stop polling.
thread_local std::int64_t init_count = 0;

}  // namespace

bool register_class(std::string_view prog_id, ClassFactory factory) {
    if (prog_id.empty() || !factory) return false;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.classes[registry_key(prog_id)] = factory;
    return true;
}

bool is_class_registered(std::string_view prog_id) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.classes.count(registry_key(prog_id)) != 0;
}

HResult create_instance(std::string_view prog_id, DispatchPtr& object) {
    if (init_count == 0) return hr_not_initialized;
    ClassFactory factory = nullptr;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        auto it = r.classes.find(registry_key(prog_id));
        if (it == r.classes.end()) return hr_invalid_class_string;
        factory = it->second;
    }
    DispatchPtr created = factory();  // outside the lock: a factory may create objects itself
    if (!created) return hr_out_of_memory;
    object = std::move(created);
    return hr_ok;
}

HResult co_initialize() {
    return init_count++ == 0 ? hr_ok : hr_false;
}

void co_uninitialize() {
    if (init_count > 0) --init_count;
}

int com_init_count() {
    return static_cast<int>(std::min<std::int64_t>(init_count, std::numeric_limits<int>::max()));
}
bool com_initialized() {
    return init_count > 0;
}

}  // namespace tavolen::com
