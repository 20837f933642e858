// Every Qt test binary runs its tests inside one QApplication. Some host a
// real web view, whose engine refuses to start as root with its sandbox on;
// only then is the sandbox turned off.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QtGlobal>

int main(int argc, char** argv) {
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
