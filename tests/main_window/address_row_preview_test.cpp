// The address row's preview of what a lookup found, and the clipboard's address taken in when
// the window becomes active, against the local copy of the site.
#include <QApplication>
#include <QClipboard>
#include <QLabel>

#include "main_window/thumbnail_loader.h"
#include "platform/user_defaults.h"
#include "test_site.h"
#include "top_row_probe.h"

namespace clipmoor {
namespace {

class AddressRowPreviewTest : public test::MainWindowFixture {
protected:
    static void SetUpTestSuite() { test::TestSite::shared(); }
    // Hidden, or the title and the author shown.
    QStringList shown() const {
        VideoPreviewView* preview = controller->videoPreview();
        if (preview->isHidden()) return {};
        return {preview->titleLabel()->text(), preview->authorLabel()->text()};
    }
};

TEST_F(AddressRowPreviewTest, ShowsWhatALookupFoundUntilTheFieldIsClearedOrALookupFails) {
    const QStringList found{"Test pattern: all formats", "Clipmoor Test Channel"};
    enter("https://www.youtube.com/watch?v=AllStreams1");
    EXPECT_EQ(shown(), QStringList());  // nothing while looking up
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(shown(), found);
    // The rows' picture of the video, through their cache.
    const QLabel* thumbnail = controller->videoPreview()->thumbnail();
    ASSERT_TRUE(test::waitUntil([&] { return !thumbnail->pixmap().isNull(); }));
    EXPECT_FALSE(controller->thumbnailLoader()
                     ->cachedImage(QUrl("https://i.ytimg.com/vi/AllStreams1/hqdefault.jpg"))
                     .isNull());
    for (QWidget* part : controller->videoPreview()->findChildren<QWidget*>())
        EXPECT_FALSE(part->accessibleName().isEmpty()) << part->objectName().toStdString();
    if (const QString folder = qEnvironmentVariable("CLIPMOOR_SCREENSHOT_DIR"); !folder.isEmpty())
        window->grab().save(folder + "/window-preview.png");

    type("");  // a click into the idle field empties it
    EXPECT_EQ(shown(), QStringList());
    EXPECT_TRUE(thumbnail->pixmap().isNull());

    enter("https://www.youtube.com/watch?v=AllStreams1");
    ASSERT_TRUE(lookupEnds());
    enter("https://www.youtube.com/watch?v=RefusedVid1");
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(shown(), QStringList());
    expectOneSheet("Unable to download Video.",
                   "Watch this video on YouTube. Playback/Downloading has been disabled by "
                   "Youtube and the video owner.");
}

TEST_F(AddressRowPreviewTest, TheClipboardsAddressIsLookedUpWhenTheWindowBecomesActive) {
    UserDefaults::standard().setValue(true, "ClipmoorPicksUpClipboardAddresses");
    QGuiApplication::clipboard()->setText("https://youtu.be/SomeStreams\n");
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(field->text(), "https://youtu.be/SomeStreams");
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(row(), test::TopRow::formatsOffered());
}

}  // namespace
}  // namespace clipmoor
