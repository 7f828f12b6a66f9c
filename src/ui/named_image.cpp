#include "ui/named_image.h"

#include <QFile>
#include <QHash>

// The images live in this static library; its resources must be registered before first use.
static void registerImageResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(images);
        return true;
    }();
    (void)registered;
}

namespace clipmoor {

namespace {
// Our image name -> the freedesktop standard icon that means the same, if any.
const QHash<QString, QString>& themeNames() {
    static const QHash<QString, QString> names{
        {QStringLiteral("white-circle-south"), QStringLiteral("go-down")},
        {QStringLiteral("white-circle-play"), QStringLiteral("media-playback-start")},
        {QStringLiteral("white-circle-pause"), QStringLiteral("media-playback-pause")},
        {QStringLiteral("white-circle-retry"), QStringLiteral("view-refresh")},
        {QStringLiteral("Settings"), QStringLiteral("preferences-system")},
        {QStringLiteral("Update"), QStringLiteral("system-software-update")},
    };
    return names;
}
}  // namespace

QIcon namedImage(const QString& name) {
    registerImageResources();
    const QString resource = QStringLiteral(":/images/%1.svg").arg(name);
    if (!QFile::exists(resource)) return {};
    const QIcon own(resource);
    const QString themeName = themeNames().value(name);
    return themeName.isEmpty() ? own : QIcon::fromTheme(themeName, own);
}

}  // namespace clipmoor
