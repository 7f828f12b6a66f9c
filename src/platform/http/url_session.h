#pragma once

#include <QByteArray>
#include <QUrl>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/error.h"
#include "platform/http/session_configuration.h"
#include "platform/http/url_response.h"
#include "platform/serial_queue.h"

namespace clipmoor {

class UrlSession;
class UrlSessionTask;
class UrlSessionDataTask;
class UrlSessionDownloadTask;

// Receives a session's events, one at a time, on the session's delegate queue.
// Every method is optional.
class UrlSessionDelegate {
public:
    virtual ~UrlSessionDelegate() = default;
    virtual void didBecomeInvalid(UrlSession&, const std::optional<Error>&) {}
    virtual void didComplete(UrlSession&, UrlSessionTask&, const std::optional<Error>&) {}
};

class UrlSessionDownloadDelegate : public UrlSessionDelegate {
public:
    // Progress, at most ten reports a second per task, and always one after the last bytes.
    virtual void didWriteData(UrlSession&, UrlSessionDownloadTask&, qint64 /*bytesWritten*/,
                              qint64 /*totalBytesWritten*/, qint64 /*totalBytesExpectedToWrite*/) {}
    // A task made from resume data has continued at `fileOffset` (0 when it had to restart).
    virtual void didResumeAtOffset(UrlSession&, UrlSessionDownloadTask&, qint64 /*fileOffset*/,
                                   qint64 /*expectedTotalBytes*/) {}
    // The partial file has been flushed to the disk up to the bytes `resumeData` counts: a task
    // made from it, also in a later run of the program, continues from there. At most one per
    // the configuration's resumeCheckpointIntervalMs while bytes arrive, never after the task's
    // end; each names the same partial file as the task's later resume data.
    virtual void didCheckpointResumeData(UrlSession&, UrlSessionDownloadTask&,
                                         const QByteArray& /*resumeData*/) {}
    // The whole body is at `location`, which exists only until this call returns.
    virtual void didFinishDownloadingToURL(UrlSession&, UrlSessionDownloadTask&,
                                           const QString& /*location*/) {}
};

// A set of transfers that share a configuration and a delegate queue. The session holds its
// delegate until it is invalidated.
class UrlSession : public std::enable_shared_from_this<UrlSession> {
public:
    using DataCompletion =
        std::function<void(const QByteArray& data, const std::optional<UrlResponse>& response,
                           const std::optional<Error>& error)>;

    // The process-wide session for small answers; completions run on its delegate queue.
    static std::shared_ptr<UrlSession> sharedSession();
    static std::shared_ptr<UrlSession> create(const UrlSessionConfiguration& configuration,
                                              std::shared_ptr<UrlSessionDelegate> delegate = {});
    ~UrlSession();

    std::shared_ptr<UrlSessionDataTask> dataTask(const QUrl& url, DataCompletion completion);
    std::shared_ptr<UrlSessionDownloadTask> downloadTask(const QUrl& url);
    // Continues an earlier download; malformed resume data makes a task that fails with
    // URLError::CannotDecodeResumeData once resumed.
    std::shared_ptr<UrlSessionDownloadTask> downloadTask(const QByteArray& resumeData);

    // Cancels every task and lets go of the delegate; no delegate call starts afterwards.
    void invalidateAndCancel();
    bool isInvalidated() const;

    const UrlSessionConfiguration& configuration() const { return configuration_; }
    const std::shared_ptr<SerialQueue>& delegateQueue() const { return delegateQueue_; }

private:
    friend class UrlSessionTask;
    friend class UrlSessionDataTask;
    friend class UrlSessionDownloadTask;
    friend class DownloadTransfer;
    friend class DataTransfer;

    UrlSession(const UrlSessionConfiguration& configuration,
               std::shared_ptr<UrlSessionDelegate> delegate);

    void registerTask(const std::shared_ptr<UrlSessionTask>& task);
    // Runs `event` on the delegate queue with the delegate, unless the session has been
    // invalidated by then. Keeps the task registered until its completion has run.
    void deliver(std::function<void(UrlSessionDelegate*)> event);
    // `cleanup` runs after the event, or instead of it once the session is invalidated.
    void deliverCompletion(const std::shared_ptr<UrlSessionTask>& task,
                           std::function<void(UrlSessionDelegate*)> event,
                           std::function<void()> cleanup = {});

    const UrlSessionConfiguration configuration_;
    const std::shared_ptr<SerialQueue> delegateQueue_;
    mutable std::mutex mutex_;
    std::shared_ptr<UrlSessionDelegate> delegate_;
    bool invalidated_ = false;
    std::unordered_map<quint64, std::shared_ptr<UrlSessionTask>> tasks_;
};

}  // namespace clipmoor
