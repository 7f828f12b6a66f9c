// Start-up cost of a long download list: COUNT records (100,000 by default) are inserted and
// saved, then read back by a fresh context, each one woken (a stat of its media file, its
// texts). The reference, measured in the same run, is the bare stat of the same COUNT paths.
//   record_wakeup_bench [COUNT]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "download/clipmoor_model.h"
#include "download/video.h"
#include "platform/object_store/managed_object_context.h"
#include "platform/user_defaults.h"

using namespace clipmoor;

namespace {

std::unique_ptr<ManagedObjectContext> openContext(const QString& storePath) {
    auto coordinator = std::make_shared<PersistentStoreCoordinator>(loadClipmoorModel());
    Error error;
    if (!coordinator->addPersistentStore(NSSQLiteStoreType, QUrl::fromLocalFile(storePath),
                                         &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error.debugDescription()));
        std::exit(1);
    }
    auto context = std::make_unique<ManagedObjectContext>();
    context->setPersistentStoreCoordinator(coordinator);
    return context;
}

// Wall time and the main thread's CPU time (user and system): on a busy machine the second
// shows the work itself.
class Stopwatch {
public:
    Stopwatch() { restart(); }
    void restart() {
        wall_.start();
        cpuStart_ = cpuNs();
    }
    QString lap(int count) const {
        const double wallMs = static_cast<double>(wall_.nsecsElapsed()) / 1e6;
        const double cpuMs = static_cast<double>(cpuNs() - cpuStart_) / 1e6;
        return QStringLiteral("%1 ms wall, %2 ms CPU (%3 us CPU each)")
            .arg(wallMs, 0, 'f', 0)
            .arg(cpuMs, 0, 'f', 0)
            .arg(cpuMs * 1000 / count, 0, 'f', 2);
    }
    double cpuMs() const { return static_cast<double>(cpuNs() - cpuStart_) / 1e6; }

private:
    static qint64 cpuNs() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
    }
    QElapsedTimer wall_;
    qint64 cpuStart_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 100'000;
    QTemporaryDir home;
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, home.path().toUtf8());
    QCoreApplication app(argc, argv);
    const QString folder = home.filePath("Downloads");
    QDir().mkpath(folder);
    UserDefaults::standard().setValue(folder, "ClipmoorMediaDownloadPath");
    const QString storePath = home.filePath("Clipmoor.storedata");

    Stopwatch timer;
    {
        auto context = openContext(storePath);
        timer.restart();
        for (int i = 0; i < count; ++i) {
            auto video = context->insertNewObjectForEntityForName<Video>("Video");
            video->setFileName(QStringLiteral("Video number %1(720p)").arg(i));
            video->setFileExtension(QStringLiteral("mp4"));
            video->setTotalBytesWritten(i * 1000LL);
            video->setTotalBytesExpected(count * 1000LL);
            video->setDownloadState(static_cast<qint16>(i % 5));
        }
        std::printf("insert %d records: %s\n", count, qPrintable(timer.lap(count)));
        timer.restart();
        if (!context->save(nullptr)) return 1;
        std::printf("save them: %s\n", qPrintable(timer.lap(count)));
    }
    // One record in a hundred has its file in the download folder.
    for (int i = 0; i < count; i += 100) {
        QFile file(QStringLiteral("%1/Video number %2(720p).mp4").arg(folder).arg(i));
        if (file.open(QIODevice::WriteOnly)) file.write("x");
    }

    auto context = openContext(storePath);
    timer.restart();
    const auto records = context->executeFetchRequest(FetchRequest("Video"), nullptr);
    if (!records || records->size() != std::size_t(count)) return 1;
    std::printf("fetch and wake them: %s\n", qPrintable(timer.lap(count)));

    // The wake-up alone, run once more on every record (it replaces its own connections).
    timer.restart();
    for (const auto& record : *records)
        static_cast<Video&>(*record).prepareNotificationsObservers();
    std::printf("the wake-up alone: %s\n", qPrintable(timer.lap(count)));
    const double wakeMs = timer.cpuMs();

    timer.restart();
    int present = 0;
    for (int i = 0; i < count; ++i) {
        struct stat status {};
        const QByteArray path =
            QFile::encodeName(QStringLiteral("%1/Video number %2(720p).mp4").arg(folder).arg(i));
        present += ::stat(path.constData(), &status) == 0;
    }
    std::printf("reference, stat of the same paths alone (%d files): %s\n", present,
                qPrintable(timer.lap(count)));
    std::printf("wake-up / stat, CPU: %.1f\n", wakeMs / timer.cpuMs());
    return 0;
}
