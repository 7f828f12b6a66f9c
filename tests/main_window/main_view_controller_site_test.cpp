// The address row end to end, against the local copy of the site: lookups, the preview of what
// they found, and the clipboard's address taken in when the window becomes active.
#include <QApplication>
#include <QClipboard>
#include <QLabel>

#include "main_window_fixture.h"

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
    // Hidden, or the title and the author shown.
    QStringList preview() const {
        VideoPreviewView* preview = controller->videoPreview();
        if (preview->isHidden()) return {};
        return {preview->titleLabel()->text(), preview->authorLabel()->text()};
    }
};

TEST_F(MainViewControllerSiteTest,
       AFoundVideoOffersFormatsAndPreviewUntilAClickOrARefusalEmptiesTheRow) {
    enter("https://www.youtube.com/watch?v=AllStreams1");
    EXPECT_EQ(row(), TopRow::lookingUp());
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(row(), TopRow::formatsOffered());
    EXPECT_EQ(sortedKeys(controller->videos()), QStringList({"140", "18", "22", "36"}));
    EXPECT_EQ(field->text(), "https://www.youtube.com/watch?v=AllStreams1");
    EXPECT_TRUE(openSheets().isEmpty());
    EXPECT_EQ(preview(), QStringList({"Test pattern: all formats", "Clipmoor Test Channel"}));
    const QLabel* thumbnail = controller->videoPreview()->thumbnail();
    ASSERT_TRUE(test::waitUntil([&] { return !thumbnail->pixmap().isNull(); }));
    for (QWidget* part : controller->videoPreview()->findChildren<QWidget*>())
        EXPECT_FALSE(part->accessibleName().isEmpty()) << part->objectName().toStdString();

    type("");  // a click into the idle field
    EXPECT_EQ(row(), TopRow::idle());
    EXPECT_EQ(preview(), QStringList());
    EXPECT_TRUE(thumbnail->pixmap().isNull());
    EXPECT_EQ(controller->videos().size(), 4);
    // Found again, the picture comes from the rows' cache at once.
    enter("https://www.youtube.com/watch?v=AllStreams1");
    ASSERT_TRUE(lookupEnds());
    EXPECT_FALSE(thumbnail->pixmap().isNull());

    // A refused video shows its sheet, empties the row and keeps the previous streams.
    const StreamMap previous = controller->videos();
    enter("https://www.youtube.com/watch?v=RefusedVid1");
    ASSERT_TRUE(lookupEnds());
    answerSheet("Unable to download Video.",
                "Watch this video on YouTube. Playback/Downloading has been disabled by "
                "Youtube and the video owner.");
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(row(), TopRow::idle());
    EXPECT_EQ(preview(), QStringList());
    EXPECT_EQ(controller->videos(), previous);
}

TEST_F(MainViewControllerSiteTest, TheLastLookupToArriveDecidesAndAClosedWindowHearsNothingMore) {
    test::TestSite::shared().clearAccessLog();
    NotificationCenter& center = NotificationCenter::defaultCenter();
    const std::size_t observers = center.observerCount();
    auto closing = std::make_unique<MainWindow>();
    EXPECT_GT(center.observerCount(), observers);
    browserSends(QString("https://www.youtube.com/watch?v=AllStreams1"));  // both windows
    closing.reset();
    EXPECT_EQ(center.observerCount(), observers);
    // The second lookup fails before the first can answer; the first's answer still decides.
    browserSends(QString("https://www.youtube.com/watch?v="));
    EXPECT_EQ(row(), TopRow::idle());
    ASSERT_TRUE(test::waitUntil([&] { return controller->formatPopupButton()->count() == 4; }));
    EXPECT_EQ(row(), TopRow::formatsOffered());
    // Once the site has answered both and a later lookup has been answered too, the dropped
    // completion has had every chance to run (into freed memory, which the sanitizer reports).
    ASSERT_TRUE(test::waitUntil([] {
        return test::TestSite::shared().accessLogRequests().join('\n').count(
                   "video_id=AllStreams1") >= 2;
    }));
    enter("https://youtu.be/SomeStreams");
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(row(), TopRow::formatsOffered());
}

TEST_F(MainViewControllerSiteTest, TheClipboardsShortLinkIsLookedUpWhenTheWindowBecomesActive) {
    UserDefaults::standard().setValue(true, "ClipmoorPicksUpClipboardAddresses");
    QGuiApplication::clipboard()->setText("https://youtu.be/SomeStreams?t=42\n");
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(field->text(), "https://youtu.be/SomeStreams?t=42");
    ASSERT_TRUE(lookupEnds());
    // A video with some streams still offers all four formats.
    EXPECT_EQ(row(), TopRow::formatsOffered());
    EXPECT_EQ(sortedKeys(controller->videos()), QStringList({"140", "18"}));
}

}  // namespace
}  // namespace clipmoor
