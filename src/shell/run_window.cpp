#include "shell/run_window.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "shell/listening_control.h"

namespace tavolen {

void run_until_closed(QApplication& application) {
    const int status = application.exec();
    stop_worker(worker_thread_handle);
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace tavolen
