#include "shell/queued_message_list.h"

#include <QCoreApplication>
#include <QMetaObject>

// Qt's libraries are not built with the thread sanitizer, so it cannot see that a blocking
// queued call orders the worker's writes before the UI thread's reads and back; say so here.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace tavolen {
namespace {

void handed_over(void* address) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(address);
#else
    (void)address;
#endif
}

void handing_over(void* address) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(address);
#else
    (void)address;
#endif
}

}  // namespace

QueuedMessageList::QueuedMessageList(std::shared_ptr<MessageListLink> link,
                                     net::CancelTokenPtr stop)
    : link_(std::move(link)), stop_(std::move(stop)) {}

template <typename Result, typename Operation>
Result QueuedMessageList::on_ui_thread(Result dropped, Operation operation) {
    QCoreApplication* application = QCoreApplication::instance();
    if (stop_->cancelled() || application == nullptr) return dropped;
    Result result = dropped;
    // The application object lives on the UI thread for the whole run, so the call always has a
    // receiver; the link and the token are checked again there, where Stop and the window's end
    // happen, so nothing slips in between the check and the change.
    handing_over(&result);
    QMetaObject::invokeMethod(
        application,
        [&result, &operation, link = link_, stop = stop_] {
            handed_over(&result);
            if (!stop->cancelled() && link->list != nullptr) result = operation(*link->list);
            handing_over(&result);
        },
        Qt::BlockingQueuedConnection);
    handed_over(&result);
    return result;
}

int QueuedMessageList::insert_row() {
    return on_ui_thread(-1, [](MessageListOps& list) { return list.insert_row(); });
}

int QueuedMessageList::row_count() {
    return on_ui_thread(0, [](MessageListOps& list) { return list.row_count(); });
}

void QueuedMessageList::set_cell(int row, int column, const Text& text) {
    on_ui_thread(false, [&](MessageListOps& list) {
        list.set_cell(row, column, text);
        return true;
    });
}

void QueuedMessageList::select_row(int row) {
    on_ui_thread(false, [&](MessageListOps& list) {
        list.select_row(row);
        return true;
    });
}

void QueuedMessageList::delete_all_rows() {
    on_ui_thread(false, [](MessageListOps& list) {
        list.delete_all_rows();
        return true;
    });
}

bool QueuedMessageList::holds_message(const Text& uid, const Text& nickname,
                                      const Text& message_text, const Text& timeline) {
    return on_ui_thread(false, [&](MessageListOps& list) {
        return list.holds_message(uid, nickname, message_text, timeline);
    });
}

}  // namespace tavolen
