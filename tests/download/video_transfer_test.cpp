// The record as the delegate of a real operation downloading from the local copy of the site:
// progress, the finished file's placement, pause, deletion mid-transfer, and sleep announced by a
// login manager on a private system bus.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QThread>

#include "download/downloader.h"
#include "fake_notification_service.h"
#include "platform/http/resume_data.h"
#include "platform/http/transfer_engine.h"
#include "platform/workspace.h"
#include "test_site.h"
#include "video_test_support.h"

namespace clipmoor::test {
namespace {

constexpr int kWaitMs = 30'000;

class VideoTransferTest : public VideoTest {
protected:
    static void SetUpTestSuite() { TestSite::shared(); }

    void TearDown() override {
        for (const auto& operation : operations_) operation->prepareToCancel();
        EXPECT_TRUE(
            waitUntil([] { return TransferEngine::shared().activeTransferCount() == 0; }, kWaitMs));
        operations_.clear();
        VideoTest::TearDown();
    }

    // What the list controller does when it gives a record its operation; not started.
    std::shared_ptr<Downloader> attachOperation(const std::shared_ptr<Video>& video,
                                                const QUrl& url, int checkpointIntervalMs = 2000) {
        auto operation = Downloader::create();
        UrlSessionConfiguration configuration =
            UrlSessionConfiguration::ephemeralSessionConfiguration();
        configuration.temporaryDirectory = partialFolder();
        configuration.resumeCheckpointIntervalMs = checkpointIntervalMs;
        operation->setSessionConfiguration(configuration);
        operation->setDownloadURL(url);
        operation->setResumeData(video->resumeData());
        operation->setDestinationPath(video->mediaLocalFilePath());
        operation->setDelegate(video);
        video->setDownloader(operation);
        operations_.push_back(operation);
        return operation;
    }

    QString partialFolder() const { return dir_.filePath("partial"); }
    QStringList partialFiles() const { return QDir(partialFolder()).entryList(QDir::Files); }
    bool reachesState(const Video& video, qint16 state) {
        return waitUntil([&] { return video.downloadState() == state; }, kWaitMs);
    }

