// The download list in the main window: duplicates, files already on disk, removal, clearing,
// the row menu, and thumbnails.
#include <QLabel>
#include <QMenu>

#include "main_window_fixture.h"
#include "opened_urls.h"

namespace clipmoor {
namespace {

const QString kTryAgain = "Sorry please try again later or try a different URL.";
const QString kDuplicate =
    "The file you have requested is already downloading or queud for download. ";
const QString kStartError =
    "There was an error starting the download. Clipmoor is unable to download your request at "
    "this time. ";

using DownloadListTest = test::DownloadListFixture;

TEST_F(DownloadListTest, StartRefusesAMissingFormatOrADuplicateNameAndTakesAFileAlreadyThere) {
    // No lookup at all, then a video without the chosen stream: nothing to start.
    controller->downloadAudioOrVideo();
    answerSheet(kStartError, kTryAgain);
    lookUp("SomeStreams");
    startDownload("mp4 720p");
    answerSheet(kStartError, kTryAgain);
    EXPECT_EQ(table()->numberOfRows(), 0);

    // A second request for the same file name is refused whatever the first's state.
    lookUp("AllStreams1");
    startDownload("mp4 360p");
    ASSERT_EQ(records().size(), 1u);
    const auto first = records()[0];
    for (qint16 state : {0, 2, 4}) {
        SCOPED_TRACE(state);
        first->setDownloadState(state);
        startDownload("mp4 360p");
        answerSheet(kDuplicate, kTryAgain);
        EXPECT_EQ(records().size(), 1u);
    }
    // Another video whose title and quality give the same name is a duplicate too.
    context()->deleteObject(first);
    context()->processPendingChanges();
    addRecord("Test pattern: all formats(medium)", 0, "AnotherVid1");
    startDownload("mp4 360p");
    answerSheet(kDuplicate, kTryAgain);
    EXPECT_EQ(records().size(), 1u);
    // Once removed, the same format can be requested again.
    NotificationCenter::defaultCenter().post(kClipmoorItemDeleteItemNotification,
                                             QVariant::fromValue(records()[0]->objectID()));
    context()->processPendingChanges();
    startDownload("mp4 360p");
    EXPECT_TRUE(openSheets().isEmpty());
    EXPECT_EQ(records().size(), 1u);

    // A file already in the folder makes a finished record without an operation.
    writeFile("Test pattern: all formats(small).mp4", 4321);
    startDownload("mp4 240p");
    ASSERT_EQ(table()->numberOfRows(), 2);
    const auto video = records()[1];
    EXPECT_EQ(video->downloadState(), 2);
    EXPECT_EQ(video->totalBytesWritten(), 4321);
    EXPECT_TRUE(video->downloader().expired());
}

TEST_F(DownloadListTest, AfterARestartAPausedRecordGetsAnOperationAndAFailedOneStaysFailedWithout) {
    test::TestSite& site = test::TestSite::shared();
    site.mediaFile("waiting.mp4", 3'000'000);
    addRecord("Failed clip(medium)", Video::Failed, "Missing0001",
              site.slowMediaUrl("waiting.mp4", 100'000));
    const auto paused = addRecord("Paused clip(medium)", Video::Queued, "Missing0002",
                                  site.slowMediaUrl("waiting.mp4", 100'000));
    ASSERT_TRUE(reaches(paused, Video::Downloading));
    paused->pause();
    ASSERT_TRUE(reaches(paused, Video::Paused));
    store->saveAction();
    closeWindow();
    openStoreAndWindow();
    ASSERT_EQ(records().size(), 2u);
    test::spinEventLoop(300);
    for (const auto& video : records()) {
        const bool failed = video->fileName().startsWith("Failed");
        EXPECT_EQ(video->downloadState() == Video::Failed, failed);
        EXPECT_EQ(video->downloader().expired(), failed) << video->fileName().toStdString();
    }
}

TEST_F(DownloadListTest, ClearingAsksThenSavesAtOnceAndDeletesWithoutSaving) {
    struct Case {
        const char* button;
        std::vector<qint16> statesLeft;
    } const cases[] = {
        {"Cancel", {0, 2, 4}},
        {"Clear Comleted", {0, 4}},
        {"Clear All", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        for (const auto& video : records()) context()->deleteObject(video);
        addRecord("queued", 0, "Missing0001");
        addRecord("finished", 2, "Missing0002");
        addRecord("failed", 4, "Missing0003");
        records()[0]->setTitle("changed");  // an unsaved change that the question saves
        ASSERT_TRUE(context()->hasChanges());

        NotificationCenter::defaultCenter().post(
            "ClipmoorDidRequestToClearDownloadListNotification");
        EXPECT_FALSE(context()->hasChanges());
        answerSheet("Clear Download List",
                    "Are you sure you want to remove items from your download list?",
                    {"Clear All", "Clear Comleted", "Cancel"}, c.button);
        context()->processPendingChanges();
        std::vector<qint16> left;
        for (const auto& video : records()) left.push_back(video->downloadState());
        EXPECT_EQ(left, c.statesLeft);
        EXPECT_EQ(context()->hasChanges(), c.statesLeft.size() != 3);  // deletions wait
        expectRowsMatchRecords();
    }
}

TEST_F(DownloadListTest, RowMenuOpensThePageOrRemovesTheRowAndAGoneFileOffersRemoval) {
    test::OpenedUrls opened({"https", "file"});
    addRecord("failed", 4, "Missing0001");
    addRecord("finished", 2, "Missing0002");
    ASSERT_NE(rowView(0), nullptr);
    QMenu* menu = rowView(0)->menu();
    rowView(0)->rightMouseDown(rowView(0)->mapToGlobal(QPoint(5, 5)));
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 4);
    items[0]->trigger();  // "Show in Folder" of a record not finished does nothing
    items[1]->trigger();
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_EQ(opened.urls[0], QUrl("https://www.youtube.com/watch?v=Missing0001"));
    const ObjectID removed = records()[0]->objectID();
    items[2]->trigger();
    menu->close();
    context()->processPendingChanges();
    ASSERT_EQ(records().size(), 1u);
    EXPECT_EQ(records()[0]->title(), "finished");
    expectRowsMatchRecords();
    EXPECT_TRUE(context()->hasChanges());  // not saved
    // An identity nobody has any more is only logged.
    NotificationCenter::defaultCenter().post(kClipmoorItemDeleteItemNotification,
                                             QVariant::fromValue(removed));
    context()->processPendingChanges();
    EXPECT_EQ(records().size(), 1u);

    // A change of a record remakes no row, and a click selects none.
    VideoItemView* view = rowView(0);
    records()[0]->setTitle("renamed");
    context()->processPendingChanges();
    EXPECT_EQ(rowView(0), view);
    QTest::mouseClick(view, Qt::LeftButton);
    EXPECT_EQ(table()->selectedRow(), -1);

    // The state button plays a finished record; its file is gone, so it offers the removal.
    rowView(0)->pauseDownload();
    answerSheet("Oops...",
                "I can't seem to find the file your trying to play. Did you move it or delete "
                "it? Would you like me to remove this item from the list?",
                {"No", "Yes"}, "Yes");
    context()->processPendingChanges();
    EXPECT_TRUE(records().empty());
    EXPECT_EQ(table()->numberOfRows(), 0);
}

TEST_F(DownloadListTest, ThumbnailsComeFromTheImageHostAndAMissingOneLeavesNone) {
    addRecord("with picture", 4, "AllStreams1");
    addRecord("without picture", 4, "Missing0001");
    // Both fetches started with their rows; the missing one ends without a picture to pass on.
    ASSERT_TRUE(test::waitUntil([&] {
        return !rowView(0)->thumbNail()->pixmap().isNull() &&
               controller->thumbnailLoader()->fetchesUnderWay() == 0;
    }));
    const QSize shown = rowView(0)->thumbNail()->pixmap().size();
    EXPECT_EQ(shown.boundedTo(VideoItemView::kThumbnailSize), shown);
    EXPECT_FALSE(controller->thumbnailLoader()->cachedImage(records()[0]->thumbNailURL()).isNull());
    EXPECT_TRUE(rowView(1)->thumbNail()->pixmap().isNull());
    EXPECT_EQ(controller->thumbnailLoader()->cachedCount(), 1);
}

TEST(ThumbnailLoaderTest, RefusesBodiesAndDimensionsBeyondReason) {
    QFile jpeg(test::TestSite::sourceDirectory() + "/thumbnails/hqdefault.jpg");
    ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
    const QByteArray real = jpeg.readAll();
    // A PNG header that claims 100000 x 100000 pixels.
    QByteArray huge =
        QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000186a0000186a008060000");
    huge += QByteArray(64, '\0');
    struct Case {
        const char* name;
        QByteArray data;
        bool decoded;
    } const cases[] = {
        {"a real thumbnail", real, true},
        {"absurd declared size", huge, false},
        {"not an image", QByteArray("<html>404</html>"), false},
        {"empty", QByteArray(), false},
        {"over 2 MiB", real + QByteArray(ThumbnailLoader::kMaximumBodyBytes, '\0'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage image = ThumbnailLoader::decode(c.data, QSize(80, 60));
        EXPECT_EQ(image.size(), c.decoded ? QSize(80, 60) : QSize(0, 0));  // (0, 0): none
    }
}

}  // namespace
}  // namespace clipmoor
