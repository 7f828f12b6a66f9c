#include <QDesktopServices>
#include <QObject>
#include <QUrl>

#include <gtest/gtest.h>

#include "app/software_updater.h"
#include "app/vendor_services.h"
#include "platform/user_defaults.h"
#include "test_environment.h"

namespace clipmoor {
namespace {

class OpenedUrls : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls.append(url); }

public:
    QList<QUrl> urls;
};

TEST(SoftwareUpdaterTest, LastCheckDateIsNoneUntilTheFirstCheckAndThenKept) {
    const QString file = test::privateHome() + "/updater.conf";
    UserDefaults defaults(file);
    SoftwareUpdater updater(defaults);
    EXPECT_EQ(updater.lastUpdateCheckDate(), std::nullopt);

    updater.checkForUpdates();
    const std::optional<QDateTime> checked = updater.lastUpdateCheckDate();
    ASSERT_TRUE(checked.has_value());
    EXPECT_TRUE(checked->isValid());

    UserDefaults reread(file);
    EXPECT_EQ(SoftwareUpdater(reread).lastUpdateCheckDate(), checked);
}

TEST(SoftwareUpdaterTest, SettingsLiveInTheUserDefaults) {
    const QString file = test::privateHome() + "/updater-settings.conf";
    UserDefaults defaults(file);
    SoftwareUpdater updater(defaults);
    EXPECT_FALSE(updater.automaticallyDownloadsUpdates());
    EXPECT_EQ(updater.updateCheckInterval(), SoftwareUpdater::kDefaultCheckInterval);

    updater.setAutomaticallyDownloadsUpdates(true);
    updater.setUpdateCheckInterval(7 * 24 * 60 * 60);
    UserDefaults reread(file);
    SoftwareUpdater later(reread);
    EXPECT_TRUE(later.automaticallyDownloadsUpdates());
    EXPECT_EQ(later.updateCheckInterval(), 7 * 24 * 60 * 60);
}

TEST(LocalVendorServicesTest, FeedbackOpensTheFeedbackAddressWithTheDesktopsHandler) {
    OpenedUrls opened;
    QDesktopServices::setUrlHandler("mailto", &opened, "open");
    LocalVendorServices services;
    services.showFeedbackDialog(0);
    QDesktopServices::unsetUrlHandler("mailto");
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_EQ(opened.urls.first(), LocalVendorServices::feedbackAddress());
}

}  // namespace
}  // namespace clipmoor

#include "vendor_services_test.moc"
