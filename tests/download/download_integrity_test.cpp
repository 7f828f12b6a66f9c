// Every finished file is byte-identical to what the site serves: whole, and continued from a
// checkpoint.
#include <QFileInfo>

#include <sys/stat.h>

#include "download_test_support.h"

namespace clipmoor::test {
namespace {

using Kind = DelegateEvent::Kind;

class DownloadIntegrityTest : public DownloadTest {};

// The finished operation lets go of itself, and what is being downloaded is nobody else's
// business, whatever the umask.
TEST_F(DownloadIntegrityTest, FinishedFileIsWholeAndGoneAfterTheCall) {
    constexpr qint64 kSize = 4 * 1024 * 1024;
    const QUrl url = site.mediaFile("whole.bin", kSize);
    ::umask(022);
    for (const bool delegateMovesIt : {true, false}) {
        SCOPED_TRACE(delegateMovesIt ? "moved by the delegate" : "left where it was");
        const auto delegate = makeDelegate(delegateMovesIt ? "whole.bin" : "");
        auto downloader = makeDownloader(url, delegate);
        ASSERT_TRUE(runToEnd(downloader, delegate));
        struct stat folder {};
        ASSERT_EQ(::stat(QFile::encodeName(partialFolder).constData(), &folder), 0);
        EXPECT_EQ(folder.st_mode & 0777, 0700u);
        ASSERT_TRUE(delegate->finished()) << describe(delegate->lastError());
        const DelegateEvent handOver = delegate->last(Kind::Finished);
        EXPECT_EQ(handOver.first, kSize) << "the file was not whole during the call";
        EXPECT_TRUE(
            waitUntil([&] { return !QFile::exists(QFile::decodeName(handOver.data)); }, kWaitMs));
        EXPECT_TRUE(partialFiles().isEmpty()) << partialFiles().join(' ').toStdString();

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
        EXPECT_EQ(previous, kSize);
        const std::weak_ptr<Downloader> released = downloader;
        downloader.reset();
        EXPECT_TRUE(waitUntil([&] { return released.expired(); }, kWaitMs));
    }
    expectSameBytes("whole.bin", "whole.bin");
}

// Checkpoints of a running download name bytes that are on the disk. An operation made later
// (as after a crash) continues from one of them, not the last: the bytes after it are cut off
// and fetched again. It prefers the resume data to its address.
TEST_F(DownloadIntegrityTest, CheckpointsCountOnlyWrittenBytesAndAnyOfThemContinuesToTheSameFile) {
    constexpr qint64 kSize = 2 * 1024 * 1024;
    site.mediaFile("checkpointed.bin", kSize);
    const QUrl url = site.slowMediaUrl("checkpointed.bin", 400'000);
    checkpointIntervalMs = 150;
    const auto delegate = makeDelegate();
    const auto downloader = makeDownloader(url, delegate);
    downloader->start();
    ASSERT_TRUE(waitUntil([&] { return delegate->count(Kind::Checkpoint) >= 4; }, kWaitMs));
    downloader->prepareToCancel();  // no pause: the file the checkpoints name stays
    std::vector<ResumeData> taken;
    for (const DelegateEvent& event : delegate->events()) {
        if (event.kind != Kind::Checkpoint) continue;
        const auto data = ResumeData::decode(event.data);
        ASSERT_TRUE(data) << event.data.toStdString();
        EXPECT_EQ(data->partialFile, taken.empty() ? data->partialFile : taken[0].partialFile);
        EXPECT_EQ(data->url, url);
        EXPECT_EQ(data->expectedTotal, kSize);
        EXPECT_FALSE(data->entityTag.isEmpty());
        EXPECT_GT(data->bytesOnDisk, taken.empty() ? 0 : taken.back().bytesOnDisk);
        EXPECT_LE(data->bytesOnDisk, event.first) << "counts bytes not yet on the disk";
        taken.push_back(*data);
    }
    ASSERT_TRUE(waitUntil([&] { return downloader->isFinished(); }, kWaitMs));
    ASSERT_TRUE(QFile::exists(taken.front().partialFile));

    ResumeData from = taken[taken.size() / 2];
    from.url = site.mediaUrl("checkpointed.bin");  // the rest at full speed
    const auto fresh = makeDelegate();
    checkpointIntervalMs = 0;
    ASSERT_TRUE(runToEnd(makeDownloader(site.statusUrl(404), fresh, from.encode()), fresh));
    ASSERT_TRUE(fresh->finished()) << describe(fresh->lastError());
    EXPECT_EQ(fresh->lastResumeOffset(), from.bytesOnDisk);
    expectSameBytes("checkpointed.bin");
    EXPECT_EQ(fresh->count(Kind::Checkpoint), 0);
    EXPECT_TRUE(partialFiles().isEmpty()) << partialFiles().join(' ').toStdString();
}

}  // namespace
}  // namespace clipmoor::test
