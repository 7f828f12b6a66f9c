#pragma once

#include "platform/http/transfer.h"
#include "platform/http/url_session.h"
#include "platform/http/url_session_task.h"

namespace clipmoor {

class DataTransfer;

// Fetches an answer into memory and hands it to a completion on the session's delegate queue.
class UrlSessionDataTask : public UrlSessionTask {
public:
    ~UrlSessionDataTask() override;

private:
    friend class UrlSession;
    friend class DataTransfer;
    UrlSessionDataTask(const std::shared_ptr<UrlSession>& session, const QUrl& url,
                       UrlSession::DataCompletion completion);

    std::shared_ptr<Transfer> makeTransfer() override;
    void completeWithoutTransfer(const Error& error) override;
    void complete(const QByteArray& body, const std::optional<UrlResponse>& response,
                  const std::optional<Error>& error);

    UrlSession::DataCompletion completion_;
};

}  // namespace clipmoor
