#pragma once

#include <memory>

#include "monitor/message_list.h"
#include "monitor/poll_loop.h"
#include "shell/thread_launcher.h"

namespace tavolen {

// The record of a poll worker: beside the stop token, the list it fills and the endpoint it asks.
struct WorkerThread : LaunchedThread {
    std::shared_ptr<MessageListOps> list;
    RoomEndpoint endpoint = default_room_endpoint();
};

// The entry routine of a poll worker: polls the room of text 1 (absent: the empty room number)
// until the worker's stop token trips. Ignores the number and texts 2 to 4. Started anywhere but
// under a WorkerThread record it has no list to fill and returns at once.
void worker_entry(int number, const Text* text1, const Text* text2, const Text* text3,
                  const Text* text4);

}  // namespace tavolen
