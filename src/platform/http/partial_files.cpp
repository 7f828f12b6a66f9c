#include "platform/http/partial_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <ctime>

#include "platform/http/resume_data.h"
#include "platform/worker_pool.h"

namespace clipmoor {

namespace {

bool isBefore(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// The folder's own path with its links resolved; empty when it does not exist.
QString canonicalFolder(const QString& folder) {
    return QFileInfo(folder).canonicalFilePath();
}

int sweepFolder(const QSet<QString>& referencedPaths, const QString& folder,
                const timespec& startedAt) {
    const QString canonical = canonicalFolder(folder);
    if (canonical.isEmpty()) return 0;
    QSet<QString> referencedNames;
    for (const QString& path : referencedPaths) {
        const QFileInfo info(path);
        if (canonicalFolder(info.absolutePath()) == canonical)
            referencedNames.insert(info.fileName());
    }

    const int folderFd =
        ::open(QFile::encodeName(canonical).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) return 0;
    DIR* listing = fdopendir(folderFd);
    if (!listing) {
        ::close(folderFd);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = readdir(listing)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (!isPartialFileName(name) || referencedNames.contains(name)) continue;
        struct stat status {};
        if (fstatat(folderFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
        // Only plain files that no transfer of this run has touched.
        if (!S_ISREG(status.st_mode) || !isBefore(status.st_mtim, startedAt)) continue;
        if (unlinkat(folderFd, entry->d_name, 0) == 0) ++removed;
    }
    closedir(listing);
    return removed;
}

}  // namespace

QString defaultPartialFileFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Clipmoor/partial");
}

bool isPartialFileName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral(R"(^clipmoor-[A-Za-z0-9]{6}\.part$)"));
    return pattern.match(name).hasMatch();
}

std::optional<Error> openPartialFile(const QString& path, const QString& folder, int* descriptor) {
    *descriptor = -1;
    const QFileInfo info(path);
    const QString canonical = canonicalFolder(folder);
    if (!info.isAbsolute() || !isPartialFileName(info.fileName()) || canonical.isEmpty() ||
        canonicalFolder(info.absolutePath()) != canonical) {
        return Error::posix(ENOENT,
                            QStringLiteral("The partial file %1 is not in %2").arg(path, folder));
    }
    const int fd = ::open(QFile::encodeName(canonical + '/' + info.fileName()).constData(),
                          O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        // A symbolic link in the file's place is not ours: it counts as missing, like any other
        // file that fails a check.
        const int error = errno == ELOOP ? ENOENT : errno;
        return Error::posix(error, QStringLiteral("Cannot open the partial file"));
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return Error::posix(ENOENT, QStringLiteral("The partial file is not a regular file"));
    }
    // A second name for the file (a hard link, perhaps outside the folder) would make a resume
    // write into, or a discard remove, a file that is not only ours.
    if (status.st_nlink != 1) {
        ::close(fd);
        return Error::posix(ENOENT, QStringLiteral("The partial file has another name"));
    }
    *descriptor = fd;
    return std::nullopt;
}

bool abandonsPartialFile(const QByteArray& earlier, const QByteArray& later) {
    const auto before = ResumeData::decode(earlier);
    if (!before) return false;
    const auto after = ResumeData::decode(later);
    return !after || after->partialFile != before->partialFile;
}

void discardResumeData(const QByteArray& resumeData, const QString& folder) {
    const std::optional<ResumeData> decoded = ResumeData::decode(resumeData);
    if (!decoded) return;
    int fd = -1;
    if (openPartialFile(decoded->partialFile, folder, &fd)) return;
    ::close(fd);
    const QFileInfo info(decoded->partialFile);
    ::unlink(QFile::encodeName(canonicalFolder(folder) + '/' + info.fileName()).constData());
}

void sweepUnreferencedPartialFiles(QSet<QString> referencedPaths, const QString& folder,
                                   std::function<void(int removed)> done) {
    // File times come from the kernel's coarse clock, which may lag the precise one by a tick:
    // reading the same clock keeps a file made right after this call from looking older.
    timespec startedAt{};
    clock_gettime(CLOCK_REALTIME_COARSE, &startedAt);
    WorkerPool::operationPool().submit(
        [referencedPaths = std::move(referencedPaths), folder, startedAt, done = std::move(done)] {
            const int removed = sweepFolder(referencedPaths, folder, startedAt);
            if (done) done(removed);
        });
}

}  // namespace clipmoor
