#include "app/browser_extension_installer.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace clipmoor {

namespace {
const QString kRelativeFolder = QStringLiteral("clipmoor/browser-extension");
}  // namespace

QStringList BrowserExtensionInstaller::candidateFolders() {
    QStringList folders;
    const QString applicationDir = QCoreApplication::applicationDirPath();
    if (!applicationDir.isEmpty())
        folders.append(
            QDir::cleanPath(applicationDir + QStringLiteral("/../share/") + kRelativeFolder));
    for (const QString& dataDir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders.append(QDir::cleanPath(dataDir + QLatin1Char('/') + kRelativeFolder));
    folders.removeDuplicates();
    return folders;
}

QString BrowserExtensionInstaller::extensionFolder() {
    for (const QString& folder : candidateFolders())
        if (QFileInfo(folder + QStringLiteral("/manifest.json")).isFile()) return folder;
    return {};
}

bool BrowserExtensionInstaller::showExtension() {
    const QString folder = extensionFolder();
    if (folder.isEmpty()) {
        qWarning("Clipmoor: the browser extension is not installed (looked in %s)",
                 qPrintable(candidateFolders().join(QStringLiteral(", "))));
        return false;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    const QString page = folder + QLatin1Char('/') + QString::fromLatin1(kInstructionsPage);
    if (QFileInfo(page).isFile()) QDesktopServices::openUrl(QUrl::fromLocalFile(page));
    return true;
}

}  // namespace clipmoor
