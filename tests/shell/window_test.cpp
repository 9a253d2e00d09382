#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "local_room.h"
#include "shell/listening_control.h"
#include "shell/main_window.h"
#include "shell/message_table_model.h"
#include "shell/queued_message_list.h"
#include "text/encoding.h"

extern char** environ;

namespace tavolen {
namespace {

using shell_test::LocalRoom;
using shell_test::reply_json;
using shell_test::RoomMessage;

QApplication& application() {
    static int argc = 1;
    static char name[] = "test_shell_window";
    static char* argv[] = {name, nullptr};
    // Never destroyed: workers of a finished test may still be on their way out.
    static auto* app = new QApplication(argc, argv);
    return *app;
}

RoomMessage message(int n) {
    return {std::to_string(20000 + n), "观众" + std::to_string(n), "第" + std::to_string(n) + "条",
            "21:" + std::to_string(10 + n / 60 % 50) + ":" + std::to_string(10 + n % 50)};
}

// Each reply brings `per_reply` messages never seen before.
LocalRoom::Reply fresh_messages(int per_reply) {
    return [per_reply](int request) {
        std::vector<RoomMessage> room;
        for (int i = 0; i < per_reply; ++i) room.push_back(message(request * per_reply + i));
        return reply_json(room);
    };
}

// Sorts rows by the message they hold: message(n) has uid 20000 + n.
int message_number(const MessageRows& rows, int row) {
    return std::stoi(rows.cell(row, column_uid)) - 20000;
}

// Runs the UI thread's event loop, as the program does, until done() holds or the time is up (a
// deadline that only guards against a hang). QTest's own waits sleep between rounds of events,
// which throttles the workers' queued calls to about a hundred a second.
template <typename Condition>
bool run_until(Condition done, int timeout_ms = 30000) {
    if (done()) return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done()) loop.quit();
    });
    check.start(5);
    QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

void run_for(int milliseconds) {
    run_until([] { return false; }, milliseconds);
}

class Window : public ::testing::Test {
  protected:
    void SetUp() override {
        application();
        worker_thread_handle.reset();
    }
    void TearDown() override {
        // Every worker ends before the test does; the UI loop runs meanwhile to answer (and
        // drop) whatever they had already queued.
        stop_worker(worker_thread_handle);
        for (const ThreadHandle& worker : started) {
            EXPECT_TRUE(run_until([&] { return worker->ended.load(); }));
        }
        worker_thread_handle.reset();
    }

    void open(const RoomEndpoint& endpoint) {
        window = std::make_unique<MainWindow>(endpoint);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        address = window->findChild<QLineEdit*>("编辑框_直播url");
        button = window->findChild<QPushButton*>("按钮_捕获弹幕");
        view = window->findChild<QTableView*>("超级列表框1");
        ASSERT_TRUE(address && button && view);
    }
    void press(const QString& text) {
        address->setText(text);
        QTest::mouseClick(button, Qt::LeftButton);
        if (worker_thread_handle &&
            (started.empty() || started.back() != worker_thread_handle)) {
            started.push_back(worker_thread_handle);
        }
    }
    MessageTableModel& model() { return window->message_model(); }
    const MessageRows& rows() { return model().rows(); }
    bool rows_reach(int n, int timeout_ms = 30000) {
        return run_until([&] { return rows().size() >= n; }, timeout_ms);
    }
    // n rows, the last one filled to its last cell and selected.
    bool whole_rows_reach(int n, int timeout_ms = 30000) {
        return run_until(
            [&] {
                return rows().size() >= n && !rows().cell(n - 1, column_timeline).empty() &&
                       rows().selected_row() == n - 1;
            },
            timeout_ms);
    }
    // Lets the stopped worker wind down and the UI thread handle whatever it still sends.
    void settle(const ThreadHandle& worker) {
        ASSERT_TRUE(run_until([&] { return worker->ended.load(); }));
        run_for(2 * MessageTableModel::refresh_interval_ms + 50);
    }

    std::unique_ptr<MainWindow> window;
    std::vector<ThreadHandle> started;  // every worker a press began
    QLineEdit* address = nullptr;
    QPushButton* button = nullptr;
    QTableView* view = nullptr;
};

