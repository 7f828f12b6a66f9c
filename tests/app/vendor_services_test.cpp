#include <gtest/gtest.h>

#include "app/software_updater.h"
#include "platform/user_defaults.h"
#include "test_environment.h"

namespace clipmoor {
namespace {

TEST(SoftwareUpdaterTest, LastCheckDateIsNoneUntilTheFirstCheckAndThenKeptInTheDefaults) {
    const QString file = test::privateHome() + "/updater.conf";
    UserDefaults defaults(file);
    SoftwareUpdater updater(defaults);
    EXPECT_EQ(updater.lastUpdateCheckDate(), std::nullopt);

    updater.checkForUpdates();
    const std::optional<QDateTime> checked = updater.lastUpdateCheckDate();
    ASSERT_TRUE(checked && checked->isValid());
    UserDefaults reread(file);
    EXPECT_EQ(SoftwareUpdater(reread).lastUpdateCheckDate(), checked);
}

}  // namespace
}  // namespace clipmoor
