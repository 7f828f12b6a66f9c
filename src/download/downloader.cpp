#include "download/downloader.h"

#include <cerrno>
#include <utility>

#include "platform/http/partial_files.h"
#include "platform/http/resume_data.h"
#include "platform/http/url_error.h"
#include "platform/http/url_session_download_task.h"

namespace clipmoor {

namespace {
constexpr const char* kExecutingKey = "isExecuting";
constexpr const char* kFinishedKey = "isFinished";
constexpr quint64 kMaximumRestarts = 2;

}  // namespace

std::shared_ptr<Downloader> Downloader::create() {
    return std::shared_ptr<Downloader>(new Downloader());
}

Downloader::Downloader()
    : configuration_(UrlSessionConfiguration::ephemeralSessionConfiguration()) {}

Downloader::~Downloader() {
    if (!resumeDataHeldByOwner_) discardResumeData(resumeData_, partialFileFolder());
}

QString Downloader::partialFileFolder() const {
    return configuration_.temporaryDirectory;
}

QUrl Downloader::downloadURL() const {
    std::lock_guard lock(mutex_);
    return downloadURL_;
}
void Downloader::setDownloadURL(const QUrl& url) {
    std::lock_guard lock(mutex_);
    downloadURL_ = url;
}
QString Downloader::fileName() const {
    std::lock_guard lock(mutex_);
    return fileName_;
}
void Downloader::setFileName(const QString& name) {
    std::lock_guard lock(mutex_);
    fileName_ = name;
}
QString Downloader::fileExtension() const {
    std::lock_guard lock(mutex_);
    return fileExtension_;
}
void Downloader::setFileExtension(const QString& extension) {
    std::lock_guard lock(mutex_);
    fileExtension_ = extension;
}
QString Downloader::destinationPath() const {
    std::lock_guard lock(mutex_);
    return destinationPath_;
}
void Downloader::setDestinationPath(const QString& path) {
    std::lock_guard lock(mutex_);
    destinationPath_ = path;
}
std::shared_ptr<DownloaderDelegate> Downloader::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}
void Downloader::setDelegate(const std::weak_ptr<DownloaderDelegate>& delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = delegate;
}
QByteArray Downloader::resumeData() const {
    std::lock_guard lock(mutex_);
    return resumeData_;
}
void Downloader::setResumeData(const QByteArray& data) {
    std::lock_guard lock(mutex_);
    resumeData_ = data;
    resumeDataHeldByOwner_ = true;  // the owner keeps what it hands over
}

void Downloader::replaceResumeData(const QByteArray& data, bool heldByOwner) {
    QByteArray dropped;
    QString folder;
    {
        std::lock_guard lock(mutex_);
        if (abandonsPartialFile(resumeData_, data)) dropped = resumeData_;
        // The same data given back (a pause before the transfer began) stays the owner's.
        resumeDataHeldByOwner_ = heldByOwner || (data == resumeData_ && resumeDataHeldByOwner_);
        resumeData_ = data;
        folder = partialFileFolder();
    }
    discardResumeData(dropped, folder);
}
std::shared_ptr<UrlSession> Downloader::session() const {
    std::lock_guard lock(mutex_);
    return session_;
}
std::shared_ptr<UrlSessionDownloadTask> Downloader::downloadTask() const {
    std::lock_guard lock(mutex_);
    return downloadTask_;
}
void Downloader::setSessionConfiguration(const UrlSessionConfiguration& configuration) {
    std::lock_guard lock(mutex_);
    configuration_ = configuration;
}
UrlSessionConfiguration Downloader::sessionConfiguration() const {
    std::lock_guard lock(mutex_);
    return configuration_;
}

qint64 Downloader::state() const {
    const auto task = downloadTask();
    if (!task) return 1;
    const auto state = static_cast<qint64>(task->state());
    return state < 4 ? state : 1;
}

std::shared_ptr<DownloaderDelegate> Downloader::delegateFor(
    DownloaderDelegate::Method method) const {
    auto delegate = this->delegate();
    if (delegate && (delegate->implementedDownloaderMethods() & method)) return delegate;
    return nullptr;
}

bool Downloader::isCurrentTask(const UrlSessionTask& task) const {
    std::lock_guard lock(mutex_);
    return downloadTask_.get() == &task;
}

void Downloader::setExecutingAnnounced(bool executing) {
    willChangeValueForKey(kExecutingKey);
    downloadExecuting_.store(executing);
    didChangeValueForKey(kExecutingKey);
}

