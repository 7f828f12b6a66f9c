// The address row end to end, against the local copy of the site.
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>

#include "extractor/vx_youtube_extractor.h"
#include "test_site.h"
#include "top_row_probe.h"

namespace clipmoor {
namespace {

using test::TopRow;

QStringList sortedKeys(const StreamMap& videos) {
    QStringList keys = videos.keys();
    keys.sort();
    return keys;
}

class MainViewControllerSiteTest : public test::MainWindowFixture {
protected:
    static void SetUpTestSuite() { test::TestSite::shared(); }
};

TEST_F(MainViewControllerSiteTest, VideoWithAllStreamsOffersTheFourFormatsFirstSelected) {
    enter("https://www.youtube.com/watch?v=AllStreams1");
    EXPECT_EQ(row(), TopRow::lookingUp());
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(row(), TopRow::formatsOffered());
    EXPECT_EQ(controller->formatPopupButton()->currentText(), "mp4 720p");
    EXPECT_EQ(sortedKeys(controller->videos()), QStringList({"140", "18", "22", "36"}));
    EXPECT_EQ(field->text(), "https://www.youtube.com/watch?v=AllStreams1");
    EXPECT_TRUE(openSheets().isEmpty());
}

TEST_F(MainViewControllerSiteTest, VideoWithSomeStreamsStillOffersAllFourFromAShortLink) {
    enter("https://youtu.be/SomeStreams?t=42");
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(row(), TopRow::formatsOffered());
    EXPECT_EQ(sortedKeys(controller->videos()), QStringList({"140", "18"}));
}

TEST_F(MainViewControllerSiteTest,
       RefusedVideoShowsItsSheetEmptiesTheRowAndKeepsThePreviousStreams) {
    enter("https://www.youtube.com/watch?v=SomeStreams");
    ASSERT_TRUE(lookupEnds());
    const StreamMap previous = controller->videos();
    enter("https://www.youtube.com/watch?v=RefusedVid1");
    ASSERT_TRUE(lookupEnds());
    expectOneSheet("Unable to download Video.",
                   "Watch this video on YouTube. Playback/Downloading has been disabled by "
                   "Youtube and the video owner.");
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(row(), TopRow::idle());
    EXPECT_EQ(controller->videos(), previous);

    // A click into the idle field empties the pop-up too, and still keeps the streams.
    enter("https://www.youtube.com/watch?v=AllStreams1");
    ASSERT_TRUE(lookupEnds());
    type("");
    EXPECT_EQ(row(), TopRow::idle());
    EXPECT_EQ(controller->videos().size(), 4);
}

TEST_F(MainViewControllerSiteTest, PasteAndBrowserAddressesAreLookedUpWithoutReturn) {
    QGuiApplication::clipboard()->setText("https://www.youtube.com/watch?v=AllStreams1");
    type("");
    QTest::keySequence(field, QKeySequence::Paste);
    EXPECT_EQ(row(), TopRow::lookingUp());
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(row(), TopRow::formatsOffered());

    type("");
    browserSends(QString("https://youtu.be/SomeStreams"));
    EXPECT_EQ(field->text(), "https://youtu.be/SomeStreams");
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(row(), TopRow::formatsOffered());
    EXPECT_EQ(controller->videos().size(), 2);
}

TEST_F(MainViewControllerSiteTest, DroppedLinkWaitsForReturn) {
    QMimeData link;
    link.setUrls({QUrl("https://www.youtube.com/watch?v=AllStreams1")});
    QDragEnterEvent enterEvent(field->rect().center(), Qt::LinkAction, &link, Qt::LeftButton, {});
    QCoreApplication::sendEvent(field, &enterEvent);
    QDropEvent drop(QPointF(field->rect().center()), Qt::LinkAction, &link, Qt::LeftButton, {});
    QCoreApplication::sendEvent(field, &drop);
    EXPECT_EQ(row(), TopRow::idle());
    pressReturn();
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(row(), TopRow::formatsOffered());
}

TEST_F(MainViewControllerSiteTest, TheLastLookupToArriveDecides) {
    // The first lookup goes to the site; the second fails before the first can answer.
    browserSends(QString("https://www.youtube.com/watch?v=AllStreams1"));
    browserSends(QString("https://www.youtube.com/watch?v="));
    EXPECT_EQ(row(), TopRow::idle());
    ASSERT_TRUE(test::waitUntil([&] { return controller->formatPopupButton()->count() == 4; }));
    EXPECT_EQ(row(), TopRow::formatsOffered());
}

TEST_F(MainViewControllerSiteTest, LookupThatOutlivesItsControllerIsDropped) {
    browserSends(QString("https://www.youtube.com/watch?v=AllStreams1"));
    window.reset();
    // Once the site has sent that answer and a later lookup on the same shared extractor has
    // been answered too, the dropped completion has had every chance to run.
    ASSERT_TRUE(test::waitUntil([] {
        return test::TestSite::shared().accessLogRequests().join('\n').contains(
            "video_id=AllStreams1");
    }));
    bool answered = false;
    VXYouTubeExtractor::sharedInstance().extractVideoForIdentifier(
        QString("SomeStreams"), [&answered](const auto&, const auto&) { answered = true; });
    ASSERT_TRUE(test::waitUntil([&] { return answered; }));
    test::spinEventLoop(100);
}

}  // namespace
}  // namespace clipmoor
