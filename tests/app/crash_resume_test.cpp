// Crash safety with real processes: the real application downloads a large file that the test
// site throttles and is killed with SIGKILL at random moments, twenty times; after every kill the
// store opens with the record in it, the next start continues with a Range request from the
// record's last checkpoint, and the finished file is byte-identical to the site's.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "kill_resume_driver.h"
#include "test_environment.h"
#include "test_site.h"

namespace clipmoor::test {
namespace {

constexpr int kKills = 20;
constexpr qint64 kBytesPerSecond = 1024 * 1024;
// More than twenty runs can fetch at the throttled rate, so every kill hits a running download.
constexpr qint64 kSize = 64 * 1024 * 1024;

TEST(CrashResumeTest, KilledAtRandomMomentsItResumesFromTheLastCheckpointToTheSameFile) {
    TestSite& site = TestSite::shared();
    KillResumeDriver driver(CLIPMOOR_EXECUTABLE, "crash.bin", kSize, kBytesPerSecond);
    driver.seed();

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "random seed " << seed);
    std::mt19937 random(seed);
    // Before and after the first checkpoint of a run, which comes two seconds in.
    std::uniform_int_distribution<int> runMs(200, 2600);

    std::vector<KillCycle> cycles;
    for (int kill = 0; kill < kKills; ++kill) {
        SCOPED_TRACE(testing::Message() << "kill " << kill);
        KillCycle cycle;
        QString failure;
        ASSERT_TRUE(driver.runAndKill(runMs(random), &cycle, &failure)) << failure.toStdString();
        EXPECT_TRUE(cycle.storeOpened);
        ASSERT_EQ(cycle.records, 1);
        if (cycle.checkpoint) {
            // Only bytes that were written are ever counted, and they are still there.
            EXPECT_LE(cycle.checkpoint->bytesOnDisk, cycle.bytesAtKill);
            EXPECT_GE(cycle.checkpointFileSize, cycle.checkpoint->bytesOnDisk);
            EXPECT_EQ(cycle.checkpoint->expectedTotal, kSize);
        }
        if (!cycles.empty()) {
            EXPECT_GE(cycle.resumeOffset(), cycles.back().resumeOffset()) << "progress was lost";
        }
        cycles.push_back(cycle);
    }
    ASSERT_TRUE(std::any_of(cycles.begin(), cycles.end(),
                            [](const KillCycle& cycle) { return cycle.checkpoint.has_value(); }));

    QString failure;
    ASSERT_TRUE(driver.runToEnd(&failure)) << failure.toStdString();
    EXPECT_EQ(TestSite::sha256OfFile(driver.finishedFilePath()), site.sha256OfMedia("crash.bin"));
    EXPECT_TRUE(waitUntil([&] { return driver.partialFiles().isEmpty(); }))
        << driver.partialFiles().join(' ').toStdString();

    // Each start after a kill asked for the rest of the file from the checkpoint that kill left.
    const QList<AccessLogEntry> requests = driver.mediaRequests();
    ASSERT_EQ(requests.size(), kKills + 1);
    EXPECT_TRUE(requests[0].range.isEmpty());
    for (int kill = 0; kill < kKills; ++kill) {
        SCOPED_TRACE(testing::Message() << "start after kill " << kill);
        const KillCycle& cycle = cycles[kill];
        const AccessLogEntry& next = requests[kill + 1];
        if (cycle.checkpoint) {
            EXPECT_EQ(next.range, QStringLiteral("bytes=%1-").arg(cycle.resumeOffset()));
            EXPECT_FALSE(next.ifRange.isEmpty());
            EXPECT_EQ(next.status, 206);
        } else {
            EXPECT_TRUE(next.range.isEmpty()) << next.range.toStdString();
        }
    }
}

}  // namespace
}  // namespace clipmoor::test
