#pragma once

#include <array>
#include <cstddef>
#include <unordered_map>
#include <vector>

#include "monitor/message_list.h"

namespace tavolen {

// The rows of the message list, held in memory: the store behind the window's list model and
// the list that tests hand to the poll loop. Not thread-safe: one thread (the UI thread in the
// program) makes every call.
//
// Beside the rows it keeps an index of each row's nickname, uid, message text and send time, so
// that holds_message costs the same at 100 000 rows as at 10. The index follows every change,
// including a row that is only partly filled.
class MessageRows : public MessageListOps {
  public:
    int insert_row() override;
    int row_count() override;
    // Out-of-range rows and columns are ignored.
    void set_cell(int row, int column, const Text& text) override;
    // An out-of-range row changes nothing.
    void select_row(int row) override;
    void delete_all_rows() override;
    bool holds_message(const Text& uid, const Text& nickname, const Text& message_text,
                       const Text& timeline) override;

    // The cell's text; the empty text for a row or column out of range.
    const Text& cell(int row, int column) const;
    // The selected row, -1 when none.
    int selected_row() const { return selected_; }
    int size() const { return static_cast<int>(rows_.size()); }

  private:
    using Row = std::array<Text, message_column_count>;
    // Hashes of the four cells that identify a message, in column order nickname, uid, text,
    // timeline; kept per row so that changing one cell rehashes only that cell.
    using CellHashes = std::array<std::size_t, 4>;

    static std::size_t combine(const CellHashes& hashes);
    void unindex(int row);
    void index(int row);

    std::vector<Row> rows_;
    std::vector<CellHashes> cell_hashes_;
    // Message hash -> rows whose four cells hash to it; a candidate is confirmed by comparing
    // the cells themselves, so a hash collision never makes a message look listed.
    std::unordered_multimap<std::size_t, int> index_;
    int selected_ = -1;
};

}  // namespace tavolen
