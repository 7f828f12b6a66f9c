// Five downloads at full speed from the local copy of the site (nginx over TLS), through the
// real main window and its rows: how much of the main thread they keep busy. The main thread
// only applies progress (at most ten reports a second per download) and repaints rows; every
// byte is written by the transfer engine. Prints the share of wall time the main thread spent
// on the CPU, last as "main thread busy share: X.X%".
//   download_busy [MEGABYTES_PER_FILE]     (default 200)
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "download/clipmoor_model.h"
#include "download/media_file_name.h"
#include "download/video.h"
#include "main_window/main_window.h"
#include "platform/object_store/managed_object_context.h"
#include "platform/user_defaults.h"
#include "store/core_data_controller.h"
#include "test_environment.h"
#include "test_site.h"

using namespace clipmoor;

namespace {

constexpr int kDownloads = 5;

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Waits without spinning: the main thread sleeps in its event loop between checks.
bool waitIdly(const std::function<bool()>& done, int timeoutMs) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(200);
    loop.exec();
    return done();
}

}  // namespace

int main(int argc, char** argv) {
    test::usePrivateXdgFolders();
    test::TestSite::keepSiteHostsOffTheNetwork();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 200;
    const qint64 size = megabytes * 1000 * 1000;

    test::TestSite& site = test::TestSite::shared();
    std::vector<QUrl> urls;
    for (int i = 0; i < kDownloads; ++i)
        urls.push_back(site.mediaFile(QStringLiteral("busy-%1.bin").arg(i), size));
    UserDefaults::standard().setValue(test::privateHome() + "/Downloads",
                                      "ClipmoorMediaDownloadPath");

    CoreDataController store(loadClipmoorModel);
    MainWindow window(&store);
    window.resize(900, 600);
    window.show();
    ManagedObjectContext* context = store.managedObjectContext();
    std::vector<std::shared_ptr<Video>> videos;
    const double cpuBefore = threadCpuSeconds();
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < kDownloads; ++i) {
        auto video = context->insertNewObjectForEntityForName<Video>("Video");
        video->setVideoID(QStringLiteral("BusyClip%1").arg(i));
        video->setTitle(QStringLiteral("Busy clip %1").arg(i));
        video->setItag("22");
        video->setQuality("720p");
        video->setFileExtension("mp4");
        video->setDownloadURL(urls[static_cast<std::size_t>(i)].toString());
        video->setFileName(mediaFileNameForTitle(video->title(), "(720p)", "mp4"));
        video->setDownloadState(Video::Queued);
        videos.push_back(video);
    }
    store.saveAction();

    const bool finished = waitIdly(
        [&] {
            for (const auto& video : videos)
                if (video->downloadState() != Video::Finished) return false;
            return true;
        },
        30 * 60 * 1000);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double cpu = threadCpuSeconds() - cpuBefore;
    if (!finished) {
        std::fprintf(stderr, "the downloads did not all finish\n");
        return 1;
    }
    std::printf("%d downloads of %lld MB each through the window: %.1f s, %.0f MB/s in all\n",
                kDownloads, static_cast<long long>(megabytes), wall,
                kDownloads * static_cast<double>(megabytes) / wall);
    std::printf("main thread CPU time: %.2f s\n", cpu);
    std::printf("main thread busy share: %.1f%%\n", 100.0 * cpu / wall);
    return 0;
}
