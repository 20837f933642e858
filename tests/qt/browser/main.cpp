// The browser tests need a QApplication, and a web engine that starts as root.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QtGlobal>

int main(int argc, char** argv) {
    // The engine's sandbox refuses to run as root; only then is it turned off.
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
