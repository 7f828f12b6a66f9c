// The download record: texts, state changes from its operation's callbacks, wake-up from the
// store, play, where it is destroyed, and sleep stopping a real download.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "download/clipmoor_model.h"
#include "download/downloader.h"
#include "download/video.h"
#include "download/video_presenter.h"
#include "fake_notification_service.h"
#include "platform/http/partial_files.h"
#include "platform/http/resume_data.h"
#include "platform/http/url_error.h"
#include "platform/http/url_session.h"
#include "platform/notification_center.h"
#include "platform/object_store/managed_object_context.h"
#include "platform/user_defaults.h"
#include "platform/worker_pool.h"
#include "platform/workspace.h"
#include "test_environment.h"
#include "test_site.h"

namespace clipmoor::test {
namespace {

// A user interface of the test's own: remembers what records ask of it.
struct RecordingPresenter : VideoPresenter {
    struct Sheet {
        QString text;
        QStringList buttons;
        std::function<void(int)> completion;
    };
    void showSheet(const QString&, const QString& text, const QStringList& buttons,
                   std::function<void(int buttonIndex)> completion) override {
        sheets.push_back({text, buttons, std::move(completion)});
    }
    void playMediaFile(const QUrl& url, const QString& title) override {
        played.push_back({url, title});
    }
    void showFeedbackDialog() override { ++feedbackDialogs; }

    std::vector<Sheet> sheets;
    std::vector<std::pair<QUrl, QString>> played;
    int feedbackDialogs = 0;
};

class RecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        UserDefaults::standard().setValue(downloadFolder, "ClipmoorMediaDownloadPath");
        Video::setPresenter(&presenter);
    }
    void TearDown() override {
        context.reset();
        Video::setPresenter(nullptr);
    }

    std::unique_ptr<ManagedObjectContext> openContext() {
        auto coordinator = std::make_shared<PersistentStoreCoordinator>(loadClipmoorModel());
        EXPECT_TRUE(coordinator->addPersistentStore(
            NSSQLiteStoreType, QUrl::fromLocalFile(dir_.filePath("Clipmoor.storedata")), nullptr));
        auto opened = std::make_unique<ManagedObjectContext>();
        opened->setPersistentStoreCoordinator(coordinator);
        return opened;
    }

    std::shared_ptr<Video> insertVideo(const QString& fileName = "Clip(360p)") {
        auto video = context->insertNewObjectForEntityForName<Video>("Video");
        video->setFileName(fileName);
        video->setFileExtension("mp4");
        return video;
    }

    static void writeFile(const QString& path, qint64 size) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'v'));
    }

    QTemporaryDir dir_{privateHome() + "/video-XXXXXX"};
    const QString downloadFolder = dir_.filePath("Downloads");
    RecordingPresenter presenter;
    std::unique_ptr<ManagedObjectContext> context = openContext();
};

// Resume data for `bytes` (of 9000) in our partial file `file`.
QByteArray resumeDataFor(const QString& file, qint64 bytes) {
    const QUrl url("https://www.youtube.com/media/a");
    return ResumeData{url, defaultPartialFileFolder() + "/" + file, bytes, "\"e\"", {}, 9000}
        .encode();
}

