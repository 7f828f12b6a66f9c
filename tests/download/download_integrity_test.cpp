// Every finished file is byte-identical to what the site serves: whole, across pauses, across
// a fresh operation, and from a server that ignores Range.
#include <QFile>

#include <gtest/gtest.h>

#include "download_test_support.h"
#include "platform/http/resume_data.h"
#include "platform/http/url_session.h"
#include "test_environment.h"

namespace clipmoor::test {
namespace {

using Kind = DelegateEvent::Kind;

class DownloadIntegrityTest : public DownloadTest {};

TEST_F(DownloadIntegrityTest, FinishedFileIsWholeAndGoneAfterTheCall) {
    constexpr qint64 kSize = 4 * 1024 * 1024;
    const QUrl url = site.mediaFile("whole.bin", kSize);
    for (const bool delegateMovesIt : {true, false}) {
        SCOPED_TRACE(delegateMovesIt ? "moved by the delegate" : "left where it was");
        const auto delegate = makeDelegate(delegateMovesIt ? "whole.bin" : "");
        const auto downloader = makeDownloader(url, delegate);
        ASSERT_TRUE(runToEnd(downloader, delegate));
        ASSERT_TRUE(delegate->finished()) << describe(delegate->lastError());
        const DelegateEvent handOver = *delegate->last(Kind::Finished);
        EXPECT_TRUE(handOver.locationExisted);
        EXPECT_FALSE(handOver.error) << describe(handOver.error);
        EXPECT_TRUE(
            waitUntil([&] { return !QFile::exists(QFile::decodeName(handOver.data)); }, kWaitMs));
        EXPECT_TRUE(partialFiles().isEmpty()) << partialFiles().join(' ').toStdString();
        EXPECT_TRUE(downloader->isFinished());
        EXPECT_FALSE(downloader->isExecuting());

        // Progress adds up to the file, ends on its last byte, and never runs backwards.
        qint64 sum = 0, previous = 0;
        for (const DelegateEvent& event : delegate->events()) {
            if (event.kind != Kind::Progress) continue;
            sum += event.first;
            EXPECT_GT(event.second, previous);
            EXPECT_EQ(event.third, kSize);
            previous = event.second;
        }
        EXPECT_EQ(sum, kSize);
        EXPECT_EQ(delegate->totalWritten(), kSize);
        EXPECT_EQ(delegate->count(Kind::Resumed), 0);
    }
    expectSameBytes("whole.bin", "whole.bin");
}

TEST_F(DownloadIntegrityTest, TenPauseResumeCyclesGiveTheSameBytes) {
    constexpr qint64 kSize = 2 * 1024 * 1024;
    site.mediaFile("cycles.bin", kSize);
    const auto delegate = makeDelegate();
    const auto downloader = makeDownloader(site.slowMediaUrl("cycles.bin", 50'000), delegate);
    downloader->start();

    std::vector<qint64> pausedAt;
    for (int cycle = 0; cycle < 10; ++cycle) {
        SCOPED_TRACE(cycle);
        // Some new bytes since the last pause (the site sends a burst when an answer starts).
        const qint64 from = pausedAt.empty() ? 0 : pausedAt.back();
        ASSERT_TRUE(waitUntil([&] { return delegate->totalWritten() > from; }, kWaitMs));
        const QByteArray data = pause(downloader, delegate);
        const auto decoded = ResumeData::decode(data);
        ASSERT_TRUE(decoded) << data.toStdString();
        pausedAt.push_back(decoded->bytesOnDisk);
        EXPECT_EQ(downloader->resumeData(), data);
        if (cycle == 9) {
            // The rest of the same file at full speed, so the test stays short.
            ResumeData fast = *decoded;
            fast.url = site.mediaUrl("cycles.bin");
            downloader->setResumeData(fast.encode());
        }
        downloader->resume();
        ASSERT_TRUE(
            waitUntil([&] { return delegate->count(Kind::Resumed) == cycle + 1; }, kWaitMs));
        EXPECT_EQ(delegate->lastResumeOffset(), pausedAt.back());
    }
    ASSERT_TRUE(waitUntil([&] { return delegate->ended(); }, kWaitMs));
    ASSERT_TRUE(delegate->finished()) << describe(delegate->lastError());
    expectSameBytes("cycles.bin");
    EXPECT_TRUE(partialFiles().isEmpty());

    // Every continuation asked for the rest of the file, guarded by the validator.
    QList<AccessLogEntry> continued;
    ASSERT_TRUE(waitUntil(
        [&] {
            continued.clear();
            for (const AccessLogEntry& entry : site.accessLog())
                if (entry.target().contains("cycles.bin") && !entry.range.isEmpty())
                    continued << entry;
            return continued.size() == 10;
        },
        kWaitMs));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(continued[i].range, QStringLiteral("bytes=%1-").arg(pausedAt[i]));
        EXPECT_FALSE(continued[i].ifRange.isEmpty());
        EXPECT_EQ(continued[i].status, 206);
    }
}

TEST_F(DownloadIntegrityTest, FreshOperationContinuesFromStoredResumeData) {
    constexpr qint64 kSize = 1024 * 1024;
    site.mediaFile("stored.bin", kSize);
    const QUrl url = site.slowMediaUrl("stored.bin", 500'000);
    QByteArray stored;
    {
        std::weak_ptr<Downloader> oldOperation;
        std::weak_ptr<UrlSession> oldSession;
        auto delegate = makeDelegate();
        auto downloader = makeDownloader(url, delegate);
        downloader->start();
        ASSERT_TRUE(waitUntil([&] { return delegate->totalWritten() >= 100'000; }, kWaitMs));
        stored = pause(downloader, delegate);
        // What the record does when it goes away.
        oldOperation = downloader;
        oldSession = downloader->session();
        downloader->prepareToCancel();
        downloader.reset();
        delegate.reset();
        EXPECT_TRUE(
            waitUntil([&] { return oldOperation.expired() && oldSession.expired(); }, kWaitMs));
    }
    const auto decoded = ResumeData::decode(stored);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(partialFiles().size(), 1) << "the partial file belongs to the resume data";

    const auto delegate = makeDelegate();
    ASSERT_TRUE(runToEnd(makeDownloader(url, delegate, stored), delegate));
    ASSERT_TRUE(delegate->finished()) << describe(delegate->lastError());
    EXPECT_EQ(delegate->lastResumeOffset(), decoded->bytesOnDisk);
    EXPECT_GE(decoded->bytesOnDisk, 100'000);
    expectSameBytes("stored.bin");
    EXPECT_TRUE(partialFiles().isEmpty());
}

TEST_F(DownloadIntegrityTest, RangeIgnoringServerStartsOverFromZero) {
    constexpr qint64 kSize = 1024 * 1024;
    site.mediaFile("norange.bin", kSize);
    const auto delegate = makeDelegate();
    const auto downloader =
        makeDownloader(site.rangeIgnoringMediaUrl("norange.bin", 800'000), delegate);
    downloader->start();
    ASSERT_TRUE(waitUntil([&] { return delegate->totalWritten() >= 200'000; }, kWaitMs));
    pause(downloader, delegate);
    downloader->resume();
    ASSERT_TRUE(waitUntil([&] { return delegate->ended(); }, kWaitMs));
    ASSERT_TRUE(delegate->finished()) << describe(delegate->lastError());
    EXPECT_EQ(delegate->lastResumeOffset(), 0);
    EXPECT_EQ(delegate->totalWritten(), kSize);
    expectSameBytes("norange.bin");
}

}  // namespace
}  // namespace clipmoor::test
