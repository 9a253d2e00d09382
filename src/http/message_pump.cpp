#include "http/message_pump.h"

#include <utility>

namespace tavolen {

namespace {
thread_local MessagePump current_pump;
}

MessagePump set_message_pump(MessagePump pump) {
    return std::exchange(current_pump, std::move(pump));
}

void pump_messages() {
    if (current_pump) current_pump();
}

}  // namespace tavolen
