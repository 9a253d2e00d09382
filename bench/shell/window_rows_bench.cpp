#include <benchmark/benchmark.h>
#include <httplib.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "demo_room/room_chat.h"
#include "monitor/message_rows.h"
#include "shell/listening_control.h"
#include "shell/main_window.h"
#include "shell/message_table_model.h"
#include "shell/thread_launcher.h"
#include "shell/worker_entry.h"
#include "support/fixed_reply_room.h"

// Rows per second from one reply into the list: a worker filling a plain in-memory list, against
// the same worker filling the window's list, every list operation a blocking queued call that
// the UI thread answers from its event loop.

namespace tavolen {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto give_up_after = std::chrono::seconds(60);
const char* const room_address = "http://live.example/room/100123";

// A reply of `count` messages the list has never seen, all in data.room, UTF-8 with Chinese text,
// percent-encoded as the endpoint sends it.
std::string reply_of_fresh_messages(int count) {
    std::string room;
    for (int i = 0; i < count; ++i) {
        if (i > 0) room += ',';
        room += "{\"uid\":" + std::to_string(3000000 + i) +
                ",\"nickname\":\"\xE8\xA7\x82\xE4\xBC\x97" + std::to_string(i) +
                "\",\"text\":\"\xE4\xB8\xBB\xE6\x92\xAD\xE5\xA5\xBD 666 #" + std::to_string(i) +
                "\",\"timeline\":\"20:" + std::to_string(10 + i / 3600 % 50) + ":" +
                std::to_string(10 + i / 60 % 50) + ":" + std::to_string(10 + i % 50) + "\"}";
    }
    return demo::percent_encode("{\"code\":0,\"msg\":\"ok\",\"data\":{\"room\":[" + room +
                                "],\"admin\":[]}}");
}


// The first n rows are there and whole: the last one filled to its last cell and selected, as
// adding a row leaves it.
bool whole_rows(const MessageRows& rows, int n) {
    return rows.size() >= n && !rows.cell(n - 1, column_timeline).empty() &&
           rows.selected_row() == n - 1;
}

// What an iteration must leave: exactly the reply's rows, numbered in order (the reply holds
// `n` distinct messages, so no further row can come).
bool listed_once(const MessageRows& rows, int n) {
    return rows.size() == n && rows.cell(n - 1, column_number) == std::to_string(n);
}

// A plain MessageRows that tells a waiting thread once its first `wanted` rows are whole. The
// worker makes every call; the waiting thread reads the rows only after the worker has ended.
class WatchedRows : public MessageListOps {
  public:
    explicit WatchedRows(int wanted) : wanted_(wanted) {}

    int insert_row() override { return rows_.insert_row(); }
    int row_count() override { return rows_.row_count(); }
    void set_cell(int row, int column, const Text& text) override {
        rows_.set_cell(row, column, text);
        note_progress();
    }
    void select_row(int row) override {
        rows_.select_row(row);
        note_progress();
    }
    void delete_all_rows() override { rows_.delete_all_rows(); }
    bool holds_message(const Text& uid, const Text& nickname, const Text& message_text,
                       const Text& timeline) override {
        return rows_.holds_message(uid, nickname, message_text, timeline);
    }

    bool wait_until_whole(Clock::duration timeout) {
        std::unique_lock lock(mutex_);
        return whole_changed_.wait_for(lock, timeout, [this] { return whole_; });
    }
    const MessageRows& rows() const { return rows_; }

  private:
    void note_progress() {
        if (told_ || !whole_rows(rows_, wanted_)) return;
        told_ = true;
        std::lock_guard lock(mutex_);
        whole_ = true;
        whole_changed_.notify_one();
    }

