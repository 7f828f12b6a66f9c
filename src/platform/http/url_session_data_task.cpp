#include "platform/http/url_session_data_task.h"

#include <atomic>

#include "platform/http/transfer_engine.h"
#include "platform/http/url_error.h"

namespace clipmoor {

// The engine side of a data task: collects the body up to the session's size limit.
class DataTransfer : public Transfer {
public:
    DataTransfer(TransferRequest request, qint64 maximumBodySize,
                 std::weak_ptr<UrlSessionDataTask> task)
        : Transfer(std::move(request)), maximumBodySize_(maximumBodySize), task_(std::move(task)) {}

protected:
    bool onResponse(const UrlResponse& response) override {
        response_ = response;
        if (response.expectedContentLength > maximumBodySize_) return refuseOversizedBody();
        return true;
    }

    bool onBody(const char* data, size_t size) override {
        if (body_.size() + static_cast<qint64>(size) > maximumBodySize_)
            return refuseOversizedBody();
        body_.append(data, static_cast<qsizetype>(size));
        return true;
    }

    Outcome onEnded(const std::optional<Error>& error) override {
        if (!ended_.exchange(true)) {
            if (auto task = task_.lock())
                task->complete(error ? QByteArray() : body_, response_, error);
        }
        body_.clear();
        return Outcome::Finished;
    }

    void onStopped(StopReason, bool) override {
        if (ended_.exchange(true)) return;
        if (auto task = task_.lock()) task->complete({}, std::nullopt, cancelledError());
    }

private:
    bool refuseOversizedBody() {
        park(
            Error(kURLErrorDomain, URLError::DataLengthExceedsMaximum,
                  {{kLocalizedDescriptionKey,
                    QStringLiteral("The answer is larger than %1 bytes.").arg(maximumBodySize_)}}));
        return false;
    }

    const qint64 maximumBodySize_;
    const std::weak_ptr<UrlSessionDataTask> task_;
    QByteArray body_;
    std::optional<UrlResponse> response_;
    std::atomic<bool> ended_{false};
};

UrlSessionDataTask::UrlSessionDataTask(const std::shared_ptr<UrlSession>& session, const QUrl& url,
                                       UrlSession::DataCompletion completion)
    : UrlSessionTask(session, url), completion_(std::move(completion)) {}

UrlSessionDataTask::~UrlSessionDataTask() = default;

std::shared_ptr<Transfer> UrlSessionDataTask::makeTransfer() {
    auto session = session_.lock();
    if (!session) return nullptr;
    const UrlSessionConfiguration& configuration = session->configuration();
    return std::make_shared<DataTransfer>(
        makeRequest(configuration, true), configuration.maximumResponseBodySize,
        std::static_pointer_cast<UrlSessionDataTask>(shared_from_this()));
}

void UrlSessionDataTask::completeWithoutTransfer(const Error& error) {
    complete({}, std::nullopt, error);
}

void UrlSessionDataTask::complete(const QByteArray& body,
                                  const std::optional<UrlResponse>& response,
                                  const std::optional<Error>& error) {
    if (response) setResponse(*response);
    if (error) setError(*error);
    auto session = session_.lock();
    if (!session) return;
    auto self = std::static_pointer_cast<UrlSessionDataTask>(shared_from_this());
    session->deliverCompletion(
        self, [self, session, body, response, error](UrlSessionDelegate* delegate) {
            if (self->completion_) self->completion_(body, response, error);
            self->completion_ = nullptr;
            if (delegate) delegate->didComplete(*session, *self, error);
        });
}

}  // namespace clipmoor
