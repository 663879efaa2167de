// The views are tested under a display (Xvfb in CI, where OpenGL is Mesa's
// software renderer). Without one the tests run on the offscreen platform,
// and those that need OpenGL say so (views_fixture.h).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

// Under ThreadSanitizer: Debian's Qt and GLib are not instrumented, and
// their locks and atomics are invisible to the sanitizer. The session bus
// thread that Qt starts with the first dialog hands its work over through
// them, which looks like races. Only the calls that uninstrumented libraries
// make are left unchecked; the project's code is checked as before.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