TEST_F(RecordTest, TextsAndHideFlagsFollowEveryStateAssignment) {
    const struct {
        qint16 state;
        qint64 written, expected;
        bool flagsBefore;  // both hide flags, set before the state
        QString text, percent;
        bool hidePercent, hideProgress;
    } cases[] = {
        {0, 0, 0, true, "Queued For Dowload", "7%", false, true},
        {1, 5000, 10000, false, "Paused: 5 KB of 10 KB", "50%", false, false},
        {2, 1500000, 1500000, false, "Ready to play: 1.5 MB", "100%", true, true},
        {3, 420, 1000, false, "420 bytes of 1 KB", "42%", false, false},
        {3, 999, 1000, true, "999 bytes of 1 KB", "99%", false, true},  // never shown again
        {3, 700, 0, false, "700 bytes of 0 bytes", "7%", false, false},
        {3, 1500000000000000000, 3000000000000000000, false, "1.5 EB of 3 EB", "50%", false,
         false},  // written * 100 would not fit in 64 bits
        {4, 10, 1000, false, "Failed to download Media", "1%", false, true},
        {9, 5, 10, true, "", "50%", true, true},
        {9, 5, 10, false, "", "50%", false, false},
    };
    for (const auto& c : cases) {
        const auto video = insertVideo();
        video->setPercentRemainingString("7%");
        video->setShouldHidePercentRemainingIndicator(c.flagsBefore);
        video->setShouldHideDownloadProgressIndicator(c.flagsBefore);
        // Assigned again once the counts have changed: the same state still refreshes the texts.
        video->setDownloadState(c.state);
        video->setTotalBytesWritten(c.written);
        video->setTotalBytesExpected(c.expected);
        video->setDownloadState(c.state);
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(video->sizeRemainingString(), c.text);
        EXPECT_EQ(video->percentRemainingString(), c.percent);
        EXPECT_EQ(video->shouldHidePercentRemainingIndicator(), c.hidePercent);
        EXPECT_EQ(video->shouldHideDownloadProgressIndicator(), c.hideProgress);
    }
}

