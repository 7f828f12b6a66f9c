#include "platform/http/url_session_task.h"

#include "platform/http/transfer_engine.h"
#include "platform/http/url_error.h"
#include "platform/http/url_session.h"

namespace clipmoor {

namespace {
std::atomic<quint64> nextTaskIdentifier{1};
}

UrlSessionTask::UrlSessionTask(std::weak_ptr<UrlSession> session, QUrl url)
    : session_(std::move(session)),
      originalURL_(std::move(url)),
      identifier_(nextTaskIdentifier++) {}

UrlSessionTask::~UrlSessionTask() = default;

std::optional<Error> UrlSessionTask::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::optional<UrlResponse> UrlSessionTask::response() const {
    std::lock_guard lock(mutex_);
    return response_;
}

void UrlSessionTask::setError(const Error& error) {
    std::lock_guard lock(mutex_);
    error_ = error;
}

void UrlSessionTask::setResponse(const UrlResponse& response) {
    std::lock_guard lock(mutex_);
    response_ = response;
}

std::shared_ptr<Transfer> UrlSessionTask::currentTransfer() const {
    std::lock_guard lock(mutex_);
    return transfer_;
}

TransferRequest UrlSessionTask::makeRequest(const UrlSessionConfiguration& configuration,
                                            bool acceptCompressedData) const {
    return TransferRequest{originalURL_,
                           {},
                           configuration.timeoutIntervalForRequest,
                           configuration.maximumRedirects,
                           acceptCompressedData,
                           configuration.timeoutIntervalForResource};
}

void UrlSessionTask::resume() {
    std::shared_ptr<Transfer> transfer;
    {
        std::lock_guard lock(mutex_);
        if (started_ || state_ != UrlSessionTaskState::Suspended) return;
        started_ = true;
        state_ = UrlSessionTaskState::Running;
        transfer_ = makeTransfer();
        transfer = transfer_;
    }
    if (transfer) TransferEngine::shared().start(std::move(transfer));
}

void UrlSessionTask::cancel() {
    std::shared_ptr<Transfer> transfer;
    bool wasStarted;
    {
        std::lock_guard lock(mutex_);
        const UrlSessionTaskState state = state_;
        if (state == UrlSessionTaskState::Canceling || state == UrlSessionTaskState::Completed)
            return;
        state_ = UrlSessionTaskState::Canceling;
        wasStarted = std::exchange(started_, true);
        transfer = transfer_;
    }
    if (transfer) {
        TransferEngine::shared().stop(std::move(transfer), StopReason::Cancel);
    } else if (!wasStarted) {
        // Never handed to the engine: complete here, through the delegate queue as always.
        completeWithoutTransfer(cancelledError());
    }
}

Error cancelledError() {
    return Error(kURLErrorDomain, URLError::Cancelled, {{kLocalizedDescriptionKey, "cancelled"}});
}

}  // namespace clipmoor
