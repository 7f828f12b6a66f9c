#include "main_window/thumbnail_loader.h"

#include <QBuffer>
#include <QImageReader>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/http/url_session.h"
#include "platform/http/url_session_data_task.h"
#include "platform/main_queue.h"

namespace clipmoor {

struct ThumbnailLoader::Shared {
    std::mutex mutex;
    std::condition_variable idle;
    ThumbnailLoader* loader = nullptr;  // read on the main thread only
    bool alive = true;
    int decoding = 0;
    std::atomic<int> underWay{0};
};

int ThumbnailLoader::fetchesUnderWay() const {
    return shared_->underWay.load();
}

ThumbnailLoader::ThumbnailLoader(QSize size, int cacheCapacity, QObject* parent)
    : QObject(parent), size_(size), shared_(std::make_shared<Shared>()) {
    shared_->loader = this;
    cache_.setMaxCost(std::max(1, cacheCapacity));
}

ThumbnailLoader::~ThumbnailLoader() {
    std::unique_lock lock(shared_->mutex);
    shared_->alive = false;
    shared_->loader = nullptr;
    // Decoding is bounded (a small body, a bounded size), so this wait is short.
    shared_->idle.wait(lock, [&] { return shared_->decoding == 0; });
}

QImage ThumbnailLoader::cachedImage(const QUrl& url) const {
    const QImage* image = cache_.object(url.toString());
    return image ? *image : QImage();
}

QImage ThumbnailLoader::decode(const QByteArray& data, QSize size) {
    if (data.isEmpty() || data.size() > kMaximumBodyBytes) return {};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize declared = reader.size();
    if (!declared.isValid() || declared.width() > kMaximumDimension ||
        declared.height() > kMaximumDimension ||
        static_cast<qint64>(declared.width()) * declared.height() > kMaximumPixels)
        return {};
    // Decoding at the target size costs a fraction of the full image (JPEG scales while
    // decoding).
    reader.setScaledSize(declared.scaled(size, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (image.isNull()) return {};
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void ThumbnailLoader::load(const QUrl& url, const QObject* receiver,
                           std::function<void(const QImage&)> done) {
    if (!url.isValid() || !receiver) return;
    // Made on the main thread, read only there again; the callback thread only passes it on.
    QPointer<const QObject> target(receiver);
    std::shared_ptr<Shared> shared = shared_;
    const QSize size = size_;
    const QString key = url.toString();
    ++shared_->underWay;
    auto task = UrlSession::sharedSession()->dataTask(
        url, [target, shared, size, key, done = std::move(done)](
                 const QByteArray& data, const std::optional<UrlResponse>& response,
                 const std::optional<Error>& error) mutable {
            // Counted down however this ends.
            const std::unique_ptr<std::atomic<int>, void (*)(std::atomic<int>*)> countDown(
                &shared->underWay, [](std::atomic<int>* count) { --*count; });
            if (error || !response || response->statusCode < 200 || response->statusCode > 299)
                return;
            {
                std::lock_guard lock(shared->mutex);
                if (!shared->alive) return;
                ++shared->decoding;
            }
            QImage image = decode(data, size);
            {
                std::lock_guard lock(shared->mutex);
                --shared->decoding;
            }
            shared->idle.notify_all();
            if (image.isNull()) return;
            dispatchToMain([target, shared, key, image = std::move(image), done = std::move(done)] {
                if (!shared->loader) return;
                shared->loader->cache_.insert(key, new QImage(image), 1);
                if (target) done(image);
            });
        });
    task->resume();
}

}  // namespace clipmoor
