#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "monitor/message_rows.h"
#include "monitor/poll_loop.h"
#include "raw_server.h"
#include "room_server.h"

namespace tavolen {
namespace {

using namespace std::chrono_literals;
using testing::percent_encode;
using testing::RoomServer;

// The list as the worker sees it from the UI side: every operation under one lock, counted, and
// any operation that arrives after the stop token was tripped counted apart.
class WatchedList : public MessageListOps {
  public:
    explicit WatchedList(net::CancelTokenPtr stop) : stop_(std::move(stop)) {}

    // Runs on the worker, inside the operation, before it is carried out.
    std::function<void(const char* operation, int row, int column)> on_operation;

    int insert_row() override {
        return run("insert", -1, -1, [&] { return rows_.insert_row(); });
    }
    int row_count() override {
        return run("count", -1, -1, [&] { return rows_.row_count(); });
    }
    void set_cell(int row, int column, const Text& text) override {
        run("set", row, column, [&] { rows_.set_cell(row, column, text); });
    }
    void select_row(int row) override {
        run("select", row, -1, [&] { rows_.select_row(row); });
    }
    void delete_all_rows() override {
        run("delete", -1, -1, [&] { rows_.delete_all_rows(); });
    }
    bool holds_message(const Text& uid, const Text& nickname, const Text& message_text,
                       const Text& timeline) override {
        return run("holds", -1, -1,
                   [&] { return rows_.holds_message(uid, nickname, message_text, timeline); });
    }

    bool wait_for_rows(int n, std::chrono::seconds deadline = 60s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] { return rows_.size() >= n; });
    }
    int operations_after_stop() {
        std::lock_guard lock(mutex_);
        return after_stop_;
    }
    // Read only once the worker has ended.
    MessageRows& rows() { return rows_; }

  private:
    template <typename F>
    std::invoke_result_t<F> run(const char* operation, int row, int column, F&& f) {
        std::lock_guard lock(mutex_);
        if (stop_->cancelled()) ++after_stop_;
        if (on_operation) on_operation(operation, row, column);
        struct Notify {
            std::condition_variable& cv;
            ~Notify() { cv.notify_all(); }
        } notify{changed_};
        return f();
    }

    net::CancelTokenPtr stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    MessageRows rows_;
    int after_stop_ = 0;
};

// Runs the poll loop on its own thread for one test.
class Worker {
  public:
    Worker(const std::string& room, MessageListOps& list, net::CancelTokenPtr stop,
           const std::string& host)
        : stop_(stop), thread_([this, room, &list, stop, host] {
              poll_room_messages(room, list, stop, RoomEndpoint{host});
              done_.set_value();
          }) {}
    ~Worker() { stop(); }

    // Trips the token and waits for the loop to return. The long deadline only turns a hang
    // into a failure instead of a stuck test run.
    void stop() {
        if (!thread_.joinable()) return;
        stop_->cancel();
        if (done_.get_future().wait_for(120s) != std::future_status::ready) {
            std::fprintf(stderr, "poll loop did not return after stop\n");
            std::abort();
        }
        thread_.join();
    }

  private:
    net::CancelTokenPtr stop_;
    std::promise<void> done_;
    std::thread thread_;
};

std::string message_json(const std::string& uid, const std::string& nickname,
                         const std::string& text, const std::string& timeline) {
    return "{\"uid\":" + uid + ",\"nickname\":\"" + nickname + "\",\"text\":\"" + text +
           "\",\"timeline\":\"" + timeline + "\"}";
}

std::string reply_json(const std::vector<std::string>& room,
                       const std::vector<std::string>& admin) {
    auto join = [](const std::vector<std::string>& items) {
        std::string out;
        for (const auto& item : items) out += (out.empty() ? "" : ",") + item;
        return out;
    };
    return "{\"code\":0,\"msg\":\"ok\",\"data\":{\"room\":[" + join(room) + "],\"admin\":[" +
           join(admin) + "]}}";
}

struct Row {
    std::string number, nickname, uid, text, timeline;
    bool operator==(const Row&) const = default;
};

std::vector<Row> rows_of(MessageRows& rows) {
    std::vector<Row> out;
    for (int r = 0; r < rows.size(); ++r)
        out.push_back(
            {rows.cell(r, 0), rows.cell(r, 1), rows.cell(r, 2), rows.cell(r, 3), rows.cell(r, 4)});
    return out;
}

void PrintTo(const Row& row, std::ostream* os) {
    *os << "{" << row.number << "," << row.nickname << "," << row.uid << "," << row.text << ","
        << row.timeline << "}";
}

