#include "shell/listening_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <random>
#include <thread>

#include "local_room.h"
#include "monitor/message_rows.h"
#include "text/encoding.h"

namespace tavolen {
namespace {

using shell_test::LocalRoom;
using shell_test::reply_json;
using shell_test::RoomMessage;

// The message list as the window offers it to a worker, without a UI thread: one lock around
// the rows, and nothing reaches them once the worker's token has tripped.
class StoppableList : public MessageListOps {
  public:
    StoppableList(std::shared_ptr<std::mutex> mutex, std::shared_ptr<MessageRows> rows,
                  net::CancelTokenPtr stop)
        : mutex_(std::move(mutex)), rows_(std::move(rows)), stop_(std::move(stop)) {}

    int insert_row() override {
        return with_rows(-1, [](auto& r) { return r.insert_row(); });
    }
    int row_count() override {
        return with_rows(0, [](auto& r) { return r.row_count(); });
    }
    void set_cell(int row, int column, const Text& text) override {
        with_rows(0, [&](auto& r) { return r.set_cell(row, column, text), 0; });
    }
    void select_row(int row) override {
        with_rows(0, [&](auto& r) { return r.select_row(row), 0; });
    }
    void delete_all_rows() override {
        with_rows(0, [](auto& r) { return r.delete_all_rows(), 0; });
    }
    bool holds_message(const Text& uid, const Text& nickname, const Text& text,
                       const Text& timeline) override {
        return with_rows(false,
                         [&](auto& r) { return r.holds_message(uid, nickname, text, timeline); });
    }

  private:
    template <typename R, typename F>
    R with_rows(R dropped, F f) {
        std::lock_guard lock(*mutex_);
        return stop_->cancelled() ? dropped : f(*rows_);
    }
    std::shared_ptr<std::mutex> mutex_;
    std::shared_ptr<MessageRows> rows_;
    net::CancelTokenPtr stop_;
};

// The window as the listening control sees it, with every call written down.
class FakeWindow : public ListeningWindow {
  public:
    explicit FakeWindow(RoomEndpoint endpoint) : endpoint_(std::move(endpoint)) {}

    Text address;
    Text caption = caption_start_listening();
    std::vector<std::string> events;
    Text box_caption, box_text;

    Text address_text() override { return address; }
    Text button_caption() override { return caption; }
    void set_button_caption(const Text& text) override {
        caption = text;
        events.push_back("caption " + ansi_to_utf8(text));
        // A Stop must turn the caption before it stops the worker.
        if (text == caption_start_listening() && worker_thread_handle &&
            worker_thread_handle->stop->cancelled()) {
            events.push_back("(worker already stopped)");
        }
    }
    void show_message_box(const Text& c, const Text& t) override {
        box_caption = c;
        box_text = t;
        events.push_back("box");
    }
    void delete_all_rows() override {
        std::lock_guard lock(*mutex_);
        rows_->delete_all_rows();
        events.push_back("delete");
    }
    std::shared_ptr<MessageListOps> list_for_worker(const net::CancelTokenPtr& stop) override {
        events.push_back("worker");
        return std::make_shared<StoppableList>(mutex_, rows_, stop);
    }
    RoomEndpoint room_endpoint() override { return endpoint_; }

    int rows() {
        std::lock_guard lock(*mutex_);
        return rows_->size();
    }
    Text cell(int row, int column) {
        std::lock_guard lock(*mutex_);
        return rows_->cell(row, column);
    }

