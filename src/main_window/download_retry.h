#pragma once

#include <QObject>

#include <functional>
#include <map>
#include <memory>

namespace clipmoor {

class Video;

// Retries failed downloads. The record goes back to queued and gets a new operation, which
// continues from the record's resume data (the bytes a cut connection left) or starts over. When
// the media host refused the stream's address (it expires), the video is first looked up again
// through the information endpoint and the same stream (same itag) continues from its new
// address; without one the record fails again. Main thread only.
class DownloadRetry : public QObject {
    Q_OBJECT

public:
    // `giveOperation` gives a queued record a new operation on the download queue.
    explicit DownloadRetry(std::function<void(const std::shared_ptr<Video>&)> giveOperation,
                           QObject* parent = nullptr);
    ~DownloadRetry() override;

    // Does nothing unless `video` has failed (state 4) and is not already being retried.
    void retry(const std::shared_ptr<Video>& video);
    // True while `video` waits for its new address: it must get no operation meanwhile.
    bool isLookingUp(const Video& video) const;

private:
    void addressLookupDidFinish(const Video* key, const std::weak_ptr<Video>& video,
                                const QString& address);

    std::function<void(const std::shared_ptr<Video>&)> giveOperation_;
    std::map<const Video*, std::weak_ptr<Video>> lookingUp_;
};

}  // namespace clipmoor
