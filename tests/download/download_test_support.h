#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "download/downloader.h"
#include "platform/file_operations.h"
#include "platform/http/resume_data.h"
#include "platform/http/transfer_engine.h"
#include "platform/http/url_error.h"
#include "platform/http/url_session.h"
#include "test_environment.h"
#include "test_site.h"

namespace clipmoor::test {

inline constexpr int kWaitMs = 30'000;

inline std::string describe(const std::optional<Error>& error) {
    return error ? error->debugDescription().toStdString() : "no error";
}

// One delegate call as the recording delegate saw it.
struct DelegateEvent {
    enum class Kind { Progress, Finished, Completed, Resumed, Paused, Checkpoint };
    Kind kind;
    // Progress: bytes since the last report; resumed: the offset; finished: the size of the file
    // at the location during the call.
    qint64 first = 0;
    qint64 second = 0;                          // progress: total written
    qint64 third = 0;                           // progress: total expected
    std::optional<Error> error = std::nullopt;  // completed
    QByteArray data = {};                       // paused and checkpoint: the resume data
};

// A delegate that records every call, moves a finished file to `destination` (when one is set)
// and notes every break of the threading rules: calls never overlap and run on the operation's
// session queue, never on the main thread or the transfer engine's thread.
class RecordingDelegate : public DownloaderDelegate {
public:
    using Kind = DelegateEvent::Kind;

    explicit RecordingDelegate(QString destination = {}, unsigned methods = ~0u)
        : destination_(std::move(destination)), methods_(methods) {}

    unsigned implementedDownloaderMethods() const override { return methods_; }
    void downloaderDidWriteData(Downloader& downloader, qint64 bytesWritten, qint64 total,
                                qint64 expected) override {
        call(downloader,
             {.kind = Kind::Progress, .first = bytesWritten, .second = total, .third = expected},
             [&] {
                 if (onProgress) onProgress(downloader, total);
             });
    }
    void downloaderDidFinishDownloadingToURL(Downloader& downloader,
                                             const QString& location) override {
        call(downloader, {.kind = Kind::Finished, .first = QFileInfo(location).size()}, [&] {
            if (!destination_.isEmpty()) moveFile(location, destination_);
        });
    }
    void downloaderDidCompleteWithError(Downloader& downloader, const Error& error) override {
        call(downloader, {.kind = Kind::Completed, .error = error});
    }
    void downloaderDidResumeAtOffset(Downloader& downloader, qint64 offset, qint64) override {
        call(downloader, {.kind = Kind::Resumed, .first = offset});
    }
    void downloaderDidPauseWithResumeData(Downloader& downloader,
                                          const QByteArray& resumeData) override {
        call(downloader, {.kind = Kind::Paused, .data = resumeData});
    }
    void downloaderDidCheckpointResumeData(Downloader& downloader,
                                           const QByteArray& resumeData) override {
        call(downloader, {.kind = Kind::Checkpoint, .data = resumeData});
    }

    // Runs inside each progress call, on the session queue (e.g. to cancel from there).
    std::function<void(Downloader&, qint64 totalBytesWritten)> onProgress;

    std::vector<DelegateEvent> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    DelegateEvent last(Kind kind) const {
        const auto all = events();
        const auto found = std::find_if(all.rbegin(), all.rend(),
                                        [kind](const DelegateEvent& e) { return e.kind == kind; });
        return found == all.rend() ? DelegateEvent{kind} : *found;
    }
    int count(Kind kind) const {
        return countIf([kind](const DelegateEvent& e) { return e.kind == kind; });
    }
    int callCount() const { return int(events().size()); }
    // Finished, or completed with an error other than a pause's.
    bool ended() const { return finished() || count(Kind::Completed) > countIf(isCancellation); }
    // Paused: resume data and the cancelled completion have both arrived `times` times.
    bool paused(int times = 1) const {
        return count(Kind::Paused) >= times && countIf(isCancellation) >= times;
    }
    bool finished() const { return count(Kind::Finished) > 0; }
    qint64 totalWritten() const { return last(Kind::Progress).second; }
    std::optional<Error> lastError() const { return last(Kind::Completed).error; }
    QByteArray lastResumeData() const { return last(Kind::Paused).data; }
    std::optional<ResumeData> keptResumeData() const {
        const auto error = lastError().value_or(Error());
        return ResumeData::decode(
            error.userInfo().value(kURLSessionDownloadTaskResumeDataKey).toByteArray());
    }
    std::optional<qint64> lastResumeOffset() const {
        return count(Kind::Resumed) ? std::optional(last(Kind::Resumed).first) : std::nullopt;
    }
    QStringList threadingViolations() const {
        std::lock_guard lock(mutex_);
        return violations_;
    }

private:
    void call(Downloader& downloader, DelegateEvent event,
              const std::function<void()>& during = {}) {
        const bool overlapping = inCall_++ != 0;
        const auto session = downloader.session();
        {
            std::lock_guard lock(mutex_);
            if (overlapping) violations_ << "overlapping calls";
            if (QThread::currentThread() == QCoreApplication::instance()->thread())
                violations_ << "a call on the main thread";
            if (TransferEngine::shared().isEngineThread())
                violations_ << "a call on the engine thread";
            if (!session || !session->delegateQueue()->isCurrent())
                violations_ << "a call off the session queue";
            events_.push_back(std::move(event));
        }
        if (during) during();
        --inCall_;
    }
    static bool isCancellation(const DelegateEvent& event) {
        return event.kind == Kind::Completed && event.error &&
               event.error->code() == URLError::Cancelled;
    }
    int countIf(const std::function<bool(const DelegateEvent&)>& matches) const {
        const auto all = events();
        return int(std::count_if(all.begin(), all.end(), matches));
    }

