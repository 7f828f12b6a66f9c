#include "ui/player/qmr_media_player_view_controller.h"

#include <QAudioOutput>
#include <QMediaMetaData>
#include <QMediaPlayer>

#include "ui/player/qmr_media_player_view.h"
#include "ui/player/qmr_media_player_window.h"

namespace clipmoor {

QMRMediaPlayerViewController::QMRMediaPlayerViewController(QObject* parent) : QObject(parent) {}

QMRMediaPlayerViewController::~QMRMediaPlayerViewController() {
    // The view outlives this controller only briefly (its window goes away on the next turn of
    // the event loop); it must not keep driving a player that is gone.
    if (view_) view_->setPlayer(nullptr, nullptr);
}

void QMRMediaPlayerViewController::play() {
    if (!player_) {
        player_ = new QMediaPlayer(this);
        audioOutput_ = new QAudioOutput(this);
        player_->setAudioOutput(audioOutput_);
        connect(
            player_, &QMediaPlayer::mediaStatusChanged, this,
            [this](QMediaPlayer::MediaStatus status) {
                if (status == QMediaPlayer::LoadedMedia || status == QMediaPlayer::BufferedMedia)
                    mediaDidLoad();
                else if (status == QMediaPlayer::InvalidMedia)
                    mediaDidFail(player_->errorString());
            });
        connect(player_, &QMediaPlayer::errorOccurred, this,
                [this](QMediaPlayer::Error, const QString& reason) { mediaDidFail(reason); });
        if (view_) view_->setPlayer(player_, audioOutput_);
        if (mediaURL_.isEmpty()) {
            mediaDidFail(QStringLiteral("The player was given no file."));
            return;
        }
        player_->setSource(mediaURL_);
    }
    player_->play();
}

void QMRMediaPlayerViewController::pause() {
    if (player_) player_->pause();
}

void QMRMediaPlayerViewController::mediaDidLoad() {
    if (sized_ || !player_) return;
    sized_ = true;
    QSize naturalSize;
    if (player_->hasVideo()) {
        naturalSize = player_->metaData().value(QMediaMetaData::Resolution).toSize();
        const auto tracks = player_->videoTracks();
        if (!naturalSize.isValid() && !tracks.isEmpty())
            naturalSize = tracks.first().value(QMediaMetaData::Resolution).toSize();
    } else {
        qWarning(kNoTracksLogFormat, "-[QMRMediaPlayerViewController play]");
        if (view_) view_->showAudioOnly(title_);
    }
    if (!view_) return;
    if (auto* window = qobject_cast<QMRMediaPlayerWindow*>(view_->window()))
        window->setContentSizeCentered(naturalSize);
}

void QMRMediaPlayerViewController::mediaDidFail(const QString& reason) {
    // Shown once: a failing file often reports several errors in a row.
    if (!view_ || view_->page() == QMRMediaPlayerView::Page::Message) return;
    QString message = QString::fromUtf8(kCannotPlayMessage);
    if (!reason.isEmpty()) message += QLatin1Char('\n') + reason;
    view_->showMessage(message);
    sized_ = true;
}

}  // namespace clipmoor
