#pragma once

#include <array>
#include <atomic>
#include <memory>

#include "platform/net/cancel_token.h"
#include "text/text.h"

namespace tavolen {

// What the UI thread keeps of a thread it started, and what that thread sees of itself: the
// switch that asks it to end, and whether its entry routine has returned. A thread that needs
// more (the poll worker: its list and endpoint) gets a derived record.
struct LaunchedThread {
    virtual ~LaunchedThread() = default;

    net::CancelTokenPtr stop = net::make_cancel_token();
    std::atomic<bool> ended{false};
};

// The handle of a started thread; empty when no thread could be started. Stopping a thread is a
// request (the stop token), never a kill, so holding or dropping a handle never blocks.
using ThreadHandle = std::shared_ptr<LaunchedThread>;

// An entry routine: the integer argument, then the thread's own copies of text arguments 1 to 4
// (null for an absent or empty text). The copies stay valid until the routine returns.
using EntryRoutine = void (*)(int number, const Text* text1, const Text* text2, const Text* text3,
                              const Text* text4);

// All that a new thread is handed: six text slots, each a NUL-terminated copy or null
//   slot 1  the entry routine's address, decimal, at pointer width
//   slot 2  the integer argument, decimal
//   slots 3-6  copies of text arguments 1 to 4
// and the record of the thread, which travels beside the texts. The block owns its copies; the
// new thread takes everything out of it and then deletes it.
struct ThreadArgumentBlock {
    // Each slot gets a copy of the given text, or stays null for a null pointer.
    ThreadArgumentBlock(const std::array<const Text*, 6>& texts, ThreadHandle thread);
    ~ThreadArgumentBlock();
    ThreadArgumentBlock(const ThreadArgumentBlock&) = delete;
    ThreadArgumentBlock& operator=(const ThreadArgumentBlock&) = delete;

    std::array<char*, 6> text_slots{};
    ThreadHandle thread;
};

// Starts entry on a new thread with the number and up to four texts (null for an absent one).
// The texts are copied before this returns; the caller keeps its own. `thread` is the record the
// new thread runs under (a fresh LaunchedThread when left out); it is also the handle returned,
// or an empty handle when no thread could be created.
ThreadHandle start_worker_thread(EntryRoutine entry, int number, const Text* text1 = nullptr,
                                 const Text* text2 = nullptr, const Text* text3 = nullptr,
                                 const Text* text4 = nullptr, ThreadHandle thread = nullptr);

// The new thread's procedure. start_parameter is a ThreadArgumentBlock allocated with new; it is
// deleted here once its texts are copied. Slot 1 that is not a whole decimal number of at least
// 1 calls nothing. Marks the thread's record ended when done.
void* launcher_thread_proc(void* start_parameter);

// The record of the launched thread running this code; null on any other thread.
LaunchedThread* current_launched_thread();

}  // namespace tavolen