    const int wanted_;
    MessageRows rows_;
    bool told_ = false;  // worker only
    std::mutex mutex_;
    std::condition_variable whole_changed_;
    bool whole_ = false;
};

void wait_until_ended(const ThreadHandle& worker) {
    while (!worker->ended.load(std::memory_order_acquire)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Runs the UI thread's event loop until done() holds, checking each time the loop has handled
// what was pending and is about to wait; false when it still does not hold after the time
// allowed.
template <typename Condition>
bool run_events_until(Condition done, Clock::duration timeout = give_up_after) {
    if (done()) return true;
    QEventLoop loop;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &loop, [&] {
                         if (done()) loop.quit();
                     });
    QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(timeout), &loop,
                       &QEventLoop::quit);
    loop.exec();
    return done();
}

void set_rows_counters(benchmark::State& state, int messages, std::size_t reply_bytes) {
    state.SetItemsProcessed(state.iterations() * messages);
    state.counters["reply_bytes"] = static_cast<double>(reply_bytes);
}

// Baseline: the poll worker, started as the program starts it, adds the reply's rows to a plain
// in-memory list on its own thread; no other thread is involved until the rows are whole.
void BM_RowsIntoPlainList(benchmark::State& state) {
    const int messages = static_cast<int>(state.range(0));
    bench::FixedReplyRoom endpoint(reply_of_fresh_messages(messages));
    const Text room = extract_room_id(room_address);
    for (auto _ : state) {
        auto rows = std::make_shared<WatchedRows>(messages);
        auto worker = std::make_shared<WorkerThread>();
        worker->list = rows;
        worker->endpoint = RoomEndpoint{endpoint.host()};

        const auto start = Clock::now();
        if (!start_worker_thread(worker_entry, 0, &room, nullptr, nullptr, nullptr, worker)) {
            state.SkipWithError("no worker thread");
            break;
        }
        const bool whole = rows->wait_until_whole(give_up_after);
        const auto end = Clock::now();

        worker->stop->cancel();
        wait_until_ended(worker);
        if (!whole || !listed_once(rows->rows(), messages)) {
            state.SkipWithError("the rows did not come whole, or came twice");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    set_rows_counters(state, messages, endpoint.reply_size());
}

// The window path: the shown main window's button starts the poll worker, which fills the
// window's list through queued calls that the UI thread answers from its event loop, as in the
// program. The rows count once they are whole in the window's list; the view learns of them in
// batches of its own and is not waited for.
void BM_RowsIntoWindowList(benchmark::State& state) {
    const int messages = static_cast<int>(state.range(0));
    bench::FixedReplyRoom endpoint(reply_of_fresh_messages(messages));
    MainWindow window(RoomEndpoint{endpoint.host()});
    window.show();
    if (!run_events_until([&] { return window.windowHandle()->isExposed(); })) {
        state.SkipWithError("the window was never exposed");
        return;
    }
    auto* address = window.findChild<QLineEdit*>("编辑框_直播url");
    auto* button = window.findChild<QPushButton*>("按钮_捕获弹幕");
    if (address == nullptr || button == nullptr) {
        state.SkipWithError("the window lacks its address box or button");
        return;
    }
    address->setText(QString::fromUtf8(room_address));
    const MessageRows& rows = window.message_model().rows();

    for (auto _ : state) {
        // The button empties the list itself; emptying it here keeps the previous rows' removal
        // out of the time.
        window.delete_all_rows();
        QApplication::processEvents();

        const auto start = Clock::now();
        button->click();  // 开始监听
        const ThreadHandle worker = worker_thread_handle;
        const bool whole = worker && run_events_until([&] { return whole_rows(rows, messages); });
        const auto end = Clock::now();

        if (worker) {
            button->click();  // 停止监听
            // Queued calls the worker made before the stop are answered (and dropped) meanwhile.
            run_events_until([&] { return worker->ended.load(std::memory_order_acquire); });
        }
        if (!whole || !listed_once(rows, messages)) {
            state.SkipWithError("the rows did not come whole, or came twice");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    worker_thread_handle.reset();
    set_rows_counters(state, messages, endpoint.reply_size());
}

BENCHMARK(BM_RowsIntoPlainList)
    ->Arg(2000)
    ->MinTime(2.0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RowsIntoWindowList)
    ->Arg(2000)
    ->MinTime(2.0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavolen

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // The window is really shown, on a display of its own that needs no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
