#pragma once

// The points where a long request lets the calling thread's pending UI events be processed.
// Each thread has its own hook; the default does nothing (a worker has no UI events). The
// window installs one on the UI thread.

#include <functional>

namespace tavolen {

using MessagePump = std::function<void()>;

// Installs the calling thread's hook (an empty function restores the default) and answers the
// one it replaces.
MessagePump set_message_pump(MessagePump pump);
// Runs the calling thread's hook.
void pump_messages();

}  // namespace tavolen
