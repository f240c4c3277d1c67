#include <QApplication>
#include <gtest/gtest.h>

// The end-to-end tests run the program's real serial path and window under
// an application object (offscreen when there is no display).
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
