#include "monitor/message_list_rules.h"

namespace tavolen {

bool message_already_listed(MessageListOps& list, const Text& uid, const Text& nickname,
                            const Text& message_text, const Text& timeline) {
    return list.holds_message(uid, nickname, message_text, timeline);
}

void add_message_row(MessageListOps& list, const Text& uid, const Text& nickname,
                     const Text& message_text, const Text& timeline) {
    int row = list.insert_row();
    int count = list.row_count();
    list.set_cell(row, column_number, number_to_text(count));
    // Cells go in column order, which puts the nickname before the uid.
    list.set_cell(row, column_nickname, nickname);
    list.set_cell(row, column_uid, uid);
    list.set_cell(row, column_text, message_text);
    list.set_cell(row, column_timeline, timeline);
    list.select_row(row);
}

}  // namespace tavolen
