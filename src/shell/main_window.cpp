#include "shell/main_window.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

#include "shell/message_table_model.h"
#include "shell/qt_text.h"

namespace tavolen {
namespace {

constexpr int column_widths[message_column_count] = {50, 105, 120, 300, 130};

}  // namespace

MainWindow::MainWindow(RoomEndpoint endpoint, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      list_link_(std::make_shared<MessageListLink>()),
      endpoint_(std::move(endpoint)) {
    setWindowTitle(QStringLiteral("Tavolen"));
    // The whole size goes to the client area until a window manager says how big its frame is.
    setFixedSize(outer_width, outer_height);

    透明标签_视频url = new QLabel(QStringLiteral("房间Url:"), this);
    透明标签_视频url->setObjectName(QStringLiteral("透明标签_视频url"));
    // A label paints no background of its own: the window shows through.
    透明标签_视频url->setGeometry(17, 9, 59, 20);

    编辑框_直播url = new QLineEdit(this);
    编辑框_直播url->setObjectName(QStringLiteral("编辑框_直播url"));
    编辑框_直播url->setGeometry(79, 8, 585, 24);

    按钮_捕获弹幕 = new QPushButton(to_qstring(caption_start_listening()), this);
    按钮_捕获弹幕->setObjectName(QStringLiteral("按钮_捕获弹幕"));
    按钮_捕获弹幕->setGeometry(673, 8, 56, 24);
    按钮_捕获弹幕->setAutoDefault(false);

    标签1 =
        new QLabel(QStringLiteral("粘贴直播间网址，点“开始监听”接收弹幕，再点一次停止。"), this);
    标签1->setObjectName(QStringLiteral("标签1"));
    标签1->setGeometry(16, 32, 424, 24);

    model_ = new MessageTableModel(this);
    list_link_->list = model_;

    超级列表框1 = new QTableView(this);
    超级列表框1->setObjectName(QStringLiteral("超级列表框1"));
    超级列表框1->setGeometry(0, 57, 720, 464);
    超级列表框1->setModel(model_);
    超级列表框1->setShowGrid(true);
    超级列表框1->setSelectionBehavior(QAbstractItemView::SelectRows);
    超级列表框1->setSelectionMode(QAbstractItemView::SingleSelection);
    超级列表框1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    超级列表框1->setWordWrap(false);
    超级列表框1->setCornerButtonEnabled(false);
    // The two-pixel sunken 3-D edge of a classic list control, drawn the same in every style.
    超级列表框1->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    超级列表框1->verticalHeader()->hide();
    // Fixed row height: the view then never measures rows, whatever their number.
    超级列表框1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    超级列表框1->verticalHeader()->setDefaultSectionSize(20);
    QHeaderView* header = 超级列表框1->horizontalHeader();
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    for (int column = 0; column < message_column_count; ++column) {
        header->resizeSection(column, column_widths[column]);
    }

    // Black on white, and the selection only visible while the list has the focus.
    QPalette colours = 超级列表框1->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Base, Qt::white);
        colours.setColor(group, QPalette::Text, Qt::black);
    }
    colours.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
    超级列表框1->setPalette(colours);

    connect(按钮_捕获弹幕, &QPushButton::clicked, this, [this] { toggle_listening(*this); });
    connect(model_, &MessageTableModel::selection_requested, this, &MainWindow::show_selected_row);
    connect(超级列表框1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) model_->note_view_selection(current.row());
            });
}

MainWindow::~MainWindow() {
    // Operations of workers still under way find no list from now on.
    list_link_->list = nullptr;
}

Text MainWindow::address_text() {
    return to_text(编辑框_直播url->text());
}

Text MainWindow::button_caption() {
    return to_text(按钮_捕获弹幕->text());
}

void MainWindow::set_button_caption(const Text& caption) {
    按钮_捕获弹幕->setText(to_qstring(caption));
}

void MainWindow::show_message_box(const Text& caption, const Text& text) {
    QMessageBox box(QMessageBox::NoIcon, to_qstring(caption), to_qstring(text), QMessageBox::Ok,
                    nullptr);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void MainWindow::delete_all_rows() {
    model_->delete_all_rows();
}

std::shared_ptr<MessageListOps> MainWindow::list_for_worker(const net::CancelTokenPtr& stop) {
    return std::make_shared<QueuedMessageList>(list_link_, stop);
}

void MainWindow::show_selected_row(int row) {
    // Select and focus the row without scrolling to it.
    QScrollBar* vertical = 超级列表框1->verticalScrollBar();
    QScrollBar* horizontal = 超级列表框1->horizontalScrollBar();
    const int top = vertical->value();
    const int left = horizontal->value();
    QItemSelectionModel* selection = 超级列表框1->selectionModel();
    if (row < 0) {
        selection->clear();
    } else {
        selection->setCurrentIndex(model_->index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    vertical->setValue(top);
    horizontal->setValue(left);
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!placed_) {
        placed_ = true;
        fit_outer_size();
        // A window manager reports its frame some time after the window is first shown.
        QTimer::singleShot(0, this, &MainWindow::fit_outer_size);
        QTimer::singleShot(300, this, &MainWindow::fit_outer_size);
    }
}

void MainWindow::fit_outer_size() {
    // No frame at all without a window manager (offscreen, a bare X server).
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize outer(outer_width, outer_height);
    setFixedSize(outer - frame);
    if (QScreen* screen = this->screen()) {
        // move() places the frame's corner.
        move(screen->availableGeometry().center() - QPoint(outer.width() / 2, outer.height() / 2));
    }
}

}  // namespace tavolen
