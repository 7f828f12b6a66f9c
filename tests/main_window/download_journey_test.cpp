// Downloads end to end in the main window, against the local copy of the site: the record's
// behaviour, the list, the operation and the store working together.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QToolButton>

#include "download_list_fixture.h"
#include "fault_server.h"
#include "platform/http/partial_files.h"
#include "platform/http/resume_data.h"
#include "ui/qmr_progress_indicator.h"

namespace clipmoor {
namespace {

constexpr int kLongWaitMs = 60'000;

class DownloadJourneyTest : public test::DownloadListFixture {
protected:
    // A record whose download comes from `url`, shown as a row (which starts its operation).
    std::shared_ptr<Video> addDownload(const QString& fileName, const QUrl& url,
                                       const QString& videoID = "Missing0001",
                                       const QString& itag = "18") {
        auto video = context()->insertNewObjectForEntityForName<Video>("Video");
        video->setVideoID(videoID);
        video->setItag(itag);
        video->setTitle(fileName);
        video->setFileName(fileName);
        video->setFileExtension("mp4");
        video->setDownloadURL(url.toString());
        video->setDownloadState(0);
        store->saveAction();
        context()->processPendingChanges();
        return video;
    }
    static bool reaches(const std::shared_ptr<Video>& video, qint16 state,
                        int timeoutMs = kLongWaitMs) {
        return test::waitUntil([&] { return video->downloadState() == state; }, timeoutMs);
    }
    QString partialFileOf(const std::shared_ptr<Video>& video) const {
        const auto resume = ResumeData::decode(video->resumeData());
        return resume ? resume->partialFile : QString();
    }
    // Starts a slow download and pauses it once some bytes are in.
    std::shared_ptr<Video> pausedDownload(const QString& name, const QString& media) {
        test::TestSite& site = test::TestSite::shared();
        site.mediaFile(media, 3'000'000);
        auto video = addDownload(name, site.slowMediaUrl(media, 150'000));
        EXPECT_TRUE(test::waitUntil([&] { return video->totalBytesWritten() > 0; }, kLongWaitMs));
        rowView(int(records().size()) - 1)->pauseDownload();
        EXPECT_TRUE(reaches(video, 1));
        EXPECT_TRUE(test::waitUntil([&] { return !partialFileOf(video).isEmpty(); }));
        return video;
    }
};

TEST_F(DownloadJourneyTest, EachFormatFromPasteToAByteIdenticalFile) {
    struct Case {
        const char* format;
        const char* media;
        const char* fileName;
    } const cases[] = {
        {"mp4 720p", "AllStreams1-22.mp4", "Test pattern: all formats(hd720)"},
        {"mp4 360p", "AllStreams1-18.mp4", "Test pattern: all formats(medium)"},
        {"mp4 240p", "AllStreams1-36.mp4", "Test pattern: all formats(small)"},
        {"mp4 Audio", "AllStreams1-140.mp4", "Test pattern: all formats(adudio only)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        QGuiApplication::clipboard()->setText("https://www.youtube.com/watch?v=AllStreams1");
        controller->urlTextField()->clearFocus();
        QTest::mouseClick(controller->urlTextField(), Qt::LeftButton);
        QTest::keySequence(controller->urlTextField(), QKeySequence::Paste);
        ASSERT_TRUE(
            test::waitUntil([&] { return controller->downloadStartButton()->isEnabled(); }));
        startDownload(c.format);
        const auto video = records().back();
        const int row = int(records().size()) - 1;
        ASSERT_NE(rowView(row), nullptr);
        ASSERT_TRUE(reaches(video, 2));
        ASSERT_TRUE(test::waitUntil([&] {
            return rowView(row)->sizeRemainingLabel()->text().startsWith("Ready to play:");
        }));
        EXPECT_EQ(video->fileName(), c.fileName);
        EXPECT_EQ(video->valueForKey("quality").isValid(), QString(c.format) != "mp4 Audio");
        const QString file = downloadFolder + "/" + c.fileName + ".mp4";
        EXPECT_EQ(test::TestSite::sha256OfFile(file),
                  test::TestSite::shared().sha256OfMedia(c.media));
        EXPECT_TRUE(rowView(row)->downloadProgressIndicator()->isHidden());
    }
}

TEST_F(DownloadJourneyTest, APausedDownloadContinuesAfterARestartWithARangeRequest) {
    const auto paused = pausedDownload("Restarted clip(medium)", "restarted.mp4");
    addRecord("Present clip(medium)", 0, "Missing0002");
    writeFile("Present clip(medium).mp4", 10);
    addRecord("Failed clip(medium)", 4, "Missing0003");
    store->saveAction();
    closeWindow();
    ASSERT_TRUE(
        test::waitUntil([] { return TransferEngine::shared().activeTransferCount() == 0; }));
    test::TestSite::shared().clearAccessLog();

    {
        // What the store holds: the paused record, read back, says so.
        CoreDataController reopened(loadClipmoorModel);
        Error error;
        const auto stored =
            reopened.managedObjectContext()->executeFetchRequest(FetchRequest("Video"), &error);
        ASSERT_TRUE(stored);
        ASSERT_EQ(stored->size(), 3u);
        const auto video = std::dynamic_pointer_cast<Video>((*stored)[0]);
        EXPECT_EQ(video->downloadState(), 1);
        EXPECT_TRUE(video->sizeRemainingString().startsWith("Paused: "));
        EXPECT_FALSE(video->resumeData().isEmpty());
    }

    openWindow();
    auto list = records();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1]->downloadState(), 2);  // its file is there
    EXPECT_EQ(list[2]->downloadState(), 4);
    EXPECT_TRUE(list[2]->downloader().expired());

    // The paused one continues where it stopped, once its row gives it an operation.
    if (list[0]->downloadState() == 1) rowView(0)->pauseDownload();
    ASSERT_TRUE(reaches(list[0], 2));
    EXPECT_TRUE(test::waitUntil([] {
        for (const auto& entry : test::TestSite::shared().accessLog())
            if (entry.request.contains("restarted.mp4") && entry.status == 206 &&
                entry.range.startsWith("bytes="))
                return true;
        return false;
    }));
    EXPECT_EQ(test::TestSite::sha256OfFile(downloadFolder + "/Restarted clip(medium).mp4"),
              test::TestSite::shared().sha256OfMedia("restarted.mp4"));
}

TEST_F(DownloadJourneyTest, AForbiddenStreamFailsInRed) {
    const auto video =
        addDownload("Forbidden clip(medium)", test::TestSite::shared().statusUrl(403));
    ASSERT_TRUE(reaches(video, 4));
    ASSERT_TRUE(test::waitUntil(
        [&] { return rowView(0)->sizeRemainingLabel()->text() == "Failed to download Media"; }));
    EXPECT_EQ(rowView(0)->sizeRemainingLabel()->palette().color(QPalette::WindowText), Qt::red);
}

TEST_F(DownloadJourneyTest, AFinishedFileThatCannotTakeItsNameShowsTheMoveSheet) {
    test::TestSite& site = test::TestSite::shared();
    site.mediaFile("taken.mp4", 600'000);
    const auto video = addDownload("Taken clip(medium)", site.slowMediaUrl("taken.mp4", 300'000));
    ASSERT_TRUE(test::waitUntil([&] { return video->totalBytesWritten() > 0; }, kLongWaitMs));
    writeFile("Taken clip(medium).mp4", 5);  // someone else's file appears meanwhile
    answerSheet("Oops...",
                "There was problem moving your file. Would you like to tell us what happened?",
                {"No", "Yes"}, "No");
    EXPECT_EQ(video->downloadState(), 4);
    QFile untouched(downloadFolder + "/Taken clip(medium).mp4");
    EXPECT_EQ(untouched.size(), 5);
}

TEST_F(DownloadJourneyTest, PlayingADeletedFileOffersRemovalAndYesRemovesTheRow) {
    const QString file = writeFile("Gone clip(medium).mp4", 10);
    const auto video = addRecord("Gone clip(medium)", 2, "Missing0001");
    QFile::remove(file);
    rowView(0)->pauseDownload();  // plays a finished record
    answerSheet("Oops...",
                "I can't seem to find the file your trying to play. Did you move it or delete "
                "it? Would you like me to remove this item from the list?",
                {"No", "Yes"}, "Yes");
    context()->processPendingChanges();
    EXPECT_TRUE(records().empty());
    EXPECT_EQ(table()->numberOfRows(), 0);
}

TEST_F(DownloadJourneyTest, RemovingOrClearingPausedDownloadsDeletesTheirPartialFiles) {
    const auto first = pausedDownload("Removed clip(medium)", "removed.mp4");
    const QString firstPart = partialFileOf(first);
    ASSERT_TRUE(QFile::exists(firstPart));
    NotificationCenter::defaultCenter().post(kClipmoorItemDeleteItemNotification,
                                             QVariant::fromValue(first->objectID()));
    EXPECT_TRUE(test::waitUntil([&] { return !QFile::exists(firstPart); }));

    const auto second = pausedDownload("Cleared clip(medium)", "cleared.mp4");
    const QString secondPart = partialFileOf(second);
    ASSERT_TRUE(QFile::exists(secondPart));
    NotificationCenter::defaultCenter().post("ClipmoorDidRequestToClearDownloadListNotification");
    answerSheet("Clear Download List",
                "Are you sure you want to remove items from your download list?",
                {"Clear All", "Clear Comleted", "Cancel"}, "Clear All");
    EXPECT_TRUE(test::waitUntil([&] { return !QFile::exists(secondPart); }));
}

TEST_F(DownloadJourneyTest, OrphanPartialFilesAreSweptAtStartAndDownloadsAreNeverTouched) {
    const QString folder = defaultPartialFileFolder();
    QDir().mkpath(folder);
    auto makeFile = [](const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("partial");
    };
    const QString orphan = folder + "/clipmoor-Orphan.part";
    const QString kept = folder + "/clipmoor-Keptt1.part";
    makeFile(orphan);
    makeFile(kept);
    const QString download = writeFile("clipmoor-Nopart.part", 3);  // in the download folder
    ResumeData resume;
    resume.url = QUrl("https://www.youtube.com/media/AllStreams1-18.mp4");
    resume.partialFile = kept;
    resume.bytesOnDisk = 7;
    resume.entityTag = "\"5f-7\"";
    const auto video = addRecord("Kept clip(medium)", 4, "Missing0001");
    video->setResumeData(resume.encode());
    store->saveAction();
    closeWindow();
    test::spinEventLoop(1100);  // the sweep spares files changed after it started

    openWindow();
    EXPECT_TRUE(test::waitUntil([&] { return !QFile::exists(orphan); }));
    EXPECT_TRUE(QFile::exists(kept));
    EXPECT_TRUE(QFile::exists(download));
}

TEST_F(DownloadJourneyTest, RetryAfterAnExpiredAddressLooksTheVideoUpAgainAndKeepsItsBytes) {
    test::TestSite& site = test::TestSite::shared();
    const auto video = addDownload("Expired clip(medium)",
                                   site.slowMediaUrl("AllStreams1-18.mp4", 100'000), "AllStreams1");
    ASSERT_TRUE(test::waitUntil([&] { return video->totalBytesWritten() > 0; }, kLongWaitMs));
    rowView(0)->pauseDownload();
    ASSERT_TRUE(reaches(video, 1));
    ASSERT_TRUE(test::waitUntil([&] { return !partialFileOf(video).isEmpty(); }));
    // By the next start the stream's address has expired: the media host refuses it.
    auto paused = *ResumeData::decode(video->resumeData());
    paused.url = site.statusUrl(403);
    video->setResumeData(paused.encode());
    video->setDownloadURL(site.statusUrl(403).toString());
    store->saveAction();
    closeWindow();
    site.clearAccessLog();
    openWindow();

    const auto expired = records().front();
    ASSERT_TRUE(reaches(expired, 4));
    EXPECT_TRUE(expired->downloadAddressExpired());
    EXPECT_EQ(partialFileOf(expired), paused.partialFile);
    ASSERT_TRUE(test::waitUntil(
        [&] { return rowView(0)->pauseDownloadButton()->accessibleName() == "Retry"; }));
    rowView(0)->pauseDownload();  // the failed row's state button
    ASSERT_TRUE(reaches(expired, 2));
    EXPECT_EQ(test::TestSite::sha256OfFile(downloadFolder + "/Expired clip(medium).mp4"),
              site.sha256OfMedia("AllStreams1-18.mp4"));
    EXPECT_TRUE(expired->downloadURL().contains("/media/AllStreams1-18.mp4?itag=18"));

    // A new look-up, then the same stream's new address, continued where the bytes ended.
    QStringList seen;
    ASSERT_TRUE(test::waitUntil([&] {
        seen.clear();
        for (const auto& entry : site.accessLog()) {
            if (entry.target().contains("video_id=AllStreams1")) seen << "lookup";
            if (entry.target().startsWith("/media/AllStreams1-18.mp4"))
                seen << QString("%1 %2").arg(entry.status).arg(entry.range);
        }
        return seen.size() == 2;
    }));
    EXPECT_EQ(seen, QStringList({"lookup", QString("206 bytes=%1-").arg(paused.bytesOnDisk)}));
}

TEST_F(DownloadJourneyTest, RetryAfterACutConnectionContinuesFromTheBytesItHad) {
    test::FaultServer& faults = test::TestSite::shared().faultServer();
    const auto video = addDownload("Cut clip(medium)", faults.cutOnceUrl(600'000, 250'000));
    ASSERT_TRUE(reaches(video, 4));
    EXPECT_FALSE(video->downloadAddressExpired());
    const auto kept = ResumeData::decode(video->resumeData());
    ASSERT_TRUE(kept);
    EXPECT_GT(kept->bytesOnDisk, 0);

    rowView(0)->rightMouseDown(rowView(0)->mapToGlobal(QPoint(5, 5)));
    QAction* retry = rowView(0)->menu()->actions().value(3);
    ASSERT_TRUE(retry && retry->isEnabled());
    rowView(0)->menu()->close();
    retry->trigger();
    ASSERT_TRUE(reaches(video, 2));
    QFile saved(downloadFolder + "/Cut clip(medium).mp4");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), test::FaultServer::body(600'000));
    const QRegularExpression continued(
        QString(R"((^|\r\n)Range: bytes=%1-(\r\n|$))").arg(kept->bytesOnDisk),
        QRegularExpression::CaseInsensitiveOption);
    EXPECT_TRUE(continued.match(faults.requests().constLast()).hasMatch())
        << faults.requests().constLast().toStdString();
}

TEST_F(DownloadJourneyTest, RetryFailsAgainWhenTheNewLookUpLacksTheStream) {
    test::TestSite& site = test::TestSite::shared();
    // SomeStreams offers no stream 22.
    const auto video = addDownload("Gone clip(hd720)", site.statusUrl(410), "SomeStreams", "22");
    ASSERT_TRUE(reaches(video, 4));
    ASSERT_TRUE(video->downloadAddressExpired());
    site.clearAccessLog();
    rowView(0)->pauseDownload();
    EXPECT_EQ(video->downloadState(), 0);
    ASSERT_TRUE(test::waitUntil([&] {
        for (const auto& entry : site.accessLog())
            if (entry.target().contains("video_id=SomeStreams")) return video->downloadState() == 4;
        return false;
    }));
    EXPECT_TRUE(video->downloader().expired());
    EXPECT_TRUE(video->downloadAddressExpired());
}

}  // namespace
}  // namespace clipmoor
