#include <QApplication>

#include "mouse_emulator_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QuorvaneMouseEmulatorWindow window;
    window.show();
    return app.exec();
}
