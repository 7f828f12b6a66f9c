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

double elapsedMs(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

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

    QElapsedTimer timer;
    {
        auto context = openContext(storePath);
        timer.start();
        for (int i = 0; i < count; ++i) {
            auto video = context->insertNewObjectForEntityForName<Video>("Video");
            video->setFileName(QStringLiteral("Video number %1(720p)").arg(i));
            video->setFileExtension(QStringLiteral("mp4"));
            video->setTotalBytesWritten(i * 1000LL);
            video->setTotalBytesExpected(count * 1000LL);
            video->setDownloadState(static_cast<qint16>(i % 5));
        }
        const double insertMs = elapsedMs(timer);
        timer.restart();
        if (!context->save(nullptr)) return 1;
        std::printf("insert %d records: %.0f ms, save: %.0f ms\n", count, insertMs,
                    elapsedMs(timer));
    }
    // One record in a hundred has its file in the download folder.
    for (int i = 0; i < count; i += 100) {
        QFile file(QStringLiteral("%1/Video number %2(720p).mp4").arg(folder).arg(i));
        if (file.open(QIODevice::WriteOnly)) file.write("x");
    }

    auto context = openContext(storePath);
    timer.restart();
    const auto records = context->executeFetchRequest(FetchRequest("Video"), nullptr);
    const double fetchMs = elapsedMs(timer);
    if (!records || records->size() != std::size_t(count)) return 1;

    // The wake-up alone, run once more on every record (it replaces its own connections).
    timer.restart();
    for (const auto& record : *records)
        static_cast<Video&>(*record).prepareNotificationsObservers();
    const double wakeMs = elapsedMs(timer);

    timer.restart();
    int present = 0;
    for (int i = 0; i < count; ++i) {
        struct stat status {};
        const QByteArray path =
            QFile::encodeName(QStringLiteral("%1/Video number %2(720p).mp4").arg(folder).arg(i));
        present += ::stat(path.constData(), &status) == 0;
    }
    const double statMs = elapsedMs(timer);
    std::printf("fetch and wake %d records: %.0f ms (%.2f us each); %d finished files\n", count,
                fetchMs, fetchMs * 1000 / count, present);
    std::printf("the wake-up alone: %.0f ms (%.2f us each)\n", wakeMs, wakeMs * 1000 / count);
    std::printf("reference, stat of the %d paths alone: %.0f ms; wake-up / stat %.1f\n", count,
                statMs, wakeMs / statMs);
    return 0;
}
