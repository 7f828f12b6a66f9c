#pragma once

#include <QByteArray>

#include <functional>

#include "platform/http/url_session.h"
#include "platform/http/url_session_task.h"

namespace clipmoor {

class DownloadTransfer;

// Downloads a body into a partial file of the session's temporary folder and hands the
// finished file to the delegate. Can be paused into resume data and continued later, also by
// another session or another run of the program.
class UrlSessionDownloadTask : public UrlSessionTask {
public:
    using ResumeDataHandler = std::function<void(const QByteArray& resumeData)>;

    ~UrlSessionDownloadTask() override;

    // Stops the transfer and hands `handler` the resume data (empty when the server cannot
    // resume), on the session's delegate queue; the task then completes with
    // URLError::Cancelled.
    void cancelByProducingResumeData(ResumeDataHandler handler);

private:
    friend class UrlSession;
    friend class DownloadTransfer;
    UrlSessionDownloadTask(const std::shared_ptr<UrlSession>& session, const QUrl& url,
                           std::optional<QByteArray> resumeData);

    std::shared_ptr<Transfer> makeTransfer() override;
    void completeWithoutTransfer(const Error& error) override;

    const std::optional<QByteArray> resumeData_;
};

}  // namespace clipmoor
