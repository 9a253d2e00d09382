#include "monitor/message_rows.h"

#include <functional>
#include <string_view>

namespace tavolen {

namespace {

std::size_t hash_text(const Text& text) {
    return std::hash<std::string_view>{}(text);
}

// The message columns in the order their hashes are kept.
constexpr std::array<int, 4> message_columns{column_nickname, column_uid, column_text,
                                             column_timeline};

int hash_slot(int column) {
    for (int slot = 0; slot < 4; ++slot)
        if (message_columns[slot] == column) return slot;
    return -1;
}

}  // namespace

std::size_t MessageRows::combine(const CellHashes& hashes) {
    // Order matters: a uid in the nickname column must not hash like the same uid in its own.
    std::size_t seed = 0;
    for (std::size_t h : hashes) seed ^= h + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    return seed;
}

void MessageRows::unindex(int row) {
    auto [first, last] = index_.equal_range(combine(cell_hashes_[row]));
    for (auto it = first; it != last; ++it) {
        if (it->second == row) {
            index_.erase(it);
            return;
        }
    }
}

void MessageRows::index(int row) {
    index_.emplace(combine(cell_hashes_[row]), row);
}

int MessageRows::insert_row() {
    rows_.emplace_back();
    const std::size_t empty = hash_text(Text{});
    cell_hashes_.push_back({empty, empty, empty, empty});
    int row = size() - 1;
    index(row);
    return row;
}

int MessageRows::row_count() {
    return size();
}

void MessageRows::set_cell(int row, int column, const Text& text) {
    if (row < 0 || row >= size() || column < 0 || column >= message_column_count) return;
    int slot = hash_slot(column);
    if (slot < 0) {  // the running number takes no part in the index
        rows_[row][column] = text;
        return;
    }
    unindex(row);
    rows_[row][column] = text;
    cell_hashes_[row][slot] = hash_text(text);
    index(row);
}

void MessageRows::select_row(int row) {
    if (row < 0 || row >= size()) return;
    selected_ = row;
}

void MessageRows::delete_all_rows() {
    rows_.clear();
    cell_hashes_.clear();
    index_.clear();
    selected_ = -1;
}

bool MessageRows::holds_message(const Text& uid, const Text& nickname, const Text& message_text,
                                const Text& timeline) {
    CellHashes wanted{hash_text(nickname), hash_text(uid), hash_text(message_text),
                      hash_text(timeline)};
    auto [first, last] = index_.equal_range(combine(wanted));
    for (auto it = first; it != last; ++it) {
        const Row& r = rows_[it->second];
        if (r[column_nickname] == nickname && r[column_uid] == uid &&
            r[column_text] == message_text && r[column_timeline] == timeline)
            return true;
    }
    return false;
}

const Text& MessageRows::cell(int row, int column) const {
    static const Text empty;
    if (row < 0 || row >= size() || column < 0 || column >= message_column_count) return empty;
    return rows_[row][column];
}

}  // namespace tavolen
