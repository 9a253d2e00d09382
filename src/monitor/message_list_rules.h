#pragma once

#include "monitor/message_list.h"
#include "text/text.h"

namespace tavolen {

// True when one row of the list already holds this message: the same nickname, uid, message
// text and send time, each compared byte for byte. A later reply repeats what an earlier one
// brought; that must not be listed twice. Two people sending the same words, or two messages in
// the same second, are different messages and both get a row.
bool message_already_listed(MessageListOps& list, const Text& uid, const Text& nickname,
                            const Text& message_text, const Text& timeline);

// Appends the message as the last row: running number (the row count after the insertion),
// nickname, uid, message text, send time; then selects the new row without scrolling to it.
void add_message_row(MessageListOps& list, const Text& uid, const Text& nickname,
                     const Text& message_text, const Text& timeline);

}  // namespace tavolen
