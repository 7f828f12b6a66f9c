// GoogleTest entry point. Suites built with CLIPMOOR_TEST_WIDGETS show real widgets (on the
// offscreen platform unless another is set); the others need only Qt Core.
#include <gtest/gtest.h>

#include "test_environment.h"
#include "test_site.h"

#ifdef CLIPMOOR_TEST_WIDGETS
#include <QApplication>
using Application = QApplication;
#else
#include <QCoreApplication>
using Application = QCoreApplication;
#endif

int main(int argc, char** argv) {
    clipmoor::test::usePrivateXdgFolders();
    clipmoor::test::TestSite::keepSiteHostsOffTheNetwork();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
