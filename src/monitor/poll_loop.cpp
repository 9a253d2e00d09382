#include "monitor/poll_loop.h"

#include "http/http_request.h"
#include "json/json_object.h"
#include "monitor/message_list_rules.h"
#include "monitor/working_set_trim.h"
#include "text/encoding.h"

#ifndef TAVOLEN_ROOM_API_HOST
#error "TAVOLEN_ROOM_API_HOST, the room endpoint's host, is set by the build"
#endif

namespace tavolen {

namespace {

// Stands between the worker and the list: once the stop token is tripped, every list operation
// is dropped and answered as a list that ignores a stopped worker answers. So a Stop in the
// middle of add_message_row leaves the rest of the row unwritten rather than writing it.
class StoppableList : public MessageListOps {
  public:
    StoppableList(MessageListOps& list, const net::CancelToken& stop) : list_(list), stop_(stop) {}

    int insert_row() override { return stop_.cancelled() ? -1 : list_.insert_row(); }
    int row_count() override { return stop_.cancelled() ? 0 : list_.row_count(); }
    void set_cell(int row, int column, const Text& text) override {
        if (!stop_.cancelled()) list_.set_cell(row, column, text);
    }
    void select_row(int row) override {
        if (!stop_.cancelled()) list_.select_row(row);
    }
    void delete_all_rows() override {
        if (!stop_.cancelled()) list_.delete_all_rows();
    }
    bool holds_message(const Text& uid, const Text& nickname, const Text& message_text,
                       const Text& timeline) override {
        return !stop_.cancelled() && list_.holds_message(uid, nickname, message_text, timeline);
    }

  private:
    MessageListOps& list_;
    const net::CancelToken& stop_;
};

// Hands every message of one array of the reply to the list, in array order. False when the
// walk was cut short by a stop.
bool walk_messages(JsonObject& reply, const char* array, MessageListOps& list,
                   const net::CancelToken& stop) {
    const int count = reply.member_count(array);
    for (int i = 0; i < count; ++i) {
        if (stop.cancelled()) return false;
        const Text prefix = concat_text(array, "[", number_to_text(i), "]");
        const Text uid = reply.get_text(concat_text(prefix, ".uid"));
        const Text nickname = reply.get_text(concat_text(prefix, ".nickname"));
        const Text message_text = reply.get_text(concat_text(prefix, ".text"));
        const Text timeline = reply.get_text(concat_text(prefix, ".timeline"));
        if (!message_already_listed(list, uid, nickname, message_text, timeline))
            add_message_row(list, uid, nickname, message_text, timeline);
    }
    return !stop.cancelled();
}

}  // namespace

const RoomEndpoint& default_room_endpoint() {
    // Never destroyed: a worker still polling when the process ends keeps reading it.
    static const auto* endpoint = new RoomEndpoint{TAVOLEN_ROOM_API_HOST};
    return *endpoint;
}

Text room_endpoint_url(const RoomEndpoint& endpoint) {
    return concat_text("http://", endpoint.host, "/ajax/msg");
}

void poll_room_messages(const Text& room, MessageListOps& list, const net::CancelTokenPtr& stop,
                        const RoomEndpoint& endpoint) {
    if (!stop) return;  // a worker that could never be stopped is not started
    StoppableList guarded(list, *stop);
    const Text url = room_endpoint_url(endpoint);
    JsonObject reply;  // one for the worker's whole life, made on its own thread

    HttpRequestOptions options;
    options.method = 1;  // POST
    options.cancel = stop;
    while (!stop->cancelled()) {
        options.body = concat_text("roomid=", room);
        const Text raw = http_request(url, options);
        if (stop->cancelled()) return;
        const Text text = url_decode(raw, true);

        reply.parse(text);
        if (!walk_messages(reply, "data.room", guarded, *stop)) return;
        // The second walk starts from a freshly loaded document.
        reply.parse(text);
        if (!walk_messages(reply, "data.admin", guarded, *stop)) return;

        trim_all_working_sets();
    }
}

}  // namespace tavolen
