// Desktop notifications of downloads that end in the window, over a private session bus with
// our own notification receiver, against the local copy of the site.
#include "download_list_fixture.h"
#include "fake_notification_service.h"
#include "main_window/window_video_presenter.h"

namespace clipmoor {
namespace {

class DownloadNotificationTest : public test::DownloadListFixture {
protected:
    static void SetUpTestSuite() {
        test::DownloadListFixture::SetUpTestSuite();
        bus = new test::PrivateSessionBus;
    }
    static void TearDownTestSuite() { delete bus; }

    std::shared_ptr<Video> addDownload(const QString& title, const QUrl& url) {
        auto video = context()->insertNewObjectForEntityForName<Video>("Video");
        video->setTitle(title);
        video->setFileName(title + "(medium)");
        video->setFileExtension("mp4");
        video->setDownloadURL(url.toString());
        store->saveAction();
        context()->processPendingChanges();
        return video;
    }
    static bool reaches(const std::shared_ptr<Video>& video, qint16 state) {
        return test::waitUntil([&] { return video->downloadState() == state; }, 60'000);
    }
    QStringList told() const {
        QStringList list;
        for (const auto& call : service->calls)
            list.append(call.summary + ": " + call.body + " " + call.hints["category"].toString());
        list.sort();
        return list;
    }

    static inline test::PrivateSessionBus* bus = nullptr;
    std::unique_ptr<test::FakeNotificationService> service =
        std::make_unique<test::FakeNotificationService>(bus->address());
};

TEST_F(DownloadNotificationTest, TellsHowDownloadsEndedWhileTheUserLookedElsewhere) {
    QList<QUrl> played;
    window->videoPresenter()->setPlayHook([&](const QUrl& url, const QString&) { played << url; });
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));

    test::TestSite& site = test::TestSite::shared();
    site.mediaFile("taken-name.mp4", 600'000);
    const auto taken = addDownload("Taken name", site.slowMediaUrl("taken-name.mp4", 300'000));
    const auto ready = addDownload("Night drive", site.mediaUrl("AllStreams1-18.mp4"));
    const auto gone = addDownload("Gone clip", site.statusUrl(404));
    // Someone else's file under the slow download's name: its move fails, and that file is
    // not taken for the download.
    ASSERT_TRUE(test::waitUntil([&] { return taken->totalBytesWritten() > 0; }, 60'000));
    writeFile("Taken name(medium).mp4", 1000);
    for (const auto& [video, state] : {std::pair(ready, 2), {gone, 4}, {taken, 4}})
        ASSERT_TRUE(reaches(video, state)) << video->title().toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return service->calls.size() == 3; }));
    test::spinEventLoop(300);  // a finished record reads "finished" once before its move too
    EXPECT_EQ(told(), QStringList({"Download failed: Gone clip transfer.error",
                                   "Download failed: Taken name transfer.error",
                                   "Ready to play: Night drive transfer.complete"}));

    const auto click = [&](const QString& summary) {
        for (const auto& call : service->calls)
            if (call.summary == summary) return service->click(call.id);
    };
    click("Ready to play");
    ASSERT_TRUE(test::waitUntil([&] { return !played.isEmpty(); }));
    EXPECT_EQ(played,
              QList<QUrl>{QUrl::fromLocalFile(downloadFolder + "/Night drive(medium).mp4")});
    click("Download failed");
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));  // a failure brings the list
    answerSheet("Oops...",
                "There was problem moving your file. Would you like to tell us what happened?",
                {"No", "Yes"}, "No");
}

TEST_F(DownloadNotificationTest, NothingIsToldWhileTheWindowIsActive) {
    test::TestSite& site = test::TestSite::shared();
    const auto finished = addDownload("Seen finishing", site.mediaUrl("AllStreams1-36.mp4"));
    const auto failed = addDownload("Seen failing", site.statusUrl(410));
    ASSERT_TRUE(reaches(finished, 2));
    ASSERT_TRUE(reaches(failed, 4));
    test::spinEventLoop(300);
    EXPECT_EQ(told(), QStringList());
}

}  // namespace
}  // namespace clipmoor
