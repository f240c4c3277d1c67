#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

// The end-to-end tests run the program's real serial path and window under
// an application object (offscreen when there is no display). The per-user
// settings store goes to a private folder, so the tests never touch the
// user's own port mapping.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(config.path()));
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
