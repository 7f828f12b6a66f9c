#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "download/downloader_delegate.h"
#include "platform/http/session_configuration.h"
#include "platform/http/url_session.h"
#include "platform/operation.h"

namespace clipmoor {

class UrlSessionDownloadTask;

// One download as a queued operation: runs a transfer of its own session from the address or
// from resume data, pauses into resume data, restarts from the beginning (twice at most) when
// the partial file has gone missing, and reports to its delegate, with checkpoints of resume
// data while the transfer runs. It knows nothing of files or records: the finished file is
// handed over at a temporary location.
//
// The queue holds the operation until it finishes; its session holds it until it finishes or
// prepareToCancel() is called; its delegate is held weakly.
class Downloader : public Operation, public UrlSessionDownloadDelegate {
public:
    static std::shared_ptr<Downloader> create();
    ~Downloader() override;

    QUrl downloadURL() const;
    void setDownloadURL(const QUrl& url);
    QString fileName() const;
    void setFileName(const QString& name);
    QString fileExtension() const;
    void setFileExtension(const QString& extension);
    // Where the owner will put the finished file, worked out on the owner's thread when the
    // operation is made, so that the finished-file callback never has to ask the owner.
    QString destinationPath() const;
    void setDestinationPath(const QString& path);
    std::shared_ptr<DownloaderDelegate> delegate() const;
    void setDelegate(const std::weak_ptr<DownloaderDelegate>& delegate);
    QByteArray resumeData() const;
    void setResumeData(const QByteArray& data);
    std::shared_ptr<UrlSession> session() const;
    std::shared_ptr<UrlSessionDownloadTask> downloadTask() const;
    quint64 retryAttemps() const { return retryAttemps_.load(); }
    bool downloadExecuting() const { return downloadExecuting_.load(); }
    void setDownloadExecuting(bool executing) { downloadExecuting_.store(executing); }
    bool downloadFinished() const { return downloadFinished_.load(); }
    void setDownloadFinished(bool finished) { downloadFinished_.store(finished); }
    // The session the operation makes at its first start (ephemeral by default).
    void setSessionConfiguration(const UrlSessionConfiguration& configuration);
    UrlSessionConfiguration sessionConfiguration() const;

    // The current task's state number (0 running, 1 suspended, 2 cancelling, 3 completed),
    // or 1 when there is no task.
    qint64 state() const;

    void start() override;
    void resume();
    void suspend();
    void prepareToCancel();
    // Starts an operation that was never started; does nothing otherwise.
    void cancel() override;
    void markExecutingAsNoAndFinsihedAsYes();

    bool isAsynchronous() const override { return true; }
    bool isExecuting() const override { return downloadExecuting_.load(); }
    bool isFinished() const override { return downloadFinished_.load(); }

    // Session callbacks, on the session's delegate queue.
    void didWriteData(UrlSession&, UrlSessionDownloadTask& task, qint64 bytesWritten,
                      qint64 totalBytesWritten, qint64 totalBytesExpectedToWrite) override;
    void didResumeAtOffset(UrlSession&, UrlSessionDownloadTask& task, qint64 fileOffset,
                           qint64 expectedTotalBytes) override;
    void didCheckpointResumeData(UrlSession&, UrlSessionDownloadTask& task,
                                 const QByteArray& resumeData) override;
    void didFinishDownloadingToURL(UrlSession&, UrlSessionDownloadTask& task,
                                   const QString& location) override;
    void didComplete(UrlSession&, UrlSessionTask& task, const std::optional<Error>& error) override;
    void didBecomeInvalid(UrlSession&, const std::optional<Error>&) override {}

private:
    Downloader();
    // The delegate, if it is still there and implements `method`.
    std::shared_ptr<DownloaderDelegate> delegateFor(DownloaderDelegate::Method method) const;
    bool isCurrentTask(const UrlSessionTask& task) const;
    void setExecutingAnnounced(bool executing);
    void finishWithoutTransfer();
    // Takes `data` as the resume data, discarding the earlier data's partial file when `data`
    // continues in another one. `heldByOwner`: the delegate keeps a copy of `data`.
    void replaceResumeData(const QByteArray& data, bool heldByOwner);
    bool isDetached() const;
    // Where the session keeps partial files (read under the lock or before the first start).
    QString partialFileFolder() const;

    mutable std::mutex mutex_;
    QUrl downloadURL_;
    QString fileName_;
    QString fileExtension_;
    QString destinationPath_;
    std::weak_ptr<DownloaderDelegate> delegate_;
    std::shared_ptr<UrlSession> session_;
    std::shared_ptr<UrlSessionDownloadTask> downloadTask_;
    QByteArray resumeData_;
    UrlSessionConfiguration configuration_;
    bool resumeAfterPause_ = false;  // started while a pause was under way
    bool detached_ = false;          // prepareToCancel has run: nothing starts any more
    // False while resume data from a pause is held by this operation alone: it is then this
    // operation's to discard when it lets go of it.
    bool resumeDataHeldByOwner_ = true;

    std::atomic<quint64> retryAttemps_{0};
    std::atomic<bool> downloadExecuting_{false};
    std::atomic<bool> downloadFinished_{false};
};

}  // namespace clipmoor
