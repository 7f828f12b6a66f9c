#include "media_library.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <algorithm>
#include <ctime>

#include "setup_failure.h"

namespace clipmoor::test {

namespace {

constexpr qint64 kChunkSize = 256 * 1024;

quint64 fnv1a(QByteArrayView bytes) {
    quint64 hash = 0xcbf29ce484222325ULL;
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    return hash;
}

// One 64-bit word of the stream: splitmix64 of the word's index.
quint64 word(quint64 seed, quint64 index) {
    quint64 z = seed + (index + 1) * 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

}  // namespace

MediaLibrary::MediaLibrary(QString folder) : folder_(std::move(folder)) {
    if (!QDir().mkpath(folder_)) failSetup(QStringLiteral("cannot create %1").arg(folder_));
}

QString MediaLibrary::path(const QString& name) const {
    static const QRegularExpression plainName(QStringLiteral(R"(^[A-Za-z0-9_-][A-Za-z0-9._-]*$)"));
    if (!plainName.match(name).hasMatch())
        failSetup(QStringLiteral("\"%1\" is not a plain media file name").arg(name));
    return folder_ + QLatin1Char('/') + name;
}

void MediaLibrary::ensure(const QString& name, qint64 size) {
    std::lock_guard lock(mutex_);
    const QFileInfo info(path(name));
    if (info.exists() && info.size() == size) return;
    write(name, size, generations_.value(name, 0), 0);
}

void MediaLibrary::replace(const QString& name, qint64 size) {
    std::lock_guard lock(mutex_);
    const quint64 generation = generations_.value(name, 0) + 1;
    generations_[name] = generation;
    write(name, size, generation, QFileInfo(path(name)).lastModified().toSecsSinceEpoch() + 1);
}

void MediaLibrary::ensureFromManifest(const QString& manifestPath) {
    QFile manifest(manifestPath);
    if (!manifest.open(QIODevice::ReadOnly | QIODevice::Text))
        failSetup(QStringLiteral("cannot read the media list %1").arg(manifestPath));
    static const QRegularExpression entry(QStringLiteral(R"(^(\S+)\s+(\d+)$)"));
    while (!manifest.atEnd()) {
        const QString line = QString::fromUtf8(manifest.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const auto match = entry.match(line);
        if (!match.hasMatch())
            failSetup(QStringLiteral("bad line in %1: %2").arg(manifestPath, line));
        ensure(match.captured(1), match.captured(2).toLongLong());
    }
}

void MediaLibrary::write(const QString& name, qint64 size, quint64 generation,
                         qint64 minimumMtime) {
    const QString target = path(name);
    QSaveFile file(target);  // written beside the target, renamed over it at commit()
    if (!file.open(QIODevice::WriteOnly))
        failSetup(QStringLiteral("cannot write %1: %2").arg(target, file.errorString()));
    const QByteArray seed = name.toUtf8();
    for (qint64 offset = 0; offset < size; offset += kChunkSize) {
        const QByteArray chunk =
            content(seed, generation, offset, std::min(kChunkSize, size - offset));
        if (file.write(chunk) != chunk.size())
            failSetup(QStringLiteral("cannot write %1: %2").arg(target, file.errorString()));
    }
    if (!file.commit()) failSetup(QStringLiteral("cannot write %1").arg(target));

    const qint64 mtime = std::max<qint64>(std::time(nullptr), minimumMtime);
    const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    if (::utimensat(AT_FDCWD, QFile::encodeName(target).constData(), times, 0) != 0)
        failSetup(QStringLiteral("cannot set the time of %1").arg(target));
}

QByteArray MediaLibrary::content(QByteArrayView seed, quint64 generation, qint64 offset,
                                 qint64 length) {
    const quint64 streamSeed = fnv1a(seed) ^ (generation * 0xd6e8feb86659fd93ULL);
    QByteArray bytes(length, Qt::Uninitialized);
    quint64 current = 0;
    for (qint64 i = 0; i < length; ++i) {
        const quint64 position = static_cast<quint64>(offset + i);
        if (i == 0 || position % 8 == 0) current = word(streamSeed, position / 8);
        bytes[i] = static_cast<char>(current >> (8 * (position % 8)));
    }
    return bytes;
}

QByteArray MediaLibrary::sha256OfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) return {};
    return hash.result().toHex();
}

}  // namespace clipmoor::test
