#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "app/vendor_services.h"
#include "main_window/main_view_controller.h"
#include "main_window/main_window.h"
#include "platform/notification_center.h"
#include "platform/user_defaults.h"
#include "test_environment.h"

namespace clipmoor {
namespace {

// Every address the browser notification carried, in order; an absent object is "(none)".
struct BrowserAddressRecorder {
    BrowserAddressRecorder() {
        token = NotificationCenter::defaultCenter().addObserver(
            kClipmoorDidRecieveURLFromBrowserExtensionNotification,
            [this](const Notification& notification) {
                received.append(notification.object.isValid() ? notification.object.toString()
                                                              : QStringLiteral("(none)"));
            });
    }
    QStringList received;
    ObserverToken token;
};

class AppDelegateTest : public testing::Test {
protected:
    LocalVendorServices vendorServices;
    AppDelegate delegate{vendorServices};
};

TEST_F(AppDelegateTest, UrlEventLosesEveryPrefixAndNothingElse) {
    BrowserAddressRecorder recorder;
    delegate.handleURLEvent(QString("clipmoor://url?https://www.youtube.com/watch?v=abc"));
    delegate.handleURLEvent(QString("clipmoor://url?clipmoor://url?https://youtu.be/abc"));
    delegate.handleURLEvent(QString("clipmoor://url?https://youtu.be/a?from=clipmoor://url?x"));
    delegate.handleURLEvent(QString("clipmoor://url?https%3A%2F%2Fyoutu.be%2Fabc "));
    delegate.handleURLEvent(QString("clipmoor://other"));
    delegate.handleURLEvent(std::nullopt);
    EXPECT_EQ(recorder.received,
              QStringList({"https://www.youtube.com/watch?v=abc", "https://youtu.be/abc",
                           "https://youtu.be/a?from=x", "https%3A%2F%2Fyoutu.be%2Fabc ",
                           "clipmoor://other", "(none)"}));
}

TEST_F(AppDelegateTest, UrlEventReachesTheAddressField) {
    MainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    delegate.setMainWindow(&window);

    delegate.handleURLEvent(QString("clipmoor://other"));
    EXPECT_EQ(window.mainViewController()->urlTextField()->text(), "clipmoor://other");
    const QList<QMessageBox*> sheets = window.findChildren<QMessageBox*>();
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets.first()->text(), "Oops...");
}

TEST_F(AppDelegateTest, FirstRunStoresTheClipmoorFolderInDownloads) {
    UserDefaults& defaults = UserDefaults::standard();
    ASSERT_FALSE(defaults.hasValueForKey(kClipmoorMediaDownloadPathKey));

    delegate.prepareUserDefaults();
    const QString expected = test::privateHome() + "/Downloads/Clipmoor";
    EXPECT_EQ(defaults.stringForKey(kClipmoorMediaDownloadPathKey), expected);
    // Written through to the file at once.
    EXPECT_EQ(UserDefaults(defaults.filePath()).stringForKey(kClipmoorMediaDownloadPathKey),
              expected);
}

TEST_F(AppDelegateTest, StoredDownloadPathIsNeverReplacedEvenWhenEmpty) {
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setValue(QString(""), kClipmoorMediaDownloadPathKey);
    delegate.prepareUserDefaults();
    EXPECT_TRUE(defaults.hasValueForKey(kClipmoorMediaDownloadPathKey));
    EXPECT_EQ(defaults.stringForKey(kClipmoorMediaDownloadPathKey), "");

    defaults.setValue(QString("/media/videos"), kClipmoorMediaDownloadPathKey);
    delegate.prepareUserDefaults();
    EXPECT_EQ(defaults.stringForKey(kClipmoorMediaDownloadPathKey), "/media/videos");
}

}  // namespace
}  // namespace clipmoor
