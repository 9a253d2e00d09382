#pragma once

#include <QWidget>
#include <memory>

#include "shell/listening_control.h"
#include "shell/queued_message_list.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace tavolen {

class MessageTableModel;

// The one window: address box, toggle button and the message list, laid out at fixed places.
// The controls bear their design names as object names.
class MainWindow : public QWidget, public ListeningWindow {
    Q_OBJECT

  public:
    static constexpr int outer_width = 744;
    static constexpr int outer_height = 546;

    explicit MainWindow(RoomEndpoint endpoint = default_room_endpoint(), QWidget* parent = nullptr);
    ~MainWindow() override;

    Text address_text() override;
    Text button_caption() override;
    void set_button_caption(const Text& caption) override;
    void show_message_box(const Text& caption, const Text& text) override;
    void delete_all_rows() override;
    std::shared_ptr<MessageListOps> list_for_worker(const net::CancelTokenPtr& stop) override;
    RoomEndpoint room_endpoint() override { return endpoint_; }

    MessageTableModel& message_model() { return *model_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void fit_outer_size();
    void show_selected_row(int row);

    QLabel* 透明标签_视频url;
    QLineEdit* 编辑框_直播url;
    QPushButton* 按钮_捕获弹幕;
    QLabel* 标签1;
    QTableView* 超级列表框1;
    MessageTableModel* model_;
    std::shared_ptr<MessageListLink> list_link_;
    RoomEndpoint endpoint_;
    bool placed_ = false;
};

}  // namespace tavolen
