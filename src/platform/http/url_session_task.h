#pragma once

#include <QUrl>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/error.h"
#include "platform/http/session_configuration.h"
#include "platform/http/transfer.h"
#include "platform/http/url_response.h"

namespace clipmoor {

class UrlSession;

enum class UrlSessionTaskState : qint64 {
    Running = 0,
    Suspended = 1,
    Canceling = 2,
    Completed = 3
};

// One transfer of a session. Tasks are created suspended; `resume` starts them.
class UrlSessionTask : public std::enable_shared_from_this<UrlSessionTask> {
public:
    virtual ~UrlSessionTask();

    quint64 taskIdentifier() const { return identifier_; }
    const QUrl& originalURL() const { return originalURL_; }
    UrlSessionTaskState state() const { return state_.load(); }
    std::optional<Error> error() const;
    std::optional<UrlResponse> response() const;

    void resume();
    // Stops the transfer; the task completes with URLError::Cancelled.
    void cancel();

protected:
    UrlSessionTask(std::weak_ptr<UrlSession> session, QUrl url);

    // Implemented by each kind of task: the engine-side transfer to run (none if the session
    // is gone), and the completion of a task that never reached the engine.
    virtual std::shared_ptr<Transfer> makeTransfer() = 0;
    virtual void completeWithoutTransfer(const Error& error) = 0;
    std::shared_ptr<Transfer> currentTransfer() const;
    // A request for this task's address with the session's limits.
    TransferRequest makeRequest(const UrlSessionConfiguration& configuration,
                                bool acceptCompressedData) const;

    friend class UrlSession;
    void setState(UrlSessionTaskState state) { state_.store(state); }
    void setError(const Error& error);
    void setResponse(const UrlResponse& response);

    std::weak_ptr<UrlSession> session_;
    const QUrl originalURL_;
    const quint64 identifier_;
    std::atomic<UrlSessionTaskState> state_{UrlSessionTaskState::Suspended};
    mutable std::mutex mutex_;
    std::optional<Error> error_;
    std::optional<UrlResponse> response_;
    bool started_ = false;
    std::shared_ptr<Transfer> transfer_;
};

}  // namespace clipmoor
