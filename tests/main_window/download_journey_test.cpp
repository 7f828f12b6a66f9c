// Downloads end to end in the main window, against the local copy of the site: the record, the
// list, the operation and the store working together.
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>

#include "fault_server.h"
#include "main_window_fixture.h"
#include "platform/http/partial_files.h"
#include "platform/http/resume_data.h"
#include "platform/operation_queue.h"
#include "ui/qmr_progress_indicator.h"

namespace clipmoor {
namespace {

class DownloadJourneyTest : public test::DownloadListFixture {
protected:
    QString partialFileOf(const std::shared_ptr<Video>& video) const {
        const auto resume = ResumeData::decode(video->resumeData());
        return resume ? resume->partialFile : QString();
    }
    // Pauses the download of the row once some bytes are in and it has resume data.
    void pauseOnceBytesAreIn(const std::shared_ptr<Video>& video, int row = 0) {
        ASSERT_TRUE(test::waitUntil([&] { return video->totalBytesWritten() > 0; }, 60'000));
        rowView(row)->pauseDownload();
        ASSERT_TRUE(reaches(video, Video::Paused));
        ASSERT_TRUE(test::waitUntil([&] { return !partialFileOf(video).isEmpty(); }));
    }
    // The statuses and ranges of the requests the site logged whose target contains `part`.
    static QStringList requestsFor(const QString& part) {
        QStringList seen;
        for (const auto& entry : test::TestSite::shared().accessLog())
            if (entry.target().contains(part))
                seen << QString("%1 %2").arg(entry.status).arg(entry.range).trimmed();
        return seen;
    }
};

TEST_F(DownloadJourneyTest, EachFormatMakesItsRecordAndDownloadsToAByteIdenticalFile) {
    const struct {
        const char* format;
        const char* itag;
        const char* quality;
        const char* fileName;
    } cases[] = {
        {"mp4 720p", "22", "hd720", "Test pattern: all formats(hd720)"},
        {"mp4 360p", "18", "medium", "Test pattern: all formats(medium)"},
        {"mp4 240p", "36", "small", "Test pattern: all formats(small)"},
        {"mp4 Audio", "140", "", "Test pattern: all formats(adudio only)"},
    };
    lookUp("AllStreams1");
    EXPECT_EQ(controller->downloadOperationQueue()->maxConcurrentOperationCount(), 5);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        startDownload(c.format);
        const auto video = records().back();
        const int row = int(records().size()) - 1;
        EXPECT_FALSE(video->isInserted());  // saved at once
        EXPECT_EQ(
            QStringList({video->fileName(), video->itag(), video->quality(), video->authorName(),
                         video->videoID()}),
            QStringList({c.fileName, c.itag, c.quality, "Clipmoor Test Channel", "AllStreams1"}));
        EXPECT_EQ(video->valueForKey("quality").isValid(), *c.quality != 0);
        ASSERT_NE(rowView(row), nullptr);
        ASSERT_TRUE(reaches(video, Video::Finished));
        ASSERT_TRUE(test::waitUntil([&] {
            return rowView(row)->sizeRemainingLabel()->text().startsWith("Ready to play:");
        }));
        EXPECT_TRUE(rowView(row)->downloadProgressIndicator()->isHidden());
        const QString media = QString("AllStreams1-%1.mp4").arg(c.itag);
        EXPECT_EQ(test::TestSite::sha256OfFile(downloadFolder + "/" + c.fileName + ".mp4"),
                  test::TestSite::shared().sha256OfMedia(media));
    }
    expectRowsMatchRecords();
    EXPECT_TRUE(openSheets().isEmpty());
}

TEST_F(DownloadJourneyTest, AfterARestartPausedDownloadsContinueAndAnExpiredOneIsLookedUpAgain) {
    test::TestSite& site = test::TestSite::shared();
    site.mediaFile("restarted.mp4", 3'000'000);
    const auto paused = addRecord("Restarted clip(medium)", 0, "Missing0001",
                                  site.slowMediaUrl("restarted.mp4", 150'000));
    const auto expiring = addRecord("Expired clip(medium)", 0, "AllStreams1",
                                    site.slowMediaUrl("AllStreams1-18.mp4", 100'000));
    // "150 KB/s · 19 s left": a speed in the size texts' units, then the time left.
    QLabel* speed = rowView(0)->timeRemainingLabel();
    const QRegularExpression running(QString::fromUtf8("^[0-9.]+ (KB|MB)/s · .+ left$"));
    ASSERT_TRUE(test::waitUntil([&] { return running.match(speed->text()).hasMatch(); }))
        << qPrintable(speed->text());
    EXPECT_TRUE(rowView(0)->accessibleDescription().endsWith(", " + speed->text()));
    pauseOnceBytesAreIn(paused);
    EXPECT_TRUE(test::waitUntil([&] { return speed->text().isEmpty(); }));
    rowView(0)->pauseDownload();  // the paused row's state button resumes it
    ASSERT_TRUE(reaches(paused, Video::Downloading));
    pauseOnceBytesAreIn(paused);
    pauseOnceBytesAreIn(expiring, 1);
    // By the next start the second stream's address has expired: the media host refuses it.
    auto expiredResume = *ResumeData::decode(expiring->resumeData());
    expiredResume.url = site.statusUrl(403);
    expiring->setResumeData(expiredResume.encode());
    expiring->setDownloadURL(site.statusUrl(403).toString());
    store->saveAction();  // as quitting does
    closeWindow();
    ASSERT_TRUE(
        test::waitUntil([] { return TransferEngine::shared().activeTransferCount() == 0; }));
    // A partial file that no record names goes at the next start; the download folder is left.
    const QString orphan = defaultPartialFileFolder() + "/clipmoor-Orphan.part";
    ASSERT_TRUE(QFile(orphan).open(QIODevice::WriteOnly));
    const QString download = writeFile("clipmoor-Nopart.part", 3);
    test::spinEventLoop(1100);  // the sweep spares files changed after it started
    site.clearAccessLog();

    {
        // What the store holds: the paused records, read back, say so.
        CoreDataController reopened(loadClipmoorModel);
        Error error;
        const auto stored =
            reopened.managedObjectContext()->executeFetchRequest(FetchRequest("Video"), &error);
        ASSERT_TRUE(stored && stored->size() == 2u);
        for (const auto& object : *stored) {
            const auto video = std::dynamic_pointer_cast<Video>(object);
            EXPECT_EQ(video->downloadState(), Video::Paused);
            EXPECT_FALSE(video->resumeData().isEmpty());
        }
    }

    openStoreAndWindow();
    EXPECT_TRUE(test::waitUntil([&] { return !QFile::exists(orphan); }));
    EXPECT_TRUE(QFile::exists(download));
    ASSERT_EQ(records()[1]->fileName(), "Expired clip(medium)");
    const auto restored = records()[0];
    const auto expired = records()[1];
    // It continues once its row gives it an operation, or from its state button while paused.
    if (restored->downloadState() == Video::Paused) rowView(0)->pauseDownload();
    ASSERT_TRUE(reaches(restored, Video::Finished));
    EXPECT_TRUE(test::waitUntil(
        [] { return requestsFor("restarted.mp4").join(',').contains("206 bytes="); }));
    EXPECT_EQ(test::TestSite::sha256OfFile(downloadFolder + "/Restarted clip(medium).mp4"),
              site.sha256OfMedia("restarted.mp4"));

    // The expired one fails, keeping its bytes, and its retry looks the video up again.
    ASSERT_TRUE(reaches(expired, Video::Failed));
    EXPECT_TRUE(expired->downloadAddressExpired());
    rowView(1)->pauseDownload();  // the failed row's state button
    ASSERT_TRUE(reaches(expired, Video::Finished));
    EXPECT_EQ(test::TestSite::sha256OfFile(downloadFolder + "/Expired clip(medium).mp4"),
              site.sha256OfMedia("AllStreams1-18.mp4"));
    // A new look-up, then the same stream's new address, continued where the bytes ended.
    const QString stream = "/media/AllStreams1-18.mp4?itag";
    ASSERT_TRUE(test::waitUntil([&] { return !requestsFor(stream).isEmpty(); }));
    EXPECT_EQ(requestsFor("video_id=AllStreams1").size(), 1);
    EXPECT_EQ(requestsFor(stream),
              QStringList({QString("206 bytes=%1-").arg(expiredResume.bytesOnDisk)}));

    // A retry whose new look-up lacks the stream (SomeStreams offers no 22) fails again.
    const auto gone = addRecord("Gone clip(hd720)", 0, "SomeStreams", site.statusUrl(410), "22");
    ASSERT_TRUE(reaches(gone, Video::Failed));
    ASSERT_TRUE(gone->downloadAddressExpired());
    rowView(2)->pauseDownload();
    EXPECT_EQ(gone->downloadState(), Video::Queued);
    ASSERT_TRUE(test::waitUntil([&] { return !requestsFor("video_id=SomeStreams").isEmpty(); }));
    ASSERT_TRUE(reaches(gone, Video::Failed));
    EXPECT_TRUE(gone->downloader().expired());
    EXPECT_TRUE(gone->downloadAddressExpired());
}

TEST_F(DownloadJourneyTest, RemovingAPausedDownloadStopsItsOperationAndDeletesItsPartialFile) {
    test::TestSite& site = test::TestSite::shared();
    site.mediaFile("removed.mp4", 3'000'000);
    const auto video = addRecord("Removed clip(medium)", 0, "Missing0001",
                                 site.slowMediaUrl("removed.mp4", 150'000));
    pauseOnceBytesAreIn(video);
    const QString partial = partialFileOf(video);
    const std::weak_ptr<Downloader> operation = video->downloader();
    ASSERT_TRUE(QFile::exists(partial));
    NotificationCenter::defaultCenter().post(kClipmoorItemDeleteItemNotification,
                                             QVariant::fromValue(video->objectID()));
    EXPECT_TRUE(test::waitUntil([&] { return !QFile::exists(partial) && operation.expired(); }));
}

TEST_F(DownloadJourneyTest, RetryFromTheMenuAfterACutConnectionContinuesFromTheBytesItHad) {
    test::FaultServer& faults = test::TestSite::shared().faultServer();
    const auto video =
        addRecord("Cut clip(medium)", 0, "Missing0001", faults.cutOnceUrl(600'000, 250'000));
    ASSERT_TRUE(reaches(video, Video::Failed));
    EXPECT_FALSE(video->downloadAddressExpired());
    const auto kept = ResumeData::decode(video->resumeData());
    ASSERT_TRUE(kept && kept->bytesOnDisk > 0);

    rowView(0)->rightMouseDown(rowView(0)->mapToGlobal(QPoint(5, 5)));
    QAction* retry = rowView(0)->menu()->actions().value(3);
    ASSERT_TRUE(retry && retry->isEnabled());
    rowView(0)->menu()->close();
    retry->trigger();
    ASSERT_TRUE(reaches(video, Video::Finished));
    QFile saved(downloadFolder + "/Cut clip(medium).mp4");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), test::FaultServer::body(600'000));
    const QRegularExpression continued(
        QString(R"((^|\r\n)Range: bytes=%1-(\r\n|$))").arg(kept->bytesOnDisk),
        QRegularExpression::CaseInsensitiveOption);
    EXPECT_TRUE(continued.match(faults.requests().constLast()).hasMatch())
        << faults.requests().constLast().toStdString();
}

}  // namespace
}  // namespace clipmoor
