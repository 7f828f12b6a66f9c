#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

#include "ui/player/qmr_media_player_window.h"

namespace clipmoor {

class QMRMediaPlayerViewController;
class QMRMediaPlayerWindowController;

inline constexpr const char* kQMRMediaPlayerDidCloseNotification = "QMRMediaPlayerDidClose";

// One player: a window of its own that plays one media file. It is made for an address and
// cannot exist without one (there is no default constructor). When its window closes it
// pauses, lets go of its window, and posts "QMRMediaPlayerDidClose" with itself as the object,
// once. A closed player is never shown again.
class QMRMediaPlayer : public QObject, public QMRMediaPlayerWindowDelegate {
    Q_OBJECT

public:
    QMRMediaPlayer() = delete;
    explicit QMRMediaPlayer(const QUrl& url, QObject* parent = nullptr);
    ~QMRMediaPlayer() override;

    const QString& title() const { return title_; }
    // Kept with the player and shown for a file without a picture.
    void setTitle(const QString& title);
    const QUrl& mediaURL() const { return mediaURL_; }

    // None once the window has closed.
    QMRMediaPlayerWindowController* mediaPlayerWindowController() const {
        return mediaPlayerWindowController_.get();
    }
    QMRMediaPlayerViewController* mediaPlayerViewController() const {
        return mediaPlayerViewController_.get();
    }

    // Starts playback and shows the window.
    void showPlayer();
    // Closes the window, as its close button does.
    void closePlayer();

    void windowWillClose(QMRMediaPlayerWindow* window) override;

private:
    void prepareControllers();

    QString title_;
    QUrl mediaURL_;
    std::unique_ptr<QMRMediaPlayerWindowController> mediaPlayerWindowController_;
    std::unique_ptr<QMRMediaPlayerViewController> mediaPlayerViewController_;
};

}  // namespace clipmoor
