#include "platform/http/url_session.h"

#include <QStandardPaths>

#include "platform/http/url_session_data_task.h"
#include "platform/http/url_session_download_task.h"

namespace clipmoor {

UrlSessionConfiguration UrlSessionConfiguration::defaultSessionConfiguration() {
    UrlSessionConfiguration configuration;
    configuration.maximumResponseBodySize = 16 * 1024 * 1024;
    configuration.timeoutIntervalForResource = 60;
    return configuration;
}

UrlSessionConfiguration UrlSessionConfiguration::ephemeralSessionConfiguration() {
    UrlSessionConfiguration configuration;
    configuration.temporaryDirectory =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
        QStringLiteral("/Clipmoor/partial");
    return configuration;
}

std::shared_ptr<UrlSession> UrlSession::sharedSession() {
    static std::shared_ptr<UrlSession> session =
        create(UrlSessionConfiguration::defaultSessionConfiguration());
    return session;
}

std::shared_ptr<UrlSession> UrlSession::create(const UrlSessionConfiguration& configuration,
                                               std::shared_ptr<UrlSessionDelegate> delegate) {
    return std::shared_ptr<UrlSession>(new UrlSession(configuration, std::move(delegate)));
}

UrlSession::UrlSession(const UrlSessionConfiguration& configuration,
                       std::shared_ptr<UrlSessionDelegate> delegate)
    : configuration_(configuration),
      delegateQueue_(SerialQueue::create(QStringLiteral("url-session"))),
      delegate_(std::move(delegate)) {}

UrlSession::~UrlSession() {
    // Tasks hold the session weakly; whatever is still running has no one to report to.
    for (auto& [id, task] : tasks_) task->cancel();
}

std::shared_ptr<UrlSessionDataTask> UrlSession::dataTask(const QUrl& url,
                                                         DataCompletion completion) {
    auto task = std::shared_ptr<UrlSessionDataTask>(
        new UrlSessionDataTask(shared_from_this(), url, std::move(completion)));
    registerTask(task);
    return task;
}

std::shared_ptr<UrlSessionDownloadTask> UrlSession::downloadTask(const QUrl& url) {
    auto task = std::shared_ptr<UrlSessionDownloadTask>(
        new UrlSessionDownloadTask(shared_from_this(), url, std::nullopt));
    registerTask(task);
    return task;
}

std::shared_ptr<UrlSessionDownloadTask> UrlSession::downloadTask(const QByteArray& resumeData) {
    auto task = std::shared_ptr<UrlSessionDownloadTask>(
        new UrlSessionDownloadTask(shared_from_this(), QUrl(), resumeData));
    registerTask(task);
    return task;
}

void UrlSession::registerTask(const std::shared_ptr<UrlSessionTask>& task) {
    std::lock_guard lock(mutex_);
    if (invalidated_) return;  // the task will never report anything
    tasks_[task->taskIdentifier()] = task;
}

void UrlSession::invalidateAndCancel() {
    std::unordered_map<quint64, std::shared_ptr<UrlSessionTask>> tasks;
    std::shared_ptr<UrlSessionDelegate> delegate;
    {
        std::lock_guard lock(mutex_);
        if (invalidated_) return;
        invalidated_ = true;
        tasks.swap(tasks_);
        delegate.swap(delegate_);
    }
    for (auto& [id, task] : tasks) task->cancel();
    // The delegate is let go of here, or by the callback that is running at this moment.
}

bool UrlSession::isInvalidated() const {
    std::lock_guard lock(mutex_);
    return invalidated_;
}

void UrlSession::deliver(std::function<void(UrlSessionDelegate*)> event) {
    delegateQueue_->async([self = shared_from_this(), event = std::move(event)] {
        std::shared_ptr<UrlSessionDelegate> delegate;
        {
            std::lock_guard lock(self->mutex_);
            if (self->invalidated_) return;
            delegate = self->delegate_;
        }
        event(delegate.get());
    });
}

void UrlSession::deliverCompletion(const std::shared_ptr<UrlSessionTask>& task,
                                   std::function<void(UrlSessionDelegate*)> event,
                                   std::function<void()> cleanup) {
    delegateQueue_->async(
        [self = shared_from_this(), task, event = std::move(event), cleanup = std::move(cleanup)] {
            std::shared_ptr<UrlSessionDelegate> delegate;
            bool invalidated;
            {
                std::lock_guard lock(self->mutex_);
                self->tasks_.erase(task->taskIdentifier());
                invalidated = self->invalidated_;
                delegate = self->delegate_;
            }
            task->setState(UrlSessionTaskState::Completed);
            if (!invalidated) event(delegate.get());
            if (cleanup) cleanup();
        });
}

}  // namespace clipmoor
