#pragma once

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include "ui/player/qmr_media_player_view.h"

namespace clipmoor {

// Plays one media file in a player view: makes the media player, gives the window the
// picture's natural size (centred) once the file is loaded, and starts playback. A file
// without a picture plays its sound in a window of the default size; a file that cannot be
// played shows a message instead of the picture.
class QMRMediaPlayerViewController : public QObject {
    Q_OBJECT

public:
    explicit QMRMediaPlayerViewController(QObject* parent = nullptr);
    ~QMRMediaPlayerViewController() override;

    const QUrl& mediaURL() const { return mediaURL_; }
    void setMediaURL(const QUrl& url) { mediaURL_ = url; }

    // The view is owned by its window; the controller only refers to it.
    void setView(QMRMediaPlayerView* view) { view_ = view; }
    QMRMediaPlayerView* view() const { return view_; }

    // The title shown for a file without a picture.
    void setTitle(const QString& title) { title_ = title; }

    void play();
    void pause();

    // None before play.
    QMediaPlayer* mediaPlayer() const { return player_; }

    static constexpr const char* kNoTracksLogFormat =
        "%s - Something went wrong, there were no tracks from the media file. There should be at "
        "least one.";
    static constexpr const char* kCannotPlayMessage = "This file cannot be played.";

private:
    void mediaDidLoad();
    void mediaDidFail(const QString& reason);

    QUrl mediaURL_;
    QString title_;
    QPointer<QMRMediaPlayerView> view_;
    QPointer<QMediaPlayer> player_;
    QPointer<QAudioOutput> audioOutput_;
    bool sized_ = false;
};

}  // namespace clipmoor
