#include <QApplication>

#include "main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Destroyed before the application: stops a running tracker first.
    MainWindow window;
    window.show();
    return app.exec();
}
