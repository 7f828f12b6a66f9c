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
    void SetUp() override {
        test::DownloadListFixture::SetUp();
        window->videoPresenter()->setPlayHook(
            [this](const QUrl& fileURL, const QString&) { played.append(fileURL); });
    }

    std::shared_ptr<Video> addDownload(const QString& title, const QUrl& url) {
        auto video = context()->insertNewObjectForEntityForName<Video>("Video");
        video->setVideoID("AllStreams1");
        video->setTitle(title);
        video->setFileName(title + "(medium)");
        video->setFileExtension("mp4");
        video->setDownloadURL(url.toString());
        video->setDownloadState(0);
        store->saveAction();
        context()->processPendingChanges();
        return video;
    }
    static bool reaches(const std::shared_ptr<Video>& video, qint16 state) {
        return test::waitUntil([&] { return video->downloadState() == state; }, 60'000);
    }
    // Another window is the active one while `work` runs, as when the user looks elsewhere.
    void elsewhere(const std::function<void()>& work) {
        QWidget other;
        other.show();
        other.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        work();
    }
    QStringList summaries(const test::FakeNotificationService& service) const {
        QStringList list;
        for (const auto& call : service.calls) list.append(call.summary + ": " + call.body);
        return list;
    }

    static inline test::PrivateSessionBus* bus = nullptr;
    QList<QUrl> played;
};

TEST_F(DownloadNotificationTest, AFinishedDownloadIsReadyToPlayAndAClickPlaysIt) {
    test::FakeNotificationService service(bus->address());
    const QUrl media = test::TestSite::shared().mediaUrl("AllStreams1-18.mp4");
    elsewhere([&] {
        const auto video = addDownload("Night drive", media);
        ASSERT_TRUE(reaches(video, Video::Finished));
        ASSERT_TRUE(test::waitUntil([&] { return !service.calls.isEmpty(); }));
        test::spinEventLoop(300);  // the moment the record read "finished" before its move
        EXPECT_EQ(summaries(service), QStringList{"Ready to play: Night drive"});
        EXPECT_EQ(service.calls[0].hints.value("category").toString(), "transfer.complete");
        EXPECT_EQ(service.calls[0].actions, QStringList({"default", "Play"}));

        service.click(service.calls[0].id);
        ASSERT_TRUE(test::waitUntil([&] { return !played.isEmpty(); }));
        EXPECT_EQ(played,
                  QList<QUrl>{QUrl::fromLocalFile(downloadFolder + "/Night drive(medium).mp4")});
    });
}

TEST_F(DownloadNotificationTest, AFailureIsToldAndAClickBringsTheWindowForward) {
    test::FakeNotificationService service(bus->address());
    elsewhere([&] {
        const auto video = addDownload("Gone clip", test::TestSite::shared().statusUrl(404));
        ASSERT_TRUE(reaches(video, Video::Failed));
        ASSERT_TRUE(test::waitUntil([&] { return !service.calls.isEmpty(); }));
        EXPECT_EQ(summaries(service), QStringList{"Download failed: Gone clip"});
        EXPECT_EQ(service.calls[0].hints.value("category").toString(), "transfer.error");
        EXPECT_FALSE(window->isActiveWindow());
        service.click(service.calls[0].id);
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    });
}

TEST_F(DownloadNotificationTest, NothingIsToldWhileTheWindowIsActive) {
    test::FakeNotificationService service(bus->address());
    test::TestSite& site = test::TestSite::shared();
    const auto finished = addDownload("Seen finishing", site.mediaUrl("AllStreams1-36.mp4"));
    const auto failed = addDownload("Seen failing", site.statusUrl(410));
    ASSERT_TRUE(reaches(finished, Video::Finished));
    ASSERT_TRUE(reaches(failed, Video::Failed));
    test::spinEventLoop(300);
    EXPECT_EQ(summaries(service), QStringList());
}

TEST_F(DownloadNotificationTest, AnotherFileOfTheSameNameIsNotTakenForTheDownload) {
    test::FakeNotificationService service(bus->address());
    test::TestSite& site = test::TestSite::shared();
    site.mediaFile("taken-name.mp4", 600'000);
    elsewhere([&] {
        const auto video = addDownload("Taken name", site.slowMediaUrl("taken-name.mp4", 300'000));
        ASSERT_TRUE(test::waitUntil([&] { return video->totalBytesWritten() > 0; }, 60'000));
        writeFile("Taken name(medium).mp4", 1000);   // someone else's file, mid-download
        ASSERT_TRUE(reaches(video, Video::Failed));  // the move refuses to replace it
        ASSERT_TRUE(test::waitUntil([&] { return !service.calls.isEmpty(); }));
        test::spinEventLoop(300);
        EXPECT_EQ(summaries(service), QStringList{"Download failed: Taken name"});
    });
    answerSheet("Oops...",
                "There was problem moving your file. Would you like to tell us what happened?",
                {"No", "Yes"}, "No");
}

TEST_F(DownloadNotificationTest, WithoutANotificationServiceDownloadsEndQuietly) {
    static QStringList messages;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { messages.append(text); });
    elsewhere([&] {
        const auto video =
            addDownload("Unheard", test::TestSite::shared().mediaUrl("AllStreams1-140.mp4"));
        ASSERT_TRUE(reaches(video, Video::Finished));
        test::spinEventLoop(500);
    });
    qInstallMessageHandler(previous);
    EXPECT_EQ(messages, QStringList());
}

}  // namespace
}  // namespace clipmoor