TEST(PollLoop, AddsRoomThenAdminMessagesInReplyOrderOnceAcrossPasses) {
    const std::string body =
        percent_encode(reply_json({message_json("101", "amy", "hello", "20:00:01"),
                                   message_json("\"102\"", "bo", "666", "20:00:02"),
                                   message_json("103", "cy", "good evening", "20:00:03")},
                                  {message_json("9", "host", "welcome", "20:00:00"),
                                   message_json("10", "mod", "be nice", "20:00:04")}));
    RoomServer server([&](int) { return body; });
    auto stop = net::make_cancel_token();
    WatchedList list(stop);
    {
        Worker worker("123", list, stop, server.host());
        // The third request arrives only after two whole passes over the same reply.
        ASSERT_TRUE(server.wait_for_requests(3));
    }
    const std::vector<Row> expected{
        {"1", "amy", "101", "hello", "20:00:01"},       {"2", "bo", "102", "666", "20:00:02"},
        {"3", "cy", "103", "good evening", "20:00:03"}, {"4", "host", "9", "welcome", "20:00:00"},
        {"5", "mod", "10", "be nice", "20:00:04"},
    };
    EXPECT_EQ(rows_of(list.rows()), expected);
    EXPECT_EQ(list.rows().selected_row(), 4);
    for (const std::string& b : server.bodies()) EXPECT_EQ(b, "roomid=123");
}

TEST(PollLoop, LaterRepliesAddOnlyMessagesNotListedYet) {
    const std::string first = percent_encode(reply_json(
        {message_json("1", "ann", "666", "20:00:01"), message_json("2", "ben", "hi", "20:00:02")},
        {}));
    // Repeats ben's message, then: another viewer saying 666, another message in the same
    // second, a uid equal to a listed nickname, and the same message twice in one reply.
    const std::string second = percent_encode(reply_json(
        {message_json("2", "ben", "hi", "20:00:02"), message_json("3", "cat", "666", "20:00:03"),
         message_json("4", "dan", "yo", "20:00:03"),
         message_json("\"ann\"", "eve", "x", "20:00:04"),
         message_json("5", "fay", "HI", "20:00:02"), message_json("5", "fay", "HI", "20:00:02")},
        {}));
    RoomServer server([&](int request) { return request == 0 ? first : second; });
    auto stop = net::make_cancel_token();
    WatchedList list(stop);
    {
        Worker worker("7", list, stop, server.host());
        ASSERT_TRUE(server.wait_for_requests(4));
    }
    const std::vector<Row> expected{
        {"1", "ann", "1", "666", "20:00:01"}, {"2", "ben", "2", "hi", "20:00:02"},
        {"3", "cat", "3", "666", "20:00:03"}, {"4", "dan", "4", "yo", "20:00:03"},
        {"5", "eve", "ann", "x", "20:00:04"}, {"6", "fay", "5", "HI", "20:00:02"},
    };
    EXPECT_EQ(rows_of(list.rows()), expected);
}

TEST(PollLoop, ChineseTextIsDecodedToCodePage936AndUnmappableCharactersAreHarmless) {
    // UTF-8 on the wire: "主播好" from "小明", and a nickname of an emoji and a Thai letter,
    // which code page 936 does not have.
    const std::string body = percent_encode(
        reply_json({message_json("1", "\xE5\xB0\x8F\xE6\x98\x8E",
                                 "\xE4\xB8\xBB\xE6\x92\xAD\xE5\xA5\xBD", "20:00:01"),
                    message_json("2", "\xF0\x9F\x98\x80\xE0\xB8\x81", "hi", "20:00:02")},
                   {}));
    RoomServer server([&](int) { return body; });
    auto stop = net::make_cancel_token();
    WatchedList list(stop);
    {
        Worker worker("1", list, stop, server.host());
        ASSERT_TRUE(server.wait_for_requests(3));
    }
    ASSERT_EQ(list.rows().size(), 2);
    EXPECT_EQ(list.rows().cell(0, column_nickname), "\xD0\xA1\xC3\xF7");
    EXPECT_EQ(list.rows().cell(0, column_text), "\xD6\xF7\xB2\xA5\xBA\xC3");
    EXPECT_FALSE(list.rows().cell(1, column_nickname).empty());
    EXPECT_EQ(list.rows().cell(1, column_text), "hi");
}

