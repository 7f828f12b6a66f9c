// Faults on the server, on the disk and in the owner's hands: each ends in a clean failure
// (or in silence, once the owner has let go), never in a finished file.
#include <sys/resource.h>
#include <csignal>

#include "download_test_support.h"
#include "fault_server.h"
#include "platform/http/partial_files.h"

namespace clipmoor::test {
namespace {

using Kind = DelegateEvent::Kind;

class DownloadFaultTest : public DownloadTest {
protected:
    // The operation failed once with `domain`/`code`, finished, and placed no file.
    void expectCleanFailure(const Downloader& downloader, const RecordingDelegate& delegate,
                            const QString& domain, qint64 code, const QString& name) {
        const auto error = delegate.lastError();
        EXPECT_TRUE(error && error->is(domain, code)) << describe(error);
        EXPECT_EQ(delegate.count(Kind::Completed), 1);
        EXPECT_TRUE(waitUntil([&] { return downloader.isFinished(); }, kWaitMs));
        EXPECT_FALSE(QFile::exists(destination(name)));
    }
};

// However it fails, the operation finishes (and lets go of itself, which the fixture checks).
TEST_F(DownloadFaultTest, ServerFaultsEndInACleanFailureAndReleaseTheOperation) {
    const struct {
        const char* name;
        QUrl url;
        qint64 code;
        bool bodyArrives;  // and is kept, with resume data, for a retry
    } cases[] = {
        {"404", site.statusUrl(404), URLError::BadServerResponse, false},
        {"file address", QUrl("file:///etc/hostname"), URLError::UnsupportedURL, false},
        {"nothing to download", QUrl(), URLError::BadURL, false},
        {"connection cut mid-body", site.faultServer().cutConnectionUrl(500'000, 100'000),
         URLError::NetworkConnectionLost, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // With nothing to download, the end is told on the thread that starts the operation.
        const auto delegate = c.url.isEmpty()
                                  ? std::make_shared<RecordingDelegate>(destination(c.name))
                                  : makeDelegate(c.name);
        const auto downloader = makeDownloader(c.url, delegate);
        ASSERT_TRUE(runToEnd(downloader, delegate));
        expectCleanFailure(*downloader, *delegate, kURLErrorDomain, c.code, c.name);
        const auto kept = delegate->keptResumeData();
        if (!c.bodyArrives) {
            EXPECT_EQ(delegate->count(Kind::Progress), 0);
            EXPECT_FALSE(kept);
        } else {
            // The bytes received (a reset may lose the last ones in flight) are in the kept
            // file, exactly as the server sent them.
            ASSERT_TRUE(kept);
            EXPECT_TRUE(kept->bytesOnDisk > 0 && kept->bytesOnDisk <= 100'000) << kept->bytesOnDisk;
            EXPECT_EQ(kept->expectedTotal, 500'000);
            QFile partial(kept->partialFile);
            ASSERT_TRUE(partial.open(QIODevice::ReadOnly));
            EXPECT_EQ(partial.readAll(), FaultServer::body(kept->bytesOnDisk));
            discardResumeData(kept->encode(), partialFolder);
        }
    }
    EXPECT_TRUE(waitUntil([&] { return partialFiles().isEmpty(); }, kWaitMs))
        << partialFiles().join(' ').toStdString();
}

TEST_F(DownloadFaultTest, VanishingPartialFileRestartsTwiceThenFails) {
    site.mediaFile("vanishing.bin", 256 * 1024);
    const auto delegate = makeDelegate("vanishing.bin");
    const auto downloader = makeDownloader(site.slowMediaUrl("vanishing.bin", 300'000), delegate);
    downloader->start();
    for (quint64 attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        ASSERT_TRUE(waitUntil([&] { return downloader->retryAttemps() == attempt; }, kWaitMs));
        ASSERT_TRUE(waitUntil([&] { return !partialFiles().isEmpty(); }, kWaitMs));
        for (const QString& name : partialFiles()) QFile::remove(partialFolder + "/" + name);
        EXPECT_EQ(delegate->count(Kind::Completed), 0);
    }
    ASSERT_TRUE(waitUntil([&] { return delegate->ended(); }, kWaitMs));
    expectCleanFailure(*downloader, *delegate, kPOSIXErrorDomain, ENOENT, "vanishing.bin");
    EXPECT_EQ(downloader->retryAttemps(), 2u);
}

// The owner lets go from inside a delegate call; the sleep test does so from the main thread.
TEST_F(DownloadFaultTest, PrepareToCancelMidTransferSilencesTheDelegate) {
    site.mediaFile("cancelled.bin", 1024 * 1024);
    const auto delegate = makeDelegate("cancelled.bin");
    const auto downloader = makeDownloader(site.slowMediaUrl("cancelled.bin", 400'000), delegate);
    std::atomic<int> callsBefore{-1};
    delegate->onProgress = [&](Downloader& self, qint64 total) {
        if (total < 100'000 || callsBefore >= 0) return;
        self.prepareToCancel();
        callsBefore = delegate->callCount();
    };
    downloader->start();
    ASSERT_TRUE(waitUntil([&] { return callsBefore >= 0; }, kWaitMs));
    EXPECT_TRUE(waitUntil([&] { return partialFiles().isEmpty(); }, kWaitMs));
    spinEventLoop(500);
    EXPECT_EQ(delegate->callCount(), callsBefore.load());
    EXPECT_FALSE(delegate->finished());
    EXPECT_TRUE(downloader->isFinished());
    EXPECT_FALSE(downloader->session());
}

TEST_F(DownloadFaultTest, UnwritableFolderOrFullDiskFailsWithoutPlacingAFile) {
    const QUrl url = site.mediaFile("nospace.bin", 1024 * 1024);
    {
        SCOPED_TRACE("the partial-file folder is a plain file");
        QFile blocker(partialFolder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const auto delegate = makeDelegate("nospace.bin");
        const auto downloader = makeDownloader(url, delegate);
        ASSERT_TRUE(runToEnd(downloader, delegate));
        const auto error = delegate->lastError();
        ASSERT_TRUE(error);
        expectCleanFailure(*downloader, *delegate, kPOSIXErrorDomain, error->code(), "nospace.bin");
        EXPECT_EQ(downloader->retryAttemps(), 0u) << describe(error);
        ASSERT_TRUE(QFile::remove(partialFolder));
    }
    {
        SCOPED_TRACE("no file may grow past 256 KiB");
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limited{256 * 1024, saved.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const auto delegate = makeDelegate("nospace.bin");
        const auto downloader = makeDownloader(url, delegate);
        const bool ended = runToEnd(downloader, delegate);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedHandler);
        ASSERT_TRUE(ended);
        expectCleanFailure(*downloader, *delegate, kPOSIXErrorDomain, EFBIG, "nospace.bin");
        // What fitted is kept for a retry once there is room again.
        const auto kept = delegate->keptResumeData();
        ASSERT_TRUE(kept);
        EXPECT_TRUE(kept->bytesOnDisk > 0 && kept->bytesOnDisk <= 256 * 1024) << kept->bytesOnDisk;
        discardResumeData(kept->encode(), partialFolder);
        EXPECT_TRUE(partialFiles().isEmpty()) << partialFiles().join(' ').toStdString();
    }
}

}  // namespace
}  // namespace clipmoor::test
