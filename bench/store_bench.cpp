// The object store's speed, with the sqlite3 command-line tool reading the same table as the
// reference in the same run:
//   - opening a store of 10,000 download records and fetching them all through a new
//     coordinator, context and results controller, beside
//     `sqlite3 -readonly FILE 'SELECT * FROM "Video"'` with its output thrown away: once with
//     plain records of the same table (the store's own work, which the ratio is about) and once
//     with Video records, each of which wakes as at the application's start (a look for its
//     media file, its texts, its observers);
//   - the same for 100,000 records;
//   - saving 1,000 changed records;
//   - one change notification (one insertion, one deletion, one update, and all three at once)
//     processed by the results controller over lists of 1,000, 10,000 and 100,000 records, and
//     the one notification that deletes every record of a list of 10,000 and of 100,000.
// Every figure is the median of several runs; fetch runs take turns between the sides, so
// other load on the machine falls on all of them. The last line is
// "fetch ratio clipmoor/sqlite3: X.XX" (median wall-clock times of the store and the tool).
// The exit status is 1 when a target is missed: fetch ratio above 3, a notification over
// 10,000 records at 1 ms or more, or a notification cost that grows faster than the list.
//   store_bench [--runs N]
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>

#include "download/clipmoor_model.h"
#include "download/video.h"
#include "platform/object_store/object_store_error.h"
#include "platform/user_defaults.h"
#include "store/wbq_fetched_results_controller.h"
#include "store_bench_notifications.h"
#include "store_bench_records.h"
#include "store_bench_timing.h"

extern char** environ;

using namespace clipmoor;
using namespace clipmoor::bench;

