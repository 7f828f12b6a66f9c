// GoogleTest entry point for suites that show real widgets (offscreen platform).
#include <QApplication>

#include <gtest/gtest.h>

#include "test_environment.h"
#include "test_site.h"

int main(int argc, char** argv) {
    clipmoor::test::usePrivateXdgFolders();
    clipmoor::test::TestSite::keepSiteHostsOffTheNetwork();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
