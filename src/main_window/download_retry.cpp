#include "main_window/download_retry.h"

#include <QPointer>

#include "download/downloader.h"
#include "download/video.h"
#include "extractor/vx_youtube_extractor.h"

namespace clipmoor {

DownloadRetry::DownloadRetry(std::function<void(const std::shared_ptr<Video>&)> giveOperation,
                             QObject* parent)
    : QObject(parent), giveOperation_(std::move(giveOperation)) {}

DownloadRetry::~DownloadRetry() = default;

bool DownloadRetry::isLookingUp(const Video& video) const {
    const auto found = lookingUp_.find(&video);
    return found != lookingUp_.end() && !found->second.expired();
}

void DownloadRetry::retry(const std::shared_ptr<Video>& video) {
    if (!video || video->isDeleted() || video->downloadState() != Video::Failed ||
        isLookingUp(*video))
        return;
    // A failed operation has finished; one still attached is let go of before a new one comes.
    if (const auto previous = video->downloader().lock()) {
        previous->setDelegate({});
        previous->prepareToCancel();
    }
    video->setDownloader({});
    const bool addressExpired = video->downloadAddressExpired();
    video->prepareForRetry();
    if (!addressExpired) {
        giveOperation_(video);
        return;
    }
    const Video* key = video.get();
    lookingUp_[key] = video;
    const QString itag = video->itag();
    const QPointer<DownloadRetry> self(this);
    const std::weak_ptr<Video> weakVideo = video;
    VXYouTubeExtractor::sharedInstance().extractVideoForIdentifier(
        video->videoID(), [self, key, weakVideo, itag](const std::optional<StreamMap>& videos,
                                                       const std::optional<Error>&) {
            const QString address =
                videos ? videos->value(itag).value(QStringLiteral("url")) : QString();
            if (self) self->addressLookupDidFinish(key, weakVideo, address);
        });
}

void DownloadRetry::addressLookupDidFinish(const Video* key, const std::weak_ptr<Video>& weakVideo,
                                           const QString& address) {
    lookingUp_.erase(key);
    const auto video = weakVideo.lock();
    // Removed from the list meanwhile, or changed by something else: nothing to continue.
    if (!video || video->isDeleted() || video->downloadState() != Video::Queued ||
        !video->downloader().expired())
        return;
    if (address.isEmpty()) {
        // The video or the stream is gone: failed again; a later retry looks up again.
        video->setDownloadState(Video::Failed);
        return;
    }
    video->replaceDownloadAddress(address);
    giveOperation_(video);
}

}  // namespace clipmoor
