#include "app/private_socket.h"

#include <QDir>
#include <QFile>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace clipmoor {

bool isPrivateFolder(const QString& path) {
    struct stat status {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &status) != 0) return false;
    return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 077) == 0;
}

QString privateSocketFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (isPrivateFolder(runtime)) return QDir::cleanPath(runtime);
    // Anyone may create names in the temporary folder: a folder already there is used only when
    // it passes the check, so another user who took the name first gets nothing from it.
    const QString folder =
        QDir(QDir::tempPath()).filePath(QStringLiteral("clipmoor-%1").arg(::geteuid()));
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    return isPrivateFolder(folder) ? folder : QString();
}

bool isPeerThisUser(qintptr descriptor) {
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    if (descriptor < 0 || ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED,
                                       &credentials, &size) != 0)
        return false;
    return size == sizeof(credentials) && credentials.uid == ::geteuid();
}

}  // namespace clipmoor