const QString room_address = QStringLiteral("http://live.example/room/100123");

TEST_F(Window, ControlsSitWhereTheDesignPutsThem) {
    open(default_room_endpoint());
    EXPECT_EQ(window->windowTitle(), "Tavolen");
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    // Offscreen there is no frame, so the client area is the whole outer size.
    EXPECT_EQ(window->frameGeometry().size(), QSize(744, 546));

    const struct {
        const char* name;
        QRect geometry;
        QString text;
    } controls[] = {
        {"透明标签_视频url", {17, 9, 59, 20}, "房间Url:"},
        {"编辑框_直播url", {79, 8, 585, 24}, ""},
        {"按钮_捕获弹幕", {673, 8, 56, 24}, "开始监听"},
        {"标签1", {16, 32, 424, 24}, {}},
        {"超级列表框1", {0, 57, 720, 464}, {}},
    };
    for (const auto& c : controls) {
        auto* control = window->findChild<QWidget*>(c.name);
        ASSERT_TRUE(control) << c.name;
        EXPECT_EQ(control->geometry(), c.geometry) << c.name;
        if (auto* label = qobject_cast<QLabel*>(control); label && !c.text.isNull()) {
            EXPECT_EQ(label->text(), c.text);
        }
    }
    EXPECT_EQ(address->text(), "");
    EXPECT_EQ(button->text(), "开始监听");

    const struct {
        QString header;
        int width;
        Qt::Alignment alignment;
    } columns[] = {
        {"序号", 50, Qt::AlignLeft | Qt::AlignVCenter},
        {"弹幕者昵称", 105, Qt::AlignCenter},
        {"弹幕者ID", 120, Qt::AlignCenter},
        {"弹幕内容", 300, Qt::AlignCenter},
        {"弹幕发送时间", 130, Qt::AlignCenter},
    };
    ASSERT_EQ(model().columnCount(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(model().headerData(i, Qt::Horizontal, Qt::DisplayRole).toString(),
                  columns[i].header);
        EXPECT_EQ(view->horizontalHeader()->sectionSize(i), columns[i].width);
        model().insert_row();
        model().refresh_view();
        EXPECT_EQ(model().data(model().index(0, i), Qt::TextAlignmentRole).value<Qt::Alignment>(),
                  columns[i].alignment);
        model().delete_all_rows();
    }
    EXPECT_TRUE(view->showGrid());
    EXPECT_EQ(view->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(view->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(view->horizontalHeader()->isVisible());
    EXPECT_FALSE(view->verticalHeader()->isVisible());
    // Selection drawn like plain cells while the list lacks the focus.
    const QPalette colours = view->palette();
    EXPECT_EQ(colours.color(QPalette::Inactive, QPalette::Highlight),
              colours.color(QPalette::Inactive, QPalette::Base));
    EXPECT_NE(colours.color(QPalette::Active, QPalette::Highlight),
              colours.color(QPalette::Active, QPalette::Base));
}

TEST_F(Window, SelectionShowsOnlyWithTheFocusAndNoRowTracksThePointer) {
    open(default_room_endpoint());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    for (int i = 0; i < 3; ++i) model().insert_row();
    model().select_row(1);
    model().refresh_view();
    ASSERT_TRUE(view->selectionModel()->isRowSelected(1, {}));

    // The colour drawn in the middle of a cell of row 1, and of the unselected row 0.
    auto drawn = [&](int row) {
        const QRect cell = view->visualRect(model().index(row, 1));
        return view->viewport()->grab().toImage().pixelColor(cell.left() + 3, cell.center().y());
    };
    address->setFocus();
    ASSERT_TRUE(run_until([&] { return address->hasFocus(); }));
    EXPECT_EQ(drawn(1), drawn(0)) << "selection drawn while the address box has the focus";

    view->setFocus();
    ASSERT_TRUE(run_until([&] { return view->hasFocus(); }));
    EXPECT_NE(drawn(1), drawn(0)) << "selection not drawn while the list has the focus";

    // No hot tracking: a row under the pointer looks like any other.
    const QRect row2 = view->visualRect(model().index(2, 1));
    QTest::mouseMove(view->viewport(), row2.center());
    run_for(50);
    EXPECT_EQ(drawn(2), drawn(0)) << "the row under the pointer is drawn apart";
}

TEST_F(Window, EmptyAddressShowsTheMessageBoxInEitherState) {
    LocalRoom room(fresh_messages(1));
    open(room.endpoint());
    int boxes = 0;
    auto expect_box_then_close = [&] {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            ++boxes;
            EXPECT_EQ(box->windowTitle(), "信息：");
            EXPECT_EQ(box->text(), "请输入房间网址");
            EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
            box->button(QMessageBox::Ok)->click();
        });
    };

    expect_box_then_close();
    press("");
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(button->text(), "开始监听");
    EXPECT_FALSE(worker_thread_handle);

    press(room_address);
    ASSERT_TRUE(rows_reach(1));
    const ThreadHandle worker = worker_thread_handle;
    expect_box_then_close();
    press("");
    EXPECT_EQ(boxes, 2);
    EXPECT_EQ(button->text(), "停止监听");
    EXPECT_EQ(worker_thread_handle, worker);
    EXPECT_FALSE(worker->stop->cancelled());
    const int listed = rows().size();
    EXPECT_TRUE(rows_reach(listed + 1));  // still polling
}

TEST_F(Window, RowsFromALiveEndpointAppearInOrderOnceEach) {
    const std::vector<RoomMessage> room_part = {
        {"101", "小明", "大家好", "20:00:01"},
        {"\"102\"", "Lucy", "666", "20:00:01"},
        {"103", "阿强", "666", "20:00:02"},
    };
    const std::vector<RoomMessage> admin_part = {{"9", "房管", "文明发言", "20:00:03"}};
    LocalRoom room([&](int) { return reply_json(room_part, admin_part); });
    open(room.endpoint());

    press(room_address);
    ASSERT_TRUE(whole_rows_reach(4));
    model().refresh_view();
    ASSERT_EQ(model().rowCount(), 4);
    const QStringList expected[] = {
        {"1", "小明", "101", "大家好", "20:00:01"},
        {"2", "Lucy", "102", "666", "20:00:01"},
        {"3", "阿强", "103", "666", "20:00:02"},
        {"4", "房管", "9", "文明发言", "20:00:03"},
    };
    for (int row = 0; row < 4; ++row) {
        QStringList shown;
        for (int column = 0; column < 5; ++column) {
            shown << model().data(model().index(row, column), Qt::DisplayRole).toString();
        }
        EXPECT_EQ(shown, expected[row]) << "row " << row;
    }
    // The newest row is the selected one.
    EXPECT_EQ(view->selectionModel()->currentIndex().row(), 3);
    EXPECT_TRUE(view->selectionModel()->isRowSelected(3, {}));

    // Later replies repeat the same messages and add nothing.
    const int requests = room.requests();
    ASSERT_TRUE(run_until([&] { return room.requests() > requests + 5; }));
    run_for(2 * MessageTableModel::refresh_interval_ms);
    EXPECT_EQ(model().rowCount(), 4);
    EXPECT_EQ(room.bodies(), std::set<std::string>{"roomid=100123"});
}

TEST_F(Window, StopKeepsTheRowsAndStartBeginsAgainAtOne) {
    LocalRoom room([](int) { return reply_json({message(1), message(2)}); });
    open(room.endpoint());
    press(room_address);
    ASSERT_TRUE(whole_rows_reach(2));
    const ThreadHandle first = worker_thread_handle;

    press(room_address);
    EXPECT_EQ(button->text(), "开始监听");
    settle(first);
    EXPECT_EQ(rows().size(), 2);

    press(room_address);
    EXPECT_EQ(button->text(), "停止监听");
    EXPECT_EQ(model().rowCount(), 0);  // emptied before the new worker exists
    ASSERT_TRUE(whole_rows_reach(2));
    EXPECT_EQ(rows().cell(0, column_number), "1");
    EXPECT_EQ(rows().cell(1, column_number), "2");
}

TEST_F(Window, NoRowArrivesAfterStop) {
    LocalRoom room(fresh_messages(20));
    open(room.endpoint());
    press(room_address);
    ASSERT_TRUE(rows_reach(200));
    const ThreadHandle worker = worker_thread_handle;

    press(room_address);  // Stop, while rows are pouring in
    const int at_stop = rows().size();
    settle(worker);
    EXPECT_EQ(rows().size(), at_stop);
    model().refresh_view();
    EXPECT_EQ(model().rowCount(), at_stop);
}

TEST_F(Window, RapidPressesLeaveOneWorkerAtTheList) {
    LocalRoom room(fresh_messages(5));
    open(room.endpoint());
    std::vector<ThreadHandle> workers;
    for (int press_number = 0; press_number < 201; ++press_number) {
        press(room_address);
        if (press_number % 2 == 0) workers.push_back(worker_thread_handle);
        if (press_number % 10 == 0) QCoreApplication::processEvents();
    }
    EXPECT_EQ(button->text(), "停止监听");
    ASSERT_EQ(workers.size(), 101u);
    workers.pop_back();
    for (const ThreadHandle& stopped : workers) {
        ASSERT_TRUE(run_until([&] { return stopped->ended.load(); }));
    }

    ASSERT_TRUE(rows_reach(50));
    const ThreadHandle last = worker_thread_handle;
    press(room_address);
    settle(last);
    // Every row whole and numbered by its place: one worker built them, one at a time, and each
    // of its replies comes after the last one's, so the messages rise in order. The last row may
    // be cut short by the Stop.
    for (int row = 0; row + 1 < rows().size(); ++row) {
        ASSERT_EQ(rows().cell(row, column_number), std::to_string(row + 1));
        ASSERT_FALSE(rows().cell(row, column_timeline).empty()) << "row " << row;
        if (row > 0) {
            ASSERT_LT(message_number(rows(), row - 1), message_number(rows(), row));
        }
    }
}

TEST_F(Window, OddAddressesStartAndStopLikeAnyOther) {
    LocalRoom room(fresh_messages(1));
    open(room.endpoint());
    QString junk;
    for (int i = 1; i < 5000; ++i) junk += QChar(char16_t(i * 37 % 0xD7FF + 1));
    const struct {
        const char* name;
        QString address;
        std::string body;
    } cases[] = {
        // The box takes at most 32767 characters, as an edit control does by default.
        {"1 MB", QString(1 << 20, 'x') + "/room/4567", "roomid="},
        {"1 MB ending early in a room", "/room/4567" + QString(1 << 20, 'x'), "roomid=4567"},
        {"binary junk", junk, ""},
        {"blanks", QString(1000, ' '), "roomid="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The server may still count a request of the previous case's worker, cut off by its
        // Stop; this case's own is known by its body.
        const int requests = room.requests();
        press(c.address);
        EXPECT_EQ(button->text(), "停止监听");
        EXPECT_TRUE(run_until([&] {
            return c.body.empty() ? room.requests() > requests
                                  : room.bodies(requests).count(c.body) == 1;
        }));
        press(c.address);
        EXPECT_EQ(button->text(), "开始监听");
    }
}

TEST_F(Window, AFloodOfTenThousandMessagesKeepsTheWindowAlive) {
    std::vector<RoomMessage> flood;
    for (int i = 0; i < 10000; ++i) flood.push_back(message(i));
    const std::string reply = reply_json(flood);
    LocalRoom room([&](int) { return reply; });
    open(room.endpoint());

    // Paints of the list and ticks of a timer while the rows pour in: the UI thread keeps
    // turning its loop.
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) ++paints;
            return false;
        }
    } counter;
    view->viewport()->installEventFilter(&counter);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);

    press(room_address);
    ASSERT_TRUE(rows_reach(1000, 60000));
    const int paints_early = counter.paints;
    const int ticks_early = ticks;
    ASSERT_TRUE(whole_rows_reach(10000, 120000));
    EXPECT_GT(counter.paints, paints_early);
    EXPECT_GT(ticks, ticks_early);
    model().refresh_view();
    EXPECT_EQ(model().rowCount(), 10000);
    EXPECT_EQ(rows().cell(9999, column_number), "10000");
    EXPECT_EQ(message_number(rows(), 9999), 9999);

    // The button still answers, and the view did not follow the new rows down.
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(button->text(), "开始监听");
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);
}