    const QString destination_;
    const unsigned methods_;
    mutable std::mutex mutex_;
    std::vector<DelegateEvent> events_;
    std::atomic<int> inCall_{0};
    QStringList violations_;
};

// Fresh folders for every test's partial and finished files. Tears down every operation still
// running, as the record does when it goes away, and checks that no transfer or operation
// outlives the test (a finished one lets go of itself) and that every delegate it made was
// called by the threading rules.
class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(work.isValid()); }
    void TearDown() override {
        for (const auto& weak : downloaders_)
            if (auto downloader = weak.lock(); downloader && !downloader->isFinished())
                downloader->prepareToCancel();
        EXPECT_TRUE(
            waitUntil([] { return TransferEngine::shared().activeTransferCount() == 0; }, kWaitMs))
            << "a transfer outlived its operation";
        EXPECT_TRUE(waitUntil(
            [this] {
                return std::all_of(downloaders_.begin(), downloaders_.end(),
                                   [](const auto& weak) { return weak.expired(); });
            },
            kWaitMs))
            << "an operation outlived its owners";
        for (const auto& delegate : delegates_)
            EXPECT_TRUE(delegate->threadingViolations().isEmpty())
                << delegate->threadingViolations().join(", ").toStdString();
    }

    // A delegate that moves the finished file to destination(`destinationName`), or leaves it
    // where it is when the name is empty.
    std::shared_ptr<RecordingDelegate> makeDelegate(const QString& destinationName = "file.bin",
                                                    unsigned methods = ~0u) {
        delegates_.push_back(std::make_shared<RecordingDelegate>(
            destinationName.isEmpty() ? QString() : destination(destinationName), methods));
        return delegates_.back();
    }
    // Not yet queued or started.
    std::shared_ptr<Downloader> makeDownloader(const QUrl& url,
                                               const std::shared_ptr<RecordingDelegate>& delegate,
                                               const QByteArray& resumeData = {}) {
        auto downloader = Downloader::create();
        auto configuration = UrlSessionConfiguration::ephemeralSessionConfiguration();
        configuration.temporaryDirectory = partialFolder;
        downloader->setSessionConfiguration(configuration);
        downloader->setDownloadURL(url);
        downloader->setResumeData(resumeData);
        downloader->setDelegate(delegate);
        downloaders_.push_back(downloader);
        return downloader;
    }
    QString destination(const QString& name = "file.bin") const { return work.path() + "/" + name; }
    void expectSameBytes(const QString& mediaName, const QString& savedName = "file.bin") {
        EXPECT_EQ(TestSite::sha256OfFile(destination(savedName)), site.sha256OfMedia(mediaName))
            << mediaName.toStdString();
    }
    QStringList partialFiles() const {
        return QDir(partialFolder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    // False on a time-out. The operation announces it is finished only after the delegate's
    // last call has returned.
    bool runToEnd(const std::shared_ptr<Downloader>& downloader,
                  const std::shared_ptr<RecordingDelegate>& delegate) {
        downloader->start();
        return waitUntil([&] { return delegate->ended() && downloader->isFinished(); }, kWaitMs);
    }
    // Pauses and waits for the pause to complete; returns the resume data it produced.
    QByteArray pause(const std::shared_ptr<Downloader>& downloader,
                     const std::shared_ptr<RecordingDelegate>& delegate) {
        const int before = delegate->count(DelegateEvent::Kind::Paused);
        downloader->suspend();
        EXPECT_TRUE(waitUntil([&] { return delegate->paused(before + 1); }, kWaitMs));
        EXPECT_TRUE(waitUntil([&] { return !downloader->isExecuting(); }, kWaitMs));
        return delegate->lastResumeData();
    }

    TestSite& site = TestSite::shared();
    QTemporaryDir work{privateHome() + "/download-XXXXXX"};
    const QString partialFolder = work.path() + "/partial";

private:
    std::vector<std::weak_ptr<Downloader>> downloaders_;
    std::vector<std::shared_ptr<RecordingDelegate>> delegates_;
};

}  // namespace clipmoor::test
