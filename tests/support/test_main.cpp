// The main() of the test programs that need no application object.
#include <gtest/gtest.h>

#include "support/home.h"

int main(int argc, char** argv) {
    const fenwyd::testing::PrivateHome home;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