void Downloader::markExecutingAsNoAndFinsihedAsYes() {
    setExecutingAnnounced(false);
    willChangeValueForKey(kFinishedKey);
    downloadFinished_.store(true);
    didChangeValueForKey(kFinishedKey);
    // A finished operation has nothing more to hear from its session, which holds it as its
    // delegate: letting the session go ends that cycle, so the operation lives no longer than
    // its owners hold it.
    if (const auto session = this->session()) session->invalidateAndCancel();
}

void Downloader::start() {
    if (isCancelled()) {
        // Nothing to do for a cancelled operation but to give its slot back.
        markExecutingAsNoAndFinsihedAsYes();
        return;
    }
    std::shared_ptr<UrlSessionDownloadTask> task;
    bool transferring = false;
    bool pausing = false;
    {
        std::lock_guard lock(mutex_);
        // Finished or detached, nobody would hear a transfer: it is never made. (The queue's
        // worker may start an operation that prepareToCancel has already finished, and a
        // restart after a vanished partial file may follow prepareToCancel.)
        if (detached_ || downloadFinished_.load()) return;
        const auto current = downloadTask_ ? std::optional(downloadTask_->state()) : std::nullopt;
        // A second transfer beside a running one would only compete for the same file.
        transferring = current == UrlSessionTaskState::Running;
        // A pause under way has not produced its resume data yet, and a transfer started now
        // would leave that data's partial file behind: continue once the pause has completed.
        pausing = session_ && current == UrlSessionTaskState::Canceling;
        resumeAfterPause_ = pausing;
        if (!transferring && !pausing) {
            if (!session_) {
                session_ = UrlSession::create(
                    configuration_, std::static_pointer_cast<Downloader>(shared_from_this()));
            }
            if (!resumeData_.isEmpty()) {
                task = session_->downloadTask(resumeData_);
            } else if (!downloadURL_.isEmpty()) {
                task = session_->downloadTask(downloadURL_);
            }
            if (task) {
                downloadTask_ = task;
                // Made and started in one step: a start on another thread (the queue's worker
                // and a user's resume) finds it running, not a second task from the same
                // resume data that would delete this one's partial file.
                task->resume();
            }
        }
    }
    setExecutingAnnounced(true);
    if (!task && !transferring && !pausing) finishWithoutTransfer();
}

void Downloader::finishWithoutTransfer() {
    const Error error(kURLErrorDomain, URLError::BadURL,
                      {{kLocalizedDescriptionKey,
                        "There is nothing to download: no address and no resume data."}});
    if (auto delegate = delegateFor(DownloaderDelegate::DidCompleteWithError))
        delegate->downloaderDidCompleteWithError(*this, error);
    markExecutingAsNoAndFinsihedAsYes();
}

void Downloader::resume() {
    if (!isCancelled()) start();
}

void Downloader::suspend() {
    if (isCancelled()) return;
    const auto task = downloadTask();
    // Only a task that has not ended can be paused. One that is already cancelling or completed
    // (a second pause, or a pause after the end) would answer with empty resume data and
    // replace what the earlier pause produced.
    if (!task) return;
    const UrlSessionTaskState state = task->state();
    if (state == UrlSessionTaskState::Canceling || state == UrlSessionTaskState::Completed) {
        std::lock_guard lock(mutex_);
        resumeAfterPause_ = false;  // a resume waiting for the pause under way is called off
        return;
    }
    std::weak_ptr<Downloader> weakSelf = std::static_pointer_cast<Downloader>(shared_from_this());
    std::weak_ptr<UrlSessionDownloadTask> weakTask = task;
    QString folder;
    QByteArray ownersData;  // what a pause before the transfer began gives back unchanged
    {
        std::lock_guard lock(mutex_);
        folder = partialFileFolder();
        if (resumeDataHeldByOwner_) ownersData = resumeData_;
    }
    task->cancelByProducingResumeData(
        [weakSelf, weakTask, folder, ownersData](const QByteArray& data) {
            auto self = weakSelf.lock();
            auto pausedTask = weakTask.lock();
            if (!self || !pausedTask || !self->isCurrentTask(*pausedTask) || self->isDetached()) {
                // Nobody here continues from it; the owner's own data stays the owner's.
                if (data != ownersData) discardResumeData(data, folder);
                return;
            }
            auto delegate = self->delegateFor(DownloaderDelegate::DidPauseWithResumeData);
            // What the delegate is handed is its to keep or to discard.
            self->replaceResumeData(data, delegate != nullptr);
            if (delegate) delegate->downloaderDidPauseWithResumeData(*self, data);
        });
}

