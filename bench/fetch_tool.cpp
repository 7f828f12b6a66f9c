// Downloads with Clipmoor's transfer layer, for side-by-side measurements with curl.
//   clipmoor_fetch --out DIR URL...            downloads every URL at once, each with its own
//                                              session, into DIR (file names from the URLs)
//   clipmoor_fetch --cancel-after BYTES URL    starts a download and, once BYTES have arrived
//                                              (0: right after the answer's headers are due),
//                                              pauses it for resume data; prints how long the
//                                              cancelled completion took to arrive
#include <QFileInfo>
#include <QString>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/file_operations.h"
#include "platform/http/url_session.h"
#include "platform/http/url_session_download_task.h"

using namespace clipmoor;
using Clock = std::chrono::steady_clock;

namespace {

struct Completion {
    std::mutex mutex;
    std::condition_variable done;
    int remaining = 0;
    int failures = 0;

    void finish(bool failed) {
        std::lock_guard lock(mutex);
        --remaining;
        failures += failed;
        done.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex);
        done.wait(lock, [this] { return remaining == 0; });
    }
};

class SaveToFolder : public UrlSessionDownloadDelegate {
public:
    SaveToFolder(QString destination, Completion& completion)
        : destination_(std::move(destination)), completion_(completion) {}

    void didFinishDownloadingToURL(UrlSession&, UrlSessionDownloadTask&,
                                   const QString& location) override {
        if (auto error = moveFile(location, destination_))
            std::fprintf(stderr, "%s\n", qPrintable(error->debugDescription()));
    }
    void didComplete(UrlSession&, UrlSessionTask&, const std::optional<Error>& error) override {
        if (error) std::fprintf(stderr, "%s\n", qPrintable(error->debugDescription()));
        completion_.finish(error.has_value());
    }

private:
    QString destination_;
    Completion& completion_;
};

int downloadAll(const QString& folder, const std::vector<QUrl>& urls) {
    Completion completion;
    completion.remaining = static_cast<int>(urls.size());
    std::vector<std::shared_ptr<UrlSession>> sessions;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        const QString name =
            QStringLiteral("%1/%2-%3").arg(folder).arg(i).arg(QFileInfo(urls[i].path()).fileName());
        auto session = UrlSession::create(UrlSessionConfiguration::ephemeralSessionConfiguration(),
                                          std::make_shared<SaveToFolder>(name, completion));
        session->downloadTask(urls[i])->resume();
        sessions.push_back(std::move(session));
    }
    completion.wait();
    for (auto& session : sessions) session->invalidateAndCancel();
    return completion.failures == 0 ? 0 : 1;
}

class CancelTimer : public UrlSessionDownloadDelegate {
public:
    explicit CancelTimer(qint64 threshold) : threshold_(threshold) {}

    void didWriteData(UrlSession&, UrlSessionDownloadTask& task, qint64, qint64 total,
                      qint64) override {
        if (total >= threshold_) pause(task);
    }
    void didComplete(UrlSession&, UrlSessionTask&, const std::optional<Error>&) override {
        std::lock_guard lock(mutex_);
        completedAt_ = Clock::now();
        done_.notify_all();
    }
    void pause(UrlSessionDownloadTask& task) {
        {
            std::lock_guard lock(mutex_);
            if (pausedAt_) return;
            pausedAt_ = Clock::now();
        }
        task.cancelByProducingResumeData([](const QByteArray&) {});
    }
    double waitMilliseconds() {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return completedAt_.has_value(); });
        return std::chrono::duration<double, std::milli>(*completedAt_ - *pausedAt_).count();
    }

private:
    const qint64 threshold_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::optional<Clock::time_point> pausedAt_;
    std::optional<Clock::time_point> completedAt_;
};

int measureCancel(qint64 threshold, const QUrl& url) {
    auto timer = std::make_shared<CancelTimer>(threshold);
    auto session =
        UrlSession::create(UrlSessionConfiguration::ephemeralSessionConfiguration(), timer);
    auto task = session->downloadTask(url);
    task->resume();
    if (threshold == 0) {
        // A stalled server sends nothing more: pause once the transfer has had time to start.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        timer->pause(*task);
    }
    std::printf("cancel-latency-ms %.2f\n", timer->waitMilliseconds());
    session->invalidateAndCancel();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--cancel-after") == 0)
        return measureCancel(std::atoll(argv[2]), QUrl(QString::fromLocal8Bit(argv[3])));
    if (argc >= 4 && std::strcmp(argv[1], "--out") == 0) {
        std::vector<QUrl> urls;
        for (int i = 3; i < argc; ++i) urls.emplace_back(QString::fromLocal8Bit(argv[i]));
        return downloadAll(QString::fromLocal8Bit(argv[2]), urls);
    }
    std::fprintf(stderr, "usage: %s --out DIR URL... | --cancel-after BYTES URL\n", argv[0]);
    return 2;
}
