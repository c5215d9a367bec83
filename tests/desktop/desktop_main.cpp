// The test program's entry point: the desktop environment (one application
// object and the X11 platform) is set up once for all cases of the process.
#include "desktop_support.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new zarvex::test::DesktopEnvironment);
    return RUN_ALL_TESTS();
}
