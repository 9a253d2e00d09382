#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <climits>

#include "monitor/message_rows.h"

namespace tavolen {

// The message list of the main window: the rows (MessageRows, with its duplicate index) as a
// table model. Every list operation changes the rows and answers from them at once; the view
// learns of new rows, changed cells and the selection in batches, at most every
// refresh_interval_ms, because telling it row by row repaints the table for each row and caps
// the list at a few hundred rows a second. UI thread only.
class MessageTableModel : public QAbstractTableModel, public MessageListOps {
    Q_OBJECT

  public:
    static constexpr int refresh_interval_ms = 40;

    explicit MessageTableModel(QObject* parent = nullptr);

    // The list operations.
    int insert_row() override;
    int row_count() override;
    void set_cell(int row, int column, const Text& text) override;
    void select_row(int row) override;
    void delete_all_rows() override;
    bool holds_message(const Text& uid, const Text& nickname, const Text& message_text,
                       const Text& timeline) override;

    const MessageRows& rows() const { return rows_; }

    // Tells the view now what it has not been told yet (the refresh timer does it otherwise).
    void refresh_view();
    // The user picked a row in the view: the list's selection follows it.
    void note_view_selection(int row);

    // Model interface: only the rows the view has been told about.
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Longest cell text drawn; a longer one is cut (it stays whole in the list itself). A
    // message of megabytes from the network must not stall painting.
    static constexpr int max_shown_length = 2000;

  signals:
    // After a refresh: the row the list has selected, now that the view holds it.
    void selection_requested(int row);

  private:
    void schedule_refresh();

    MessageRows rows_;
    int shown_rows_ = 0;
    // Shown rows whose cells changed since the last refresh.
    int first_changed_ = INT_MAX;
    int last_changed_ = -1;
    bool selection_pending_ = false;
    QTimer refresh_timer_;
};

}  // namespace tavolen
