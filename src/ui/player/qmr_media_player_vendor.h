#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

#include <memory>
#include <vector>

#include "platform/notification_center.h"

namespace clipmoor {

class QMRMediaPlayer;

// The application's registry of open players, in the order they were made. It makes them and
// lets go of each when its window closes ("QMRMediaPlayerDidClose").
class QMRMediaPlayerVendor : public QObject {
    Q_OBJECT

public:
    explicit QMRMediaPlayerVendor(QObject* parent = nullptr);
    ~QMRMediaPlayerVendor() override;

    // A new player for the file at `url`, registered but not shown: call showPlayer on it.
    QMRMediaPlayer* mediaPlayerWithURL(const QUrl& url, const QString& title);
    QList<QMRMediaPlayer*> mediaPlayers() const;

    // Forgets the player the notification names; any other object changes nothing.
    void handleMediaPlayerDidClose(const Notification& notification);

private:
    void prepareVendor();

    std::vector<std::unique_ptr<QMRMediaPlayer>> mediaPlayers_;
    ObserverToken closeObserver_;
};

}  // namespace clipmoor
