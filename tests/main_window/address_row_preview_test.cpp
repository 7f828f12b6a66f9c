// The address row's preview of what a lookup found, and the clipboard's address taken in when
// the window becomes active, against the local copy of the site.
#include <QApplication>
#include <QClipboard>
#include <QLabel>

#include "extractor/site_endpoints.h"
#include "main_window/thumbnail_loader.h"
#include "platform/user_defaults.h"
#include "test_site.h"
#include "top_row_probe.h"
#include "ui/video_preview_view.h"

namespace clipmoor {
namespace {

using test::TopRow;

class AddressRowPreviewTest : public test::MainWindowFixture {
protected:
    static void SetUpTestSuite() { test::TestSite::shared(); }

    VideoPreviewView* preview() const { return controller->videoPreview(); }
    // What the preview shows: hidden, or the title and the author.
    QStringList shown() const {
        if (preview()->isHidden()) return {};
        return {preview()->titleLabel()->text(), preview()->authorLabel()->text()};
    }
    bool hasThumbnail() const { return !preview()->thumbnail()->pixmap().isNull(); }
    // Another window takes the focus, then the main window gets it back.
    void activateAgain() {
        QWidget other;
        other.show();
        other.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
};

const QStringList kAllStreams{"Test pattern: all formats", "Clipmoor Test Channel"};

TEST_F(AddressRowPreviewTest, ShowsWhatALookupFoundUntilTheFieldIsClearedOrALookupFails) {
    EXPECT_EQ(shown(), QStringList());
    enter("https://www.youtube.com/watch?v=AllStreams1");
    EXPECT_EQ(shown(), QStringList());  // nothing while looking up
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(shown(), kAllStreams);
    EXPECT_EQ(preview()->videoID(), "AllStreams1");
    // The picture the rows use, through the same cache.
    ASSERT_TRUE(test::waitUntil([&] { return hasThumbnail(); }));
    EXPECT_FALSE(controller->thumbnailLoader()
                     ->cachedImage(SiteEndpoints::thumbnailURL("AllStreams1"))
                     .isNull());
    EXPECT_EQ(preview()->accessibleDescription(),
              "Test pattern: all formats, by Clipmoor Test Channel");
    for (QWidget* part : preview()->findChildren<QWidget*>())
        EXPECT_FALSE(part->accessibleName().isEmpty()) << part->objectName().toStdString();
    const QString folder = qEnvironmentVariable("CLIPMOOR_SCREENSHOT_DIR");
    if (!folder.isEmpty()) window->grab().save(folder + "/window-preview.png");

    type("");  // a click into the idle field empties it
    EXPECT_EQ(shown(), QStringList());
    EXPECT_FALSE(hasThumbnail());

    enter("https://youtu.be/SomeStreams");
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(shown().value(0), "Test pattern: two formats");
    enter("https://www.youtube.com/watch?v=RefusedVid1");
    ASSERT_TRUE(lookupEnds());
    expectOneSheet("Unable to download Video.",
                   "Watch this video on YouTube. Playback/Downloading has been disabled by "
                   "Youtube and the video owner.");
    EXPECT_EQ(shown(), QStringList());
    EXPECT_EQ(row(), TopRow::idle());
}

TEST_F(AddressRowPreviewTest, TheClipboardsAddressIsLookedUpOnActivationOncePerAddress) {
    UserDefaults::standard().setValue(true, "ClipmoorPicksUpClipboardAddresses");
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("https://www.youtube.com/watch?v=AllStreams1\n");
    activateAgain();
    EXPECT_EQ(field->text(), "https://www.youtube.com/watch?v=AllStreams1");
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(row(), TopRow::formatsOffered());
    EXPECT_EQ(shown(), kAllStreams);

    // The same address is not taken again, even after the field was emptied.
    type("");
    activateAgain();
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(row(), TopRow::idle());

    clipboard->setText("https://youtu.be/SomeStreams");
    activateAgain();
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(field->text(), "https://youtu.be/SomeStreams");
    EXPECT_EQ(row(), TopRow::formatsOffered());

    // Nothing once the preference is off, nor for text that names no video.
    clipboard->setText("https://www.youtube.com/watch?v=AllStreams1");
    UserDefaults::standard().setValue(false, "ClipmoorPicksUpClipboardAddresses");
    type("");
    activateAgain();
    EXPECT_EQ(field->text(), "");
    UserDefaults::standard().setValue(true, "ClipmoorPicksUpClipboardAddresses");
    clipboard->setText("https://example.com/");
    activateAgain();
    EXPECT_EQ(field->text(), "");
    EXPECT_TRUE(openSheets().isEmpty());
}

}  // namespace
}  // namespace clipmoor