TEST(PollLoop, EmptyRoomAndMissingAdminAddNothingAndRequestsGoOn) {
    RoomServer server([](int) { return percent_encode("{\"data\":{\"room\":[]}}"); });
    auto stop = net::make_cancel_token();
    WatchedList list(stop);
    {
        Worker worker("", list, stop, server.host());
        ASSERT_TRUE(server.wait_for_requests(5));
    }
    EXPECT_EQ(list.rows().size(), 0);
    for (const std::string& b : server.bodies()) EXPECT_EQ(b, "roomid=");
}

TEST(PollLoop, NetworkDownAddsNothingAndRequestsGoOn) {
    const std::string messages =
        percent_encode(reply_json({message_json("1", "ann", "cut", "20:00:01")}, {}));
    struct Case {
        const char* what;
        test::RawServer::Handler handler;
    };
    const Case cases[] = {
        {"connection reset",
         [](test::RawConnection& c) {
             c.read_request();
             c.reset();
         }},
        {"closed without an answer", [](test::RawConnection& c) { c.read_request(); }},
        {"reply cut short",
         [&](test::RawConnection& c) {
             c.read_request();
             c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(messages.size()) +
                    "\r\n\r\n" + messages.substr(0, messages.size() / 2));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::RawServer server(c.handler);
        auto stop = net::make_cancel_token();
        WatchedList list(stop);
        {
            Worker worker("5", list, stop, "127.0.0.1:" + std::to_string(server.port()));
            for (int waited = 0; server.connections() < 5 && waited < 60000; ++waited)
                std::this_thread::sleep_for(1ms);
            ASSERT_GE(server.connections(), 5);
        }
        EXPECT_EQ(list.rows().size(), 0);
    }

    // Nothing listens at all.
    auto stop = net::make_cancel_token();
    WatchedList list(stop);
    {
        Worker worker("5", list, stop, "127.0.0.1:" + std::to_string(test::closed_port()));
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(list.rows().size(), 0);
    EXPECT_EQ(list.operations_after_stop(), 0);
}

TEST(PollLoop, StopDuringARequestEndsTheLoopAndTheLateReplyAddsNothing) {
    const std::string body =
        percent_encode(reply_json({message_json("1", "ann", "late", "20:00:01")}, {}));
    RoomServer server([&](int) { return body; });
    server.hold();
    auto stop = net::make_cancel_token();
    WatchedList list(stop);
    Worker worker("1", list, stop, server.host());
    ASSERT_TRUE(server.wait_for_requests(1));
    // The request is in flight and unanswered; the stop must abort it rather than wait.
    worker.stop();
    server.release();
    EXPECT_EQ(list.rows().size(), 0);
    EXPECT_EQ(list.operations_after_stop(), 0);
}

TEST(PollLoop, StopInTheMiddleOfARowLeavesItPartlyFilledAndNothingFollows) {
    const std::string body = percent_encode(reply_json(
        {message_json("1", "ann", "a", "20:00:01"), message_json("2", "ben", "b", "20:00:02"),
         message_json("3", "cat", "c", "20:00:03")},
        {}));
    RoomServer server([&](int) { return body; });
    auto stop = net::make_cancel_token();
    WatchedList list(stop);
    // Trip the stop while the second row's uid is being written.
    std::promise<void> tripped;
    list.on_operation = [&](const char* operation, int row, int column) {
        if (std::string(operation) == "set" && row == 1 && column == column_uid) {
            stop->cancel();
            tripped.set_value();
        }
    };
    Worker worker("1", list, stop, server.host());
    ASSERT_EQ(tripped.get_future().wait_for(60s), std::future_status::ready);
    worker.stop();

    const std::vector<Row> expected{{"1", "ann", "1", "a", "20:00:01"}, {"2", "ben", "2", "", ""}};
    EXPECT_EQ(rows_of(list.rows()), expected);
    EXPECT_EQ(list.operations_after_stop(), 0);
    EXPECT_EQ(list.rows().selected_row(), 0);
    EXPECT_FALSE(list.rows().holds_message("2", "ben", "b", "20:00:02"));
    EXPECT_EQ(server.requests(), 1);
}

TEST(PollLoop, BadRepliesAddNothingOrWhatTheyHoldAndStopStillEnds) {
    struct Case {
        const char* what;
        std::string body;  // as sent, already encoded
        int rows;
    };
    const Case cases[] = {
        {"empty reply", "", 0},
        {"not JSON", percent_encode("<html>busy</html>"), 0},
        {"broken percent escapes", "%7B%22data%ZZ%7", 0},
        {"unencoded JSON", reply_json({message_json("1", "ann", "a", "t")}, {}), 1},
        {"an array where an object is expected", percent_encode("[1,2,3]"), 0},
        {"data is null", percent_encode("{\"data\":null}"), 0},
        // A string or an object has members too; its "elements" have none of the four fields,
        // so they come out as one row of empty cells, and later ones as already listed.
        {"room is a string, admin a number",
         percent_encode("{\"data\":{\"room\":\"abc\",\"admin\":5}}"), 1},
        {"room is an object", percent_encode("{\"data\":{\"room\":{\"uid\":1}}}"), 1},
        {"elements are not objects", percent_encode("{\"data\":{\"room\":[1,null,\"x\"]}}"), 1},
        {"members of the wrong kind",
         percent_encode("{\"data\":{\"room\":[{\"uid\":{\"a\":1},\"nickname\":[1,2],"
                        "\"text\":null,\"timeline\":true}]}}"),
         1},
        {"script instead of data", percent_encode("while(true){}"), 0},
        {"a script call inside the data",
         percent_encode("{\"data\":{\"room\":[{\"uid\":(function(){while(true){}})()}]}}"), 0},
        {"invalid UTF-8", percent_encode(reply_json({message_json("1", "\xFF\xFE", "a", "t")}, {})),
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RoomServer server([&](int) { return c.body; });
        auto stop = net::make_cancel_token();
        WatchedList list(stop);
        {
            Worker worker("1", list, stop, server.host());
            ASSERT_TRUE(server.wait_for_requests(3));
        }
        EXPECT_EQ(list.rows().size(), c.rows);
        EXPECT_EQ(list.operations_after_stop(), 0);
        if (c.rows > 0) {
            EXPECT_EQ(list.rows().cell(0, column_number), "1");
        }
    }
}

TEST(PollLoop, HugeReplyIsWalkedInOrderAndStopEndsTheWalk) {
    std::vector<std::string> many;
    // Only the uid, to keep the reply small enough for the script engine's time limit; the other
    // fields read as empty.
    for (int i = 0; i < 100000; ++i) many.push_back("{\"uid\":" + std::to_string(i) + "}");
    const std::string body = percent_encode(reply_json(many, {}));
    RoomServer server([&](int) { return body; });
    auto stop = net::make_cancel_token();
    WatchedList list(stop);
    // Stop once the 50th row is complete, far from the end of the walk.
    std::promise<void> tripped;
    list.on_operation = [&](const char* operation, int row, int) {
        if (std::string(operation) == "select" && row == 49) {
            stop->cancel();
            tripped.set_value();
        }
    };
    {
        Worker worker("1", list, stop, server.host());
        // A sanitizer build may be too slow for the engine's time limit: then every pass finds
        // no JSON and the requests go on instead.
        auto stopped = tripped.get_future();
        for (int waited = 0; waited < 600 && server.requests() < 3; ++waited)
            if (stopped.wait_for(100ms) == std::future_status::ready) break;
    }
    const int rows = list.rows().size();
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_EQ(rows, 50);
    EXPECT_EQ(server.requests(), 1) << "the stop ends the pass; no further request follows";
#endif
    for (int r = 0; r < rows; ++r) {
        if (list.rows().cell(r, column_uid) != std::to_string(r) ||
            list.rows().cell(r, column_number) != std::to_string(r + 1)) {
            ADD_FAILURE() << "row " << r << " holds uid " << list.rows().cell(r, column_uid);
            break;
        }
    }
    EXPECT_EQ(list.operations_after_stop(), 0);
}

TEST(PollLoop, TenMegabyteTextIsListedWholeOnceOrNotAtAll) {
    const std::string big(10 * 1024 * 1024, 'x');
    const std::string body = percent_encode(reply_json(
        {message_json("1", "ann", big, "20:00:01"), message_json("2", "ben", "after", "20:00:02")},
        {}));
    RoomServer server([&](int) { return body; });
    auto stop = net::make_cancel_token();
    WatchedList list(stop);
    {
        Worker worker("1", list, stop, server.host());
        ASSERT_TRUE(server.wait_for_requests(3));
    }
    // Normally both messages are listed, the long one whole. The script engine refuses a
    // document that it cannot load within its time limit (a sanitizer build is that slow): then
    // the reply is no JSON and adds nothing. Never a cut text, never a message twice.
    const std::vector<Row> rows = rows_of(list.rows());
    if (!rows.empty()) {
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].text.size(), big.size());
        EXPECT_EQ(rows[0].text, big);
        EXPECT_EQ(rows[1], (Row{"2", "ben", "2", "after", "20:00:02"}));
    }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_EQ(rows.size(), 2u) << "a plain build loads 10 MB well within the engine's limit";
#endif
}

}  // namespace
}  // namespace tavolen
