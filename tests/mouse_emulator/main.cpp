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

// Under LeakSanitizer: the session bus library that Qt's X11 platform loads
// keeps an allocation for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

// Under ThreadSanitizer: Debian's Qt is not instrumented, and its locks
// (futex based) and atomics are invisible to the sanitizer. The X11
// platform's event reader thread hands events to the GUI thread through
// them, so Qt's own allocations and frees look like races. Only the calls
// that uninstrumented libraries make are left unchecked; this program's and
// the project's code are checked as before.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
