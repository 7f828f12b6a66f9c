#pragma once

#include <QByteArray>
#include <QCache>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

namespace clipmoor {

// Fetches the thumbnails of download rows on the shared session, decodes them off the main
// thread, already scaled to the row's size, and keeps the decoded images in a cache bounded by
// count and keyed by address, so a list of any length holds only a few hundred images.
// Failures of any kind leave the row without a thumbnail, silently.
class ThumbnailLoader : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 kMaximumBodyBytes = 2 * 1024 * 1024;
    // Larger declared dimensions are refused before anything is allocated for the pixels.
    static constexpr int kMaximumDimension = 8192;
    static constexpr qint64 kMaximumPixels = 4096LL * 4096LL;

    explicit ThumbnailLoader(QSize size, int cacheCapacity = 300, QObject* parent = nullptr);
    ~ThumbnailLoader() override;

    QSize size() const { return size_; }
    // The decoded thumbnail of `url`, or a null image when it is not cached.
    QImage cachedImage(const QUrl& url) const;
    // Fetches `url` and, on the main thread, caches the image and hands it to `done`, unless
    // `receiver` is gone by then or the fetch or the decoding failed.
    void load(const QUrl& url, const QObject* receiver, std::function<void(const QImage&)> done);
    int cachedCount() const { return static_cast<int>(cache_.count()); }
    // Fetches whose answer has not been handled yet.
    int fetchesUnderWay() const;

    // The image in `data`, scaled to fit `size` (aspect ratio kept); null for anything too
    // large, undecodable or absurd in its declared dimensions.
    static QImage decode(const QByteArray& data, QSize size);

private:
    QSize size_;
    QCache<QString, QImage> cache_;
    // Shared with the completions that run on other threads: whether the loader still exists
    // and how many decodings are under way, so the loader can wait for them when it goes (a
    // decoding must not outlive the application's image plug-ins at exit).
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace clipmoor
