#include "platform/http/url_session_download_task.h"

#include "platform/http/download_transfer.h"
#include "platform/http/resume_data.h"
#include "platform/http/transfer_engine.h"
#include "platform/http/url_error.h"

namespace clipmoor {

namespace {
QUrl addressOf(const QUrl& url, const std::optional<QByteArray>& resumeData) {
    if (!resumeData) return url;
    const auto decoded = ResumeData::decode(*resumeData);
    return decoded ? decoded->url : QUrl();
}
}  // namespace

UrlSessionDownloadTask::UrlSessionDownloadTask(const std::shared_ptr<UrlSession>& session,
                                               const QUrl& url,
                                               std::optional<QByteArray> resumeData)
    : UrlSessionTask(session, addressOf(url, resumeData)), resumeData_(std::move(resumeData)) {}

UrlSessionDownloadTask::~UrlSessionDownloadTask() = default;

std::shared_ptr<Transfer> UrlSessionDownloadTask::makeTransfer() {
    auto session = session_.lock();
    if (!session) return nullptr;
    const UrlSessionConfiguration& configuration = session->configuration();
    // Never compressed: byte ranges must count the bytes of the file itself.
    return std::make_shared<DownloadTransfer>(
        makeRequest(configuration, false), configuration.temporaryDirectory, session,
        std::static_pointer_cast<UrlSessionDownloadTask>(shared_from_this()), resumeData_,
        configuration.resumeCheckpointIntervalMs);
}

void UrlSessionDownloadTask::completeWithoutTransfer(const Error& error) {
    auto session = session_.lock();
    if (!session) return;
    setError(error);
    auto self = std::static_pointer_cast<UrlSessionDownloadTask>(shared_from_this());
    session->deliverCompletion(self, [session, self, error](UrlSessionDelegate* delegate) {
        if (delegate) delegate->didComplete(*session, *self, error);
    });
}

void UrlSessionDownloadTask::cancelByProducingResumeData(ResumeDataHandler handler) {
    std::shared_ptr<Transfer> transfer;
    bool wasStarted = false;
    bool alreadyEnding = false;
    {
        std::lock_guard lock(mutex_);
        const UrlSessionTaskState state = state_;
        alreadyEnding =
            state == UrlSessionTaskState::Canceling || state == UrlSessionTaskState::Completed;
        if (!alreadyEnding) {
            state_ = UrlSessionTaskState::Canceling;
            wasStarted = std::exchange(started_, true);
            transfer = transfer_;
        }
    }
    auto session = session_.lock();
    const auto answer = [&session, &handler](const QByteArray& data) {
        if (session && handler)
            session->deliver(
                [handler = std::move(handler), data](UrlSessionDelegate*) { handler(data); });
    };
    if (alreadyEnding) {
        answer({});  // nothing left to stop, so no resume data
    } else if (transfer) {
        std::static_pointer_cast<DownloadTransfer>(transfer)->setResumeDataHandler(
            std::move(handler));
        TransferEngine::shared().stop(std::move(transfer), StopReason::ProduceResumeData);
    } else if (!wasStarted) {
        // Never started: a task made from resume data can give that data back unchanged.
        const bool valid = resumeData_ && ResumeData::decode(*resumeData_);
        answer(valid ? *resumeData_ : QByteArray());
        completeWithoutTransfer(cancelledError());
    }
}

}  // namespace clipmoor
