#include <QFile>
#include <QMessageBox>

#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "app/vendor_services.h"
#include "main_window/main_view_controller.h"
#include "main_window/main_window.h"
#include "platform/user_defaults.h"
#include "store/core_data_controller.h"
#include "test_environment.h"

namespace clipmoor {
namespace {

class AppDelegateTest : public testing::Test {
protected:
    LocalVendorServices vendorServices;
    AppDelegate delegate{vendorServices};
};

TEST_F(AppDelegateTest, UrlEventLosesEveryPrefixAndNothingElse) {
    QStringList received;
    ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        kClipmoorDidRecieveURLFromBrowserExtensionNotification, [&](const Notification& n) {
            received.append(n.object.isValid() ? n.object.toString() : "(none)");
        });
    for (const char* event : {"clipmoor://url?https://www.youtube.com/watch?v=abc",
                              "clipmoor://url?clipmoor://url?https://youtu.be/abc",
                              "clipmoor://url?https://youtu.be/a?from=clipmoor://url?x",
                              "clipmoor://url?https%3A%2F%2Fyoutu.be%2Fabc ", "clipmoor://other"})
        delegate.handleURLEvent(QString(event));
    delegate.handleURLEvent(std::nullopt);
    EXPECT_EQ(received, QStringList({"https://www.youtube.com/watch?v=abc", "https://youtu.be/abc",
                                     "https://youtu.be/a?from=x", "https%3A%2F%2Fyoutu.be%2Fabc ",
                                     "clipmoor://other", "(none)"}));

    // The main window takes the address and recognises it.
    MainWindow window;
    window.show();
    delegate.handleURLEvent(QString("clipmoor://other"));
    EXPECT_EQ(window.mainViewController()->urlTextField()->text(), "clipmoor://other");
    ASSERT_EQ(window.findChildren<QMessageBox*>().size(), 1);
}

TEST_F(AppDelegateTest, FirstRunStoresTheClipmoorFolderInDownloads) {
    UserDefaults& defaults = UserDefaults::standard();
    ASSERT_FALSE(defaults.hasValueForKey(kClipmoorMediaDownloadPathKey));
    delegate.prepareUserDefaults();
    const QString expected = test::privateHome() + "/Downloads/Clipmoor";
    EXPECT_EQ(defaults.stringForKey(kClipmoorMediaDownloadPathKey), expected);
    EXPECT_EQ(UserDefaults(defaults.filePath()).stringForKey(kClipmoorMediaDownloadPathKey),
              expected);  // written through at once
}

TEST_F(AppDelegateTest, StoredDownloadPathIsNeverReplacedEvenWhenEmpty) {
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setValue(QString(""), kClipmoorMediaDownloadPathKey);
    delegate.prepareUserDefaults();
    EXPECT_TRUE(defaults.hasValueForKey(kClipmoorMediaDownloadPathKey));
    EXPECT_EQ(defaults.stringForKey(kClipmoorMediaDownloadPathKey), "");
}

TEST_F(AppDelegateTest, StoreFailureIsShownAsAModalAlertWithDescriptionAndReason) {
    // A plain file where the data folder belongs.
    const QString folder = test::privateHome() + "/.local/share/Clipmoor";
    QFile occupant(folder);
    ASSERT_TRUE(occupant.open(QIODevice::WriteOnly));
    occupant.close();
    MainWindow window;
    delegate.setMainWindow(&window);

    EXPECT_EQ(delegate.coreDataController()->managedObjectContext(), nullptr);
    const QList<QMessageBox*> alerts = window.findChildren<QMessageBox*>();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0]->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(alerts[0]->text(), "Failed to initialize the application's saved data");
    EXPECT_EQ(alerts[0]->informativeText(),
              "Expected a folder to store application data, found a file (" + folder + ").");
    EXPECT_EQ(delegate.coreDataController(), delegate.coreDataController());  // made once
}

}  // namespace
}  // namespace clipmoor
