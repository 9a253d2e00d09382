// Starts four poll loops against a local room, lets them run for argv[1] ms, takes the room away,
// waits argv[2] ms more and returns from main while the loops are still polling. The process
// must end with status 0: the exit handlers must not pull anything from under a running loop.
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "monitor/message_rows.h"
#include "monitor/poll_loop.h"
#include "room_server.h"

int main(int argc, char** argv) {
    using namespace tavolen;
    if (argc < 3) return 2;
    auto room = std::make_unique<testing::RoomServer>([](int request) {
        std::string room_part;
        for (int i = 0; i < 20; ++i) {
            if (i) room_part += ',';
            room_part += "{\"uid\":" + std::to_string(request * 20 + i) +
                         ",\"nickname\":\"n\",\"text\":\"t\",\"timeline\":\"12:00:00\"}";
        }
        return testing::percent_encode("{\"data\":{\"room\":[" + room_part + "],\"admin\":[]}}");
    });
    const RoomEndpoint endpoint{room->host()};
    for (int worker = 0; worker < 4; ++worker) {
        std::thread([endpoint] {
            // Never freed: the loop may still be writing to it while the process ends.
            auto* rows = new MessageRows;
            poll_room_messages("1", *rows, net::make_cancel_token(), endpoint);
        }).detach();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[1])));
    room.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    return 0;
}
