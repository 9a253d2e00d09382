#pragma once

#include "text/text.h"

namespace tavolen {

// Column order of the message list.
enum MessageColumn : int {
    column_number = 0,
    column_nickname = 1,
    column_uid = 2,
    column_text = 3,
    column_timeline = 4,
    message_column_count = 5,
};

// The list operations that the worker asks of the message list. In the program each call is
// carried out by the UI thread while the worker waits; tests use an in-memory list directly.
// A list that has been told to ignore a stopped worker answers -1 / 0 / false and changes
// nothing.
class MessageListOps {
  public:
    virtual ~MessageListOps() = default;

    // Appends a row of empty cells; answers its index.
    virtual int insert_row() = 0;
    virtual int row_count() = 0;
    virtual void set_cell(int row, int column, const Text& text) = 0;
    // Selects and focuses the row (single selection); the view does not scroll.
    virtual void select_row(int row) = 0;
    virtual void delete_all_rows() = 0;
    // True when one row holds exactly this nickname, uid, message text and send time.
    virtual bool holds_message(const Text& uid, const Text& nickname, const Text& message_text,
                               const Text& timeline) = 0;
};

}  // namespace tavolen
