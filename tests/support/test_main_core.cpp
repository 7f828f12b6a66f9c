// GoogleTest entry point for suites that need only Qt Core.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include "test_environment.h"
#include "test_site.h"

int main(int argc, char** argv) {
    clipmoor::test::usePrivateXdgFolders();
    clipmoor::test::TestSite::keepSiteHostsOffTheNetwork();
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
