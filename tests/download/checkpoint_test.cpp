// Checkpoints of a running download: resume data for bytes that are on the disk, from which an
// operation made later (as after a crash) continues to the same file.
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <mutex>

#include "download_test_support.h"
#include "platform/http/resume_data.h"
#include "test_environment.h"

namespace clipmoor::test {
namespace {

using Kind = DelegateEvent::Kind;

class CheckpointTest : public DownloadTest {};

TEST_F(CheckpointTest, CheckpointsCountOnlyWrittenBytesAndAnyOfThemContinuesToTheSameFile) {
    constexpr qint64 kSize = 2 * 1024 * 1024;
    site.mediaFile("checkpointed.bin", kSize);
    const QUrl url = site.slowMediaUrl("checkpointed.bin", 400'000);
    checkpointIntervalMs = 150;

    struct Seen {
        ResumeData data;
        qint64 fileSize;
    };
    std::mutex mutex;
    std::vector<Seen> seen;
    const auto delegate = makeDelegate();
    delegate->onCheckpoint = [&](const QByteArray& data) {
        const auto decoded = ResumeData::decode(data);
        ASSERT_TRUE(decoded) << data.toStdString();
        std::lock_guard lock(mutex);
        seen.push_back({*decoded, QFileInfo(decoded->partialFile).size()});
    };
    auto downloader = makeDownloader(url, delegate);
    downloader->start();
    ASSERT_TRUE(waitUntil(
        [&] {
            std::lock_guard lock(mutex);
            return seen.size() >= 4;
        },
        kWaitMs));
    // Stopped without a pause, as by a crash or the computer going to sleep: the file that the
    // checkpoints name stays.
    downloader->prepareToCancel();
    std::vector<Seen> checkpoints;
    {
        std::lock_guard lock(mutex);
        checkpoints = seen;
    }
    qint64 previous = 0;
    for (const Seen& checkpoint : checkpoints) {
        EXPECT_EQ(checkpoint.data.partialFile, checkpoints.front().data.partialFile);
        EXPECT_EQ(checkpoint.data.url, url);
        EXPECT_EQ(checkpoint.data.expectedTotal, kSize);
        EXPECT_FALSE(checkpoint.data.entityTag.isEmpty());
        EXPECT_GT(checkpoint.data.bytesOnDisk, previous);
        EXPECT_LE(checkpoint.data.bytesOnDisk, checkpoint.fileSize);
        previous = checkpoint.data.bytesOnDisk;
    }
    ASSERT_TRUE(waitUntil([&] { return downloader->isFinished(); }, kWaitMs));
    ASSERT_TRUE(QFile::exists(checkpoints.front().data.partialFile));

    // Not the last checkpoint: the bytes after it are cut off and fetched again. The operation
    // prefers the resume data to its address.
    const ResumeData from = checkpoints[checkpoints.size() / 2].data;
    const auto fresh = makeDelegate();
    checkpointIntervalMs = 0;
    ResumeData fast = from;
    fast.url = site.mediaUrl("checkpointed.bin");  // the rest at full speed
    ASSERT_TRUE(runToEnd(makeDownloader(site.statusUrl(404), fresh, fast.encode()), fresh));
    ASSERT_TRUE(fresh->finished()) << describe(fresh->lastError());
    EXPECT_EQ(fresh->lastResumeOffset(), from.bytesOnDisk);
    expectSameBytes("checkpointed.bin");
    EXPECT_EQ(fresh->count(Kind::Checkpoint), 0);
    EXPECT_TRUE(partialFiles().isEmpty()) << partialFiles().join(' ').toStdString();
}

}  // namespace
}  // namespace clipmoor::test
