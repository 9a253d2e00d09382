#include <gtest/gtest.h>

#include <string>

#include "monitor/message_list_rules.h"
#include "monitor/message_rows.h"

namespace tavolen {
namespace {

struct Message {
    Text uid, nickname, text, timeline;
};

void add(MessageRows& rows, const Message& m) {
    add_message_row(rows, m.uid, m.nickname, m.text, m.timeline);
}

bool listed(MessageRows& rows, const Message& m) {
    return message_already_listed(rows, m.uid, m.nickname, m.text, m.timeline);
}

TEST(MessageList, AddMessageRowFillsColumnsNumbersAndSelects) {
    MessageRows rows;
    EXPECT_EQ(rows.selected_row(), -1);
    add(rows, {"1001", "alice", "hello", "12:00:01"});
    add(rows, {"1002", "bob", "hi", "12:00:02"});

    ASSERT_EQ(rows.row_count(), 2);
    EXPECT_EQ(rows.cell(0, column_number), "1");
    EXPECT_EQ(rows.cell(1, column_number), "2");
    // Arguments come uid first; the row holds the nickname first.
    EXPECT_EQ(rows.cell(1, column_nickname), "bob");
    EXPECT_EQ(rows.cell(1, column_uid), "1002");
    EXPECT_EQ(rows.cell(1, column_text), "hi");
    EXPECT_EQ(rows.cell(1, column_timeline), "12:00:02");
    EXPECT_EQ(rows.selected_row(), 1);

    // After emptying, numbering starts again at 1 and nothing earlier counts as listed.
    rows.delete_all_rows();
    EXPECT_EQ(rows.selected_row(), -1);
    EXPECT_FALSE(listed(rows, {"1001", "alice", "hello", "12:00:01"}));
    add(rows, {"1003", "carol", "yo", "12:00:03"});
    EXPECT_EQ(rows.cell(0, column_number), "1");
    EXPECT_EQ(rows.selected_row(), 0);
}

TEST(MessageList, AlreadyListedOnlyWhenOneRowHoldsAllFourFieldsExactly) {
    MessageRows rows;
    add(rows, {"1001", "alice", "666", "2024-05-01 20:00:00"});
    add(rows, {"1002", "Bob", "hello world", "2024-05-01 20:00:05"});
    add(rows, {"1003", "carol", "", "2024-05-01 20:00:06"});

    struct Case {
        const char* what;
        Message message;
        bool expected;
    };
    const Case cases[] = {
        {"the same message again", {"1001", "alice", "666", "2024-05-01 20:00:00"}, true},
        {"another user saying 666", {"2001", "dave", "666", "2024-05-01 20:00:09"}, false},
        {"same user, same text, later", {"1001", "alice", "666", "2024-05-01 20:00:10"}, false},
        {"another message in the same second",
         {"2002", "erin", "hey", "2024-05-01 20:00:00"},
         false},
        {"uid equal to a listed nickname", {"alice", "frank", "x", "20:01"}, false},
        {"nickname equal to a listed uid", {"3001", "1001", "y", "20:02"}, false},
        {"uid and nickname swapped", {"alice", "1001", "666", "2024-05-01 20:00:00"}, false},
        {"same uid, all else different", {"1001", "alicia", "bye", "20:03"}, false},
        {"nickname differs in case", {"1002", "bob", "hello world", "2024-05-01 20:00:05"}, false},
        {"text differs in case", {"1002", "Bob", "Hello world", "2024-05-01 20:00:05"}, false},
        {"text is a prefix of the listed one",
         {"1002", "Bob", "hello", "2024-05-01 20:00:05"},
         false},
        {"text extends the listed one",
         {"1002", "Bob", "hello world!", "2024-05-01 20:00:05"},
         false},
        {"empty text elsewhere listed, other fields new", {"4001", "gina", "", "20:04"}, false},
        {"the listed message with an empty text",
         {"1003", "carol", "", "2024-05-01 20:00:06"},
         true},
        {"a message of four empty fields", {"", "", "", ""}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(listed(rows, c.message), c.expected) << c.what;
}

TEST(MessageList, ByteExactComparisonOfTwoByteCharacters) {
    MessageRows rows;
    // "哈哈哈" in code page 936, and the same nickname with one byte changed.
    const Text laugh = "\xB9\xFE\xB9\xFE\xB9\xFE";
    add(rows, {"1", "\xD5\xC5\xC8\xFD", laugh, "t"});
    EXPECT_TRUE(listed(rows, {"1", "\xD5\xC5\xC8\xFD", laugh, "t"}));
    EXPECT_FALSE(listed(rows, {"1", "\xD5\xC5\xC8\xFE", laugh, "t"}));
    EXPECT_FALSE(listed(rows, {"1", "\xD5\xC5\xC8\xFD", laugh.substr(0, 4), "t"}));
}

TEST(MessageList, IndexFollowsCellChangesPartialRowsAndDeleteAll) {
    MessageRows rows;
    add(rows, {"1", "ann", "first", "t1"});

    // A row left partly filled (as a Stop between the cells leaves it) counts for what it
    // holds, not for the message it was going to hold.
    int partial = rows.insert_row();
    rows.set_cell(partial, column_number, "2");
    rows.set_cell(partial, column_nickname, "ben");
    rows.set_cell(partial, column_uid, "2");
    EXPECT_FALSE(listed(rows, {"2", "ben", "second", "t2"}));
    EXPECT_TRUE(listed(rows, {"2", "ben", "", ""}));

    // Overwriting a cell moves the row's entry.
    rows.set_cell(0, column_text, "edited");
    EXPECT_FALSE(listed(rows, {"1", "ann", "first", "t1"}));
    EXPECT_TRUE(listed(rows, {"1", "ann", "edited", "t1"}));
    // The running number takes no part in the rule.
    rows.set_cell(0, column_number, "99");
    EXPECT_TRUE(listed(rows, {"1", "ann", "edited", "t1"}));

    // Two rows holding the same message: changing one leaves the other listed.
    add(rows, {"1", "ann", "edited", "t1"});
    rows.set_cell(0, column_timeline, "t9");
    EXPECT_TRUE(listed(rows, {"1", "ann", "edited", "t1"}));
    EXPECT_TRUE(listed(rows, {"1", "ann", "edited", "t9"}));

    rows.delete_all_rows();
    EXPECT_EQ(rows.row_count(), 0);
    EXPECT_FALSE(listed(rows, {"1", "ann", "edited", "t1"}));
    EXPECT_FALSE(listed(rows, {"2", "ben", "", ""}));
}

TEST(MessageList, OutOfRangeRequestsChangeNothing) {
    MessageRows rows;
    add(rows, {"1", "ann", "hi", "t"});
    rows.set_cell(-1, column_text, "x");
    rows.set_cell(1, column_text, "x");
    rows.set_cell(0, -1, "x");
    rows.set_cell(0, message_column_count, "x");
    rows.select_row(5);
    rows.select_row(-1);

    EXPECT_EQ(rows.row_count(), 1);
    EXPECT_EQ(rows.cell(0, column_text), "hi");
    EXPECT_EQ(rows.selected_row(), 0);
    EXPECT_TRUE(listed(rows, {"1", "ann", "hi", "t"}));
    EXPECT_EQ(rows.cell(1, column_text), "");
    EXPECT_EQ(rows.cell(0, message_column_count), "");
    EXPECT_EQ(rows.cell(-1, 0), "");
}

TEST(MessageList, EveryOneOfManyRowsIsFoundAndNearMissesAreNot) {
    MessageRows rows;
    const int n = 100000;
    for (int i = 0; i < n; ++i) {
        std::string k = std::to_string(i);
        add(rows, {k, "user" + k, "666", "20:00:" + std::to_string(i % 60)});
    }
    ASSERT_EQ(rows.row_count(), n);
    EXPECT_EQ(rows.cell(n - 1, column_number), std::to_string(n));
    int found = 0, false_hits = 0;
    for (int i = 0; i < n; ++i) {
        std::string k = std::to_string(i);
        std::string time = "20:00:" + std::to_string(i % 60);
        found += listed(rows, {k, "user" + k, "666", time});
        false_hits += listed(rows, {k, "user" + k, "666", time + " "});
    }
    EXPECT_EQ(found, n);
    EXPECT_EQ(false_hits, 0);
}

TEST(MessageList, LongCellsAreKeptWholeAndCompared) {
    MessageRows rows;
    Text big(10 * 1024 * 1024, 'a');
    add(rows, {"1", "ann", big, "t"});
    EXPECT_EQ(rows.cell(0, column_text).size(), big.size());
    EXPECT_TRUE(listed(rows, {"1", "ann", big, "t"}));
    Text other = big;
    other.back() = 'b';
    EXPECT_FALSE(listed(rows, {"1", "ann", other, "t"}));
}

}  // namespace
}  // namespace tavolen
