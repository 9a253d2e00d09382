#include <QApplication>

#include "shell/main_window.h"
#include "shell/run_window.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tavolen::MainWindow window;
    window.show();
    tavolen::run_until_closed(application);
}
