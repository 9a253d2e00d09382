#include "shell/worker_entry.h"

namespace tavolen {

void worker_entry(int, const Text* text1, const Text*, const Text*, const Text*) {
    auto* worker = dynamic_cast<WorkerThread*>(current_launched_thread());
    if (worker == nullptr || !worker->list) return;
    const Text room = text1 != nullptr ? *text1 : Text();
    poll_room_messages(room, *worker->list, worker->stop, worker->endpoint);
}

}  // namespace tavolen
