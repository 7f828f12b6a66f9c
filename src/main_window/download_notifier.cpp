#include "main_window/download_notifier.h"

#include <QFile>

#include <sys/stat.h>

#include "download/video.h"

namespace clipmoor {

DownloadNotifier::DownloadNotifier(QWidget* window, QObject* parent)
    : QObject(parent),
      window_(window),
      notifications_({QStringLiteral("Clipmoor"), QStringLiteral("clipmoor"),
                      QStringLiteral("app.clipmoor.Clipmoor")}) {}

DownloadNotifier::~DownloadNotifier() {
    for (const auto& [key, watch] : watches_) {
        disconnect(watch.stateConnection);
        disconnect(watch.destroyedConnection);
    }
}

void DownloadNotifier::watch(const std::shared_ptr<Video>& video, const QString& destinationPath) {
    if (!video) return;
    const Video* key = video.get();
    unwatch(key);
    Watch watch{video, destinationPath, {}, {}};
    watch.stateConnection = connect(video.get(), &Video::downloadStateChanged, this,
                                    [this, key] { stateChanged(key); });
    watch.destroyedConnection =
        connect(video.get(), &QObject::destroyed, this, [this, key] { unwatch(key); });
    watches_.emplace(key, std::move(watch));
}

void DownloadNotifier::unwatch(const Video* key) {
    const auto found = watches_.find(key);
    if (found == watches_.end()) return;
    disconnect(found->second.stateConnection);
    disconnect(found->second.destroyedConnection);
    watches_.erase(found);
}

bool DownloadNotifier::isFileInPlace(const QString& path, qint64 size) {
    if (path.isEmpty() || size < 1) return false;
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode) &&
           status.st_size == size;
}

void DownloadNotifier::stateChanged(const Video* key) {
    const auto found = watches_.find(key);
    if (found == watches_.end()) return;
    const std::shared_ptr<Video> video = found->second.video.lock();
    if (!video || video->isDeleted()) {
        unwatch(key);
        return;
    }
    const qint16 state = video->downloadState();
    if (state == Video::Finished) {
        // The first "finished" comes with the last progress report, before the file is moved
        // into place; the file itself says when it is there.
        if (!isFileInPlace(found->second.destinationPath, video->totalBytesWritten())) return;
    } else if (state != Video::Failed) {
        return;
    }
    unwatch(key);
    if (isWindowActive()) return;
    const QString title = video->title().isEmpty() ? video->fileName() : video->title();
    DesktopNotifications::Notification notification;
    notification.body = title;
    if (state == Video::Finished) {
        notification.summary = tr("Ready to play");
        notification.category = QStringLiteral("transfer.complete");
        notification.actionLabel = tr("Play");
        notification.activated = [shown = std::weak_ptr<Video>(video)] {
            const std::shared_ptr<Video> record = shown.lock();
            if (record && !record->isDeleted()) record->play();
        };
    } else {
        notification.summary = tr("Download failed");
        notification.category = QStringLiteral("transfer.error");
        notification.actionLabel = tr("Show");
        notification.activated = [self = QPointer<DownloadNotifier>(this)] {
            if (self) self->bringWindowForward();
        };
    }
    notifications_.notify(std::move(notification));
}

bool DownloadNotifier::isWindowActive() const {
    return window_ && window_->window()->isActiveWindow();
}

void DownloadNotifier::bringWindowForward() {
    if (!window_) return;
    QWidget* window = window_->window();
    if (window->isMinimized()) window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace clipmoor
