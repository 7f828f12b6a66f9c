#include "ui/player/qmr_media_player_vendor.h"

#include <algorithm>

#include "ui/player/qmr_media_player.h"

namespace clipmoor {

QMRMediaPlayerVendor::QMRMediaPlayerVendor(QObject* parent) : QObject(parent) {
    prepareVendor();
}

QMRMediaPlayerVendor::~QMRMediaPlayerVendor() = default;

void QMRMediaPlayerVendor::prepareVendor() {
    closeObserver_ = NotificationCenter::defaultCenter().addObserver(
        QString::fromLatin1(kQMRMediaPlayerDidCloseNotification),
        [this](const Notification& notification) { handleMediaPlayerDidClose(notification); });
}

QMRMediaPlayer* QMRMediaPlayerVendor::mediaPlayerWithURL(const QUrl& url, const QString& title) {
    auto player = std::make_unique<QMRMediaPlayer>(url);
    player->setTitle(title);
    mediaPlayers_.push_back(std::move(player));
    return mediaPlayers_.back().get();
}

QList<QMRMediaPlayer*> QMRMediaPlayerVendor::mediaPlayers() const {
    QList<QMRMediaPlayer*> players;
    for (const auto& player : mediaPlayers_) players.append(player.get());
    return players;
}

void QMRMediaPlayerVendor::handleMediaPlayerDidClose(const Notification& notification) {
    auto* closing = notification.object.value<QObject*>();
    const auto found =
        std::find_if(mediaPlayers_.begin(), mediaPlayers_.end(),
                     [closing](const auto& player) { return player.get() == closing; });
    if (found == mediaPlayers_.end()) return;
    // The notification comes from inside the player's own close handling, so the player goes
    // once that is over.
    found->release()->deleteLater();
    mediaPlayers_.erase(found);
}

}  // namespace clipmoor