  private:
    RoomEndpoint endpoint_;
    std::shared_ptr<std::mutex> mutex_ = std::make_shared<std::mutex>();
    std::shared_ptr<MessageRows> rows_ = std::make_shared<MessageRows>();
};

// Waits (up to a generous deadline that only guards against a hang) until done() holds.
template <typename Condition>
bool eventually(Condition done) {
    for (int i = 0; i < 6000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

bool ended(const ThreadHandle& worker) {
    return eventually([&] { return worker->ended.load(); });
}

const std::string room_address = "http://live.example/room/100123";

RoomMessage message(int n) {
    return {std::to_string(10000 + n), "观众" + std::to_string(n), "消息" + std::to_string(n),
            "12:00:0" + std::to_string(n % 10)};
}

class ListeningControl : public ::testing::Test {
  protected:
    LocalRoom room{[](int) { return reply_json({message(1), message(2)}, {message(3)}); }};
    FakeWindow window{room.endpoint()};

    void SetUp() override { worker_thread_handle.reset(); }
    // Every worker ends before the test does.
    void TearDown() override {
        stop_worker(worker_thread_handle);
        for (const ThreadHandle& worker : started) EXPECT_TRUE(ended(worker));
        worker_thread_handle.reset();
    }

    void press(const std::string& address) {
        window.address = address;
        toggle_listening(window);
        if (worker_thread_handle &&
            (started.empty() || started.back() != worker_thread_handle)) {
            started.push_back(worker_thread_handle);
        }
    }
    std::vector<ThreadHandle> started;  // every worker a press began
    void start_listening() {
        press(room_address);
        ASSERT_TRUE(eventually([&] { return window.rows() == 3; }));
        window.events.clear();
    }
    bool polled_with(const std::string& body) {
        return eventually([&] { return room.bodies().count(body) > 0; });
    }
};

TEST_F(ListeningControl, IdlePressesFollowTheStateTable) {
    struct Case {
        std::string address;
        std::vector<std::string> events;
        std::string caption;
        std::string body;  // what the started worker posts; empty when none starts
    };
    const Case cases[] = {
        {"", {"box"}, "开始监听", ""},
        {room_address, {"delete", "caption 停止监听", "worker"}, "停止监听", "roomid=100123"},
        // Blanks are an address: Listening begins, with an empty room number.
        {"   ", {"delete", "caption 停止监听", "worker"}, "停止监听", "roomid="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("address \"" + c.address + "\"");
        window.events.clear();
        worker_thread_handle.reset();
        window.caption = caption_start_listening();
        press(c.address);
        EXPECT_EQ(window.events, c.events);
        EXPECT_EQ(ansi_to_utf8(window.caption), c.caption);
        if (c.body.empty()) {
            EXPECT_FALSE(worker_thread_handle);
            EXPECT_EQ(ansi_to_utf8(window.box_caption), "信息：");
            EXPECT_EQ(ansi_to_utf8(window.box_text), "请输入房间网址");
        } else {
            ASSERT_TRUE(worker_thread_handle);
            EXPECT_TRUE(polled_with(c.body));
            stop_worker(worker_thread_handle);
            EXPECT_TRUE(ended(worker_thread_handle));
        }
    }
}

TEST_F(ListeningControl, EmptyAddressWhileListeningOnlyShowsTheBox) {
    start_listening();
    const ThreadHandle worker = worker_thread_handle;
    const int requests = room.requests();

    press("");
    EXPECT_EQ(window.events, std::vector<std::string>{"box"});
    EXPECT_EQ(window.caption, caption_stop_listening());
    EXPECT_EQ(worker_thread_handle, worker);
    EXPECT_FALSE(worker->stop->cancelled());
    // The worker goes on polling.
    EXPECT_TRUE(eventually([&] { return room.requests() > requests + 3; }));
}

TEST_F(ListeningControl, StopTurnsTheCaptionFirstThenEndsTheWorkerAndKeepsTheRows) {
    start_listening();
    const ThreadHandle worker = worker_thread_handle;

    press(room_address);
    EXPECT_EQ(window.events, std::vector<std::string>{"caption 开始监听"});
    EXPECT_TRUE(worker->stop->cancelled());
    EXPECT_TRUE(ended(worker));
    EXPECT_EQ(window.rows(), 3);
    // Nothing polls any more. The server counts a request when it has read it, so one that was
    // on the wire when Stop came may still be counted late; a worker still polling would add
    // dozens in this time.
    const int requests = room.requests();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(room.requests(), requests + 1);
}

TEST_F(ListeningControl, StopThenStartEmptiesTheListAndNumbersFromOneAgain) {
    start_listening();
    press(room_address);  // Stop
    ASSERT_EQ(window.rows(), 3);

    press(room_address);  // Start: the same messages come again and are new to the empty list
    EXPECT_EQ(window.events, (std::vector<std::string>{"caption 开始监听", "delete",
                                                       "caption 停止监听", "worker"}));
    ASSERT_TRUE(eventually([&] { return window.rows() == 3; }));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(window.cell(row, column_number), std::to_string(row + 1));
    }
    EXPECT_EQ(window.cell(0, column_nickname), utf8_to_ansi("观众1"));
    EXPECT_EQ(window.cell(2, column_nickname), utf8_to_ansi("观众3"));
}

TEST_F(ListeningControl, BadAddressesStartAWorkerWithWhateverRoomNumberTheyHold) {
    std::mt19937 random(7);
    std::string junk(64 * 1024, '\0');
    for (char& c : junk) c = static_cast<char>(std::uniform_int_distribution<int>(1, 255)(random));
    const std::string huge = std::string(1 << 20, 'x') + "/room/4567";

    struct Case {
        std::string name, address;
    };
    for (const Case& c : {Case{"1 MB", huge}, Case{"binary junk", junk},
                          Case{"blanks", std::string(1 << 20, ' ')}}) {
        SCOPED_TRACE(c.name);
        window.caption = caption_start_listening();
        press(c.address);
        EXPECT_EQ(window.caption, caption_stop_listening());
        ASSERT_TRUE(worker_thread_handle);
        const Text room_number = extract_room_id(c.address);
        EXPECT_LE(room_number.size(), 13u);
        EXPECT_EQ(room_number.find_first_not_of("0123456789"), Text::npos);
        if (c.name == "1 MB") {
            EXPECT_EQ(room_number, "4567");
        }
        EXPECT_TRUE(polled_with("roomid=" + room_number));
        press(c.address);  // Stop
        EXPECT_TRUE(ended(worker_thread_handle));
    }
}

TEST_F(ListeningControl, TwoHundredQuickPressesLeaveNoWorkerRunning) {
    std::vector<ThreadHandle> workers;
    for (int i = 0; i < 200; ++i) {
        press(room_address);
        if (i % 2 == 0) workers.push_back(worker_thread_handle);
    }
    EXPECT_EQ(window.caption, caption_start_listening());
    ASSERT_EQ(workers.size(), 100u);
    for (const ThreadHandle& worker : workers) {
        ASSERT_TRUE(worker);
        EXPECT_TRUE(worker->stop->cancelled());
        EXPECT_TRUE(ended(worker));
    }
    // Whatever rows are left came from the last worker alone, each one whole and in order.
    for (int row = 0; row < window.rows(); ++row) {
        EXPECT_EQ(window.cell(row, column_number), std::to_string(row + 1));
        EXPECT_FALSE(window.cell(row, column_timeline).empty());
    }
}

TEST(ExtractRoomId, TakesTheFirstRunOfTwoToThirteenDigitsNotStartingWithZero) {
    const struct {
        std::string address, room;
    } cases[] = {
        {"http://live.example/room/100123", "100123"},
        {"http://live.example/7/123/45", "123"},
        {"room/00123", "123"},
        {"12345678901234567890", "1234567890123"},
        {"https://live.example/0", ""},
        {"http://live.example/room/abc", ""},
        {"a9b", ""},
        {"10", "10"},
        {"   ", ""},
        {"", ""},
        {"\xa3\xb1\xa3\xb2\xa3\xb3", ""},  // full-width digits 123
        {"\xb7\xbf\xbc\xe4"
         "88/99",
         "88"},  // 房间88/99
    };
    for (const auto& c : cases) {
        EXPECT_EQ(extract_room_id(c.address), c.room) << "address \"" << c.address << "\"";
    }
}

}  // namespace
}  // namespace tavolen
