// The window's use of the desktop over a private session bus: notifications of downloads that
// end, received by our own notification service, and "Show in Folder" through a file-manager
// stand-in of ours that owns the freedesktop name; against the local copy of the site.
#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMenu>

#include "fake_notification_service.h"
#include "main_window/window_video_presenter.h"
#include "main_window_fixture.h"
#include "opened_urls.h"

namespace clipmoor {
namespace {

// Our own org.freedesktop.FileManager1: records the items it is asked to show.
struct FileManagerStandIn : QDBusVirtualObject {
    QList<QVariantList> calls;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        if (message.member() != "ShowItems") return false;
        calls.append(message.arguments());
        bus.send(message.createReply());
        return true;
    }
};

class DesktopIntegrationTest : public test::DownloadListFixture {
protected:
    static void SetUpTestSuite() {
        test::DownloadListFixture::SetUpTestSuite();
        bus = new test::PrivateSessionBus;
    }
    static void TearDownTestSuite() { delete bus; }

    // Chooses "Show in Folder" in the first row's menu.
    void chooseShowInFolder() {
        rowView(0)->rightMouseDown(rowView(0)->mapToGlobal(QPoint(5, 5)));
        QAction* item = rowView(0)->menu()->actions().value(0);
        rowView(0)->menu()->close();
        EXPECT_TRUE(item->isEnabled());
        item->trigger();
    }

    static inline test::PrivateSessionBus* bus = nullptr;
    std::unique_ptr<test::FakeNotificationService> service =
        std::make_unique<test::FakeNotificationService>(bus->address());
};

TEST_F(DesktopIntegrationTest, TellsHowDownloadsEndedOnlyWhileTheUserLookedElsewhere) {
    test::TestSite& site = test::TestSite::shared();
    const auto seenFinishing =
        addRecord("Seen finishing", 0, "Missing0001", site.mediaUrl("AllStreams1-36.mp4"));
    const auto seenFailing = addRecord("Seen failing", 0, "Missing0004", site.statusUrl(410));
    ASSERT_TRUE(reaches(seenFinishing, Video::Finished));
    ASSERT_TRUE(reaches(seenFailing, Video::Failed));
    test::spinEventLoop(300);  // a finished record reads "finished" once before its move too

    QList<QUrl> played;
    window->videoPresenter()->setPlayHook([&](const QUrl& url, const QString&) { played << url; });
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    // The second is told once the service has said what it can show.
    const auto ready =
        addRecord("Night drive", 0, "Missing0002", site.mediaUrl("AllStreams1-18.mp4"));
    ASSERT_TRUE(reaches(ready, Video::Finished));
    ASSERT_TRUE(test::waitUntil([&] { return service->calls.size() == 1; }));
    const auto gone = addRecord("Gone clip", 0, "Missing0003", site.statusUrl(404));
    ASSERT_TRUE(reaches(gone, Video::Failed));
    ASSERT_TRUE(test::waitUntil([&] { return service->calls.size() == 2; }));
    test::spinEventLoop(300);
    QStringList told;
    for (const auto& call : service->calls)
        told.append(call.summary + ": " + call.body + " " + call.hints["category"].toString());
    told.sort();
    EXPECT_EQ(told, QStringList({"Download failed: Gone clip transfer.error",
                                 "Ready to play: Night drive transfer.complete"}));

    const auto click = [&](const QString& summary) {
        for (const auto& call : service->calls)
            if (call.summary == summary) return service->click(call.id);
    };
    click("Ready to play");
    ASSERT_TRUE(test::waitUntil([&] { return !played.isEmpty(); }));
    EXPECT_EQ(played, QList<QUrl>{QUrl::fromLocalFile(downloadFolder + "/Night drive.mp4")});
    click("Download failed");
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));  // a failure brings the list
}

TEST_F(DesktopIntegrationTest, ShowInFolderAsksTheFileManagerOrElseOpensTheFolder) {
    addRecord("Finished clip(medium)", Video::Finished);
    const QString path = writeFile("Finished clip(medium).mp4", 100);
    test::OpenedUrls folders({"file"});
    chooseShowInFolder();
    ASSERT_TRUE(test::waitUntil([&] { return !folders.urls.isEmpty(); }));
    EXPECT_EQ(folders.urls, QList<QUrl>{QUrl::fromLocalFile(downloadFolder)});

    FileManagerStandIn fileManager;
    QDBusConnection connection = QDBusConnection::connectToBus(bus->address(), "file-manager");
    ASSERT_TRUE(connection.registerVirtualObject("/org/freedesktop/FileManager1", &fileManager));
    ASSERT_TRUE(connection.registerService("org.freedesktop.FileManager1"));
    chooseShowInFolder();
    ASSERT_TRUE(test::waitUntil([&] { return !fileManager.calls.isEmpty(); }));
    // One address, percent-encoded as URIs are on the bus, and no startup identifier.
    ASSERT_EQ(fileManager.calls[0].size(), 2);
    EXPECT_EQ(fileManager.calls[0][0].toStringList(),
              QStringList{"file://" + QString(path).replace(" ", "%20")});
    EXPECT_EQ(fileManager.calls[0][1].toString(), "");
    test::spinEventLoop(100);
    EXPECT_EQ(folders.urls.size(), 1);  // no fallback when the file manager answered
    connection.unregisterService("org.freedesktop.FileManager1");
    QDBusConnection::disconnectFromBus("file-manager");
}

}  // namespace
}  // namespace clipmoor
