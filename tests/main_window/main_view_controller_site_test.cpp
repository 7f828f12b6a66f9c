// The top row end to end, against the local copy of the site.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "extractor/vx_youtube_extractor.h"
#include "main_window/main_view_controller.h"
#include "main_window/main_window.h"
#include "platform/notification_center.h"
#include "test_environment.h"
#include "test_site.h"
#include "top_row_probe.h"

namespace clipmoor {
namespace {

using test::openSheets;
using test::TopRow;

QStringList sortedKeys(const StreamMap& videos) {
    QStringList keys = videos.keys();
    keys.sort();
    return keys;
}

class MainViewControllerSiteTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::TestSite::shared(); }

    void SetUp() override {
        window = std::make_unique<MainWindow>();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        controller = window->mainViewController();
        field = controller->urlTextField();
    }

    // Clicks into the idle field (which empties it), types `address` and presses Return.
    void enter(const QString& address) {
        field->clearFocus();
        QTest::mouseClick(field, Qt::LeftButton);
        field->setText(address);
        QTest::keyClick(field, Qt::Key_Return);
    }
    void browserSends(const QString& address) {
        NotificationCenter::defaultCenter().post(
            kClipmoorDidRecieveURLFromBrowserExtensionNotification, address);
    }
    // Waits for the running lookup to end.
    bool lookupEnds() {
        return test::waitUntil([&] { return field->isEnabled(); });
    }

    std::unique_ptr<MainWindow> window;
    MainViewController* controller = nullptr;
    ClipmoorTextField* field = nullptr;
};

TEST_F(MainViewControllerSiteTest, VideoWithAllStreamsOffersTheFourFormatsFirstSelected) {
    enter("https://www.youtube.com/watch?v=AllStreams1");
    EXPECT_EQ(TopRow::of(*controller), TopRow::lookingUp());
    EXPECT_EQ(field->text(), "https://www.youtube.com/watch?v=AllStreams1");

    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(TopRow::of(*controller), TopRow::formatsOffered());
    EXPECT_EQ(controller->formatPopupButton()->currentText(), "mp4 720p");
    EXPECT_EQ(sortedKeys(controller->videos()), QStringList({"140", "18", "22", "36"}));
    EXPECT_EQ(controller->videos().value("22").value("title"), "Test pattern: all formats");
    EXPECT_EQ(field->text(), "https://www.youtube.com/watch?v=AllStreams1");
    EXPECT_TRUE(openSheets(window.get()).isEmpty());
}

TEST_F(MainViewControllerSiteTest, VideoWithSomeStreamsStillOffersAllFourFromAShortLink) {
    enter("https://youtu.be/SomeStreams?t=42");
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(TopRow::of(*controller), TopRow::formatsOffered());
    EXPECT_EQ(sortedKeys(controller->videos()), QStringList({"140", "18"}));
}

TEST_F(MainViewControllerSiteTest, TheFirstOfTwoVItemsIsLookedUp) {
    enter("https://www.youtube.com/watch?v=AllStreams1&v=RefusedVid1");
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(TopRow::of(*controller), TopRow::formatsOffered());
    EXPECT_TRUE(openSheets(window.get()).isEmpty());
}

TEST_F(MainViewControllerSiteTest,
       RefusedVideoShowsItsSheetEmptiesTheRowAndKeepsThePreviousStreams) {
    enter("https://www.youtube.com/watch?v=SomeStreams");
    ASSERT_TRUE(lookupEnds());
    const StreamMap previous = controller->videos();

    enter("https://www.youtube.com/watch?v=RefusedVid1");
    ASSERT_TRUE(lookupEnds());
    const QList<QMessageBox*> sheets = openSheets(window.get());
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets.first()->text(), "Unable to download Video.");
    EXPECT_EQ(sheets.first()->informativeText(),
              "Watch this video on YouTube. Playback/Downloading has been disabled by Youtube and "
              "the video owner.");
    EXPECT_EQ(sheets.first()->icon(), QMessageBox::Warning);
    ASSERT_EQ(sheets.first()->buttons().size(), 1);
    EXPECT_EQ(sheets.first()->buttons().first()->text(), "OK");

    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(TopRow::of(*controller), TopRow::idle());
    EXPECT_EQ(controller->videos(), previous);
}

TEST_F(MainViewControllerSiteTest, PasteLooksTheVideoUpWithoutReturn) {
    QGuiApplication::clipboard()->setText("https://www.youtube.com/watch?v=AllStreams1");
    field->setText("stale");
    field->clearFocus();
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keySequence(field, QKeySequence::Paste);
    EXPECT_FALSE(field->isEnabled());
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(TopRow::of(*controller), TopRow::formatsOffered());
}

TEST_F(MainViewControllerSiteTest, BrowserAddressIsLookedUp) {
    browserSends("https://youtu.be/AllStreams1");
    EXPECT_EQ(field->text(), "https://youtu.be/AllStreams1");
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(TopRow::of(*controller), TopRow::formatsOffered());
}

TEST_F(MainViewControllerSiteTest, DroppedLinkWaitsForReturn) {
    QMimeData link;
    link.setUrls({QUrl("https://www.youtube.com/watch?v=AllStreams1")});
    QDragEnterEvent enterEvent(field->rect().center(), Qt::LinkAction, &link, Qt::LeftButton, {});
    QCoreApplication::sendEvent(field, &enterEvent);
    QDropEvent drop(QPointF(field->rect().center()), Qt::LinkAction, &link, Qt::LeftButton, {});
    QCoreApplication::sendEvent(field, &drop);
    EXPECT_EQ(field->text(), "https://www.youtube.com/watch?v=AllStreams1");
    EXPECT_EQ(TopRow::of(*controller), TopRow::idle());

    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(TopRow::of(*controller), TopRow::lookingUp());
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(TopRow::of(*controller), TopRow::formatsOffered());
}

TEST_F(MainViewControllerSiteTest, ClearingAfterALookupEmptiesThePopupButKeepsTheStreams) {
    enter("https://www.youtube.com/watch?v=AllStreams1");
    ASSERT_TRUE(lookupEnds());
    field->clearFocus();
    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_EQ(TopRow::of(*controller), TopRow::idle());
    EXPECT_EQ(controller->videos().size(), 4);
}

TEST_F(MainViewControllerSiteTest, TheLastLookupToArriveDecides) {
    // The first lookup goes to the site; the second fails before the first can answer.
    browserSends("https://www.youtube.com/watch?v=AllStreams1");
    browserSends("https://www.youtube.com/watch?v=");
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(TopRow::of(*controller), TopRow::idle());

    ASSERT_TRUE(test::waitUntil([&] { return controller->formatPopupButton()->count() == 4; }));
    EXPECT_EQ(TopRow::of(*controller), TopRow::formatsOffered());
    EXPECT_EQ(controller->videos().size(), 4);
}

TEST_F(MainViewControllerSiteTest, LookupThatOutlivesItsControllerIsDropped) {
    browserSends("https://www.youtube.com/watch?v=AllStreams1");
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
