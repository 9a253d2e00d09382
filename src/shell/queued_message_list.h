#pragma once

#include <memory>

#include "monitor/message_list.h"
#include "platform/net/cancel_token.h"

namespace tavolen {

// Where the workers' list operations land: the window's list while the window exists, null after
// (so an operation still on its way finds nothing to change). Read and written on the UI thread
// only.
struct MessageListLink {
    MessageListOps* list = nullptr;
};

// The message list as one worker sees it. Each operation is carried out by the UI thread while
// the worker waits for the answer (a blocking queued call); the worker never touches the list
// itself. Once the worker's stop token has tripped, nothing of it reaches the list any more:
// operations answer -1, 0 or false at once, and one that was already queued when Stop came is
// dropped by the UI thread unexecuted. Used by the worker thread only; needs a running Qt
// application on the UI thread.
class QueuedMessageList : public MessageListOps {
  public:
    QueuedMessageList(std::shared_ptr<MessageListLink> link, net::CancelTokenPtr stop);

    int insert_row() override;
    int row_count() override;
    void set_cell(int row, int column, const Text& text) override;
    void select_row(int row) override;
    void delete_all_rows() override;
    bool holds_message(const Text& uid, const Text& nickname, const Text& message_text,
                       const Text& timeline) override;

  private:
    template <typename Result, typename Operation>
    Result on_ui_thread(Result dropped, Operation operation);

    std::shared_ptr<MessageListLink> link_;
    net::CancelTokenPtr stop_;
};

}  // namespace tavolen