// The move runs where the operation calls; its outcome reaches the record on the main thread. A
// file already in place is never replaced, and no hidden copy is left behind.
TEST_F(RecordTest, AFinishedFileIsPlacedOrFailsTheRecordWithASheet) {
    QTemporaryDir elsewhere("/dev/shm/clipmoor-record-XXXXXX");
    ASSERT_TRUE(elsewhere.isValid());
    ASSERT_NE(QStorageInfo(elsewhere.path()).rootPath(), QStorageInfo(dir_.path()).rootPath())
        << "/dev/shm is not a file system of its own";
    const struct {
        const char* what;
        qint64 size;
        bool fromElsewhere, destinationTaken, withDestination;
        qint16 state;
    } cases[] = {
        {"download folder removed meanwhile", 4000, false, false, true, Video::Finished},
        {"from another file system", 300'000, true, false, true, Video::Finished},
        {"destination taken", 4000, false, true, true, Video::Failed},
        {"destination taken, from another file system", 4000, true, true, true, Video::Failed},
        {"operation without a destination", 4000, false, false, false, Video::Failed},
        {"empty download", 0, false, false, true, Video::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto video = insertVideo(c.what);
        const QString location = (c.fromElsewhere ? elsewhere.path() : dir_.path()) + "/file.tmp";
        writeFile(location, c.size);
        const auto operation = Downloader::create();
        if (c.withDestination) operation->setDestinationPath(video->mediaLocalFilePath());
        if (c.state == Video::Finished) QDir(downloadFolder).removeRecursively();
        if (c.destinationTaken) writeFile(video->mediaLocalFilePath(), 3);
        presenter = {};

        video->downloaderDidFinishDownloadingToURL(*operation, location);
        EXPECT_EQ(video->downloadState(), Video::Queued) << "applied before the main thread's turn";
        QCoreApplication::processEvents();
        EXPECT_EQ(video->downloadState(), c.state);
        const bool placed = c.state == Video::Finished;
        const qint64 atDestination = placed ? c.size : c.destinationTaken ? 3 : 0;
        EXPECT_EQ(QFileInfo(video->mediaLocalFilePath()).size(), atDestination);
        EXPECT_EQ(QFile::exists(location), !placed);
        EXPECT_TRUE(QDir(downloadFolder).entryList({".*"}, QDir::Files | QDir::Hidden).isEmpty());
        const bool sheet = c.state == Video::Failed && c.size > 0;
        ASSERT_EQ(presenter.sheets.size(), sheet ? 1u : 0u);
        if (!sheet) continue;
        const auto& shown = presenter.sheets.front();
        EXPECT_EQ(shown.text,
                  "There was problem moving your file. Would you like to tell us what happened?");
        EXPECT_EQ(shown.buttons, QStringList({"No", "Yes"}));
        shown.completion(0);
        shown.completion(1);
        EXPECT_EQ(presenter.feedbackDialogs, 1) << "only Yes opens the feedback dialog";
    }
}

// A record wakes finished when a non-empty file of its name, cleaned, is in the download folder.
TEST_F(RecordTest, WakingFromTheStoreFindsFinishedFilesUnderCleanedNames) {
    const struct {
        QString storedName;
        qint64 fileSize;  // -1: a folder of that name
        qint16 state;
    } cases[] = {
        {"Band/Song(720p)", 1, Video::Finished},
        {"Empty(360p)", 0, Video::Downloading},
        {"Folder(360p)", -1, Video::Downloading},
    };
    for (const auto& c : cases) {
        insertVideo(c.storedName)->setDownloadState(Video::Downloading);
        const QString path =
            downloadFolder + "/" + QString(c.storedName).replace('/', '-') + ".mp4";
        if (c.fileSize >= 0) writeFile(path, c.fileSize);
        if (c.fileSize == -1) QDir().mkpath(path);
    }
    ASSERT_TRUE(context->save(nullptr));
    const auto reopened = openContext();
    const auto records = reopened->executeFetchRequest(FetchRequest("Video"), nullptr);
    ASSERT_TRUE(records && records->size() == std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(static_cast<const Video&>(*records->at(i)).downloadState(), cases[i].state)
            << cases[i].storedName.toStdString();
}

TEST_F(RecordTest, AnEmptyOrRelativeFolderSettingNeverPlacesFilesOutsideTheDefaultFolder) {
    const auto video = insertVideo("Clip(720p)");
    for (const QString& setting : {QString(), QStringLiteral("relative/folder")}) {
        UserDefaults::standard().setValue(setting, "ClipmoorMediaDownloadPath");
        EXPECT_EQ(video->mediaLocalFilePath(),
                  QDir::homePath() + "/Downloads/Clipmoor/Clip(720p).mp4");
        EXPECT_EQ(UserDefaults::standard().stringForKey("ClipmoorMediaDownloadPath"), setting);
    }
}

TEST_F(RecordTest, PlayOpensAnyExistingFileOrOffersToRemoveTheRecord) {
    std::vector<ObjectID> deleteRequests;
    const ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        "ClipmoorItemDeleteItemNotification",
        [&](const Notification& n) { deleteRequests.push_back(n.object.value<ObjectID>()); });

    const auto present = insertVideo("Here(360p)");
    writeFile(downloadFolder + "/Here(360p).mp4", 0);
    present->play();
    const auto played = std::make_pair(QUrl::fromLocalFile(downloadFolder + "/Here(360p).mp4"),
                                       QStringLiteral("Here(360p)"));
    EXPECT_EQ(presenter.played, std::vector({played}));

    const auto missing = insertVideo("Gone(360p)");
    for (int button : {0, 1}) {
        missing->play();
        ASSERT_EQ(presenter.sheets.size(), std::size_t(button + 1));
        presenter.sheets.back().completion(button);
    }
    EXPECT_EQ(deleteRequests, std::vector<ObjectID>{missing->objectID()});
    EXPECT_EQ(presenter.played, std::vector({played})) << "a missing file was played";
}

// A partial file that no resume data of the record names any more is deleted: when the record
// is deleted (never its finished file), or when new resume data names another file.
TEST_F(RecordTest, APartialFileGoesOnceTheRecordsResumeDataNoLongerNamesIt) {
    const QString folder = defaultPartialFileFolder();
    for (const char* file :
         {"clipmoor-AbC123.part", "clipmoor-Old123.part", "clipmoor-New123.part"})
        writeFile(folder + "/" + file, 10);
    const auto deleted = insertVideo("Kept(360p)");
    writeFile(downloadFolder + "/Kept(360p).mp4", 10);
    deleted->setResumeData(resumeDataFor("clipmoor-AbC123.part", 10));
    context->deleteObject(deleted);

    const auto replaced = insertVideo();
    replaced->setResumeData(resumeDataFor("clipmoor-Old123.part", 10));
    replaced->checkpointResumeData(resumeDataFor("clipmoor-New123.part", 5));
    replaced->checkpointResumeData(resumeDataFor("clipmoor-New123.part", 10));  // further on
    EXPECT_TRUE(waitUntil([&] {
        return !QFile::exists(folder + "/clipmoor-AbC123.part") &&
               !QFile::exists(folder + "/clipmoor-Old123.part");
    }));
    spinEventLoop(100);
    EXPECT_TRUE(QFile::exists(folder + "/clipmoor-New123.part"));
    EXPECT_TRUE(QFile::exists(downloadFolder + "/Kept(360p).mp4"));
}

// The operation's calls reach the record on the main thread, never a deleted one. Resume data
// reaches the store file at once, with its byte counts; the record's other changes wait.
TEST_F(RecordTest, OperationCallsReachTheRecordOnTheMainThreadAndResumeDataTheStoreAtOnce) {
    const QByteArray checkpoint = resumeDataFor("clipmoor-Chk123.part", 4000);
    enum Call { Progress, LastProgress, Resumed, Checkpoint, Pause, Cancelled, Failure };
    const struct {
        const char* what;
        Call call;
        QByteArray data = {};  // handed over, and then in the store file
        int status = 0;        // of a failure's answer
        qint16 state = Video::Queued;
        bool addressExpired = false;
    } cases[] = {
        {"first progress", Progress, {}, 0, Video::Downloading},
        {"progress to the expected total", LastProgress, {}, 0, Video::Finished},
        {"resumed", Resumed},
        {"checkpoint", Checkpoint, checkpoint},
        {"pause the server cannot resume", Pause, {}, 0, Video::Paused},
        {"cancelled for a pause", Cancelled, {}, 0, Video::Paused},
        {"connection cut", Failure, checkpoint, 0, Video::Failed},
        {"address refused with 403", Failure, checkpoint, 403, Video::Failed, true},
        {"address gone with 410", Failure, {}, 410, Video::Failed, true},
        {"not found", Failure, {}, 404, Video::Failed},
    };
    const auto operation = Downloader::create();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto video = insertVideo(c.what);
        video->setTotalBytesWritten(100);
        video->setTotalBytesExpected(200);
        ASSERT_TRUE(context->save(nullptr));
        video->setTitle("not saved yet");
        Error failure(kURLErrorDomain,
                      c.call == Cancelled ? URLError::Cancelled : URLError::BadServerResponse);
        if (c.status) failure.setUserInfoValue(kHTTPStatusCodeErrorKey, c.status);
        if (!c.data.isEmpty())
            failure.setUserInfoValue(kURLSessionDownloadTaskResumeDataKey, c.data);
        if (c.call == Progress || c.call == LastProgress)
            video->downloaderDidWriteData(*operation, 1, c.call == Progress ? 10 : 100, 100);
        if (c.call == Resumed) video->downloaderDidResumeAtOffset(*operation, 5, 10);
        if (c.call == Checkpoint) video->downloaderDidCheckpointResumeData(*operation, c.data);
        if (c.call == Pause) video->downloaderDidPauseWithResumeData(*operation, c.data);
        if (c.call >= Cancelled) video->downloaderDidCompleteWithError(*operation, failure);
        EXPECT_EQ(video->downloadState(), Video::Queued) << "applied before the main thread's turn";
        QCoreApplication::processEvents();
        EXPECT_EQ(video->downloadState(), c.state);
        EXPECT_EQ(video->downloadAddressExpired(), c.addressExpired);
        EXPECT_EQ(video->resumeData(), c.data);
        EXPECT_TRUE(video->hasChanges()) << "the other changes still wait for a save";

        // What a start after a crash would read.
        const auto stored = openContext()->existingObjectWithID(video->objectID(), nullptr);
        ASSERT_TRUE(stored);
        const auto& row = static_cast<const Video&>(*stored);
        EXPECT_EQ(row.resumeData(), c.data);
        EXPECT_EQ(row.totalBytesWritten(), c.data.isEmpty() ? 100 : 4000);
        EXPECT_EQ(row.totalBytesExpected(), c.data.isEmpty() ? 200 : 9000);
        EXPECT_EQ(row.title(), QString());
    }
    const auto deleted = insertVideo();
    deleted->downloaderDidWriteData(*operation, 1, 10, 100);
    context->deleteObject(deleted);
    QCoreApplication::processEvents();
    EXPECT_EQ(deleted->downloadState(), Video::Queued) << "applied to a deleted record";
}

TEST_F(RecordTest, ARecordReleasedLastOnAnotherThreadIsDestroyedOnTheMainThread) {
    std::shared_ptr<Video> video = insertVideo();
    QThread* destroyedOn = nullptr;
    QObject::connect(video.get(), &QObject::destroyed,
                     [&] { destroyedOn = QThread::currentThread(); });
    std::atomic<bool> released = false;
    context.reset();
    WorkerPool::callbackPool().submit([held = std::move(video), &released]() mutable {
        held.reset();
        released = true;
    });
    ASSERT_TRUE(waitUntil([&] { return released && destroyedOn; }));
    EXPECT_EQ(destroyedOn, QCoreApplication::instance()->thread());
}

// Sleep announced by a login manager on a private system bus stops a real download, leaving the
// record as it was and the bytes of its last checkpoint on the disk; the wake-up is heard too.
TEST_F(RecordTest, SleepStopsADownloadLeavingTheRecordAndItsCheckpointedBytes) {
    PrivateSessionBus bus("DBUS_SYSTEM_BUS_ADDRESS");
    QDBusConnection loginManager = QDBusConnection::connectToBus(bus.address(), "login-manager");
    ASSERT_TRUE(loginManager.registerService("org.freedesktop.login1"));
    ASSERT_TRUE(Workspace::sharedWorkspace().startObservingSystemSleep());
    const auto announce = [&](bool sleeping) {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
        return loginManager.send(signal << sleeping);
    };

    TestSite::shared().mediaFile("record-sleep.bin", 1024 * 1024);
    const auto video = insertVideo();
    const auto operation = Downloader::create();
    const auto stop = qScopeGuard([&] { operation->prepareToCancel(); });
    auto configuration = UrlSessionConfiguration::ephemeralSessionConfiguration();
    configuration.temporaryDirectory = dir_.filePath("partial");
    configuration.resumeCheckpointIntervalMs = 100;
    operation->setSessionConfiguration(configuration);
    operation->setDownloadURL(TestSite::shared().slowMediaUrl("record-sleep.bin", 300'000));
    operation->setDelegate(video);
    video->setDownloader(operation);  // as the list controller does
    video->resume();                  // as the row's button does: starts the operation
    ASSERT_TRUE(waitUntil([&] { return !video->resumeData().isEmpty(); }));  // a checkpoint
    ASSERT_EQ(video->downloadState(), Video::Downloading);
    ASSERT_TRUE(announce(true));
    ASSERT_TRUE(waitUntil([&] { return operation->isFinished(); }));
    const QString text = video->sizeRemainingString();
    spinEventLoop(300);
    EXPECT_EQ(video->downloadState(), Video::Downloading);
    EXPECT_EQ(video->sizeRemainingString(), text);
    const auto checkpoint = ResumeData::decode(video->resumeData());
    ASSERT_TRUE(checkpoint);
    EXPECT_GE(QFileInfo(checkpoint->partialFile).size(), checkpoint->bytesOnDisk);

    QSignalSpy woke(&Workspace::sharedWorkspace(), &Workspace::didWake);
    ASSERT_TRUE(announce(false));
    EXPECT_TRUE(waitUntil([&] { return !woke.isEmpty(); }));
    QDBusConnection::disconnectFromBus("login-manager");
}

}  // namespace
}  // namespace clipmoor::test
