// Opens the main window on the room endpoint given as argument, starts listening, and closes the
// window once rows are pouring in, while the worker is busy at the list. The program must then
// end at once with status 0; 3 means no rows came.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "shell/main_window.h"
#include "shell/message_table_model.h"
#include "shell/run_window.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc < 2) return 2;
    tavolen::MainWindow window(tavolen::RoomEndpoint{argv[1]});
    window.show();
    window.findChild<QLineEdit*>("编辑框_直播url")->setText("http://live.example/room/42");
    window.findChild<QPushButton*>("按钮_捕获弹幕")->click();

    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (window.message_model().row_count() >= 500) window.close();
    });
    watch.start(5);
    QTimer::singleShot(30000, [] { QCoreApplication::exit(3); });
    tavolen::run_until_closed(application);
}