TEST_F(Window, BatchesRowsForTheViewButAnswersTheListAtOnce) {
    open(default_room_endpoint());
    MessageTableModel& list = model();
    for (int i = 0; i < 300; ++i) {
        const int row = list.insert_row();
        list.set_cell(row, column_number, std::to_string(i + 1));
        list.select_row(row);
    }
    EXPECT_EQ(list.row_count(), 300);
    EXPECT_EQ(list.rows().selected_row(), 299);
    EXPECT_EQ(list.rowCount(), 0);  // the view has not been told yet

    ASSERT_TRUE(run_until([&] { return list.rowCount() == 300; }));
    EXPECT_EQ(view->selectionModel()->currentIndex().row(), 299);
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);

    // A cell changed in a row the view already shows reaches the view with the next batch.
    list.set_cell(0, column_text, utf8_to_ansi("改过"));
    ASSERT_TRUE(run_until(
        [&] { return list.data(list.index(0, column_text), Qt::DisplayRole) == "改过"; }));

    // A 10 MB message stays whole in the list but is cut for drawing.
    list.set_cell(1, column_text, Text(10 << 20, 'a'));
    EXPECT_EQ(list.rows().cell(1, column_text).size(), 10u << 20);
    EXPECT_EQ(list.data(list.index(1, column_text), Qt::DisplayRole).toString().size(),
              MessageTableModel::max_shown_length);

    list.delete_all_rows();
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(list.row_count(), 0);
}

