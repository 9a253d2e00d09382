#include <QApplication>

#include "http/message_pump.h"
#include "shell/main_window.h"
#include "shell/run_window.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // A request made on this thread lets the window's pending events through at its fixed
    // points; the worker keeps the default hook, which does nothing.
    tavolen::set_message_pump([] { QCoreApplication::processEvents(); });
    tavolen::MainWindow window;
    window.show();
    tavolen::run_until_closed(application);
}
