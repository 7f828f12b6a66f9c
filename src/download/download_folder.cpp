#include "download/download_folder.h"

#include <QDir>
#include <QStandardPaths>

#include "platform/user_defaults.h"

namespace clipmoor {

QString defaultMediaDownloadPath() {
    QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (downloads.isEmpty()) downloads = QDir::homePath() + QStringLiteral("/Downloads");
    return QDir::cleanPath(downloads + QStringLiteral("/Clipmoor"));
}

QString mediaDownloadFolder() {
    const QString folder =
        UserDefaults::standard().stringForKey(QString::fromLatin1(kClipmoorMediaDownloadPathKey));
    return QDir::isAbsolutePath(folder) ? folder : defaultMediaDownloadPath();
}

}  // namespace clipmoor
