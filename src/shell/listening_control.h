#pragma once

#include <memory>

#include "monitor/message_list.h"
#include "monitor/poll_loop.h"
#include "platform/net/cancel_token.h"
#include "shell/thread_launcher.h"
#include "text/text.h"

namespace tavolen {

// What the listening control reads and drives of the main window. The Qt window implements it;
// tests use a plain object. Texts are code page 936. Called on the UI thread only.
class ListeningWindow {
  public:
    virtual ~ListeningWindow() = default;

    // The current text of the address box 编辑框_直播url.
    virtual Text address_text() = 0;
    // The caption of the toggle button 按钮_捕获弹幕: the listening state itself.
    virtual Text button_caption() = 0;
    virtual void set_button_caption(const Text& caption) = 0;
    // A modal box with no owner, one OK button and no icon; returns once it is closed.
    virtual void show_message_box(const Text& caption, const Text& text) = 0;
    // Deletes every row of the message list 超级列表框1.
    virtual void delete_all_rows() = 0;
    // The message list as a new worker must see it: every operation carried out on the UI
    // thread, and none at all once `stop` has tripped.
    virtual std::shared_ptr<MessageListOps> list_for_worker(const net::CancelTokenPtr& stop) = 0;
    // Where a new worker asks for the room's messages.
    virtual RoomEndpoint room_endpoint() { return default_room_endpoint(); }
};

// The texts of the listening control, code page 936.
const Text& caption_start_listening();    // 开始监听
const Text& caption_stop_listening();     // 停止监听
const Text& empty_address_box_caption();  // 信息：
const Text& empty_address_box_text();     // 请输入房间网址

// The handle of the most recently started worker; empty before the first Start. UI thread only.
extern ThreadHandle worker_thread_handle;

// The click handler of the toggle button. An empty address shows the message box in either
// state and changes nothing. Listening: caption back to 开始监听, then the worker is stopped;
// the rows stay. Idle: the list is emptied, the caption becomes 停止监听 and a worker starts for
// the room number in the address (also when there is none).
void toggle_listening(ListeningWindow& window);

// The room number in a room's web address: the leftmost run of digits that starts with 1-9 and
// has at least two digits, cut after 13 digits; the empty text when there is none.
Text extract_room_id(const Text& address);

// Starts the poll worker for the room number (the worker copies it) with its own stop token and
// its own view of the window's list, and keeps its handle in worker_thread_handle. A worker the
// handle still names is stopped first: a worker nobody can stop must never be left running.
void start_worker(const Text& room, ListeningWindow& window);

// Ends the worker the handle names: its stop token trips, its request in flight is abandoned and
// its list operations are dropped from here on. Returns at once; nothing waits for the thread.
void stop_worker(const ThreadHandle& handle);

}  // namespace tavolen
