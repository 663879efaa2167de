// Makes the README's picture of the window: starts the first tracker found,
// lets it stream for a few seconds, and saves the window as a PNG.
// Usage: tracker_config_screenshot FILE.png (tools/config.sh --screenshot).
#include <QAction>
#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tracker_config_screenshot FILE.png\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    MainWindow window;
    window.show();
    auto* start = window.findChild<QPushButton*>(QStringLiteral("StartPushButton"));
    if (!start->isEnabled()) {
        std::fprintf(stderr, "no tracker found\n");
        return 1;
    }
    // The first tracker's settings in view, as after a click on its "+".
    window.findChild<QTreeWidget*>(QStringLiteral("DeviceTreeWidget"))
        ->topLevelItem(0)
        ->setExpanded(true);
    start->pressed();
    int result = 1;
    // Long enough for the charts to fill and the orientation to settle.
    QTimer::singleShot(6000, [&] {
        result = window.grab().save(file) ? 0 : 1;
        if (result) std::fprintf(stderr, "could not write %s\n", argv[1]);
        window.close();
    });
    app.exec();
    return result;
}