// Counts the calls that reach it and notes whether each ran on the UI thread.
struct ThreadCheckingRows : MessageRows {
    int calls = 0;
    bool all_on_ui_thread = true;
    int insert_row() override {
        ++calls;
        all_on_ui_thread &= QThread::currentThread() == QCoreApplication::instance()->thread();
        return MessageRows::insert_row();
    }
};

TEST(QueuedList, CarriesCallsOutOnTheUiThreadAndDropsThemAfterStop) {
    application();
    ThreadCheckingRows rows;
    auto link = std::make_shared<MessageListLink>();
    link->list = &rows;
    auto stop = net::make_cancel_token();
    QueuedMessageList list(link, stop);

    std::atomic<int> answer{-2};
    std::thread worker([&] { answer = list.insert_row(); });
    ASSERT_TRUE(run_until([&] { return answer != -2; }));
    worker.join();
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(rows.calls, 1);
    EXPECT_TRUE(rows.all_on_ui_thread);

    // A call already queued when Stop comes: the UI thread is busy elsewhere while the worker
    // asks, Stop trips the token, and only then does the UI thread get to the queue.
    answer = -2;
    worker = std::thread([&] { answer = list.insert_row(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop->cancel();
    ASSERT_TRUE(run_until([&] { return answer != -2; }));
    worker.join();
    EXPECT_EQ(answer, -1);
    EXPECT_EQ(rows.size(), 1);

    // After Stop nothing is even queued; and a list that is gone answers nothing either.
    EXPECT_EQ(list.row_count(), 0);
    EXPECT_FALSE(list.holds_message("", "", "", ""));
    QueuedMessageList orphan(std::make_shared<MessageListLink>(), net::make_cancel_token());
    answer = -2;
    worker = std::thread([&] { answer = orphan.insert_row(); });
    ASSERT_TRUE(run_until([&] { return answer != -2; }));
    worker.join();
    EXPECT_EQ(answer, -1);
}

TEST(WindowClose, ClosingWhileListeningEndsTheProgramAtOnce) {
    LocalRoom room(fresh_messages(50));
    const std::string host = room.endpoint().host;
    char* argv[] = {const_cast<char*>(SHELL_EXIT_PROBE), const_cast<char*>(host.c_str()), nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, SHELL_EXIT_PROBE, nullptr, nullptr, argv, environ), 0);
    int status = 0;
    bool exited = false;
    for (int i = 0; i < 6000 && !exited; ++i) {
        exited = waitpid(child, &status, WNOHANG) == child;
        if (!exited) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!exited) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    ASSERT_TRUE(exited) << "the program did not end after its window closed";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: no rows arrived before the close";
}

}  // namespace
}  // namespace tavolen