namespace {

[[noreturn]] void fail(const QString& what) {
    std::fprintf(stderr, "store_bench: %s\n", qPrintable(what));
    std::exit(2);
}

QString makeStore(const QString& folder, int records) {
    const QString path = QDir(folder).filePath(QStringLiteral("fetch-%1.storedata").arg(records));
    Error error;
    auto context = openContext(path, &error);
    if (!context || !addVideos(*context, records, &error)) fail(error.debugDescription());
    return path;
}

// Opens the store and fetches every record through a results controller, as the application's
// start does, with records of `model`. The records are let go after the measurement.
Sample clipmoorFetch(const QString& path, int expected,
                     const std::shared_ptr<const ManagedObjectModel>& model) {
    std::unique_ptr<ManagedObjectContext> context;
    std::optional<WBQFetchedResultsController> controller;
    const Stopwatch stopwatch;
    Error error;
    context = openContext(path, &error, model);
    if (!context) fail(error.debugDescription());
    controller.emplace(FetchRequest(QString::fromLatin1(kVideoEntityName)), context.get());
    if (!controller->performFetch(&error)) fail(error.debugDescription());
    const Sample sample = stopwatch.elapsed();
    if (controller->countOfFetchedObjects() != static_cast<quint64>(expected))
        fail(QStringLiteral("fetched %1 records, expected %2")
                 .arg(controller->countOfFetchedObjects())
                 .arg(expected));
    return sample;
}

// Runs the sqlite3 tool on the store's table with its output going to `output` (/dev/null for
// a measurement). Wall-clock time from start to exit; CPU time of the child.
Sample sqlite3Fetch(const QString& path, const char* output = "/dev/null") {
    const QByteArray file = QFile::encodeName(path);
    const QByteArray query = QByteArrayLiteral("SELECT * FROM \"") + kVideoEntityName + "\";";
    const char* argv[] = {"sqlite3",        "-readonly",       "-batch",
                          file.constData(), query.constData(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output, O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    const Stopwatch stopwatch;
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, "sqlite3", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        fail(QStringLiteral("cannot start sqlite3: %1 (scripts/install-deps.sh bench installs it)")
                 .arg(QString::fromLocal8Bit(std::strerror(spawned))));
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(QStringLiteral("sqlite3 failed on %1").arg(path));
    Sample sample = stopwatch.elapsed();
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    sample.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    return sample;
}

struct FetchFigures {
    Sample store;   // plain records: the store's own work
    Sample videos;  // Video records, each woken as at the application's start
    Sample sqlite3;
};

// Checks once that the tool really reads every row, then times the three in turn.
FetchFigures compareFetch(const QString& folder, const QString& path, int records, int runs) {
    const QString listing = QDir(folder).filePath(QStringLiteral("sqlite3-output.txt"));
    sqlite3Fetch(path, QFile::encodeName(listing).constData());
    QFile file(listing);
    if (!file.open(QIODevice::ReadOnly) || file.readAll().count('\n') != records)
        fail(QStringLiteral("sqlite3 did not list %1 rows").arg(records));
    file.remove();

    clipmoorFetch(path, records, loadClipmoorModel());  // warms the file cache for all three
    std::vector<Sample> store, videos, tool;
    for (int run = 0; run < runs; ++run) {
        store.push_back(clipmoorFetch(path, records, plainRecordModel()));
        videos.push_back(clipmoorFetch(path, records, loadClipmoorModel()));
        tool.push_back(sqlite3Fetch(path));
    }
    return {median(store), median(videos), median(tool)};
}

// Changes 1,000 of the store's records (counters, state, resume data) and times the save.
Sample saveChanged(const QString& path, int records, int runs) {
    Error error;
    auto context = openContext(path, &error);
    if (!context) fail(error.debugDescription());
    const auto fetched =
        context->executeFetchRequest(FetchRequest(QString::fromLatin1(kVideoEntityName)), &error);
    if (!fetched || fetched->size() != static_cast<std::size_t>(records))
        fail(QStringLiteral("the fetch before saving failed"));
    std::vector<Sample> samples;
    for (int run = 0; run < runs; ++run) {
        for (int i = 0; i < 1000; ++i) {
            auto video = std::static_pointer_cast<Video>((*fetched)[(i * 7 + run) % records]);
            video->setTotalBytesWritten(video->totalBytesWritten() + 4096);
            video->setDownloadState(static_cast<qint16>((video->downloadState() + 1) % 5));
            video->setResumeData(QByteArray(200 + run, static_cast<char>('a' + run % 26)));
        }
        const Stopwatch stopwatch;
        if (!context->save(&error)) fail(error.debugDescription());
        samples.push_back(stopwatch.elapsed());
        context->processPendingChanges();
    }
    return median(samples);
}

void printFetch(int records, const FetchFigures& figures) {
    std::printf("open + fetch %d records, medians in ms (wall / cpu):\n", records);
    const auto line = [&](const char* label, const Sample& sample) {
        std::printf("  %-46s %8.2f / %8.2f   x%.2f of sqlite3\n", label, sample.wallMs,
                    sample.cpuMs, sample.wallMs / figures.sqlite3.wallMs);
    };
    line("clipmoor store (plain records)", figures.store);
    line("clipmoor Video records, woken as at start", figures.videos);
    line("sqlite3 -readonly 'SELECT * FROM \"Video\"'", figures.sqlite3);
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/clipmoor-store-bench-XXXXXX"));
    if (!work.isValid()) fail(QStringLiteral("no temporary folder"));
    // A private home: records read settings and look for their files in the download folder.
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, QFile::encodeName(work.path()));
    QCoreApplication app(argc, argv);
    const QString downloads = QDir(work.path()).filePath(QStringLiteral("Downloads"));
    QDir().mkpath(downloads);
    UserDefaults::standard().setValue(downloads, QStringLiteral("ClipmoorMediaDownloadPath"));
    int runs = 11;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(3, std::atoi(argv[i + 1]));
    bool targetsMet = true;

    const QString small = makeStore(work.path(), 10'000);
    const FetchFigures fetch10k = compareFetch(work.path(), small, 10'000, runs);
    printFetch(10'000, fetch10k);
    const QString large = makeStore(work.path(), 100'000);
    printFetch(100'000, compareFetch(work.path(), large, 100'000, std::max(3, runs / 3)));

    const Sample save = saveChanged(small, 10'000, runs);
    std::printf("%-44s %8.2f ms (cpu %8.2f)\n", "save 1,000 changed records (median)", save.wallMs,
                save.cpuMs);

    std::printf("one change notification, median microseconds:\n");
    std::printf("  %9s %10s %10s %10s %10s\n", "records", "insert", "delete", "update", "all 3");
    const int sizes[] = {1'000, 10'000, 100'000};
    NotificationCosts costs[3];
    for (int i = 0; i < 3; ++i) {
        QString failure;
        if (!measureNotifications(work.path(), sizes[i], sizes[i] == 100'000 ? 101 : 301, &costs[i],
                                  &failure))
            fail(failure);
        std::printf("  %9d %10.1f %10.1f %10.1f %10.1f\n", sizes[i], costs[i].insertUs,
                    costs[i].deleteUs, costs[i].updateUs, costs[i].allUs);
    }
    for (const int size : {10'000, 100'000}) {
        double milliseconds = 0;
        QString failure;
        if (!measureClearing(work.path(), size, &milliseconds, &failure)) fail(failure);
        std::printf("  one notification deleting all %d records: %.1f ms\n", size, milliseconds);
    }
    // Ten times the records may cost at most ten times as much (plus 20% for noise).
    const auto growth = [&](double NotificationCosts::*kind, const char* name) {
        for (int i = 0; i + 1 < 3; ++i) {
            const double factor = costs[i + 1].*kind / std::max(costs[i].*kind, 0.001);
            std::printf("  growth %-7s %7d -> %7d records: x%.1f\n", name, sizes[i], sizes[i + 1],
                        factor);
            if (factor > 12) targetsMet = false;
        }
    };
    growth(&NotificationCosts::insertUs, "insert");
    growth(&NotificationCosts::deleteUs, "delete");
    growth(&NotificationCosts::updateUs, "update");
    growth(&NotificationCosts::allUs, "all 3");
    if (costs[1].allUs >= 1000) targetsMet = false;

    const double ratio = fetch10k.store.wallMs / fetch10k.sqlite3.wallMs;
    if (ratio > 3) targetsMet = false;
    std::printf("targets (ratio <= 3, notification over 10,000 < 1 ms, linear growth): %s\n",
                targetsMet ? "met" : "MISSED");
    std::printf("fetch ratio clipmoor/sqlite3: %.2f\n", ratio);
    return targetsMet ? 0 : 1;
}
