#include "shell/listening_control.h"

#include "shell/worker_entry.h"
#include "text/encoding.h"

namespace tavolen {

ThreadHandle worker_thread_handle;

const Text& caption_start_listening() {
    static const Text text = utf8_to_ansi("开始监听");
    return text;
}

const Text& caption_stop_listening() {
    static const Text text = utf8_to_ansi("停止监听");
    return text;
}

const Text& empty_address_box_caption() {
    static const Text text = utf8_to_ansi("信息：");
    return text;
}

const Text& empty_address_box_text() {
    static const Text text = utf8_to_ansi("请输入房间网址");
    return text;
}

void toggle_listening(ListeningWindow& window) {
    // The empty-address test comes first, in either state; blanks count as an address.
    if (window.address_text().empty()) {
        window.show_message_box(empty_address_box_caption(), empty_address_box_text());
        return;
    }

    if (compare_text_plain(window.button_caption(), caption_stop_listening()) == 0) {
        window.set_button_caption(caption_start_listening());
        stop_worker(worker_thread_handle);
        return;
    }

    window.delete_all_rows();
    window.set_button_caption(caption_stop_listening());
    const Text room = extract_room_id(window.address_text());
    start_worker(room, window);
}

void start_worker(const Text& room, ListeningWindow& window) {
    stop_worker(worker_thread_handle);

    auto worker = std::make_shared<WorkerThread>();
    worker->list = window.list_for_worker(worker->stop);
    worker->endpoint = window.room_endpoint();
    // When no thread can be created the handle holds none; the caption stays as it is and the
    // next press simply turns it back.
    worker_thread_handle =
        start_worker_thread(worker_entry, 0, &room, nullptr, nullptr, nullptr, worker);
}

void stop_worker(const ThreadHandle& handle) {
    if (handle) handle->stop->cancel();
}

}  // namespace tavolen
