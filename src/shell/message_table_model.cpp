#include "shell/message_table_model.h"

#include <algorithm>
#include <array>

#include "shell/qt_text.h"

namespace tavolen {
namespace {

struct ColumnLayout {
    const char* header;
    Qt::Alignment alignment;
};

constexpr std::array<ColumnLayout, message_column_count> columns = {{
    {"序号", Qt::AlignLeft | Qt::AlignVCenter},
    {"弹幕者昵称", Qt::AlignCenter},
    {"弹幕者ID", Qt::AlignCenter},
    {"弹幕内容", Qt::AlignCenter},
    {"弹幕发送时间", Qt::AlignCenter},
}};

}  // namespace

MessageTableModel::MessageTableModel(QObject* parent) : QAbstractTableModel(parent) {
    refresh_timer_.setSingleShot(true);
    refresh_timer_.setInterval(refresh_interval_ms);
    connect(&refresh_timer_, &QTimer::timeout, this, &MessageTableModel::refresh_view);
}

int MessageTableModel::insert_row() {
    const int row = rows_.insert_row();
    schedule_refresh();
    return row;
}

int MessageTableModel::row_count() {
    return rows_.row_count();
}

void MessageTableModel::set_cell(int row, int column, const Text& text) {
    rows_.set_cell(row, column, text);
    // Rows the view does not hold yet arrive whole with the next batch.
    if (row >= 0 && row < shown_rows_ && column >= 0 && column < message_column_count) {
        first_changed_ = std::min(first_changed_, row);
        last_changed_ = std::max(last_changed_, row);
        schedule_refresh();
    }
}

void MessageTableModel::select_row(int row) {
    const int before = rows_.selected_row();
    rows_.select_row(row);
    if (rows_.selected_row() != before) {
        selection_pending_ = true;
        schedule_refresh();
    }
}

void MessageTableModel::delete_all_rows() {
    refresh_timer_.stop();
    beginResetModel();
    rows_.delete_all_rows();
    shown_rows_ = 0;
    first_changed_ = INT_MAX;
    last_changed_ = -1;
    selection_pending_ = false;
    endResetModel();
}

bool MessageTableModel::holds_message(const Text& uid, const Text& nickname,
                                      const Text& message_text, const Text& timeline) {
    return rows_.holds_message(uid, nickname, message_text, timeline);
}

void MessageTableModel::schedule_refresh() {
    if (!refresh_timer_.isActive()) refresh_timer_.start();
}

void MessageTableModel::refresh_view() {
    refresh_timer_.stop();
    const int total = rows_.size();
    if (total > shown_rows_) {
        beginInsertRows(QModelIndex(), shown_rows_, total - 1);
        shown_rows_ = total;
        endInsertRows();
    }
    if (last_changed_ >= 0) {
        const int first = first_changed_;
        const int last = std::min(last_changed_, shown_rows_ - 1);
        first_changed_ = INT_MAX;
        last_changed_ = -1;
        if (first <= last) {
            emit dataChanged(index(first, 0), index(last, message_column_count - 1),
                             {Qt::DisplayRole});
        }
    }
    if (selection_pending_) {
        selection_pending_ = false;
        emit selection_requested(rows_.selected_row());
    }
}

void MessageTableModel::note_view_selection(int row) {
    rows_.select_row(row);
}

int MessageTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown_rows_;
}

int MessageTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : message_column_count;
}

QVariant MessageTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_rows_) return {};
    if (role == Qt::DisplayRole) {
        const Text& cell = rows_.cell(index.row(), index.column());
        // Two bytes at most per character in code page 936, so this cut keeps every character
        // that can be shown.
        const std::size_t cut = std::min<std::size_t>(cell.size(), 2 * max_shown_length);
        QString shown = to_qstring(std::string_view(cell).substr(0, cut));
        if (shown.size() > max_shown_length) shown.truncate(max_shown_length);
        return shown;
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(columns[index.column()].alignment);
    }
    return {};
}

QVariant MessageTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= message_column_count) {
        return {};
    }
    if (role == Qt::DisplayRole) return QString::fromUtf8(columns[section].header);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(columns[section].alignment);
    return {};
}

Qt::ItemFlags MessageTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace tavolen