    TestSite& site = TestSite::shared();

private:
    std::vector<std::shared_ptr<Downloader>> operations_;
};

TEST_F(VideoTransferTest, ProgressArrivesInOrderOnTheMainThreadAndTheFileLandsWholeInTheFolder) {
    site.mediaFile("record-whole.bin", 3'000'000);
    const auto video = insertVideo("Whole(720p)");
    std::vector<qint64> written;
    int offMainThread = 0;
    QObject::connect(video.get(), &Video::totalBytesWrittenChanged, [&] {
        written.push_back(video->totalBytesWritten());
        offMainThread += QThread::currentThread() != QCoreApplication::instance()->thread();
    });
    const auto operation = attachOperation(video, site.mediaUrl("record-whole.bin"));
    ASSERT_TRUE(QDir(downloadFolder).removeRecursively());  // the user removed it meanwhile
    operation->start();

    // The last progress report already says finished; the move comes with the operation's end.
    ASSERT_TRUE(waitUntil([&] { return operation->isFinished(); }, kWaitMs));
    QCoreApplication::processEvents();
    EXPECT_EQ(video->downloadState(), Video::Finished);
    EXPECT_EQ(TestSite::sha256OfFile(downloadFolder + "/Whole(720p).mp4"),
              site.sha256OfMedia("record-whole.bin"));
    EXPECT_EQ(offMainThread, 0);
    ASSERT_FALSE(written.empty());
    EXPECT_TRUE(std::is_sorted(written.begin(), written.end()));
    EXPECT_EQ(written.back(), 3'000'000);
    EXPECT_EQ(video->sizeRemainingString(), "Ready to play: 3 MB");
    EXPECT_EQ(video->percentRemainingString(), "100%");
    EXPECT_TRUE(presenter.sheets.empty());
}

TEST_F(VideoTransferTest, ARunningOrPausedRecordDeletedStopsItsOperationAndLeavesNoPartialFile) {
    site.mediaFile("record-deleted.bin", 1024 * 1024);
    for (const bool paused : {false, true}) {
        SCOPED_TRACE(paused ? "paused" : "running");
        const auto video = insertVideo();
        const auto operation =
            attachOperation(video, site.slowMediaUrl("record-deleted.bin", 300'000));
        operation->start();
        ASSERT_TRUE(reachesState(*video, Video::Downloading));
        ASSERT_FALSE(partialFiles().isEmpty());
        if (paused) {
            video->pause();
            // Both halves of the pause reach the record: the resume data and the completion.
            ASSERT_TRUE(waitUntil(
                [&] { return !video->resumeData().isEmpty() && !operation->isExecuting(); },
                kWaitMs));
            QCoreApplication::processEvents();
            EXPECT_EQ(video->downloadState(), Video::Paused);
            EXPECT_EQ(video->resumeData(), operation->resumeData());
            EXPECT_TRUE(video->sizeRemainingString().startsWith("Paused: "));
            EXPECT_FALSE(operation->isFinished());
        }
        int changes = 0;
        QObject::connect(video.get(), &ManagedObject::valueChanged, [&] { ++changes; });

        context->deleteObject(video);
        EXPECT_TRUE(operation->isFinished());
        EXPECT_FALSE(operation->delegate());
        EXPECT_FALSE(operation->session());
        EXPECT_TRUE(video->downloader().expired());
        EXPECT_TRUE(waitUntil([&] { return partialFiles().isEmpty(); }, kWaitMs))
            << partialFiles().join(", ").toStdString();
        spinEventLoop(300);
        EXPECT_EQ(changes, 0);
    }
}

TEST_F(VideoTransferTest, SleepStopsADownloadLeavingTheRecordAndItsCheckpointedBytes) {
    PrivateSessionBus bus("DBUS_SYSTEM_BUS_ADDRESS");
    QDBusConnection loginManager = QDBusConnection::connectToBus(bus.address(), "login-manager");
    ASSERT_TRUE(loginManager.registerService("org.freedesktop.login1"));
    ASSERT_TRUE(Workspace::sharedWorkspace().startObservingSystemSleep());

    site.mediaFile("record-sleep.bin", 1024 * 1024);
    const auto video = insertVideo();
    const auto operation =
        attachOperation(video, site.slowMediaUrl("record-sleep.bin", 300'000), 100);
    operation->start();
    ASSERT_TRUE(reachesState(*video, Video::Downloading));
    ASSERT_TRUE(waitUntil([&] { return !video->resumeData().isEmpty(); }, kWaitMs));
    QDBusMessage signal = QDBusMessage::createSignal(
        "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
    signal << true;
    ASSERT_TRUE(loginManager.send(signal));

    ASSERT_TRUE(waitUntil([&] { return operation->isFinished(); }, kWaitMs));
    const QString text = video->sizeRemainingString();
    EXPECT_FALSE(operation->session());
    spinEventLoop(300);
    EXPECT_EQ(video->downloadState(), Video::Downloading);
    EXPECT_EQ(video->sizeRemainingString(), text);
    // The bytes of the last checkpoint stay for the next operation.
    const auto checkpoint = ResumeData::decode(video->resumeData());
    ASSERT_TRUE(checkpoint);
    EXPECT_GE(QFileInfo(checkpoint->partialFile).size(), checkpoint->bytesOnDisk);

    bool woke = false;
    const QObject listener;
    QObject::connect(&Workspace::sharedWorkspace(), &Workspace::didWake, &listener,
                     [&] { woke = true; });
    QDBusMessage wake = QDBusMessage::createSignal(
        "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
    wake << false;
    ASSERT_TRUE(loginManager.send(wake));
    EXPECT_TRUE(waitUntil([&] { return woke; }, kWaitMs));
    QDBusConnection::disconnectFromBus("login-manager");
}

}  // namespace
}  // namespace clipmoor::test