void Downloader::prepareToCancel() {
    std::shared_ptr<UrlSession> session;
    QByteArray abandoned;
    QString folder;
    {
        std::lock_guard lock(mutex_);
        detached_ = true;
        delegate_.reset();
        session = std::move(session_);
        // Resume data that no owner took (a pause with no delegate to hand it to) would leave
        // its partial file behind. What the owner holds stays: it may resume from it later, and
        // discards it itself when it goes away.
        if (!resumeDataHeldByOwner_) abandoned = std::exchange(resumeData_, QByteArray());
        folder = partialFileFolder();
    }
    // The session lets go of this operation here; the caller's reference keeps it alive.
    if (session) session->invalidateAndCancel();
    discardResumeData(abandoned, folder);
    markExecutingAsNoAndFinsihedAsYes();
}

bool Downloader::isDetached() const {
    std::lock_guard lock(mutex_);
    return detached_;
}

void Downloader::cancel() {
    if (!isExecuting() && !isFinished()) start();
}

void Downloader::didWriteData(UrlSession&, UrlSessionDownloadTask& task, qint64 bytesWritten,
                              qint64 totalBytesWritten, qint64 totalBytesExpectedToWrite) {
    if (isCancelled() || !isCurrentTask(task)) return;
    if (auto delegate = delegateFor(DownloaderDelegate::DidWriteData))
        delegate->downloaderDidWriteData(*this, bytesWritten, totalBytesWritten,
                                         totalBytesExpectedToWrite);
}

void Downloader::didResumeAtOffset(UrlSession&, UrlSessionDownloadTask& task, qint64 fileOffset,
                                   qint64 expectedTotalBytes) {
    if (isCancelled() || !isCurrentTask(task)) return;
    if (auto delegate = delegateFor(DownloaderDelegate::DidResumeAtOffset))
        delegate->downloaderDidResumeAtOffset(*this, fileOffset, expectedTotalBytes);
}

void Downloader::didCheckpointResumeData(UrlSession&, UrlSessionDownloadTask& task,
                                         const QByteArray& resumeData) {
    if (isCancelled() || !isCurrentTask(task)) return;
    if (auto delegate = delegateFor(DownloaderDelegate::DidCheckpointResumeData))
        delegate->downloaderDidCheckpointResumeData(*this, resumeData);
}

void Downloader::didFinishDownloadingToURL(UrlSession&, UrlSessionDownloadTask& task,
                                           const QString& location) {
    if (!isCurrentTask(task)) return;
    if (!isCancelled()) {
        if (const std::optional<Error> error = task.error()) {
            if (auto delegate = delegateFor(DownloaderDelegate::DidCompleteWithError))
                delegate->downloaderDidCompleteWithError(*this, *error);
        } else if (auto delegate = delegateFor(DownloaderDelegate::DidFinishDownloadingToURL)) {
            delegate->downloaderDidFinishDownloadingToURL(*this, location);
        }
    }
    markExecutingAsNoAndFinsihedAsYes();
}

void Downloader::didComplete(UrlSession&, UrlSessionTask& task, const std::optional<Error>& error) {
    if (!error || isCancelled() || !isCurrentTask(task)) return;

    if (error->is(kPOSIXErrorDomain, ENOENT) && retryAttemps_.load() < kMaximumRestarts) {
        // The partial file went missing: start over from the address, without resume data
        // (whatever is left of its file, if it is still ours, is of no use any more).
        QByteArray dropped;
        QString folder;
        {
            std::lock_guard lock(mutex_);
            dropped = std::exchange(resumeData_, QByteArray());
            folder = partialFileFolder();
        }
        discardResumeData(dropped, folder);
        resume();
        ++retryAttemps_;
        return;
    }
    const bool paused = error->code() == URLError::Cancelled;
    if (auto delegate = delegateFor(DownloaderDelegate::DidCompleteWithError)) {
        delegate->downloaderDidCompleteWithError(*this, *error);
        if (paused) {
            setExecutingAnnounced(false);  // paused: keeps its place in the queue
        } else {
            markExecutingAsNoAndFinsihedAsYes();
        }
    }
    bool resumeNow = false;
    if (paused) {
        std::lock_guard lock(mutex_);
        resumeNow = std::exchange(resumeAfterPause_, false);
    }
    if (resumeNow) resume();  // from the resume data the pause has just produced
}

}  // namespace clipmoor
