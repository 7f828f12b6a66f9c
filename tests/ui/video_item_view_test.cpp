#include <QAccessible>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "download/clipmoor_model.h"
#include "download/video.h"
#include "download/video_presenter.h"
#include "platform/notification_center.h"
#include "platform/user_defaults.h"
#include "store/core_data_controller.h"
#include "test_environment.h"
#include "ui/qmr_progress_indicator.h"
#include "ui/video_item_view.h"

namespace clipmoor {
namespace {

struct PlayRecorder : VideoPresenter {
    void showSheet(const QString&, const QString&, const QStringList&,
                   std::function<void(int)>) override {}
    void playMediaFile(const QUrl& url, const QString&) override { played.append(url); }
    void showFeedbackDialog() override {}
    QList<QUrl> played;
};

class VideoItemViewTest : public testing::Test {
protected:
    void SetUp() override {
        view.resize(600, VideoItemView::kRowHeight);
        view.show();
        view.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    }
    std::shared_ptr<Video> newVideo(const QString& title, qint16 state) {
        auto video = store.managedObjectContext()->insertNewObjectForEntityForName<Video>("Video");
        video->setTitle(title);
        video->setFileName(title);
        video->setFileExtension("mp4");
        video->setDownloadState(state);
        return video;
    }
    void settle() { test::spinEventLoop(2 * VideoItemView::kRefreshIntervalMs); }
    // Makes `name`.mp4 in a download folder of the test's own; returns its path.
    static QString downloadedFile(const QString& name) {
        const QString folder = test::privateHome() + "/Downloads";
        QDir().mkpath(folder);
        UserDefaults::standard().setValue(folder, "ClipmoorMediaDownloadPath");
        QFile file(folder + "/" + name + ".mp4");
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("data");
        return file.fileName();
    }

    CoreDataController store{loadClipmoorModel};
    VideoItemView view;
};

TEST_F(VideoItemViewTest, ScreenReadersReadThePlainTitleAndEveryControlHasAName) {
    auto video = newVideo("<b>Live</b> & <img src=x>", 3);
    video->setSizeRemainingString("5 kB of 10 kB");
    video->setPercentRemainingString("50%");
    view.setVideo(video);

    QAccessibleInterface* row = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->text(QAccessible::Name), "<b>Live</b> & <img src=x>");
    EXPECT_EQ(view.videoTitleTextField()->textFormat(), Qt::PlainText);
    EXPECT_EQ(row->text(QAccessible::Description), "5 kB of 10 kB, 50%");

