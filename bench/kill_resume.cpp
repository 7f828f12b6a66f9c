// The real application killed with SIGKILL while it downloads a large file that the local copy
// of the site sends at a throttled rate, CYCLES times, and started again after each kill; then
// let finish at full speed. Prints what each kill cost: the bytes in the partial file when the
// process died minus the offset the next start continued from, as median and maximum; checks
// that every start continued from the record's last checkpoint and that the finished file is
// byte-identical; its last line is "median bytes lost per kill: N (S s at the throttled rate)".
//   kill_resume [--cycles 100] [--size-mib 200] [--rate BYTES_PER_SECOND] [--seed N]
#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "kill_resume_driver.h"
#include "test_environment.h"
#include "test_site.h"

using namespace clipmoor::test;

namespace {

qint64 option(const QStringList& arguments, const QString& name, qint64 fallback) {
    const qsizetype at = arguments.indexOf(name);
    if (at < 0 || at + 1 >= arguments.size()) return fallback;
    bool ok = false;
    const qint64 value = arguments[at + 1].toLongLong(&ok);
    return ok && value > 0 ? value : fallback;
}

double seconds(qint64 bytes, qint64 bytesPerSecond) {
    return static_cast<double>(bytes) / static_cast<double>(bytesPerSecond);
}

}  // namespace

int main(int argc, char** argv) {
    usePrivateXdgFolders();
    TestSite::keepSiteHostsOffTheNetwork();
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int cycles = static_cast<int>(option(arguments, "--cycles", 100));
    const qint64 size = option(arguments, "--size-mib", 200) * 1024 * 1024;
    const qint64 rate = option(arguments, "--rate", 1024 * 1024);
    const auto seed = static_cast<unsigned>(option(arguments, "--seed", std::random_device{}()));
    // Kills before and after a run's first checkpoint, which comes two seconds in.
    constexpr int kShortestRunMs = 200, kLongestRunMs = 3000;

    TestSite& site = TestSite::shared();
    KillResumeDriver driver(CLIPMOOR_EXECUTABLE, "kill-resume.bin", size, rate);
    driver.seed();
    std::printf(
        "%d kill -9 cycles during a %lld MiB download at %lld bytes a second; each run "
        "killed %d to %d ms after its bytes began to flow (random seed %u)\n",
        cycles, size / (1024 * 1024), rate, kShortestRunMs, kLongestRunMs, seed);

    std::mt19937 random(seed);
    std::uniform_int_distribution<int> runMs(kShortestRunMs, kLongestRunMs);
    std::vector<KillCycle> kills;
    int storeFailures = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        KillCycle kill;
        QString failure;
        if (!driver.runAndKill(runMs(random), &kill, &failure)) {
            std::printf("cycle %d failed: %s\n", cycle + 1, qPrintable(failure));
            return 1;
        }
        if (!kill.storeOpened || kill.records != 1) ++storeFailures;
        kills.push_back(kill);
        std::fflush(stdout);
    }
    QString failure;
    if (!driver.runToEnd(&failure)) {
        std::printf("the last run failed: %s\n", qPrintable(failure));
        return 1;
    }

    const QList<AccessLogEntry> requests = driver.mediaRequests();
    int resumedAsRecorded = 0, withCheckpoint = 0;
    std::vector<qint64> lost;
    for (int cycle = 0; cycle < cycles && cycle + 1 < requests.size(); ++cycle) {
        const KillCycle& kill = kills[cycle];
        const AccessLogEntry& next = requests[cycle + 1];
        const QString expected =
            kill.checkpoint ? QStringLiteral("bytes=%1-").arg(kill.resumeOffset()) : QString();
        if (kill.checkpoint) ++withCheckpoint;
        if (next.range == expected && (expected.isEmpty() || next.status == 206))
            ++resumedAsRecorded;
        lost.push_back(kill.bytesAtKill - kill.resumeOffset());
    }
    const bool identical =
        TestSite::sha256OfFile(driver.finishedFilePath()) == site.sha256OfMedia(driver.mediaName());
    std::sort(lost.begin(), lost.end());
    const qint64 median = lost.empty() ? 0 : lost[lost.size() / 2];
    const qint64 maximum = lost.empty() ? 0 : lost.back();

    std::printf("store opened with the record after every kill: %s\n",
                storeFailures == 0 ? "yes" : "NO");
    std::printf("kills after which the store held a checkpoint: %d of %d\n", withCheckpoint,
                cycles);
    std::printf(
        "starts that continued from the last checkpoint (or from 0 without one): %d of %d\n",
        resumedAsRecorded, cycles);
    std::printf("finished file byte-identical: %s\n", identical ? "yes" : "NO");
    std::printf("maximum bytes lost per kill: %lld (%.2f s at the throttled rate)\n", maximum,
                seconds(maximum, rate));
    std::printf("median bytes lost per kill: %lld (%.2f s at the throttled rate)\n", median,
                seconds(median, rate));
    return storeFailures == 0 && resumedAsRecorded == cycles && identical ? 0 : 1;
}
