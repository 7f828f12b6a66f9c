// Download operations on an operation queue: at most maxConcurrentOperationCount hold a slot,
// a paused one keeps it, and every session delivers its calls one at a time on its own queue
// (which the fixture checks for every delegate).
#include <cstring>

#include "download_test_support.h"
#include "fault_server.h"
#include "platform/operation_queue.h"

namespace clipmoor::test {
namespace {

using Kind = DelegateEvent::Kind;

using DownloadQueueTest = DownloadTest;

TEST_F(DownloadQueueTest, SevenOperationsOnFiveSlotsNeverRunMoreThanFive) {
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(5);
    // How many run at once, from the operations' own announcements; shared with the observers,
    // which may announce after the test.
    struct Running {
        std::mutex mutex;
        int now = 0, most = 0;
    };
    const auto running = std::make_shared<Running>();
    std::vector<std::shared_ptr<RecordingDelegate>> delegates;
    for (int i = 0; i < 7; ++i) {
        const QString name = QStringLiteral("seven-%1.bin").arg(i);
        site.mediaFile(name, 384 * 1024);
        delegates.push_back(makeDelegate(name));
        // Slow enough that calls of all sessions interleave; each call lingers a moment so
        // that two calls of one session would overlap if they could.
        delegates.back()->onProgress = [](Downloader&, qint64) { QThread::msleep(2); };
        const auto downloader = makeDownloader(site.slowMediaUrl(name, 256'000), delegates.back());
        downloader->addChangeObserver([running](Operation& changed, const char* key, bool prior) {
            if (prior || std::strcmp(key, "isExecuting") != 0) return;
            std::lock_guard lock(running->mutex);
            running->now += changed.isExecuting() ? 1 : -1;
            running->most = std::max(running->most, running->now);
        });
        queue.addOperation(downloader);
    }
    std::size_t mostTransfers = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            mostTransfers = std::max(mostTransfers, TransferEngine::shared().activeTransferCount());
            return std::all_of(delegates.begin(), delegates.end(),
                               [](const auto& delegate) { return delegate->ended(); });
        },
        kWaitMs));
    EXPECT_EQ(running->most, 5);
    EXPECT_LE(mostTransfers, 5u);
    EXPECT_TRUE(waitUntil([&] { return queue.operationCount() == 0; }, kWaitMs));
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        const QString name = QStringLiteral("seven-%1.bin").arg(i);
        ASSERT_TRUE(delegates[i]->finished()) << describe(delegates[i]->lastError());
        expectSameBytes(name, name);
    }
}

TEST_F(DownloadQueueTest, PausedOperationKeepsItsSlot) {
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(5);
    site.mediaFile("kept.bin", 1024 * 1024);
    site.mediaFile("sixth.bin", 256 * 1024);

    const auto pausedDelegate = makeDelegate("kept.bin");
    const auto paused = makeDownloader(site.slowMediaUrl("kept.bin", 400'000), pausedDelegate);
    // Four that hold their slots until they are let go.
    std::vector<std::shared_ptr<Downloader>> stalled;
    for (int i = 0; i < 4; ++i)
        stalled.push_back(
            makeDownloader(site.faultServer().stallUrl(1000), makeDelegate(QString::number(i))));
    const auto sixthDelegate = makeDelegate("sixth.bin");
    const auto sixth = makeDownloader(site.mediaUrl("sixth.bin"), sixthDelegate);
    for (const auto& operation : {paused, stalled[0], stalled[1], stalled[2], stalled[3], sixth})
        queue.addOperation(operation);

    ASSERT_TRUE(waitUntil([&] { return pausedDelegate->totalWritten() >= 100'000; }, kWaitMs));
    pause(paused, pausedDelegate);
    EXPECT_FALSE(paused->isFinished());
    spinEventLoop(500);
    EXPECT_FALSE(sixth->isExecuting() || sixth->isFinished())
        << "the paused operation gave its slot away";
    EXPECT_EQ(sixthDelegate->callCount(), 0);
    EXPECT_EQ(queue.slotsInUse(), 5u);

    paused->resume();
    stalled[0]->prepareToCancel();  // frees one slot
    ASSERT_TRUE(
        waitUntil([&] { return sixthDelegate->ended() && pausedDelegate->ended(); }, kWaitMs));
    ASSERT_TRUE(sixthDelegate->finished()) << describe(sixthDelegate->lastError());
    ASSERT_TRUE(pausedDelegate->finished()) << describe(pausedDelegate->lastError());
    expectSameBytes("sixth.bin", "sixth.bin");
    expectSameBytes("kept.bin", "kept.bin");
}

}  // namespace
}  // namespace clipmoor::test
