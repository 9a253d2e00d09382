#include "shell/thread_launcher.h"

#include <pthread.h>

#include <charconv>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

namespace tavolen {
namespace {

thread_local LaunchedThread* current_thread = nullptr;

char* copy_of(const Text& text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

// The entry routine's address. A 64-bit address does not fit the 32-bit integer the number
// conversions use, so it is written and read at pointer width, and only a slot that is a whole
// decimal number counts.
Text address_text(EntryRoutine entry) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(entry));
}

EntryRoutine entry_from_text(const std::optional<Text>& slot) {
    if (!slot) return nullptr;
    std::uintptr_t address = 0;
    const char* first = slot->data();
    const char* last = first + slot->size();
    const auto [end, error] = std::from_chars(first, last, address);
    if (error != std::errc() || end != last || address < 1) return nullptr;
    return reinterpret_cast<EntryRoutine>(address);
}

// The number slot read as a number and cut to an integer. The slot is text that anyone may have
// written, so a value beyond the integer range is held at its end rather than converted.
int integer_from_text(const Text& slot) {
    const double value = text_to_number(slot);
    if (!(value == value)) return 0;  // NaN
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(value);
}

}  // namespace

ThreadArgumentBlock::ThreadArgumentBlock(const std::array<const Text*, 6>& texts,
                                         ThreadHandle thread_record)
    : thread(std::move(thread_record)) {
    for (std::size_t k = 0; k < texts.size(); ++k) {
        if (texts[k] != nullptr) text_slots[k] = copy_of(*texts[k]);
    }
}

ThreadArgumentBlock::~ThreadArgumentBlock() {
    for (char* slot : text_slots) std::free(slot);
}

ThreadHandle start_worker_thread(EntryRoutine entry, int number, const Text* text1,
                                 const Text* text2, const Text* text3, const Text* text4,
                                 ThreadHandle thread) {
    if (!thread) thread = std::make_shared<LaunchedThread>();
    const Text entry_slot = address_text(entry);
    const Text number_slot = number_to_text(number);
    auto* block =
        new ThreadArgumentBlock({&entry_slot, &number_slot, text1, text2, text3, text4}, thread);

    // Detached: nobody ever waits for a worker, and its resources go when it ends.
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t id;
    const int failed = pthread_create(&id, &attributes, launcher_thread_proc, block);
    pthread_attr_destroy(&attributes);
    if (failed != 0) {
        delete block;
        return nullptr;
    }
    // Give the new thread a moment to get going before the caller carries on.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return thread;
}

void* launcher_thread_proc(void* start_parameter) {
    auto* block = static_cast<ThreadArgumentBlock*>(start_parameter);

    // Take everything out of the block first; from here on only the copies are used. An empty
    // text is passed on as absent.
    std::array<std::optional<Text>, 6> local;
    for (std::size_t k = 0; k < local.size(); ++k) {
        Text text = text_from_address(block->text_slots[k]);
        if (!text.empty()) local[k] = std::move(text);
    }
    ThreadHandle thread = std::move(block->thread);
    delete block;

    current_thread = thread.get();
    if (EntryRoutine entry = entry_from_text(local[0])) {
        const int value = local[1] ? integer_from_text(*local[1]) : 0;
        auto address_of = [](const std::optional<Text>& slot) {
            return slot ? &*slot : static_cast<const Text*>(nullptr);
        };
        entry(value, address_of(local[2]), address_of(local[3]), address_of(local[4]),
              address_of(local[5]));
    }
    current_thread = nullptr;
    if (thread) thread->ended.store(true, std::memory_order_release);
    return nullptr;
}

LaunchedThread* current_launched_thread() {
    return current_thread;
}

}  // namespace tavolen
