// The mouse emulator's tests move the real pointer, so they need an X display
// (./run test starts Xvfb when there is none). Without one they skip, except
// in CI, where that is a failure. Listing the tests needs no display.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "display_check.h"

namespace {

bool listingOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind("--gtest_list_tests", 0) == 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // Before InitGoogleTest, which takes its own flags out of argv.
    const bool listing = listingOnly(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // The window picks its pointer backend from the session: these tests
    // drive the X server's pointer, whatever desktop they were started from.
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QUORVANE_POINTER");
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY");
    MouseEmulatorTests::setDisplayAvailable(display);
    if (display) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        if (!listing && qEnvironmentVariable("CI") == QLatin1String("true")) {
            fprintf(stderr,
                    "No X display (DISPLAY is not set): run the tests through ./run test,"
                    " which starts Xvfb.\n");
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
