// A row's speed and time left during a real, throttled download from the local site.
#include <QLabel>
#include <QRegularExpression>

#include "download_list_fixture.h"

namespace clipmoor {
namespace {

class DownloadRowSpeedTest : public test::DownloadListFixture {};

TEST_F(DownloadRowSpeedTest, ShowsSpeedAndTimeLeftOnlyWhileTheDownloadRuns) {
    test::TestSite& site = test::TestSite::shared();
    site.mediaFile("speed.mp4", 2'000'000);
    const auto video = context()->insertNewObjectForEntityForName<Video>("Video");
    video->setVideoID("AllStreams1");
    video->setTitle("Speed test clip");
    video->setFileName("Speed test clip(medium)");
    video->setFileExtension("mp4");
    video->setDownloadURL(site.slowMediaUrl("speed.mp4", 250'000).toString());
    store->saveAction();
    context()->processPendingChanges();  // the row appears and starts the download
    QLabel* label = rowView(0)->timeRemainingLabel();
    EXPECT_EQ(label->text(), "");

    // "250 KB/s · 5 s left": a speed in the size texts' units, then the time left.
    const QRegularExpression running(QString::fromUtf8("^[0-9.]+ (KB|MB)/s · .+ left$"));
    ASSERT_TRUE(test::waitUntil([&] { return running.match(label->text()).hasMatch(); }))
        << qPrintable(label->text());
    EXPECT_TRUE(rowView(0)->accessibleDescription().endsWith(", " + label->text()));
    if (const QString folder = qEnvironmentVariable("CLIPMOOR_SCREENSHOT_DIR"); !folder.isEmpty())
        window->grab().save(folder + "/window-speed.png");

    rowView(0)->pauseDownload();
    ASSERT_TRUE(test::waitUntil([&] { return video->downloadState() == Video::Paused; }));
    EXPECT_TRUE(test::waitUntil([&] { return label->text().isEmpty(); }));
}

}  // namespace
}  // namespace clipmoor
