// The bus tests serve their hosts in Qt's event loop; no window is shown, so
// a core application is enough and no display is needed.

#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
