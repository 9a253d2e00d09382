#pragma once

#include "monitor/message_list.h"
#include "platform/net/cancel_token.h"
#include "text/text.h"

namespace tavolen {

// Where the room messages are asked for: plain HTTP, path /ajax/msg, on this host ("host" or
// "host:port"; without a port, 80).
struct RoomEndpoint {
    Text host;
};

// The endpoint the build was configured with.
const RoomEndpoint& default_room_endpoint();

// "http://<host>/ajax/msg"
Text room_endpoint_url(const RoomEndpoint& endpoint);

// The worker's loop: asks the endpoint for the room's messages over and over, without a pause,
// and adds each message that the list does not hold yet as a new row; after every pass it trims
// the working set. Returns only once stop is tripped. The token is checked before every list
// operation and after every request, and it aborts a request in flight, so no list operation
// follows the stop. Without a token it returns at once.
void poll_room_messages(const Text& room, MessageListOps& list, const net::CancelTokenPtr& stop,
                        const RoomEndpoint& endpoint = default_room_endpoint());

}  // namespace tavolen
