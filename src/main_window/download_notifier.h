#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <unordered_map>

#include "platform/desktop_notifications.h"

namespace clipmoor {

class Video;

// Tells the desktop when a download is ready to play ("Ready to play" and the title; a click
// plays it) or has failed (a click brings the window forward), unless the main window is the
// active one: someone looking at the list sees it there.
//
// A download is followed from the moment its record gets an operation until it ends. "Ready"
// means the finished file is at the operation's destination with every byte the record
// received: a record also reads "finished" for a moment before its file is moved there, and
// another file of that name (whose move then fails) does not count.
class DownloadNotifier : public QObject {
    Q_OBJECT

public:
    // `window` is any widget of the main window.
    explicit DownloadNotifier(QWidget* window, QObject* parent = nullptr);
    ~DownloadNotifier() override;

    // Follows `video`, whose operation puts the finished file at `destinationPath`, until it
    // is finished or failed. Following it again starts over.
    void watch(const std::shared_ptr<Video>& video, const QString& destinationPath);
    int watchedCount() const { return static_cast<int>(watches_.size()); }

private:
    struct Watch {
        std::weak_ptr<Video> video;
        QString destinationPath;
        QMetaObject::Connection stateConnection;
        QMetaObject::Connection destroyedConnection;
    };

    // A regular file of `size` bytes (at least one) at `path`.
    static bool isFileInPlace(const QString& path, qint64 size);
    void stateChanged(const Video* key);
    void unwatch(const Video* key);
    bool isWindowActive() const;
    void bringWindowForward();

    QPointer<QWidget> window_;
    DesktopNotifications notifications_;
    std::unordered_map<const Video*, Watch> watches_;
};

}  // namespace clipmoor
