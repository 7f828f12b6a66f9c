#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QMessageBox>
#include <QUrl>

#include <gtest/gtest.h>

#include "../main_window/opened_urls.h"
#include "app/app_delegate.h"
#include "app/application_tray_icon.h"
#include "app/software_updater.h"
#include "app/vendor_services.h"
#include "main_window/main_view_controller.h"
#include "main_window/main_window.h"
#include "main_window/window_video_presenter.h"
#include "platform/user_defaults.h"
#include "store/core_data_controller.h"
#include "test_environment.h"
#include "ui/player/qmr_media_player.h"
#include "ui/player/qmr_media_player_vendor.h"
#include "ui/preferences/update_pane_view_controller.h"
#include "ui/preferences/zk_preferences_controller.h"

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
}

// Records what launch had done by the time the vendor services were started (the last step).
struct RecordingVendorServices : VendorServices {
    void sendTrackingReport() override {
        calls.append("sendTrackingReport");
        stateAtReport = std::move(probe)();
    }
    void setupIssuesController(bool reporting) override {
        calls.append(reporting ? "setupIssuesController(YES)" : "setupIssuesController(NO)");
    }
    void showFeedbackDialog(int) override {}
    SoftwareUpdater& sharedUpdater() override { return SoftwareUpdater::sharedUpdater(); }

    QStringList calls;
    std::function<QStringList()> probe;
    QStringList stateAtReport;
};

TEST(AppDelegateLaunchTest, RunsEveryStepBeforeTheVendorServicesAndKeepsAStoredDownloadFolder) {
    RecordingVendorServices services;
    AppDelegate launched(services);
    services.probe = [&] {
        QStringList state;
        if (UserDefaults::standard().hasValueForKey(kClipmoorMediaDownloadPathKey))
            state.append("download folder");
        if (launched.instanceChannel().isListening()) state.append("URL intake");
        if (launched.mediaPlayerVendor()) state.append("player vendor");
        for (const auto& pane : ZKPreferencesController::sharedController()->modules())
            state.append(pane->identifier());
        return state;
    };
    ASSERT_TRUE(launched.applicationDidFinishLaunching());
    EXPECT_EQ(services.stateAtReport, QStringList({"download folder", "URL intake", "player vendor",
                                                   "GeneralPane", "UpdatePane"}));
    EXPECT_EQ(services.calls, QStringList({"sendTrackingReport", "setupIssuesController(YES)"}));

    // A first run stores the Clipmoor folder in Downloads, written through at once; a stored
    // setting is never replaced, even an empty one.
    UserDefaults& defaults = UserDefaults::standard();
    EXPECT_EQ(UserDefaults(defaults.filePath()).stringForKey(kClipmoorMediaDownloadPathKey),
              test::privateHome() + "/Downloads/Clipmoor");
    defaults.setValue(QString(""), kClipmoorMediaDownloadPathKey);
    launched.prepareUserDefaults();
    EXPECT_EQ(defaults.stringForKey(kClipmoorMediaDownloadPathKey), "");
}

