#include <gtest/gtest.h>

#include <QApplication>

#include "support/home.h"

// The graph and bar display tests draw offscreen, in a home of their own.
int main(int argc, char** argv) {
    const fenwyd::testing::PrivateHome home;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
