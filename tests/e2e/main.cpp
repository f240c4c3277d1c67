#include <gtest/gtest.h>

#include <QApplication>

#include "support/home.h"

// The end-to-end tests run the program's real serial path and window under
// an application object (offscreen when there is no display), in a home of
// their own: the per-user settings store, the journal and every process they
// start stay out of the user's.
int main(int argc, char** argv) {
    const fenwyd::testing::PrivateHome home;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
