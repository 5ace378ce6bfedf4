// Test main for window tests: the kit's application, then the tests.
#include <gtest/gtest.h>

#include "tests/support/window_system.h"
#include "ui/app.h"

int main(int argc, char** argv)
{
    PrepareWindowSystem();
    ui::Application app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