TEST_F(AppDelegateTest, MenuItemsAndTheWindowsRecordsReachTheApplicationsActions) {
    delegate.setMediaPlayerVendor(std::make_unique<QMRMediaPlayerVendor>());
    MainWindow window;
    delegate.setMainWindow(&window);
    delegate.connectRecordPresenter(window.videoPresenter());
    const auto item = [&](const char* name) {
        QAction* action = window.menuBar()->findChild<QAction*>(name);
        EXPECT_TRUE(action) << name;
        return action;
    };
    QVariant clearObject;
    ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        kClipmoorDidRequestToClearDownloadListNotification,
        [&](const Notification& n) { clearObject = n.object; });
    item("clearList")->trigger();
    EXPECT_EQ(clearObject.value<QObject*>(), &delegate);

    delegate.preparePreferencesController();
    item("openPreferences")->trigger();
    EXPECT_TRUE(ZKPreferencesController::sharedController()->window()->isVisible());

    // The feedback address, from the menu and from a record's sheet.
    test::OpenedUrls mail({"mailto"});
    item("showFeedbackDialog")->trigger();
    window.videoPresenter()->showFeedbackDialog();
    EXPECT_EQ(mail.urls, QList<QUrl>(2, LocalVendorServices::feedbackAddress()));

    // A record plays in the application's own player.
    window.videoPresenter()->playMediaFile(QUrl::fromLocalFile(test::privateHome() + "/a.mp4"),
                                           "Clip(720p)");
    const auto players = delegate.mediaPlayerVendor()->mediaPlayers();
    ASSERT_EQ(players.size(), 1);
    EXPECT_EQ(players.first()->title(), "Clip(720p)");

    // The browser extension: its folder and how to load it, or nothing without its files. Only
    // the private data folders count, never an installed copy on this machine.
    qputenv("XDG_DATA_DIRS", QFile::encodeName(test::privateHome() + "/no-system-data"));
    test::OpenedUrls files({"file"});
    item("installSafariExtension")->trigger();
    EXPECT_TRUE(files.urls.isEmpty());
    const QString folder = test::privateHome() + "/.local/share/clipmoor/browser-extension";
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char* name : {"manifest.json", "how-to-install.html"}) {
        QFile file(folder + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    item("installSafariExtension")->trigger();
    EXPECT_EQ(files.urls, QList<QUrl>({QUrl::fromLocalFile(folder),
                                       QUrl::fromLocalFile(folder + "/how-to-install.html")}));

    // Quitting, once the menu has closed.
    int quits = 0;
    delegate.setApplicationQuitter([&] { ++quits; });
    item("terminate")->trigger();
    EXPECT_TRUE(test::waitUntil([&] { return quits == 1; }));
}

TEST_F(AppDelegateTest, ClosedMainWindowWaitsInTheTrayAndComesBackWhenAskedFor) {
    MainWindow window;
    int quits = 0;
    delegate.setApplicationQuitter([&] { ++quits; });
    delegate.setSystemTrayAvailability([] { return true; });
    delegate.setMainWindow(&window);
    window.show();
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(quits, 0);
    ASSERT_TRUE(delegate.trayIcon());
    EXPECT_TRUE(delegate.trayIcon()->isVisible());

    emit delegate.trayIcon()->showRequested();  // activating the icon, or "Show Clipmoor"
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(delegate.trayIcon()->isVisible());
    EXPECT_TRUE(delegate.applicationShouldHandleReopen(true));

    window.hide();
    EXPECT_FALSE(delegate.applicationShouldHandleReopen(false));
    EXPECT_TRUE(window.isVisible());

    window.close();
    delegate.trayIcon()->menu()->actions().last()->trigger();  // "Quit"
    EXPECT_EQ(quits, 1);
}

TEST(UpdaterSettingsTest, UpdatePaneShowsTheLastCheckAndWritesTheSettingsIntoTheDefaults) {
    const QString file = test::privateHome() + "/updater.conf";
    UserDefaults defaults(file);
    SoftwareUpdater updater(defaults);
    UpdatePaneViewController pane(updater);
    pane.view();
    EXPECT_EQ(pane.lastUpdateCheckDateLabel()->text(), "Never");
    updater.checkForUpdates();
    pane.willBeDisplayed();
    const std::optional<QDateTime> checked = updater.lastUpdateCheckDate();
    ASSERT_TRUE(checked && checked->isValid());
    EXPECT_EQ(pane.lastUpdateCheckDateLabel()->text(),
              UpdatePaneViewController::lastCheckText(checked));
    EXPECT_EQ(pane.checkForUpdatesIntervalPopupButton()->currentText(), "Daily");
    pane.automaticallyDownloadUpdatesButton()->click();
    QComboBox* interval = pane.checkForUpdatesIntervalPopupButton();
    interval->setCurrentIndex(interval->findText("Weekly"));
    emit interval->activated(interval->currentIndex());

    UserDefaults reread(file);
    const SoftwareUpdater stored(reread);
    EXPECT_TRUE(stored.automaticallyDownloadsUpdates());
    EXPECT_EQ(stored.updateCheckInterval(), 7 * 24 * 60 * 60);
    EXPECT_EQ(stored.lastUpdateCheckDate(), checked);
}

}  // namespace
}  // namespace clipmoor