    video->setDownloadState(2);
    video->setSizeRemainingString("Ready to play: 10 kB");
    video->setShouldHidePercentRemainingIndicator(true);
    settle();
    EXPECT_EQ(row->text(QAccessible::Description), "Ready to play: 10 kB");
    for (QWidget* control : view.findChildren<QWidget*>()) {
        if (qobject_cast<QMenu*>(control)) continue;
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
    }
}

TEST_F(VideoItemViewTest, ARowFollowsOnlyItsRecordRepaintingAtMostTenTimesASecond) {
    auto first = newVideo("First", 4);
    first->setTotalBytesExpected(100000);
    view.setVideo(first);
    const int before = view.refreshCount();
    for (int written = 1; written <= 100000; written += 10) first->setTotalBytesWritten(written);
    EXPECT_LE(view.refreshCount() - before, 1);
    ASSERT_TRUE(
        test::waitUntil([&] { return view.downloadProgressIndicator()->doubleValue() == 99991; }));
    EXPECT_LE(view.refreshCount() - before, 2);
    EXPECT_EQ(view.downloadProgressIndicator()->maxValue(), 100000);
    first->setDownloadState(4);
    settle();
    EXPECT_EQ(view.sizeRemainingLabel()->palette().color(QPalette::WindowText), Qt::red);

    // Reused for another record, it follows that one alone.
    view.setVideo(newVideo("Second", 0));
    EXPECT_EQ(view.sizeRemainingLabel()->palette().color(QPalette::WindowText), Qt::black);
    EXPECT_EQ(view.videoTitleTextField()->text(), "Second");
    const int refreshes = view.refreshCount();
    first->setDownloadState(3);
    first->setTitle("Renamed");
    settle();
    EXPECT_EQ(view.refreshCount(), refreshes);
    EXPECT_TRUE(view.pauseDownloadButton()->isHidden());
    EXPECT_EQ(view.videoTitleTextField()->text(), "Second");
}

TEST_F(VideoItemViewTest, KeyboardActsOnTheRowAndAFailedRowRetriesThroughTheMenuItem) {
    // A finished record whose file is there: Space plays it.
    const QString file = downloadedFile("Song");
    PlayRecorder presenter;
    Video::setPresenter(&presenter);
    auto video = newVideo("Song", 2);
    view.setVideo(video);
    EXPECT_TRUE(view.pauseDownloadButton()->isHidden());
    EXPECT_TRUE(view.removeVideoButton()->isHidden());

    view.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(test::waitUntil([&] { return view.removeVideoButton()->isVisible(); }));
    EXPECT_TRUE(view.pauseDownloadButton()->isVisible());

    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_EQ(presenter.played, QList<QUrl>{QUrl::fromLocalFile(file)});
    Video::setPresenter(nullptr);

    QList<ObjectID> removed;
    ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        kClipmoorItemDeleteItemNotification,
        [&](const Notification& n) { removed.append(n.object.value<ObjectID>()); });
    QTest::keyClick(&view, Qt::Key_Delete);
    EXPECT_EQ(removed, QList<ObjectID>{video->objectID()});

    // The menu, last opened for the finished record, leaves its "Retry" disabled.
    QTest::keyClick(&view, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(test::waitUntil([&] { return view.menu()->isVisible(); }));
    view.menu()->close();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));

    QList<std::shared_ptr<Video>> retried;
    QAction* retry = view.menu()->actions().value(3);
    ASSERT_TRUE(retry);
    QObject::connect(retry, &QAction::triggered,
                     [&] { retried.append(retry->data().value<std::weak_ptr<Video>>().lock()); });
    auto failed = newVideo("Failed", 4);
    view.setVideo(failed);
    view.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(test::waitUntil([&] { return view.pauseDownloadButton()->isVisible(); }));
    EXPECT_EQ(view.pauseDownloadButton()->accessibleName(), "Retry");
    QTest::mouseClick(view.pauseDownloadButton(), Qt::LeftButton);
    EXPECT_EQ(retried, QList<std::shared_ptr<Video>>({failed}));
    failed->setDownloadState(0);  // queued again, as a retry leaves it: Space does nothing
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_EQ(retried.size(), 1);
}

TEST_F(VideoItemViewTest, OnlyAFinishedRowWhoseFileIsThereDragsTheFileOut) {
    const QString file = downloadedFile("On disk");
    const struct {
        const char* fileName;
        qint16 state;
        bool draggable;
    } cases[] = {{"On disk", 2, true}, {"Gone", 2, false}, {"On disk", 3, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fileName << " in state " << c.state);
        view.setVideo(newVideo(c.fileName, c.state));
        const std::unique_ptr<QMimeData> data(view.dragMimeData());
        EXPECT_EQ(data != nullptr, c.draggable);  // the drag below shows what it carries
    }
    view.setVideo(nullptr);
    EXPECT_EQ(view.dragMimeData(), nullptr);

    // Pressing a draggable row and moving away starts the drag with that data.
    view.setVideo(newVideo("On disk", 2));
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(100, 30));
    QTest::mouseMove(&view, QPoint(160, 40));
    QDrag* drag = view.findChild<QDrag*>();
    ASSERT_NE(drag, nullptr);
    EXPECT_EQ(drag->mimeData()->urls(), QList<QUrl>{QUrl::fromLocalFile(file)});
}

}  // namespace
}  // namespace clipmoor
