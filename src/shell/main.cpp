#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "shell/listening_control.h"
#include "shell/main_window.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tavolen::MainWindow window;
    window.show();
    const int status = application.exec();

    // Closing the window ends the program at once. A worker still running ends with the
    // process: it is told to stop, but nobody waits for it, and nothing is torn down under it
    // (it may sit in a list call that the finished event loop will never answer).
    tavolen::stop_worker(tavolen::worker_thread_handle);
    std::fflush(nullptr);
    std::_Exit(status);
}
