// The configuration tool's window is tested under a display (Xvfb in CI).
// Without one it runs on the offscreen platform. These tests are about the
// window's behaviour, the views' rendering is tested with the views, so the
// X11 platform runs without its OpenGL integration: the software driver
// would add its threads and, unloaded at exit, leaks LeakSanitizer can't
// attribute.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
