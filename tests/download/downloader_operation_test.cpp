// The download operation's own rules: what start, suspend, resume and cancel do to its flags,
// its task and its resume data, when it lets go of itself, and how it holds a queue's slot.
#include <cstring>
#include <thread>

#include "download_test_support.h"
#include "fault_server.h"
#include "platform/http/partial_files.h"
#include "platform/http/url_session_download_task.h"
#include "platform/operation_queue.h"

namespace clipmoor::test {
namespace {

using Kind = DelegateEvent::Kind;

using DownloaderOperationTest = DownloadTest;

// A whole life: a start through cancel, pauses (a second one finds nothing running) and resumes,
// each continuing where the last pause stopped, to the site's bytes.
TEST_F(DownloaderOperationTest, LifecycleKeepsThePausesResumeDataAndAnnouncesEveryFlagChange) {
    site.mediaFile("life.bin", 1024 * 1024);
    const auto delegate = makeDelegate();
    const auto downloader = makeDownloader(site.slowMediaUrl("life.bin", 500'000), delegate);
    struct Log {
        std::mutex mutex;
        QStringList announcements;
    };
    const auto log = std::make_shared<Log>();  // the operation may announce after the test
    downloader->addChangeObserver([log](Operation& operation, const char* key, bool prior) {
        const bool executing = std::strcmp(key, "isExecuting") == 0;
        const bool value = executing ? operation.isExecuting() : operation.isFinished();
        std::lock_guard lock(log->mutex);
        log->announcements << (prior ? QStringLiteral("will %1").arg(key)
                                     : QStringLiteral("did %1=%2").arg(key).arg(int(value)));
    });

    EXPECT_EQ(downloader->state(), 1);
    downloader->cancel();  // a never-started operation starts
    QStringList expected = {"will isExecuting", "did isExecuting=1"};
    qint64 pausedAt = 0;
    for (int cycle = 1; cycle <= 3; ++cycle) {
        SCOPED_TRACE(cycle);
        // Some new bytes first (the site sends a burst when an answer starts).
        ASSERT_TRUE(waitUntil([&] { return delegate->totalWritten() > pausedAt; }, kWaitMs));
        EXPECT_EQ(downloader->state(), 0);
        const QByteArray data = pause(downloader, delegate);
        ASSERT_TRUE(ResumeData::decode(data)) << data.toStdString();
        pausedAt = ResumeData::decode(data)->bytesOnDisk;
        EXPECT_EQ(downloader->state(), 3);
        downloader->suspend();  // a second pause: nothing is running
        spinEventLoop(300);
        EXPECT_EQ(downloader->resumeData(), data);
        EXPECT_EQ(delegate->count(Kind::Paused), cycle);

        downloader->resume();
        expected << "will isExecuting"
                 << "did isExecuting=0"  // paused
                 << "will isExecuting"
                 << "did isExecuting=1";  // resumed
        ASSERT_TRUE(waitUntil([&] { return delegate->count(Kind::Resumed) == cycle; }, kWaitMs));
        EXPECT_EQ(delegate->lastResumeOffset(), pausedAt);
    }
    ASSERT_TRUE(waitUntil([&] { return downloader->isFinished(); }, kWaitMs));
    ASSERT_TRUE(delegate->finished()) << describe(delegate->lastError());
    EXPECT_EQ(downloader->state(), 3);
    downloader->cancel();  // finished: nothing happens
    spinEventLoop(100);
    expectSameBytes("life.bin");
    std::lock_guard lock(log->mutex);
    EXPECT_EQ(log->announcements, expected + QStringList({"will isExecuting", "did isExecuting=0",
                                                          "will isFinished", "did isFinished=1"}));
}

// A resume that comes before the pause has produced its resume data continues from that data,
// rather than starting a second transfer and leaving the paused one's partial file behind.
TEST_F(DownloaderOperationTest, ResumeDuringAPauseContinuesFromItsResumeData) {
    site.mediaFile("hasty.bin", 1024 * 1024);
    const auto delegate = makeDelegate();
    const auto downloader = makeDownloader(site.slowMediaUrl("hasty.bin", 500'000), delegate);
    downloader->start();
    ASSERT_TRUE(waitUntil([&] { return delegate->totalWritten() > 0; }, kWaitMs));
    downloader->suspend();
    downloader->resume();
    ASSERT_TRUE(waitUntil([&] { return delegate->ended(); }, kWaitMs));
    ASSERT_TRUE(delegate->finished()) << describe(delegate->lastError());
    EXPECT_TRUE(delegate->paused());
    EXPECT_EQ(delegate->lastResumeOffset(),
              ResumeData::decode(delegate->lastResumeData()).value().bytesOnDisk);
    expectSameBytes("hasty.bin");
    EXPECT_TRUE(partialFiles().isEmpty()) << partialFiles().join(' ').toStdString();
}

// The record went away (prepareToCancel) before the queue's worker started the operation.
TEST_F(DownloaderOperationTest, AnOperationDetachedBeforeItsStartMakesNoTransfer) {
    const auto downloader =
        makeDownloader(site.mediaFile("unheard.bin", 64 * 1024), makeDelegate());
    downloader->prepareToCancel();
    downloader->start();
    EXPECT_FALSE(downloader->downloadTask());
    EXPECT_TRUE(downloader->isFinished());
    spinEventLoop(200);
    EXPECT_TRUE(partialFiles().isEmpty()) << partialFiles().join(' ').toStdString();
    for (const AccessLogEntry& entry : site.accessLog())
        EXPECT_FALSE(entry.target().contains("unheard.bin")) << entry.target().toStdString();
}

// The queue's worker and a user's resume may start the operation at the same moment.
TEST_F(DownloaderOperationTest, StartsAtTheSameMomentMakeOneTransfer) {
    // Task numbers are handed out in order: a task made just before and one just after the two
    // starts tell how many they made.
    const auto nextTaskNumber = [] {
        const auto probe =
            UrlSession::create(UrlSessionConfiguration::ephemeralSessionConfiguration());
        return probe->downloadTask(QUrl("http://127.0.0.1:9/probe"))->taskIdentifier();
    };
    const QUrl silent = site.faultServer().stallUrl(1000);  // keeps every transfer running
    int doubled = 0;
    for (int round = 0; round < 200; ++round) {
        const auto downloader = makeDownloader(silent, makeDelegate());
        std::atomic<int> ready{0};
        const auto racer = [&] {
            ++ready;
            while (ready.load() < 2) continue;
            downloader->start();
        };
        const quint64 before = nextTaskNumber();
        std::thread first(racer), second(racer);
        first.join();
        second.join();
        if (nextTaskNumber() - before != 2) ++doubled;
        downloader->prepareToCancel();
    }
    EXPECT_EQ(doubled, 0) << "rounds in which the two starts made two transfers";
}

// Resume data from a pause belongs to whoever took it: the owner keeps its partial file until
// it goes away; data that nobody took goes with the operation.
TEST_F(DownloaderOperationTest, ADroppedPauseLeavesAPartialFileOnlyWhileItsOwnerHoldsIt) {
    site.mediaFile("held.bin", 1024 * 1024);
    const struct {
        const char* name;
        bool ownerTakesPauses;
        bool waitForThePause;
    } cases[] = {
        {"the owner holds the resume data", true, true},
        {"nobody took the resume data", false, true},
        {"dropped while the pause is under way", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto delegate = makeDelegate(
            "", c.ownerTakesPauses ? ~0u : ~unsigned(DownloaderDelegate::DidPauseWithResumeData));
        const auto downloader = makeDownloader(site.slowMediaUrl("held.bin", 500'000), delegate);
        downloader->start();
        ASSERT_TRUE(waitUntil([&] { return delegate->totalWritten() >= 100'000; }, kWaitMs));
        downloader->suspend();
        if (c.waitForThePause) {
            ASSERT_TRUE(waitUntil([&] { return !downloader->resumeData().isEmpty(); }, kWaitMs));
        }
        downloader->prepareToCancel();
        if (c.ownerTakesPauses) {
            spinEventLoop(200);
            EXPECT_EQ(partialFiles().size(), 1) << "the owner may still resume from it";
            discardResumeData(delegate->lastResumeData(), partialFolder);  // the owner goes
        }
        EXPECT_TRUE(waitUntil([&] { return partialFiles().isEmpty(); }, kWaitMs))
            << partialFiles().join(' ').toStdString();
    }
}

// A paused operation keeps its slot, and every session delivers its calls one at a time on its
// own queue (which the fixture checks).
TEST_F(DownloaderOperationTest, FiveSlotsRunFiveOperationsAndAPausedOneKeepsItsSlot) {
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(5);
    // The first operation and the last two transfer; the four between them hold their slots
    // until they are let go.
    const QString names[] = {"kept.bin", "sixth.bin", "seventh.bin"};
    std::vector<std::shared_ptr<RecordingDelegate>> running;
    std::vector<std::shared_ptr<Downloader>> transfers, stalled;
    for (const QString& name : names) {
        site.mediaFile(name, 512 * 1024);
        running.push_back(makeDelegate(name));
        // Slow enough that calls of all sessions interleave; each call lingers a moment so
        // that two calls of one session would overlap if they could.
        running.back()->onProgress = [](Downloader&, qint64) { QThread::msleep(2); };
        transfers.push_back(makeDownloader(site.slowMediaUrl(name, 400'000), running.back()));
    }
    queue.addOperation(transfers[0]);
    for (int i = 0; i < 4; ++i) {
        stalled.push_back(makeDownloader(site.faultServer().stallUrl(1000), makeDelegate()));
        queue.addOperation(stalled.back());
    }
    for (const int last : {1, 2}) queue.addOperation(transfers[last]);

    ASSERT_TRUE(waitUntil([&] { return running[0]->totalWritten() >= 100'000; }, kWaitMs));
    pause(transfers[0], running[0]);
    spinEventLoop(500);
    EXPECT_EQ(running[1]->callCount() + running[2]->callCount(), 0) << "a sixth operation ran";
    EXPECT_EQ(queue.slotsInUse(), 5u);

    transfers[0]->resume();
    stalled[0]->prepareToCancel();  // frees two slots
    stalled[1]->prepareToCancel();
    ASSERT_TRUE(waitUntil(
        [&] {
            return std::all_of(running.begin(), running.end(),
                               [](const auto& delegate) { return delegate->ended(); });
        },
        kWaitMs));
    for (const QString& name : names) expectSameBytes(name, name);
    EXPECT_TRUE(waitUntil([&] { return queue.operationCount() == 2; }, kWaitMs))
        << "finished operations stay in the queue";
}

}  // namespace
}  // namespace clipmoor::test
