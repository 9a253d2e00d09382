#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "demo_room/room_chat.h"
#include "local_room.h"
#include "monitor/message_rows.h"
#include "monitor/poll_loop.h"
#include "text/encoding.h"

namespace tavolen {
namespace {

using demo::RoomChat;
using namespace std::chrono_literals;

TEST(DemoRoom, ReadsTheRoomNumberOnlyFromAWellFormedBody) {
    const struct {
        std::string body, room;
    } cases[] = {
        {"roomid=100123", "100123"},
        {"a=1&roomid=55&b=2", "55"},
        {"roomid=1234567890123", "1234567890123"},
        {"roomid=12345678901234", ""},  // longer than any room number
        {"roomid=", ""},
        {"roomid=12a", ""},
        {"roomid=-5", ""},
        {"roomid=%31%32", ""},
        {"room=12", ""},
        {"", ""},
        {std::string("roomid=1\0"
                     "2",
                     10),
         ""},
        {"\xff\xfe\x80roomid=7", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(demo::room_number_of(c.body), c.room) << c.body;
}

TEST(DemoRoom, ChatsAboutOnceASecondWithRepeatsAdminsAndEmoji) {
    const auto start = RoomChat::Clock::now();
    RoomChat chat(1, start);
    // Ten minutes of chat, asked for once a second; a message is known by its sender, text and
    // second, as the client's duplicate rule knows it.
    std::set<std::string> messages;
    std::map<std::string, int> said;
    std::set<std::string> admin_texts;
    for (int second = 1; second <= 600; ++second) {
        chat.advance_to(start + std::chrono::seconds(second));
        ASSERT_LE(chat.room_messages().size(), RoomChat::room_window);
        ASSERT_LE(chat.admin_messages().size(), RoomChat::admin_window);
        for (const auto& m : chat.room_messages()) {
            ASSERT_GT(m.uid, 0);
            ASSERT_EQ(m.timeline.size(), 8u);
            if (messages.insert(std::to_string(m.uid) + m.timeline + m.text).second) ++said[m.text];
        }
        for (const auto& m : chat.admin_messages()) admin_texts.insert(m.text);
    }
    int repeated = 0, emoji = 0;
    for (const auto& [text, times] : said) {
        if (times > 1) ++repeated;
        if (text.find("\xf0\x9f") != std::string::npos) ++emoji;
    }
    EXPECT_GT(messages.size(), 300u);
    EXPECT_LT(messages.size(), 1200u);
    EXPECT_GT(said["666"], 2);
    EXPECT_GT(repeated, 10);
    EXPECT_GT(emoji, 0);
    EXPECT_GT(admin_texts.size(), 2u);
}

TEST(DemoRoom, PollLoopListsItsChatWithNumericUidsAsText) {
    RoomChat chat(2, RoomChat::Clock::now());
    const std::string reply = chat.reply_json();
    shell_test::LocalRoom room([&](int) { return reply; });
    MessageRows rows;
    auto stop = net::make_cancel_token();
    std::thread worker([&] { poll_room_messages("100123", rows, stop, room.endpoint()); });
    while (room.requests() < 3) std::this_thread::sleep_for(5ms);
    stop->cancel();
    worker.join();

    const auto& room_part = chat.room_messages();
    const auto& admin_part = chat.admin_messages();
    ASSERT_EQ(rows.size(), static_cast<int>(room_part.size() + admin_part.size()));
    for (int row = 0; row < rows.size(); ++row) {
        const demo::ChatMessage& m = row < static_cast<int>(room_part.size())
                                         ? room_part[row]
                                         : admin_part[row - room_part.size()];
        EXPECT_EQ(rows.cell(row, column_uid), std::to_string(m.uid));
        EXPECT_EQ(rows.cell(row, column_nickname), utf8_to_ansi(m.nickname));
        EXPECT_EQ(rows.cell(row, column_text), utf8_to_ansi(m.text));
        EXPECT_EQ(rows.cell(row, column_timeline), m.timeline);
    }
}

}  // namespace
}  // namespace tavolen
