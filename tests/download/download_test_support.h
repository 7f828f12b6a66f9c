#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "download/downloader.h"
#include "download/downloader_delegate.h"
#include "platform/error.h"
#include "test_site.h"

namespace clipmoor::test {

inline constexpr int kWaitMs = 30'000;
inline constexpr unsigned kAllDownloaderMethods =
    DownloaderDelegate::DidWriteData | DownloaderDelegate::DidFinishDownloadingToURL |
    DownloaderDelegate::DidCompleteWithError | DownloaderDelegate::DidResumeAtOffset |
    DownloaderDelegate::DidPauseWithResumeData | DownloaderDelegate::DidCheckpointResumeData;

// One delegate call as the recording delegate saw it.
struct DelegateEvent {
    enum class Kind { Progress, Finished, Completed, Resumed, Paused, Checkpoint };
    Kind kind;
    qint64 first = 0;   // progress: bytes since the last report; resumed: the offset
    qint64 second = 0;  // progress: total written; resumed: the expected total
    qint64 third = 0;   // progress: total expected
    // Completed: the error; finished: what the move to the destination reported.
    std::optional<Error> error = std::nullopt;
    // Paused and checkpoint: the resume data; finished: the temporary location.
    QByteArray data = {};
    bool locationExisted = false;  // finished: the file was there during the call
};

// A delegate that records every call, moves a finished file to `destination` (when one is set)
// and notes every break of the threading rules: calls never overlap and run on the operation's
// session queue, never on the main thread or the transfer engine's thread.
class RecordingDelegate : public DownloaderDelegate {
public:
    using Kind = DelegateEvent::Kind;

    explicit RecordingDelegate(QString destination = {}, unsigned methods = kAllDownloaderMethods)
        : destination_(std::move(destination)), methods_(methods) {}

    unsigned implementedDownloaderMethods() const override { return methods_; }
    void downloaderDidWriteData(Downloader& downloader, qint64 bytesWritten,
                                qint64 totalBytesWritten, qint64 totalBytesExpected) override;
    void downloaderDidFinishDownloadingToURL(Downloader& downloader,
                                             const QString& location) override;
    void downloaderDidCompleteWithError(Downloader& downloader, const Error& error) override;
    void downloaderDidResumeAtOffset(Downloader& downloader, qint64 fileOffset,
                                     qint64 expectedTotalBytes) override;
    void downloaderDidPauseWithResumeData(Downloader& downloader,
                                          const QByteArray& resumeData) override;
    void downloaderDidCheckpointResumeData(Downloader& downloader,
                                           const QByteArray& resumeData) override;

    // Runs inside each progress call, on the session queue (e.g. to cancel from there).
    std::function<void(Downloader&, qint64 totalBytesWritten)> onProgress;
    // Runs inside each checkpoint call, on the session queue.
    std::function<void(const QByteArray& resumeData)> onCheckpoint;

    std::vector<DelegateEvent> events() const;
    std::optional<DelegateEvent> last(Kind kind) const;
    int count(Kind kind) const;
    int callCount() const;
    // Finished, or completed with an error other than a pause's.
    bool ended() const;
    // Paused: resume data and the cancelled completion have both arrived `times` times.
    bool paused(int times = 1) const;

    bool finished() const { return count(Kind::Finished) > 0; }
    qint64 totalWritten() const { return last(Kind::Progress).value_or(DelegateEvent{}).second; }
    std::optional<Error> lastError() const {
        return last(Kind::Completed).value_or(DelegateEvent{}).error;
    }
    QByteArray lastResumeData() const { return last(Kind::Paused).value_or(DelegateEvent{}).data; }
    std::optional<qint64> lastResumeOffset() const {
        const auto resumed = last(Kind::Resumed);
        return resumed ? std::optional(resumed->first) : std::nullopt;
    }

    QStringList threadingViolations() const;

private:
    class CallScope;
    void record(DelegateEvent event);
    void violated(const QString& rule);

    const QString destination_;
    const unsigned methods_;
    mutable std::mutex mutex_;
    std::vector<DelegateEvent> events_;
    std::atomic<int> inCall_{0};
    QStringList violations_;
};

std::string describe(const std::optional<Error>& error);

// Fresh folders for every test: the session's partial files and the destination of finished
// files. Tears down every operation it made, as the record does when it goes away, and checks
// that nothing outlives the test (no transfer, no operation) and that every delegate it made
// was called by the threading rules.
class DownloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TestSite::shared(); }
    void SetUp() override;
    void TearDown() override;

    // A delegate that moves the finished file to destination(`destinationName`), or leaves it
    // where it is when the name is empty.
    std::shared_ptr<RecordingDelegate> makeDelegate(const QString& destinationName = "file.bin",
                                                    unsigned methods = kAllDownloaderMethods);
    // An operation with the test's partial-file folder, not yet queued or started.
    std::shared_ptr<Downloader> makeDownloader(const QUrl& url,
                                               const std::shared_ptr<RecordingDelegate>& delegate,
                                               const QByteArray& resumeData = {});
    QString destination(const QString& name = "file.bin") const;
    // The file saved as destination(`savedName`) holds exactly the site's media `mediaName`.
    void expectSameBytes(const QString& mediaName, const QString& savedName = "file.bin") {
        EXPECT_EQ(TestSite::sha256OfFile(destination(savedName)), site.sha256OfMedia(mediaName))
            << mediaName.toStdString();
    }
    QStringList partialFiles() const;
    // Starts `downloader` and waits until its delegate has seen `bytes` written.
    bool startPast(const std::shared_ptr<Downloader>& downloader,
                   const std::shared_ptr<RecordingDelegate>& delegate, qint64 bytes);
    // Runs `downloader` until its delegate reports the end; returns false on a time-out.
    bool runToEnd(const std::shared_ptr<Downloader>& downloader,
                  const std::shared_ptr<RecordingDelegate>& delegate);
    // Pauses and waits for the pause to complete; returns the resume data it produced.
    QByteArray pause(const std::shared_ptr<Downloader>& downloader,
                     const std::shared_ptr<RecordingDelegate>& delegate);

    TestSite& site = TestSite::shared();
    std::unique_ptr<QTemporaryDir> work;
    QString partialFolder;
    // For the operations made from now on.
    int checkpointIntervalMs = UrlSessionConfiguration().resumeCheckpointIntervalMs;

private:
    std::vector<std::weak_ptr<Downloader>> downloaders_;
    std::vector<std::shared_ptr<RecordingDelegate>> delegates_;
};

}  // namespace clipmoor::test
