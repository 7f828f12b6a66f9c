#include "app/software_updater.h"

#include "platform/user_defaults.h"

namespace clipmoor {

namespace {
const QString kAutomaticDownloadKey = QStringLiteral("ClipmoorUpdaterAutomaticallyDownloads");
const QString kCheckIntervalKey = QStringLiteral("ClipmoorUpdaterCheckInterval");
const QString kLastCheckDateKey = QStringLiteral("ClipmoorUpdaterLastCheckDate");
}  // namespace

SoftwareUpdater& SoftwareUpdater::sharedUpdater() {
    static SoftwareUpdater updater(UserDefaults::standard());
    return updater;
}

SoftwareUpdater::SoftwareUpdater(UserDefaults& defaults) : defaults_(defaults) {}

bool SoftwareUpdater::automaticallyDownloadsUpdates() const {
    return defaults_.valueForKey(kAutomaticDownloadKey).toBool();
}

void SoftwareUpdater::setAutomaticallyDownloadsUpdates(bool automatically) {
    defaults_.setValue(automatically, kAutomaticDownloadKey);
    defaults_.synchronize();
}

qint64 SoftwareUpdater::updateCheckInterval() const {
    bool ok = false;
    const qint64 seconds = defaults_.valueForKey(kCheckIntervalKey).toLongLong(&ok);
    return ok && seconds > 0 ? seconds : kDefaultCheckInterval;
}

void SoftwareUpdater::setUpdateCheckInterval(qint64 seconds) {
    defaults_.setValue(seconds, kCheckIntervalKey);
    defaults_.synchronize();
}

std::optional<QDateTime> SoftwareUpdater::lastUpdateCheckDate() const {
    const QDateTime date =
        QDateTime::fromString(defaults_.stringForKey(kLastCheckDateKey), Qt::ISODateWithMs);
    if (!date.isValid()) return std::nullopt;
    return date;
}

void SoftwareUpdater::checkForUpdates() {
    defaults_.setValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs),
                       kLastCheckDateKey);
    defaults_.synchronize();
}

}  // namespace clipmoor
