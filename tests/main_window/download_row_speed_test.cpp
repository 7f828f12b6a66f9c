// A row's speed and time left during a real, throttled download from the local site.
#include <QLabel>
#include <QRegularExpression>

#include "download_list_fixture.h"

namespace clipmoor {
namespace {

class DownloadRowSpeedTest : public test::DownloadListFixture {
protected:
    std::shared_ptr<Video> addDownload(const QString& fileName, const QUrl& url) {
        auto video = context()->insertNewObjectForEntityForName<Video>("Video");
        video->setVideoID("AllStreams1");
        video->setTitle(fileName);
        video->setFileName(fileName);
        video->setFileExtension("mp4");
        video->setDownloadURL(url.toString());
        video->setDownloadState(0);
        store->saveAction();
        context()->processPendingChanges();
        return video;
    }
    // With CLIPMOOR_SCREENSHOT_DIR set, keeps a picture of `widget` there.
    static void keepScreenshot(QWidget* widget, const QString& name) {
        const QString folder = qEnvironmentVariable("CLIPMOOR_SCREENSHOT_DIR");
        if (!folder.isEmpty()) widget->grab().save(folder + "/" + name);
    }
};

TEST_F(DownloadRowSpeedTest, ShowsSpeedAndTimeLeftOnlyWhileTheDownloadRuns) {
    test::TestSite& site = test::TestSite::shared();
    site.mediaFile("speed.mp4", 2'000'000);
    const auto video =
        addDownload("Speed test clip(medium)", site.slowMediaUrl("speed.mp4", 250'000));
    VideoItemView* row = rowView(0);
    ASSERT_NE(row, nullptr);
    QLabel* label = row->timeRemainingLabel();
    EXPECT_EQ(label->text(), "");

    // "250 KB/s · 5 s left": whatever the exact figures, a speed in the size texts' units and
    // a time left.
    const QRegularExpression running(QString::fromUtf8("^[0-9.]+ (KB|MB)/s · .+ left$"));
    ASSERT_TRUE(test::waitUntil([&] { return running.match(label->text()).hasMatch(); }))
        << qPrintable(label->text());
    EXPECT_TRUE(row->accessibleDescription().endsWith(", " + label->text()));
    keepScreenshot(row, "row-speed.png");
    keepScreenshot(window.get(), "window-speed.png");

    row->pauseDownload();
    ASSERT_TRUE(test::waitUntil([&] { return video->downloadState() == Video::Paused; }));
    EXPECT_TRUE(test::waitUntil([&] { return label->text().isEmpty(); }));

    row->pauseDownload();  // resumes
    ASSERT_TRUE(test::waitUntil([&] { return running.match(label->text()).hasMatch(); }, 60'000));
    ASSERT_TRUE(test::waitUntil([&] { return video->downloadState() == Video::Finished; }, 60'000));
    EXPECT_TRUE(test::waitUntil([&] { return label->text().isEmpty(); }));
}

}  // namespace
}  // namespace clipmoor
