#include "platform/file_operations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace clipmoor {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::optional<Error> copyAcrossFileSystems(const QByteArray& source,
                                           const QByteArray& destination) {
    FileDescriptor input(::open(source.constData(), O_RDONLY | O_CLOEXEC));
    if (input.get() < 0) return Error::posix(errno, QStringLiteral("Cannot read the file"));

    QByteArray hidden =
        QFile::encodeName(QFileInfo(QFile::decodeName(destination)).absolutePath()) +
        "/.clipmoor-move-XXXXXX";
    FileDescriptor output(mkostemp(hidden.data(), O_CLOEXEC));
    if (output.get() < 0) return Error::posix(errno, QStringLiteral("Cannot create the file"));

    const auto fail = [&hidden](int error, const char* what) {
        ::unlink(hidden.constData());
        return Error::posix(error, QString::fromLatin1(what));
    };
    for (;;) {
        const ssize_t copied =
            copy_file_range(input.get(), nullptr, output.get(), nullptr, 1 << 30, 0);
        if (copied == 0) break;
        if (copied > 0) continue;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            return fail(errno, "Cannot copy the file");
        // Fall back to a plain read/write loop.
        char buffer[1 << 16];
        for (;;) {
            const ssize_t got = ::read(input.get(), buffer, sizeof buffer);
            if (got == 0) break;
            if (got < 0) {
                if (errno == EINTR) continue;
                return fail(errno, "Cannot read the file");
            }
            for (ssize_t done = 0; done < got;) {
                const ssize_t put = ::write(output.get(), buffer + done, got - done);
                if (put < 0 && errno == EINTR) continue;
                if (put < 0) return fail(errno, "Cannot write the file");
                done += put;
            }
        }
        break;
    }
    if (::fsync(output.get()) != 0) return fail(errno, "Cannot write the file");
    if (::close(output.release()) != 0) return fail(errno, "Cannot write the file");
    // link() never replaces an existing file, so a destination taken meanwhile is respected.
    if (::link(hidden.constData(), destination.constData()) != 0)
        return fail(errno, "Cannot put the file in place");
    ::unlink(hidden.constData());
    ::unlink(source.constData());
    return std::nullopt;
}

}  // namespace

std::optional<Error> moveFile(const QString& source, const QString& destination) {
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(destination);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return std::nullopt;
    const int error = errno;
    if (error == EXDEV) return copyAcrossFileSystems(from, to);
    if (error == EINVAL || error == ENOSYS) {
        // A file system without no-replace renames: check, then rename.
        struct stat status {};
        if (::lstat(to.constData(), &status) == 0)
            return Error::posix(EEXIST, "Cannot move the file");
        if (::rename(from.constData(), to.constData()) == 0) return std::nullopt;
        return Error::posix(errno, QStringLiteral("Cannot move the file"));
    }
    return Error::posix(error, QStringLiteral("Cannot move the file"));
}

std::optional<Error> makePrivateFolder(const QString& path) {
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QStringList parts = absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString prefix;
    for (const QString& part : parts) {
        prefix += QLatin1Char('/') + part;
        const QByteArray native = QFile::encodeName(prefix);
        if (::mkdir(native.constData(), 0700) == 0) {
            // The umask may have taken bits away that the owner needs.
            ::chmod(native.constData(), 0700);
            continue;
        }
        const int error = errno;
        struct stat status {};
        if (error != EEXIST || ::stat(native.constData(), &status) != 0 ||
            !S_ISDIR(status.st_mode)) {
            return Error::posix(error,
                                QStringLiteral("Could not create the folder %1").arg(prefix));
        }
        if (prefix.size() == absolute.size() && status.st_uid == ::geteuid() &&
            (status.st_mode & 077) != 0) {
            ::chmod(native.constData(), 0700);  // made by an earlier version, with the umask
        }
    }
    return std::nullopt;
}

std::optional<qint64> fileSize(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) return std::nullopt;
    return static_cast<qint64>(status.st_size);
}

}  // namespace clipmoor
