// GoogleTest entry point for suites that show real widgets (offscreen platform).
#include <QApplication>

#include <gtest/gtest.h>

#include "test_environment.h"
#include "test_site.h"

int main(int argc, char** argv) {
    clipmoor::test::usePrivateXdgFolders();
    clipmoor::test::TestSite::keepSiteHostsOffTheNetwork();
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
