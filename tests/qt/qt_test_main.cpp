// The Qt suites' entry: one QApplication for the whole run, made before the first test and
// destroyed before Qt's own globals go. Listing the tests needs no window system.
#include <gtest/gtest.h>

#include "tests/qt/dialog_under_test.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    tandrel::test::ApplicationScope application;
    return RUN_ALL_TESTS();
}
