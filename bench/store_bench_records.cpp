#include "store_bench_records.h"

#include <QUrl>

#include "download/clipmoor_model.h"
#include "download/video.h"
#include "platform/object_store/object_store_error.h"

namespace clipmoor::bench {

namespace {

struct Format {
    const char* itag;
    const char* quality;
    const char* suffix;
    bool isAudio;
};

constexpr Format kFormats[] = {{"22", "hd720", "720p", false},
                               {"18", "medium", "360p", false},
                               {"36", "small", "240p", false},
                               {"140", "medium", "adudio only", true}};

// A deterministic text of `length` characters from the URL-safe alphabet.
QString token(quint64 seed, int length) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    QString text(length, QLatin1Char('A'));
    for (int i = 0; i < length; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        text[i] = QLatin1Char(alphabet[(seed >> 58) & 63]);
    }
    return text;
}

}  // namespace

void fillVideo(Video& video, int n) {
    const Format& format = kFormats[n % 4];
    const QString id = token(static_cast<quint64>(n), 11);
    const QString title =
        QStringLiteral("Concert recording n\u00b0 %1 \u2014 live from the hall").arg(n);
    video.setVideoID(id);
    video.setItag(QString::fromLatin1(format.itag));
    video.setTitle(title);
    video.setQuality(QString::fromLatin1(format.quality));
    video.setType(format.isAudio ? QStringLiteral("audio/mp4; codecs=\"mp4a.40.2\"")
                                 : QStringLiteral("video/mp4; codecs=\"avc1.64001F, mp4a.40.2\""));
    video.setSubtitle(QStringLiteral("Channel %1").arg(n % 97));
    video.setAuthorName(QStringLiteral("Channel %1").arg(n % 97));
    video.setBitrate(QString::number(120000 + n % 2000000));
    // Media addresses are long: expiry, signature and a dozen parameters.
    video.setDownloadURL(QStringLiteral("https://media.clipmoor.test/videoplayback?id=%1&itag=%2"
                                        "&expire=1700000000&ip=127.0.0.1&sparams=id,itag,expire"
                                        "&signature=%3&key=%4")
                             .arg(id, QString::fromLatin1(format.itag),
                                  token(static_cast<quint64>(n) + 1, 160),
                                  token(static_cast<quint64>(n) + 2, 40)));
    video.setUuidString(QStringLiteral("%1-%2").arg(token(static_cast<quint64>(n) + 3, 8),
                                                    token(static_cast<quint64>(n) + 4, 27)));
    video.setIsAudio(format.isAudio);
    video.setFileName(QStringLiteral("%1(%2)").arg(title, QString::fromLatin1(format.suffix)));
    video.setFileExtension(QStringLiteral("mp4"));
    const qint64 total = 5'000'000 + (static_cast<qint64>(n) * 7919) % 400'000'000;
    video.setTotalBytesExpected(total);
    const qint16 state = static_cast<qint16>(n % 5);
    video.setDownloadState(state);
    video.setTotalBytesWritten(state == 2 ? total : total / 3);
    if (state == 1)
        video.setResumeData(token(static_cast<quint64>(n) + 5, 320).toLatin1());  // paused
}

bool addVideos(ManagedObjectContext& context, int count, Error* error) {
    static int next = 0;
    for (int i = 0; i < count; ++i) {
        const auto video =
            context.insertNewObjectForEntityForName<Video>(QString::fromLatin1(kVideoEntityName));
        if (!video) {
            setError(error, Error(QStringLiteral("bench"), 1,
                                  {{kLocalizedDescriptionKey, "the context made no record"}}));
            return false;
        }
        fillVideo(*video, next++);
    }
    return context.save(error);
}

std::shared_ptr<const ManagedObjectModel> plainRecordModel() {
    static const std::shared_ptr<const ManagedObjectModel> model = [] {
        const QString entity = QString::fromLatin1(kVideoEntityName);
        return ManagedObjectModel::create(
            QString::fromLatin1(kClipmoorModelName),
            {{entity, {}, loadClipmoorModel()->entityNamed(entity)->attributes(), {}}});
    }();
    return model;
}

std::unique_ptr<ManagedObjectContext> openContext(const QString& path, Error* error,
                                                  std::shared_ptr<const ManagedObjectModel> model) {
    auto coordinator =
        std::make_shared<PersistentStoreCoordinator>(model ? model : loadClipmoorModel());
    if (!coordinator->addPersistentStore(NSSQLiteStoreType, QUrl::fromLocalFile(path), error))
        return nullptr;
    auto context = std::make_unique<ManagedObjectContext>();
    context->setPersistentStoreCoordinator(std::move(coordinator));
    return context;
}

}  // namespace clipmoor::bench
