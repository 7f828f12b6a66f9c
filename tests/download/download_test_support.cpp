#include "download_test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include "platform/file_operations.h"
#include "platform/http/transfer_engine.h"
#include "platform/http/url_error.h"
#include "platform/http/url_session.h"
#include "test_environment.h"

namespace clipmoor::test {

// Marks one delegate call: counts overlapping calls and calls on the wrong thread.
class RecordingDelegate::CallScope {
public:
    CallScope(RecordingDelegate& delegate, Downloader& downloader) : delegate_(delegate) {
        if (delegate_.inCall_.fetch_add(1) != 0) delegate_.violated("overlapping calls");
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            delegate_.violated("a call on the main thread");
        if (TransferEngine::shared().isEngineThread())
            delegate_.violated("a call on the engine thread");
        const auto session = downloader.session();
        if (!session || !session->delegateQueue()->isCurrent())
            delegate_.violated("a call off the session queue");
    }
    ~CallScope() { --delegate_.inCall_; }

private:
    RecordingDelegate& delegate_;
};

void RecordingDelegate::record(DelegateEvent event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
}

void RecordingDelegate::downloaderDidWriteData(Downloader& downloader, qint64 bytesWritten,
                                               qint64 totalBytesWritten,
                                               qint64 totalBytesExpected) {
    CallScope scope(*this, downloader);
    record({.kind = Kind::Progress,
            .first = bytesWritten,
            .second = totalBytesWritten,
            .third = totalBytesExpected});
    if (onProgress) onProgress(downloader, totalBytesWritten);
}

void RecordingDelegate::downloaderDidFinishDownloadingToURL(Downloader& downloader,
                                                            const QString& location) {
    CallScope scope(*this, downloader);
    const bool existed = QFile::exists(location);
    std::optional<Error> moveError;
    if (!destination_.isEmpty()) moveError = moveFile(location, destination_);
    record({.kind = Kind::Finished,
            .error = moveError,
            .data = QFile::encodeName(location),
            .locationExisted = existed});
}

void RecordingDelegate::downloaderDidCompleteWithError(Downloader& downloader, const Error& error) {
    CallScope scope(*this, downloader);
    record({.kind = Kind::Completed, .error = error});
}

void RecordingDelegate::downloaderDidResumeAtOffset(Downloader& downloader, qint64 fileOffset,
                                                    qint64 expectedTotalBytes) {
    CallScope scope(*this, downloader);
    record({.kind = Kind::Resumed, .first = fileOffset, .second = expectedTotalBytes});
}

void RecordingDelegate::downloaderDidPauseWithResumeData(Downloader& downloader,
                                                         const QByteArray& resumeData) {
    CallScope scope(*this, downloader);
    record({.kind = Kind::Paused, .data = resumeData});
}

void RecordingDelegate::downloaderDidCheckpointResumeData(Downloader& downloader,
                                                          const QByteArray& resumeData) {
    CallScope scope(*this, downloader);
    record({.kind = Kind::Checkpoint, .data = resumeData});
    if (onCheckpoint) onCheckpoint(resumeData);
}

void RecordingDelegate::violated(const QString& rule) {
    std::lock_guard lock(mutex_);
    violations_.append(rule);
}

QStringList RecordingDelegate::threadingViolations() const {
    std::lock_guard lock(mutex_);
    return violations_;
}

std::vector<DelegateEvent> RecordingDelegate::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::optional<DelegateEvent> RecordingDelegate::last(Kind kind) const {
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(events_.rbegin(), events_.rend(),
                                    [kind](const DelegateEvent& e) { return e.kind == kind; });
    return found == events_.rend() ? std::nullopt : std::optional(*found);
}

int RecordingDelegate::count(Kind kind) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(events_.begin(), events_.end(),
                                          [kind](const auto& e) { return e.kind == kind; }));
}

int RecordingDelegate::callCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(events_.size());
}

namespace {
bool isCancellation(const DelegateEvent& event) {
    return event.kind == DelegateEvent::Kind::Completed && event.error &&
           event.error->code() == URLError::Cancelled;
}
}  // namespace

bool RecordingDelegate::ended() const {
    std::lock_guard lock(mutex_);
    return std::any_of(events_.begin(), events_.end(), [](const DelegateEvent& e) {
        return e.kind == Kind::Finished || (e.kind == Kind::Completed && !isCancellation(e));
    });
}

bool RecordingDelegate::paused(int times) const {
    std::lock_guard lock(mutex_);
    const auto pauses = std::count_if(events_.begin(), events_.end(),
                                      [](const auto& e) { return e.kind == Kind::Paused; });
    return pauses >= times &&
           std::count_if(events_.begin(), events_.end(), isCancellation) >= times;
}

std::string describe(const std::optional<Error>& error) {
    return error ? error->debugDescription().toStdString() : "no error";
}

void DownloadTest::SetUp() {
    work = std::make_unique<QTemporaryDir>(privateHome() + "/download-XXXXXX");
    ASSERT_TRUE(work->isValid());
    partialFolder = work->path() + "/partial";
    ASSERT_TRUE(QDir().mkpath(work->path() + "/done"));
}

void DownloadTest::TearDown() {
    for (const auto& weak : downloaders_)
        if (auto downloader = weak.lock()) downloader->prepareToCancel();
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

std::shared_ptr<RecordingDelegate> DownloadTest::makeDelegate(const QString& destinationName,
                                                              unsigned methods) {
    delegates_.push_back(std::make_shared<RecordingDelegate>(
        destinationName.isEmpty() ? QString() : destination(destinationName), methods));
    return delegates_.back();
}

std::shared_ptr<Downloader> DownloadTest::makeDownloader(
    const QUrl& url, const std::shared_ptr<RecordingDelegate>& delegate,
    const QByteArray& resumeData) {
    auto downloader = Downloader::create();
    UrlSessionConfiguration configuration =
        UrlSessionConfiguration::ephemeralSessionConfiguration();
    configuration.temporaryDirectory = partialFolder;
    configuration.resumeCheckpointIntervalMs = checkpointIntervalMs;
    downloader->setSessionConfiguration(configuration);
    downloader->setDownloadURL(url);
    downloader->setResumeData(resumeData);
    downloader->setDelegate(delegate);
    downloaders_.push_back(downloader);
    return downloader;
}

QString DownloadTest::destination(const QString& name) const {
    return work->path() + "/done/" + name;
}

QStringList DownloadTest::partialFiles() const {
    return QDir(partialFolder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

bool DownloadTest::startPast(const std::shared_ptr<Downloader>& downloader,
                             const std::shared_ptr<RecordingDelegate>& delegate, qint64 bytes) {
    downloader->start();
    return waitUntil([&] { return delegate->totalWritten() >= bytes; }, kWaitMs);
}

bool DownloadTest::runToEnd(const std::shared_ptr<Downloader>& downloader,
                            const std::shared_ptr<RecordingDelegate>& delegate) {
    downloader->start();
    // The operation announces it is finished only after the delegate's last call has returned.
    return waitUntil([&] { return delegate->ended() && downloader->isFinished(); }, kWaitMs);
}

QByteArray DownloadTest::pause(const std::shared_ptr<Downloader>& downloader,
                               const std::shared_ptr<RecordingDelegate>& delegate) {
    const int before = delegate->count(DelegateEvent::Kind::Paused);
    downloader->suspend();
    EXPECT_TRUE(waitUntil([&] { return delegate->paused(before + 1); }, kWaitMs));
    EXPECT_TRUE(waitUntil([&] { return !downloader->isExecuting(); }, kWaitMs));
    return delegate->lastResumeData();
}

}  // namespace clipmoor::test
