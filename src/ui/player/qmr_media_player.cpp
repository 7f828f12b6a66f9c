#include "ui/player/qmr_media_player.h"

#include <QVariant>

#include "platform/notification_center.h"
#include "ui/player/player_controls.h"
#include "ui/player/qmr_media_player_view.h"
#include "ui/player/qmr_media_player_view_controller.h"
#include "ui/player/qmr_media_player_window_controller.h"

namespace clipmoor {

QMRMediaPlayer::QMRMediaPlayer(const QUrl& url, QObject* parent) : QObject(parent), mediaURL_(url) {
    prepareControllers();
}

QMRMediaPlayer::~QMRMediaPlayer() = default;

void QMRMediaPlayer::prepareControllers() {
    auto* window = new QMRMediaPlayerWindow;
    window->setDelegate(this);
    mediaPlayerWindowController_ = std::make_unique<QMRMediaPlayerWindowController>(window);

    mediaPlayerViewController_ = std::make_unique<QMRMediaPlayerViewController>();
    mediaPlayerWindowController_->setContentViewController(mediaPlayerViewController_.get());

    auto* view = new QMRMediaPlayerView;
    window->setContentView(view);
    window->setFloatingControls(view->controls());
    connect(view->controls(), &PlayerControls::fullScreenRequested, window,
            &QMRMediaPlayerWindow::handleDoubleClickEvent);
    connect(view->controls(), &PlayerControls::closeRequested, window, &QWidget::close);
    mediaPlayerViewController_->setView(view);
    mediaPlayerViewController_->setMediaURL(mediaURL_);
}

void QMRMediaPlayer::setTitle(const QString& title) {
    title_ = title;
    if (mediaPlayerViewController_) mediaPlayerViewController_->setTitle(title);
    // Shown by the desktop in the window list; the window itself carries no title text.
    if (mediaPlayerWindowController_ && mediaPlayerWindowController_->window())
        mediaPlayerWindowController_->window()->setWindowTitle(title);
}

void QMRMediaPlayer::showPlayer() {
    if (!mediaPlayerViewController_ || !mediaPlayerWindowController_) return;
    mediaPlayerViewController_->play();
    mediaPlayerWindowController_->showWindow(this);
}

void QMRMediaPlayer::closePlayer() {
    if (mediaPlayerWindowController_) mediaPlayerWindowController_->close();
}

void QMRMediaPlayer::windowWillClose(QMRMediaPlayerWindow* window) {
    if (mediaPlayerViewController_) mediaPlayerViewController_->pause();
    // Both controllers go once the window's close event is over: the window is still in the
    // middle of handling it.
    if (mediaPlayerViewController_) mediaPlayerViewController_.release()->deleteLater();
    if (mediaPlayerWindowController_) mediaPlayerWindowController_.release()->deleteLater();
    if (window) window->setDelegate(nullptr);
    NotificationCenter::defaultCenter().post(
        QString::fromLatin1(kQMRMediaPlayerDidCloseNotification),
        QVariant::fromValue<QObject*>(this));
}

}  // namespace clipmoor
