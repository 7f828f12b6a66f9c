// The internal player: its window's rules, and real files made with ffmpeg played through Qt
// Multimedia.
#include <QDir>
#include <QEnterEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMediaMetaData>
#include <QMediaPlayer>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "platform/notification_center.h"
#include "test_environment.h"
#include "ui/player/player_controls.h"
#include "ui/player/player_window_geometry.h"
#include "ui/player/qmr_media_player.h"
#include "ui/player/qmr_media_player_vendor.h"
#include "ui/player/qmr_media_player_view.h"
#include "ui/player/qmr_media_player_view_controller.h"
#include "ui/player/qmr_media_player_window.h"
#include "ui/player/qmr_media_player_window_controller.h"

namespace clipmoor {
namespace {

TEST(PlayerWindowGeometryTest, ContentSizeIsTheNaturalSizeFittedToTheScreen) {
    const struct {
        QSize natural, available, expected;
    } cases[] = {
        {{1280, 720}, {1920, 1050}, {1280, 720}},
        {{1280, 720}, {800, 600}, {800, 450}},     // too wide: scaled, proportions kept
        {{720, 1280}, {1920, 1050}, {590, 1050}},  // too tall
        {{}, {1920, 1050}, kDefaultPlayerSize},    // no picture
        {{0, 0}, {1920, 1050}, kDefaultPlayerSize},
        {{1280, 720}, {}, {1280, 720}},  // unknown screen: nothing to fit to
    };
    for (const auto& c : cases)
        EXPECT_EQ(playerContentSize(c.natural, c.available), c.expected)
            << c.natural.width() << "x" << c.natural.height();
    EXPECT_EQ(centeredRect({640, 360}, QRect(100, 50, 1000, 600)), QRect(280, 170, 640, 360));
}

TEST(PlayerWindowGeometryTest, UserResizeKeepsSixteenByNineLedByTheSideChangedMore) {
    const struct {
        QSize proposed, previous, expected;
    } cases[] = {
        {{1000, 450}, {800, 450}, {1000, 563}},  // wider
        {{800, 600}, {800, 450}, {1067, 600}},   // taller
        {{600, 300}, {800, 450}, {533, 300}},    // height shrank more
        {{1600, 900}, {800, 450}, {1600, 900}},  // already 16:9
        {{0, 0}, {800, 450}, {0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sizeKeepingAspectRatio(c.proposed, c.previous), c.expected)
            << c.proposed.width() << "x" << c.proposed.height();
}

TEST(PlayerWindowGeometryTest, ClicksCountWithinTheIntervalAndNearThePreviousOne) {
    const int interval = 400;
    const struct {
        const char* name;
        std::vector<std::pair<qint64, QPoint>> presses;
        std::vector<int> counts;
    } cases[] = {
        {"too slow", {{0, {10, 10}}, {401, {10, 10}}}, {1, 1}},
        {"moved away", {{0, {10, 10}}, {100, {40, 10}}}, {1, 1}},
        {"clock went back", {{500, {10, 10}}, {100, {10, 10}}}, {1, 1}},
        {"two doubles", {{0, {0, 0}}, {100, {0, 0}}, {900, {0, 0}}, {1000, {0, 0}}}, {1, 2, 1, 2}},
    };
    for (const auto& c : cases) {
        ClickCounter counter;
        std::vector<int> counts;
        for (const auto& [time, position] : c.presses)
            counts.push_back(counter.press(time, position, interval));
        EXPECT_EQ(counts, c.counts) << c.name;
    }
}

// Media files made with ffmpeg the first time a test asks for them, kept in the build tree and
// shared by the test processes: each appears in one rename, so a parallel test never sees half of
// one.
QString media(const QString& name, const QStringList& ffmpegArguments) {
    const QString folder = QStringLiteral(CLIPMOOR_TEST_MEDIA_DIR);
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name;
    if (QFileInfo(path).size() > 0) return path;
    const QString partial =
        path + QStringLiteral(".%1.part").arg(QCoreApplication::applicationPid());
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + ffmpegArguments +
                                               QStringList{"-f", "mp4", partial});
    EXPECT_TRUE(ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0)
        << "ffmpeg failed: " << ffmpeg.readAllStandardError().toStdString();
    QFile::rename(partial, path);  // another process may have won; its file is as good
    QFile::remove(partial);
    return path;
}
// H.264/AAC of this size, still playing at the end of a slow run.
QString video(const QString& size) {
    return media("video-" + size + "-10s.mp4",
                 {"-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=25", "-f", "lavfi", "-i",
                  "sine=frequency=440", "-t", "10", "-c:v", "libx264", "-preset", "ultrafast",
                  "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"});
}
QString audioOnly() {
    return media("audio-only-10s.m4a",
                 {"-f", "lavfi", "-i", "sine=frequency=440", "-t", "10", "-c:a", "aac"});
}

QMRMediaPlayerWindow* windowOf(QMRMediaPlayer* player) {
    return player->mediaPlayerWindowController()->window();
}
QMediaPlayer* mediaOf(QMRMediaPlayer* player) {
    return player->mediaPlayerViewController()->mediaPlayer();
}
QMRMediaPlayerView* viewOf(QMRMediaPlayer* player) {
    return player->mediaPlayerViewController()->view();
}

// Plays until the position has moved on from where it is now.
bool advances(QMediaPlayer* media) {
    const qint64 start = media->position();
    return test::waitUntil([&] { return media && media->position() > start + 100; });
}

class PlayerTest : public testing::Test {
protected:
    QMRMediaPlayer* play(const QString& file) {
        QMRMediaPlayer* player = vendor.mediaPlayerWithURL(QUrl::fromLocalFile(file), "Clip");
        player->showPlayer();
        return player;
    }
    static QRect available() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    QMRMediaPlayerVendor vendor;
};

void click(QWidget* window, qint64 timestamp, bool secondOfDouble) {
    const QPointF at(20, 20);
    const QPointF global = window->mapToGlobal(at);
    QMouseEvent press(secondOfDouble ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, at,
                      global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    press.setTimestamp(quint64(timestamp));
    QApplication::sendEvent(window, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    release.setTimestamp(quint64(timestamp + 10));
    QApplication::sendEvent(window, &release);
}

TEST_F(PlayerTest, WindowFitsTheScreenKeepsSixteenByNineAndASecondClickTogglesFullScreen) {
    using Page = QMRMediaPlayerView::Page;
    // A file without a picture plays on the sound page (in a window of the default size).
    for (const auto& [file, page] :
         {std::pair{video("640x360"), Page::Picture}, std::pair{video("1280x720"), Page::Picture},
          std::pair{audioOnly(), Page::AudioOnly}}) {
        SCOPED_TRACE(file.toStdString());
        QMRMediaPlayer* player = play(file);
        ASSERT_TRUE(advances(mediaOf(player)));
        const QSize natural =
            mediaOf(player)->metaData().value(QMediaMetaData::Resolution).toSize();
        QMRMediaPlayerWindow* window = windowOf(player);
        EXPECT_TRUE(window->isVisible());
        const QSize frame = window->frameGeometry().size() - window->size();
        EXPECT_EQ(window->size(), playerContentSize(natural, available().size() - frame));
        EXPECT_EQ(window->frameGeometry().center(), available().center());
        EXPECT_EQ(viewOf(player)->page(), page);
        if (page == Page::AudioOnly) {
            EXPECT_TRUE(viewOf(player)->findChild<QLabel*>()->parentWidget()->isVisible());
        }
    }
    // The screen is 800 wide here: the small video keeps its own size, the large one is fitted.
    QMRMediaPlayer* player360 = vendor.mediaPlayers()[0];
    QMRMediaPlayerWindow* window = windowOf(player360);
    ASSERT_EQ(window->size(), QSize(640, 360));
    // The user's resizing keeps 16:9.
    for (const QSize& dragged : {QSize(700, 360), QSize(700, 500)}) {
        const QSize before = window->size();
        window->resize(dragged);
        ASSERT_TRUE(test::waitUntil([&] { return window->size() != dragged; }));
        EXPECT_EQ(window->size(), sizeKeepingAspectRatio(dragged, before));
    }

    // The controls follow the pointer outside full screen.
    QWidget* controls = window->floatingControls();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), window->mapToGlobal(QPointF(5, 5)));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(window, &enter);
    EXPECT_TRUE(controls->isVisible());
    QApplication::sendEvent(window, &leave);
    EXPECT_FALSE(controls->isVisible());

    QApplication::sendEvent(window, &enter);
    click(window, 1000, false);  // a single click does nothing
    EXPECT_FALSE(window->isFullScreen());
    click(window, 3000, false);  // a triple click toggles once, at its second click
    click(window, 3100, true);
    click(window, 3200, false);
    EXPECT_TRUE(window->isFullScreen());

    // In full screen the pointer changes nothing; leaving full screen hides the controls.
    QApplication::sendEvent(window, &leave);
    EXPECT_TRUE(controls->isVisible());
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(window->isFullScreen());
    EXPECT_FALSE(controls->isVisible());

    // Space pauses and plays; the controls' button does the same.
    QMediaPlayer* media = mediaOf(player360);
    ASSERT_TRUE(
        test::waitUntil([&] { return media->playbackState() == QMediaPlayer::PlayingState; }));
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_EQ(media->playbackState(), QMediaPlayer::PausedState);
    EXPECT_EQ(viewOf(player360)->controls()->playPauseButton()->accessibleName(), "Play");
    viewOf(player360)->controls()->playPauseButton()->click();
    EXPECT_EQ(media->playbackState(), QMediaPlayer::PlayingState);
}

TEST_F(PlayerTest, PlayersAreIndependentAndClosingOneLeavesTheOthersPlaying) {
    QMRMediaPlayer* first = play(video("640x360"));
    QMRMediaPlayer* second = play(video("1280x720"));
    QMRMediaPlayer* again = play(video("640x360"));  // the same file twice
    ASSERT_EQ(vendor.mediaPlayers(), QList<QMRMediaPlayer*>({first, second, again}));
    for (QMRMediaPlayer* player : vendor.mediaPlayers()) ASSERT_TRUE(advances(mediaOf(player)));

    // The notification comes once, after the pause, while the player is still registered.
    QPointer<QMediaPlayer> closingMedia = mediaOf(first);
    QPointer<QMRMediaPlayer> closing = first;
    int notifications = 0;
    ObserverToken observer = NotificationCenter::defaultCenter().addObserver(
        kQMRMediaPlayerDidCloseNotification, [&](const Notification&) {
            ++notifications;
            ASSERT_TRUE(closingMedia);
            EXPECT_EQ(closingMedia->playbackState(), QMediaPlayer::PausedState);
        });
    QMRMediaPlayerWindow* window = windowOf(first);
    window->close();
    window->close();  // a second close of the same window changes nothing
    first->closePlayer();
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(vendor.mediaPlayers(), QList<QMRMediaPlayer*>({second, again}));
    EXPECT_TRUE(test::waitUntil([&] { return !closing && !closingMedia; }));  // let go of

    EXPECT_EQ(mediaOf(second)->playbackState(), QMediaPlayer::PlayingState);
    EXPECT_TRUE(advances(mediaOf(again)));

    // A notification about some other object changes nothing.
    observer.reset();
    QObject stranger;
    NotificationCenter::defaultCenter().post(kQMRMediaPlayerDidCloseNotification,
                                             QVariant::fromValue(&stranger));
    EXPECT_EQ(vendor.mediaPlayers().size(), 2);
}

TEST_F(PlayerTest, FileThatCannotBePlayedShowsAMessage) {
    QFile corrupt(test::privateHome() + QStringLiteral("/corrupt.mp4"));
    ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
    corrupt.write(QByteArray(64 * 1024, 'x'));
    corrupt.close();
    for (const QString& file :
         {corrupt.fileName(), test::privateHome() + QStringLiteral("/missing.mp4")}) {
        SCOPED_TRACE(file.toStdString());
        QMRMediaPlayer* player = play(file);
        QMRMediaPlayerView* view = viewOf(player);
        ASSERT_TRUE(
            test::waitUntil([&] { return view->page() == QMRMediaPlayerView::Page::Message; }));
        EXPECT_TRUE(view->messageLabel()->text().startsWith("This file cannot be played."));
        EXPECT_TRUE(view->messageLabel()->isVisible());
    }
}

}  // namespace
}  // namespace clipmoor
